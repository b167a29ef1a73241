package com.ostrel.vasko.nimbo.kalvent.process.audio;

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
import java.util.List;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

class MultiAudioMixerTest {
  @BeforeEach
  void clearLog() {
    NativeLog.clear();
  }

  @Test
  void uninitialisedObjectFailsQuietly() {
    MultiAudioMixer m = new MultiAudioMixer();
    assertNull(m.mix(new ByteBuffer[] {shorts((short) 1)}, new float[] {1.0f}));
    assertFalse(m.release());
    assertEquals(List.of(), NativeLog.lines());
  }

  /** A second init keeps the first mixer (its block size); after a release init works again. */
  @Test
  void aSecondInitKeepsTheFirstMixer() {
    try (MultiAudioMixer m = new MultiAudioMixer()) {
      assertTrue(m.init(4));
      NativeLog.clear();
      assertFalse(m.init(8));
      assertEquals(List.of(error("multi audio mixer already inited, release it first !")),
          NativeLog.lines());
      assertEquals(4, m.mix(new ByteBuffer[] {shorts((short) 1, (short) 2)}, new float[] {1.0f})
          .length);
      assertTrue(m.release());
      assertTrue(m.init(8));
    }
  }

  @Test
  void mixesThreeUnitTracksWithoutChangingThem() {
    try (MultiAudioMixer m = new MultiAudioMixer()) {
      assertTrue(m.init(8));
      ByteBuffer a = shorts((short) 1, (short) 2, (short) 3, (short) 4);
      ByteBuffer b = shorts((short) 10, (short) 20, (short) 30, (short) 40);
      ByteBuffer c = shorts((short) -1, (short) -1, (short) -1, (short) -1);
      byte[] block = m.mix(new ByteBuffer[] {a, b, c}, new float[] {1.0f, 1.0f, 1.0f});
      assertNotNull(block);
      assertEquals(8, block.length);
      assertArrayEquals(new short[] {10, 21, 32, 43}, shortsOf(block));
      assertArrayEquals(new short[] {10, 20, 30, 40}, shortsOf(b, 0, 4));
    }
    assertEquals(List.of(info("multi audio mixer created: 8"), info("multi audio mixer released !")),
        NativeLog.lines());
  }

  @Test
  void usesAllThirtyTracks() {
    try (MultiAudioMixer m = new MultiAudioMixer()) {
      assertTrue(m.init(4));
      ByteBuffer[] tracks = new ByteBuffer[30];
      float[] volumes = new float[30];
      for (int i = 0; i < 30; ++i) {
        tracks[i] = shorts((short) (i + 1), (short) 1);
        volumes[i] = 1.0f;
      }
      assertArrayEquals(new short[] {465, 30},
          shortsOf(m.mix(tracks, volumes)));
    }
  }

  @Test
  void refusesBadArgumentsWithNull() {
    try (MultiAudioMixer m = new MultiAudioMixer()) {
      assertTrue(m.init(4));
      ByteBuffer t = shorts((short) 1, (short) 2);
      NativeLog.clear();
      assertNull(m.mix(null, new float[] {1.0f}));
      assertNull(m.mix(new ByteBuffer[] {t}, null));
      assertNull(m.mix(new ByteBuffer[31], new float[31]));
      assertNull(m.mix(new ByteBuffer[] {t, t}, new float[] {1.0f}));
      assertNull(m.mix(new ByteBuffer[] {t, direct(2)}, new float[] {1.0f, 1.0f}));
      assertEquals(List.of(), NativeLog.lines());
      // Refused by the mixer itself: logged.
      assertNull(m.mix(new ByteBuffer[0], new float[0]));
      assertNull(m.mix(new ByteBuffer[] {null, t}, new float[] {1.0f, 1.0f}));
      assertEquals(List.of(error("audio_mixer_mix_int16 failed !"),
          error("audio_mixer_mix_int16 failed !")), NativeLog.lines());
    }
  }

  @Test
  void missingAndHeapTracksAreSilent() {
    try (MultiAudioMixer m = new MultiAudioMixer()) {
      assertTrue(m.init(4));
      ByteBuffer t = shorts((short) 5, (short) 6);
      ByteBuffer heap = ByteBuffer.allocate(4);
      byte[] block = m.mix(new ByteBuffer[] {t, null, heap}, new float[] {1.0f, 1.0f, 1.0f});
      assertArrayEquals(new short[] {5, 6},
          shortsOf(block));
    }
  }

