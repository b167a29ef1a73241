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
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

class SyncAudioResamplerTest {
  private static final Duration WATCHDOG = Duration.ofSeconds(60);

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

  @Test
  void uninitialisedObjectFailsQuietly() {
    SyncAudioResampler r = new SyncAudioResampler();
    assertFalse(r.write(direct(4), 4, 0, false));
    assertEquals(-1, r.read(direct(4)));
    assertNull(r.read());
    r.interrupt();
    assertFalse(r.release());
    assertEquals(List.of(), NativeLog.lines());
  }

  @Test
  void initLogsAndBadSettingsFail() {
    SyncAudioResampler r = new SyncAudioResampler();
    assertTrue(r.init(44100, 1, 48000, 2, 4096));
    assertEquals(List.of(info("sync audio resampler created: 44100/48000, 1/2")), NativeLog.lines());
    assertTrue(r.release());
    assertFalse(r.release());
    assertFalse(new SyncAudioResampler().init(44100, 0, 48000, 2, 4096));
    assertFalse(new SyncAudioResampler().init(44100, 2, 48000, 2, 0));
  }

  @Test
  void readChecksTheBufferCapacity() {
    try (SyncAudioResampler r = identity(8)) {
      assertTrue(r.write(pattern(8, 1), 8, 0, false));
      NativeLog.clear();
      assertEquals(-1, r.read(direct(7)));
      assertEquals(-1, r.read(ByteBuffer.allocate(8)));
      assertEquals(List.of(error("raw audio read data failed, direct buffer capacity not enough !"),
          error("raw audio read data failed to get direct buffer !")), NativeLog.lines());
      ByteBuffer out = direct(8);
      assertEquals(8, r.read(out));
      assertArrayEquals(bytesOf(pattern(8, 1)), bytesOf(out));
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
      assertEquals(List.of(error("sync audio resampler read failed: 0"),
          error("sync audio resampler read failed: 0")), NativeLog.lines());
    }
  }

  @Test
  void interruptWakesABlockedReader() throws Exception {
    try (SyncAudioResampler r = identity(4096)) {
      CompletableFuture<Integer> reader = CompletableFuture.supplyAsync(() -> r.read(direct(4096)));
      Thread.sleep(100);
      assertFalse(reader.isDone());
      r.interrupt();
      assertEquals(-1, reader.get(60, TimeUnit.SECONDS));
      assertTrue(r.write(pattern(8000, 0), 8000, 0, false));  // no longer waits
      assertTrue(r.write(pattern(8000, 0), 8000, 0, false));
    }
  }

  @Test
  void producerAndConsumerThreadsCarryAStreamByteForByte() {
    assertTimeoutPreemptively(WATCHDOG, () -> {
      final int block = 4096, total = 48000 * 4 * 5;  // five seconds of stereo
      Random random = new Random(11);
      byte[] source = new byte[total];
      for (int i = 0; i < total; ++i) source[i] = (byte) (i * 31 + (i >> 9));
      try (SyncAudioResampler r = identity(block)) {
        CompletableFuture<byte[]> consumer = CompletableFuture.supplyAsync(() -> {
          ByteArrayOutputStream got = new ByteArrayOutputStream();
          for (byte[] b; (b = r.read()) != null; ) got.write(b, 0, b.length);
          return got.toByteArray();
        });
        ByteBuffer chunk = direct(20000);
        for (int at = 0; at < total; ) {
          int n = Math.min(total - at, 4 * (1 + random.nextInt(4999)));
          chunk.clear();
          chunk.put(source, at, n);
          at += n;
          assertTrue(r.write(chunk, n, at, at == total));
        }
        assertArrayEquals(source, consumer.get());
      }
    });
  }
}
