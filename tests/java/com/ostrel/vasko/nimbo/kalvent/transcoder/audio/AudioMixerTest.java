package com.ostrel.vasko.nimbo.kalvent.transcoder.audio;

import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.bytesOf;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.direct;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.floats;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.floatsOf;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.shorts;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.shortsOf;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ostrel.vasko.nimbo.kalvent.testing.NativeLog;
import java.nio.ByteBuffer;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

class AudioMixerTest {
  private long handle;

  @BeforeEach
  void create() {
    NativeLog.clear();
    handle = AudioMixer.init(0);
    assertNotEquals(-1, handle);
  }

  @AfterEach
  void destroy() {
    AudioMixer.destroy(handle);
  }

  @Test
  void dispatchesOnBitDepth() {
    ByteBuffer a8 = direct(2).put(0, (byte) 100).put(1, (byte) 200);
    ByteBuffer b8 = direct(2).put(0, (byte) 100).put(1, (byte) 10);
    ByteBuffer out = direct(2);
    assertTrue(AudioMixer.mix(handle, a8, 0, 1.0f, b8, 0, 1.0f, out, 0, 8, 2));
    assertEquals(200, out.get(0) & 0xFF);
    assertEquals(210, out.get(1) & 0xFF);

    ByteBuffer a32 = direct(8).putInt(0, 70000).putInt(4, -5);
    ByteBuffer b32 = direct(8).putInt(0, 1).putInt(4, -5);
    ByteBuffer out32 = direct(8);
    assertTrue(AudioMixer.mix(handle, a32, 0, 1.0f, b32, 0, 1.0f, out32, 0, 32, 8));
    assertEquals(70001, out32.getInt(0));
    assertEquals(-10, out32.getInt(4));
  }

  @Test
  void mixesFloatTracksIntoRange() {
    ByteBuffer a = floats(0.5f, -0.25f, Float.NaN, 0.375f, 9f);
    ByteBuffer b = floats(0.25f, 0.25f, 0.5f, -0.5f);
    ByteBuffer out = floats(new float[5]);
    // Four samples from track 1's second one: 0.5 scales it in place (NaN
    // becomes 0, 4.5 is clamped to 1).
    assertTrue(AudioMixer.mixFloat(handle, a, 4, 0.5f, b, 0, 1.0f, out, 4, 16));
    assertArrayEquals(new float[] {0.5f, -0.125f, 0f, 0.1875f, 1f}, floatsOf(a, 0, 5));
    assertArrayEquals(new float[] {0f, 0.125f, 0.25f, 0.6875f, 0.5f}, floatsOf(out, 0, 5));

    // A NaN at volume 1.0 zeroes its index; a loud sum is brought to 1.0.
    ByteBuffer c = floats(Float.NaN, 0.75f), d = floats(0.5f, 0.75f), o = direct(8);
    assertTrue(AudioMixer.mixFloat(handle, c, 0, 1.0f, d, 0, 1.0f, o, 0, 8));
    assertArrayEquals(new float[] {0f, 1f}, floatsOf(o, 0, 2));
  }

  @Test
  void mixesWholeSamplesThroughOffsetsAndScalesTrackOneInPlace() {
    ByteBuffer a = shorts(0, 1000, -3, 40, 99), b = shorts(10, 20, 30, 5), out = direct(12);
    // 7 bytes at 16 bits: three samples; track 1 starts one sample in.
    assertTrue(AudioMixer.mix(handle, a, 2, 0.5f, b, 0, 1.0f, out, 4, 16, 7));
    assertArrayEquals(new short[] {0, 500, -1, 20, 99}, shortsOf(a, 0, 5));
    assertArrayEquals(new short[] {10, 20, 30, 5}, shortsOf(b, 0, 4));
    assertArrayEquals(new short[] {0, 0, 510, 19, 50, 0}, shortsOf(out, 0, 6));
  }

