package com.ostrel.vasko.nimbo.kalvent.process.audio;

import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.bytesOf;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.direct;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.shorts;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.shortsOf;
import static com.ostrel.vasko.nimbo.kalvent.testing.NativeLog.error;
import static com.ostrel.vasko.nimbo.kalvent.testing.NativeLog.info;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ostrel.vasko.nimbo.kalvent.testing.NativeLog;
import java.nio.ByteBuffer;
import java.util.Arrays;
import java.util.List;
import java.util.function.Function;
import java.util.stream.Stream;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

class MultiAudioMixerTest {
  @BeforeEach
  void clearLog() {
    NativeLog.clear();
  }

  private static MultiAudioMixer mixer(int blockSize) {
    MultiAudioMixer m = new MultiAudioMixer();
    assertTrue(m.init(blockSize));
    return m;
  }

  private static float[] units(int tracks) {
    float[] volumes = new float[tracks];
    Arrays.fill(volumes, 1f);
    return volumes;
  }

  private static void assertHoldsNoMixer(MultiAudioMixer m) {
    assertNull(m.mix(new ByteBuffer[] {shorts(1, 1)}, units(1)));
    assertEquals(-1f, m.lastGain());
    assertFalse(m.release());
  }

  /** Before init and after release: every call fails, and only init and release log. */
  @Test
  void anObjectWithoutAMixerFailsQuietly() {
    MultiAudioMixer m = new MultiAudioMixer();
    assertHoldsNoMixer(m);
    assertEquals(List.of(), NativeLog.lines());
    assertTrue(m.init(4));
    assertTrue(m.release());
    assertHoldsNoMixer(m);
    assertFalse(m.init(-2));
    assertEquals(List.of(info("multi audio mixer created: 4"), info("multi audio mixer released !"),
        error("audio_mixer_create failed !")), NativeLog.lines());
  }

  /** A second init keeps the first mixer (its block size); after a release init works again. */
  @Test
  void aSecondInitKeepsTheFirstMixer() {
    try (MultiAudioMixer m = mixer(4)) {
      NativeLog.clear();
      assertFalse(m.init(8));
      assertEquals(List.of(error("multi audio mixer already inited, release it first !")),
          NativeLog.lines());
      assertEquals(4, m.mix(new ByteBuffer[] {shorts(1, 2)}, units(1)).length);
      assertTrue(m.release());
      assertTrue(m.init(8));
    }
  }

  static Stream<Arguments> unitMixes() {
    ByteBuffer[] thirty = new ByteBuffer[30];
    for (int i = 0; i < 30; ++i) thirty[i] = shorts(i + 1, 1);
    return Stream.of(
        Arguments.of("three tracks",
            new ByteBuffer[] {shorts(1, 2, 3, 4), shorts(10, 20, 30, 40), shorts(-1, -1, -1, -1)},
            new short[] {10, 21, 32, 43}),
        Arguments.of("all thirty tracks", thirty, new short[] {465, 30}),
        Arguments.of("missing and heap tracks are silent",
            new ByteBuffer[] {shorts(5, 6), null, ByteBuffer.allocate(4)}, new short[] {5, 6}));
  }

  /** Each block sums the tracks at unit volume and leaves them as they were. */
  @ParameterizedTest(name = "{0}")
  @MethodSource("unitMixes")
  void mixesUnitTracksWithoutChangingThem(String name, ByteBuffer[] tracks, short[] expected) {
    Function<ByteBuffer[], byte[][]> snapshot =
        t -> Arrays.stream(t).map(b -> b == null ? null : bytesOf(b)).toArray(byte[][]::new);
    byte[][] before = snapshot.apply(tracks);
    int blockSize = 2 * expected.length;
    try (MultiAudioMixer m = mixer(blockSize)) {
      byte[] block = m.mix(tracks, units(tracks.length));
      assertEquals(blockSize, block.length);
      assertArrayEquals(expected, shortsOf(block));
    }
    assertArrayEquals(before, snapshot.apply(tracks));
    assertEquals(List.of(info("multi audio mixer created: " + blockSize),
        info("multi audio mixer released !")), NativeLog.lines());
  }

  @Test
  void rampsAndBlocksIntoBuffersMatchTheirTwins() {
    try (MultiAudioMixer m = mixer(8); MultiAudioMixer twin = mixer(8)) {
      // Two stereo frames; track 2 fades 1 -> 0 (frames at 1 and 0.5).
      ByteBuffer a = shorts(10, 20, 30, 40);
      ByteBuffer b = shorts(100, 100, 100, 100);
      byte[] block = m.mixRamp(new ByteBuffer[] {a, b}, new float[] {1f, 1f},
          new float[] {1f, 0f}, 2);
      assertArrayEquals(new short[] {110, 120, 80, 90}, shortsOf(block));

      // Into a buffer: the same bytes as the byte[] forms; flat ramps are mix.
      ByteBuffer out = direct(12);
      ByteBuffer c = shorts(1001, -7, 5, 9);
      ByteBuffer c2 = shorts(1001, -7, 5, 9);
      float[] v = {0.3f};
      assertEquals(8, m.mixRampInto(new ByteBuffer[] {c}, v, v, 4, out));
      assertArrayEquals(shortsOf(twin.mix(new ByteBuffer[] {c2}, v)), shortsOf(out, 0, 4));
      assertArrayEquals(shortsOf(c2, 0, 4), shortsOf(c, 0, 4));
      assertEquals(8, m.mixInto(new ByteBuffer[] {c, a}, new float[] {1f, 1f}, out));
      assertArrayEquals(new short[] {310, 18, 31, 42}, shortsOf(out, 0, 4));
    }
  }