  @Test
  void rampsAndBlocksIntoBuffersMatchTheirTwins() {
    try (MultiAudioMixer m = new MultiAudioMixer(); MultiAudioMixer twin = new MultiAudioMixer()) {
      assertTrue(m.init(8));
      assertTrue(twin.init(8));
      // Two stereo frames; track 2 fades 1 -> 0 (frames at 1 and 0.5).
      ByteBuffer a = shorts((short) 10, (short) 20, (short) 30, (short) 40);
      ByteBuffer b = shorts((short) 100, (short) 100, (short) 100, (short) 100);
      byte[] block = m.mixRamp(new ByteBuffer[] {a, b}, new float[] {1f, 1f},
          new float[] {1f, 0f}, 2);
      assertArrayEquals(new short[] {110, 120, 80, 90}, shortsOf(block));

      // Into a buffer: the same bytes as the byte[] forms; flat ramps are mix.
      ByteBuffer out = direct(12);
      ByteBuffer c = shorts((short) 1001, (short) -7, (short) 5, (short) 9);
      ByteBuffer c2 = shorts((short) 1001, (short) -7, (short) 5, (short) 9);
      float[] v = {0.3f};
      assertEquals(8, m.mixRampInto(new ByteBuffer[] {c}, v, v, 4, out));
      assertArrayEquals(shortsOf(twin.mix(new ByteBuffer[] {c2}, v)), shortsOf(out, 0, 4));
      assertArrayEquals(shortsOf(c2, 0, 4), shortsOf(c, 0, 4));
      assertEquals(8, m.mixInto(new ByteBuffer[] {c, a}, new float[] {1f, 1f}, out));
      assertArrayEquals(new short[] {310, 18, 31, 42}, shortsOf(out, 0, 4));
    }
  }

  @Test
  void rampsAndBlocksIntoBuffersRefuse() {
    try (MultiAudioMixer m = new MultiAudioMixer()) {
      assertTrue(m.init(8));
      ByteBuffer t = shorts((short) 1, (short) 2, (short) 3, (short) 4);
      ByteBuffer[] tracks = {t};
      float[] one = {0.5f};
      ByteBuffer out = shorts((short) 7, (short) 7, (short) 7, (short) 7);
      NativeLog.clear();
      assertNull(m.mixRamp(tracks, one, new float[] {0.5f, 1f}, 1));  // mismatched lengths
      assertNull(m.mixRamp(tracks, one, null, 1));
      assertEquals(-1, m.mixRampInto(tracks, new float[0], new float[0], 1, out));
      assertEquals(-1, m.mixInto(tracks, one, direct(7)));
      assertEquals(-1, m.mixInto(tracks, one, ByteBuffer.allocate(8)));
      assertEquals(-1, m.mixRampInto(tracks, one, one, 1, null));
      assertEquals(List.of(), NativeLog.lines());
      assertNull(m.mixRamp(tracks, one, one, 3));
      assertEquals(-1, m.mixRampInto(tracks, one, new float[] {Float.NaN}, 1, out));
      assertEquals(-1, m.mixRampInto(tracks, one, one, 0, out));
      assertEquals(List.of(
          error("multi audio mixer block of 4 samples is not whole frames of 3 channels"),
          error("audio_mixer_mix_int16_ramp failed !"), error("audio_mixer_mix_int16_ramp failed !")),
          NativeLog.lines());
      assertArrayEquals(new short[] {1, 2, 3, 4}, shortsOf(t, 0, 4));
      assertArrayEquals(new short[] {7, 7, 7, 7}, shortsOf(out, 0, 4));
    }
  }

  @Test
  void lastGainFollowsTheMixes() {
    MultiAudioMixer m = new MultiAudioMixer();
    assertEquals(-1f, m.lastGain());
    assertTrue(m.init(2));
    assertEquals(1f, m.lastGain());
    ByteBuffer loud = shorts((short) 30000);
    assertEquals(2, m.mixInto(new ByteBuffer[] {loud, loud}, new float[] {1f, 1f}, direct(2)));
    assertEquals(32767f / 60000f, m.lastGain(), 1e-7f);
    assertNotNull(m.mix(new ByteBuffer[] {loud}, new float[] {1f}));
    assertEquals(1f, m.lastGain());
    assertTrue(m.release());
    assertEquals(-1f, m.lastGain());
  }

  // mixInto and mixRampInto make no garbage: 1000 blocks of 8 tracks
  // allocate less on the Java heap than one block would.
  @Test
  void blocksIntoBuffersAllocateNothingOnTheJavaHeap() {
    com.sun.management.ThreadMXBean threads = (com.sun.management.ThreadMXBean)
        java.lang.management.ManagementFactory.getThreadMXBean();
    try (MultiAudioMixer m = new MultiAudioMixer()) {
      assertTrue(m.init(4096));
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

  @Test
  void releaseClearsTheHandle() {
    MultiAudioMixer m = new MultiAudioMixer();
    assertTrue(m.init(4));
    assertTrue(m.release());
    assertFalse(m.release());
    assertNull(m.mix(new ByteBuffer[] {shorts((short) 1, (short) 1)}, new float[] {1.0f}));
    assertFalse(m.init(-2));
    assertEquals(List.of(info("multi audio mixer created: 4"), info("multi audio mixer released !"),
        error("audio_mixer_create failed !")), NativeLog.lines());
  }
}