  /** 512 samples per call, 1024 bytes of int16 or 2048 of float, whatever the capacity below. */
  @Test
  void capacityHasAFloorOf1024() {
    for (int capacity : new int[] {0, 1023, -5, 1024}) {
      long h = AudioMixer.init(capacity);
      ByteBuffer a = direct(2052), b = direct(2052), out = direct(2052);
      String at = "capacity " + capacity + ": ";
      assertTrue(AudioMixer.mix(h, a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 1024), at + "512 samples");
      assertFalse(AudioMixer.mix(h, a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 1026), at + "513 samples");
      assertTrue(AudioMixer.mixFloat(h, a, 0, 1.0f, b, 0, 1.0f, out, 0, 2048), at + "512 floats");
      assertFalse(AudioMixer.mixFloat(h, a, 0, 0.5f, b, 0, 0.5f, out, 0, 2052), at + "513 floats");
      AudioMixer.destroy(h);
    }
    long big = AudioMixer.init(4096);
    ByteBuffer a = direct(4096), b = direct(4096), out = direct(4096);
    assertTrue(AudioMixer.mix(big, a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 4096));
    AudioMixer.destroy(big);
  }

  /**
   * Every mix refuses bad buffers, sizes, depths, fades and handles without
   * touching a track or the output, and without a log line. The same 8 bytes
   * serve as four int16 samples or two floats.
   */
  @Test
  void badArgumentsAreRefusedUntouched() {
    ByteBuffer a = shorts(1000, 2000, 3000, 4000), b = shorts(1, 2, 3, 4), out = shorts(7, 7, 7, 7);
    ByteBuffer heap = ByteBuffer.allocate(8);
    byte[] a0 = bytesOf(a), b0 = bytesOf(b), out0 = bytesOf(out);
    assertFalse(AudioMixer.mix(handle, a, 0, 0.5f, heap, 0, 1.0f, out, 0, 16, 8));
    assertFalse(AudioMixer.mix(handle, a, 0, 0.5f, null, 0, 1.0f, out, 0, 16, 8));
    assertFalse(AudioMixer.mix(handle, a, -2, 0.5f, b, 0, 1.0f, out, 0, 16, 8));
    assertFalse(AudioMixer.mix(handle, a, 0, 0.5f, b, 0, 1.0f, out, 0, 16, -8));
    assertFalse(AudioMixer.mix(handle, a, 2, 0.5f, b, 0, 1.0f, out, 0, 16, 8));
    assertFalse(AudioMixer.mix(handle, a, 0, 0.5f, b, 0, 1.0f, out, 1, 16, 8));
    assertFalse(AudioMixer.mix(0, a, 0, 0.5f, b, 0, 1.0f, out, 0, 16, 8));
    assertFalse(AudioMixer.mix(-1, a, 0, 0.5f, b, 0, 1.0f, out, 0, 16, 8));
    // Float samples have their own method: no depth selects them here.
    for (int bits : new int[] {24, 0, 4, 64, -32, 33}) {
      assertFalse(AudioMixer.mix(handle, a, 0, 0.5f, b, 0, 0.5f, out, 0, bits, 8), "bits " + bits);
    }
    // 3 bytes hold no whole 32-bit or float sample: the mixer refuses an empty mix.
    assertFalse(AudioMixer.mix(handle, a, 0, 1.0f, b, 0, 1.0f, out, 0, 32, 3));
    assertFalse(AudioMixer.mixFloat(handle, a, 0, 1.0f, b, 0, 1.0f, out, 0, 3));
    assertFalse(AudioMixer.mixFloat(handle, a, 0, 0.5f, heap, 0, 1.0f, out, 0, 8));
    assertFalse(AudioMixer.mixFloat(handle, a, 0, 0.5f, null, 0, 1.0f, out, 0, 8));
    assertFalse(AudioMixer.mixFloat(handle, a, -4, 0.5f, b, 0, 1.0f, out, 0, 8));
    assertFalse(AudioMixer.mixFloat(handle, a, 4, 0.5f, b, 0, 1.0f, out, 0, 8));
    assertFalse(AudioMixer.mixFloat(handle, a, 0, 0.5f, b, 0, 1.0f, out, 0, -8));
    assertFalse(AudioMixer.mixFloat(0, a, 0, 0.5f, b, 0, 1.0f, out, 0, 8));
    assertFalse(AudioMixer.mixFloat(-1, a, 0, 0.5f, b, 0, 1.0f, out, 0, 8));
    // Ramps: channels that do not divide the samples, fades that are not
    // finite or whose step is not, a depth without ramps, a bad handle.
    float nan = Float.NaN, inf = Float.POSITIVE_INFINITY;
    assertFalse(AudioMixer.mixRamp(handle, a, 0, 0f, 1f, b, 0, 1f, 1f, out, 0, 16, 0, 8));
    assertFalse(AudioMixer.mixRamp(handle, a, 0, 0f, 1f, b, 0, 1f, 1f, out, 0, 16, 33, 8));
    assertFalse(AudioMixer.mixRamp(handle, a, 0, 0f, 1f, b, 0, 1f, 1f, out, 0, 16, 3, 8));
    assertFalse(AudioMixer.mixRamp(handle, a, 0, nan, 1f, b, 0, 1f, 1f, out, 0, 16, 1, 8));
    assertFalse(AudioMixer.mixRamp(handle, a, 0, 0f, 1f, b, 0, 1f, inf, out, 0, 16, 1, 8));
    assertFalse(AudioMixer.mixRamp(handle, a, 0, -3e38f, 3e38f, b, 0, 1f, 1f, out, 0, 16, 1, 8));
    assertFalse(AudioMixer.mixRamp(handle, a, 0, 0f, 1f, b, 0, 1f, 1f, out, 0, 24, 1, 8));
    assertFalse(AudioMixer.mixRamp(0, a, 0, 0f, 1f, b, 0, 1f, 1f, out, 0, 16, 1, 8));
    assertFalse(AudioMixer.mixFloatRamp(handle, a, 0, 0f, 1f, b, 0, 1f, 1f, out, 0, 3, 8));
    assertFalse(AudioMixer.mixFloatRamp(handle, a, 0, 0f, 1f, b, 4, 1f, 1f, out, 0, 1, 8));
    assertArrayEquals(a0, bytesOf(a));
    assertArrayEquals(b0, bytesOf(b));
    assertArrayEquals(out0, bytesOf(out));
    AudioMixer.destroy(0);
    AudioMixer.destroy(-1);
    assertEquals(List.of(), NativeLog.lines());
  }

