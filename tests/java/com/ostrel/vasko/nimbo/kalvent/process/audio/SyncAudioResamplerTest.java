package com.ostrel.vasko.nimbo.kalvent.process.audio;

import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.bytesOf;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.direct;
import static com.ostrel.vasko.nimbo.kalvent.testing.NativeLog.error;
import static com.ostrel.vasko.nimbo.kalvent.testing.NativeLog.info;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ostrel.vasko.nimbo.kalvent.testing.NativeLog;
import java.io.ByteArrayOutputStream;
import java.nio.ByteBuffer;
import java.time.Duration;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import java.util.function.ToIntFunction;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

class SyncAudioResamplerTest {
  private static final Duration WATCHDOG = Duration.ofSeconds(10);

  @BeforeEach
  void clearLog() {
    NativeLog.clear();
  }

  /** A same-rate, same-layout object: the conversion is an identity. */
  private static SyncAudioResampler identity(int blockSize) {
    SyncAudioResampler r = new SyncAudioResampler();
    assertTrue(r.init(48000, 2, 48000, 2, blockSize));
    return r;
  }

  private static ByteBuffer pattern(int bytes, int start) {
    ByteBuffer b = direct(bytes);
    for (int i = 0; i < bytes; ++i) b.put(i, (byte) (start + i));
    return b;
  }

  private static void assertHoldsNoResampler(SyncAudioResampler r) {
    assertFalse(r.write(direct(4), 4, 0, false));
    assertEquals(-1, r.read(direct(4)));
    assertEquals(-1, r.readStamped(direct(4)));
    assertNull(r.read());
    r.interrupt();
    assertFalse(r.release());
  }

  /** Before init and after release every call fails without a log line. */
  @Test
  void initLogsAndBadSettingsFail() {
    SyncAudioResampler r = new SyncAudioResampler();
    assertHoldsNoResampler(r);
    assertEquals(List.of(), NativeLog.lines());
    assertTrue(r.init(44100, 1, 48000, 2, 4096));
    assertEquals(List.of(info("sync audio resampler created: 44100/48000, 1/2")), NativeLog.lines());
    assertTrue(r.release());
    NativeLog.clear();
    assertHoldsNoResampler(r);
    assertEquals(List.of(), NativeLog.lines());
    assertFalse(new SyncAudioResampler().init(44100, 0, 48000, 2, 4096));
    assertFalse(new SyncAudioResampler().init(44100, 2, 48000, 2, 0));
    NativeLog.clear();
    assertFalse(new SyncAudioResampler().init(44100, 2, 48000, 2, 4096, 3));
    assertEquals(error("sync audio resampler quality out of range: 3"), NativeLog.lines().get(0));
  }

  /**
   * Both inits refuse an object that holds one already and keep the first
   * (here an identity: its bytes come back unchanged); after a release init
   * works again.
   */
  @Test
  void aSecondInitKeepsTheFirstObject() {
    try (SyncAudioResampler r = identity(8)) {
      NativeLog.clear();
      assertFalse(r.init(44100, 1, 48000, 2, 8));
      assertFalse(r.init(44100, 1, 48000, 2, 8, 1));
      String line = "sync audio resampler already inited, release it first !";
      assertEquals(List.of(error(line), error(line)), NativeLog.lines());
      assertTrue(r.write(pattern(8, 1), 8, 0, false));
      assertArrayEquals(bytesOf(pattern(8, 1)), r.read());
      assertTrue(r.release());
      assertTrue(r.init(44100, 2, 48000, 2, 4096, 2));
    }
  }

  /** Both {@code read(ByteBuffer)} and {@code readStamped}; only the latter keeps a stamp. */
  @Test
  void readsCheckTheBufferCapacity() {
    for (boolean stamped : new boolean[] {false, true}) {
      try (SyncAudioResampler r = identity(8)) {
        ToIntFunction<ByteBuffer> read = stamped ? r::readStamped : r::read;
        assertTrue(r.write(pattern(8, 1), 8, 777, false));
        NativeLog.clear();
        assertEquals(-1, read.applyAsInt(direct(7)));
        assertEquals(-1, read.applyAsInt(ByteBuffer.allocate(8)));
        assertEquals(List.of(error("raw audio read data failed, direct buffer capacity not enough !"),
            error("raw audio read data failed to get direct buffer !")), NativeLog.lines());
        assertEquals(0, r.blockStamp());
        ByteBuffer out = direct(8);
        assertEquals(8, read.applyAsInt(out));
        assertArrayEquals(bytesOf(pattern(8, 1)), bytesOf(out));
        assertEquals(stamped ? 777 : 0, r.blockStamp());
      }
    }
  }

  @Test
  void writeRefusesBadSizesAndBuffers() {
    try (SyncAudioResampler r = identity(8)) {
      NativeLog.clear();
      assertFalse(r.write(direct(4), -4, 0, false));
      assertFalse(r.write(direct(4), 8, 0, false));
      assertFalse(r.write(ByteBuffer.allocate(4), 4, 0, false));
      assertFalse(r.write(direct(4), 0, 0, false));
      List<NativeLog.Line> lines = NativeLog.lines();
      assertEquals(4, lines.size());
      assertEquals(error("raw audio write data failed to get direct buffer !"), lines.get(2));
      assertEquals(error("sync audio resampler write not inited or invalid params !"), lines.get(3));
    }
  }

