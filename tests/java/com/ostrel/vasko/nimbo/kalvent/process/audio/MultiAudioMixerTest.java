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