  @Test
  void rampsMoveEachVolumeAcrossTheFrames() {
    // Four stereo frames: track 1 fades in 0 -> 1 (frames at 0, 0.25, 0.5,
    // 0.75), track 2 stays at 0.5.
    ByteBuffer a = shorts(1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000);
    ByteBuffer b = shorts(400, 400, 400, 400, 400, 400, 400, 400);
    ByteBuffer out = direct(16);
    assertTrue(AudioMixer.mixRamp(handle, a, 0, 0f, 1f, b, 0, 0.5f, 0.5f, out, 0, 16, 2, 16));
    assertArrayEquals(new short[] {0, 0, 250, 250, 500, 500, 750, 750}, shortsOf(a, 0, 8));
    assertArrayEquals(new short[] {200, 200, 450, 450, 700, 700, 950, 950}, shortsOf(out, 0, 8));

    ByteBuffer f = floats(0.5f, 0.5f, 0.5f, 0.5f), g = floats(new float[4]), fout = direct(16);
    assertTrue(AudioMixer.mixFloatRamp(handle, f, 0, 1f, 0f, g, 0, 1f, 1f, fout, 0, 1, 16));
    assertArrayEquals(new float[] {0.5f, 0.375f, 0.25f, 0.125f}, floatsOf(fout, 0, 4));

    // Flat ramps are the plain mix, bit for bit.
    ByteBuffer c = shorts(1001, -7), d = shorts(3, 5), c2 = shorts(1001, -7), d2 = shorts(3, 5);
    ByteBuffer o1 = direct(4), o2 = direct(4);
    assertTrue(AudioMixer.mix(handle, c, 0, 0.3f, d, 0, 1f, o1, 0, 16, 4));
    assertTrue(AudioMixer.mixRamp(handle, c2, 0, 0.3f, 0.3f, d2, 0, 1f, 1f, o2, 0, 16, 1, 4));
    assertArrayEquals(bytesOf(o1), bytesOf(o2));
    assertArrayEquals(bytesOf(c), bytesOf(c2));
  }