  /**
   * Every form refuses with null or -1 and touches nothing: quietly what the
   * Java side rejects, with a line what the mixer itself refuses.
   */
  @Test
  void badArgumentsAreRefusedUntouched() {
    try (MultiAudioMixer m = mixer(8)) {
      ByteBuffer t = shorts(1, 2, 3, 4);
      ByteBuffer[] tracks = {t};
      float[] one = {0.5f};
      ByteBuffer out = shorts(7, 7, 7, 7);
      NativeLog.clear();
      assertNull(m.mix(null, one));
      assertNull(m.mix(tracks, null));
      assertNull(m.mix(new ByteBuffer[31], new float[31]));
      assertNull(m.mix(new ByteBuffer[] {t, t}, one));
      assertNull(m.mix(new ByteBuffer[] {t, direct(2)}, new float[] {1.0f, 1.0f}));
      assertNull(m.mixRamp(tracks, one, new float[] {0.5f, 1f}, 1));  // mismatched lengths
      assertNull(m.mixRamp(tracks, one, null, 1));
      assertEquals(-1, m.mixRampInto(tracks, new float[0], new float[0], 1, out));
      assertEquals(-1, m.mixInto(tracks, one, direct(7)));
      assertEquals(-1, m.mixInto(tracks, one, ByteBuffer.allocate(8)));
      assertEquals(-1, m.mixRampInto(tracks, one, one, 1, null));
      assertEquals(List.of(), NativeLog.lines());
      assertNull(m.mix(new ByteBuffer[0], new float[0]));
      assertNull(m.mix(new ByteBuffer[] {null, t}, new float[] {1.0f, 1.0f}));
      assertNull(m.mixRamp(tracks, one, one, 3));
      assertEquals(-1, m.mixRampInto(tracks, one, new float[] {Float.NaN}, 1, out));
      assertEquals(-1, m.mixRampInto(tracks, one, one, 0, out));
      assertEquals(List.of(error("audio_mixer_mix_int16 failed !"),
          error("audio_mixer_mix_int16 failed !"),
          error("multi audio mixer block of 4 samples is not whole frames of 3 channels"),
          error("audio_mixer_mix_int16_ramp failed !"), error("audio_mixer_mix_int16_ramp failed !")),
          NativeLog.lines());
      assertArrayEquals(new short[] {1, 2, 3, 4}, shortsOf(t, 0, 4));
      assertArrayEquals(new short[] {7, 7, 7, 7}, shortsOf(out, 0, 4));
    }
  }

  @Test
  void lastGainFollowsTheMixes() {
    try (MultiAudioMixer m = mixer(2)) {
      assertEquals(1f, m.lastGain());
      ByteBuffer loud = shorts(30000);
      assertEquals(2, m.mixInto(new ByteBuffer[] {loud, loud}, units(2), direct(2)));
      assertEquals(32767f / 60000f, m.lastGain(), 1e-7f);
      assertNotNull(m.mix(new ByteBuffer[] {loud}, units(1)));
      assertEquals(1f, m.lastGain());
    }
  }

  // mixInto and mixRampInto make no garbage: 1000 blocks of 8 tracks
  // allocate less on the Java heap than one block would.
  @Test
  void blocksIntoBuffersAllocateNothingOnTheJavaHeap() {
    com.sun.management.ThreadMXBean threads = (com.sun.management.ThreadMXBean)
        java.lang.management.ManagementFactory.getThreadMXBean();
    try (MultiAudioMixer m = mixer(4096)) {
      ByteBuffer[] tracks = new ByteBuffer[8];
      float[] from = new float[8], to = new float[8];
      for (int i = 0; i < 8; ++i) {
        tracks[i] = direct(4096);
        from[i] = 0.5f;
        to[i] = 0.25f;
      }
      ByteBuffer out = direct(4096);
      long sum = 0;
      for (int warm = 0; warm < 100; ++warm) sum += m.mixInto(tracks, from, out);
      long before = threads.getThreadAllocatedBytes(Thread.currentThread().getId());
      for (int i = 0; i < 500; ++i) {
        sum += m.mixInto(tracks, from, out) + m.mixRampInto(tracks, from, to, 2, out);
      }
      long allocated = threads.getThreadAllocatedBytes(Thread.currentThread().getId()) - before;
      assertEquals(1100L * 4096, sum);
      assertTrue(allocated < 4096, allocated + " bytes");
    }
  }
}