  @Test
  void endOfStreamGivesTheExactTailThenNothing() {
    try (SyncAudioResampler r = identity(16)) {
      assertTrue(r.write(pattern(20, 1), 20, 7, false));
      byte[] first = r.read();
      assertArrayEquals(Arrays.copyOf(bytesOf(pattern(20, 1)), 16), first);
      assertTrue(r.write(direct(0), 0, 8, true));  // with 4 bytes queued: no wait
      ByteBuffer out = pattern(16, 100);
      assertEquals(4, r.read(out));
      byte[] expected = new byte[16];
      System.arraycopy(bytesOf(pattern(20, 1)), 16, expected, 0, 4);
      assertArrayEquals(expected, bytesOf(out));  // zero padding after the tail
      NativeLog.clear();
      assertNull(r.read());
      assertEquals(-1, r.read(out));
      assertEquals(-1, r.readStamped(out));
      assertEquals(0, r.blockStamp());  // no block, no stamp
      assertEquals(List.of(error("sync audio resampler read failed: 0"),
          error("sync audio resampler read failed: 0"), error("sync audio resampler read failed: 0")),
          NativeLog.lines());
    }
  }

  /** 1 and 10 frames at 44.1 kHz end as 1 and 11 frames at 48 kHz, at every quality. */
  @Test
  void aRateChangeEndsEachStreamAtItsExactLength() {
    for (int quality = 0; quality <= 2; ++quality) {
      SyncAudioResampler r = new SyncAudioResampler();
      assertTrue(r.init(44100, 2, 48000, 2, 4096, quality));
      try (r) {
        for (int[] frames : new int[][] {{1, 1}, {10, 11}}) {
          assertTrue(r.write(pattern(4 * frames[0], 0), 4 * frames[0], 0, true));
          assertEquals(4 * frames[1], r.read().length);
          assertNull(r.read());
        }
      }
    }
  }

  /**
   * A read of an empty queue cannot return before the interrupt, which ends
   * it whether it has begun to wait yet or not (the native tests see the
   * wait itself).
   */
  @Test
  void interruptWakesABlockedReader() throws Exception {
    try (SyncAudioResampler r = identity(4096)) {
      CompletableFuture<Integer> reader = CompletableFuture.supplyAsync(() -> r.read(direct(4096)));
      assertFalse(reader.isDone());
      r.interrupt();
      assertEquals(-1, reader.get(10, TimeUnit.SECONDS));
      assertTrue(r.write(pattern(8000, 0), 8000, 0, false));  // no longer waits
      assertTrue(r.write(pattern(8000, 0), 8000, 0, false));
    }
  }

  /**
   * Two threads: five seconds of stereo in random write sizes, stamped in
   * microseconds with a gap of a second in the stamps after two seconds. The
   * consumer takes blocks by {@code readStamped} and {@code read()} in turn:
   * every byte arrives in order, and each stamped block (the first, the first
   * after the gap, every other one) carries its first frame's time within one
   * frame.
   */
  @Test
  void producerAndConsumerThreadsCarryAStampedStreamByteForByte() {
    assertTimeoutPreemptively(WATCHDOG, () -> {
      final int block = 4096, frames = 48000 * 5, gapAt = 48000 * 2;
      final long t0 = 1_000_000_000L, gap = 1_000_000L;
      Random random = new Random(11);
      byte[] source = new byte[4 * frames];
      for (int i = 0; i < source.length; ++i) source[i] = (byte) (i * 31 + (i >> 9));
      ByteArrayOutputStream got = new ByteArrayOutputStream();
      try (SyncAudioResampler r = identity(block)) {
        CompletableFuture<long[]> consumer = CompletableFuture.supplyAsync(() -> {
          long[] stamps = new long[frames / 1024 + 1];
          ByteBuffer out = direct(block);
          int k = 0;
          for (;; ++k) {
            byte[] b = k % 2 == 1 ? r.read() : null;
            if (k % 2 == 0) {
              int n = r.readStamped(out);
              if (n > 0) b = Arrays.copyOf(bytesOf(out), n);
            }
            if (b == null) break;
            got.write(b, 0, b.length);
            stamps[k] = r.blockStamp();
          }
          return Arrays.copyOf(stamps, k);
        });
        ByteBuffer chunk = direct(4 * 5000);
        for (int at = 0; at < frames; ) {
          int n = Math.min(1 + random.nextInt(4999), (at < gapAt ? gapAt : frames) - at);
          long stamp = t0 + (at >= gapAt ? gap : 0) + Math.round(at * 1e6 / 48000);
          chunk.clear();
          chunk.put(source, 4 * at, 4 * n);
          at += n;
          assertTrue(r.write(chunk, 4 * n, stamp, at == frames));
        }
        long[] stamps = consumer.get();
        assertArrayEquals(source, got.toByteArray());
        assertEquals((frames + 1023) / 1024, stamps.length);
        for (int k = 0; k < stamps.length; k += 2) {
          long first = 1024L * k;
          double expected = t0 + (first >= gapAt ? gap : 0) + first * 1e6 / 48000;
          assertTrue(Math.abs(stamps[k] - expected) <= 1e6 / 48000,
              "block " + k + ": " + stamps[k] + " for " + expected);
        }
      }
    });
  }
}