  /** Float and int16 mixes share one master gain; lastGain is the gain the last mix applied. */
  @Test
  void mixesShareTheGainThatLastGainReports() {
    assertEquals(-1f, AudioMixer.lastGain(0));
    assertEquals(-1f, AudioMixer.lastGain(-1));
    assertEquals(1f, AudioMixer.lastGain(handle));
    ByteBuffer loud = floats(0.8f), alsoLoud = floats(0.8f), fout = direct(4);
    assertTrue(AudioMixer.mixFloat(handle, loud, 0, 1.0f, alsoLoud, 0, 1.0f, fout, 0, 4));
    assertEquals(1.0f, fout.getFloat(0));
    assertEquals(0.625f, AudioMixer.lastGain(handle));
    // The gain recovered to 0.63671875 for the next call.
    ByteBuffer quiet = shorts(1000), silent = shorts(0), out = direct(2);
    assertTrue(AudioMixer.mix(handle, quiet, 0, 1.0f, silent, 0, 1.0f, out, 0, 16, 2));
    assertEquals(636, out.getShort(0));
    assertEquals(0.63671875f, AudioMixer.lastGain(handle));
    ByteBuffer a = shorts(30000), b = shorts(30000);
    assertTrue(AudioMixer.mix(handle, a, 0, 1f, b, 0, 1f, out, 0, 16, 2));
    assertEquals(0.54611665f, AudioMixer.lastGain(handle));  // 32767 / 60000, not the released 0.5603
    assertFalse(AudioMixer.mix(handle, a, 0, 1f, b, 0, 1f, out, 0, 24, 2));
    assertEquals(0.54611665f, AudioMixer.lastGain(handle));
  }

  @Test
  void ownedMixerClosesOnce() {
    AudioMixer mixer = AudioMixer.create(1024);
    assertEquals(1f, mixer.lastGain());
    ByteBuffer a = shorts(1), b = shorts(2), out = direct(2);
    assertTrue(mixer.mixTracks(a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 2));
    assertEquals(3, out.getShort(0));
    ByteBuffer fa = floats(0.5f), fb = floats(-0.125f), fout = direct(4);
    assertTrue(mixer.mixFloatTracks(fa, 0, 1.0f, fb, 0, 1.0f, fout, 0, 4));
    assertEquals(0.375f, fout.getFloat(0));
    assertTrue(mixer.mixRampTracks(a, 0, 0.5f, 0f, b, 0, 1.0f, 1.0f, out, 0, 16, 1, 2));
    assertEquals(2, out.getShort(0));  // 1 x 0.5 truncates to 0, + 2
    assertTrue(mixer.mixFloatRampTracks(fa, 0, 0.5f, 0f, fb, 0, 1.0f, 1.0f, fout, 0, 1, 4));
    assertEquals(0.125f, fout.getFloat(0));  // 0.5 x 0.5 - 0.125
    mixer.close();
    mixer.close();
    assertEquals(0, mixer.handle());
    assertEquals(-1f, mixer.lastGain());
    assertFalse(mixer.mixTracks(a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 2));
    assertFalse(mixer.mixFloatTracks(fa, 0, 1.0f, fb, 0, 1.0f, fout, 0, 4));
    assertFalse(mixer.mixRampTracks(a, 0, 1.0f, 0f, b, 0, 1.0f, 1.0f, out, 0, 16, 1, 2));
    assertFalse(mixer.mixFloatRampTracks(fa, 0, 1.0f, 0f, fb, 0, 1.0f, 1.0f, fout, 0, 1, 4));
  }
}
