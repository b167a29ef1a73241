package com.ostrel.vasko.nimbo.kalvent.transcoder.audio;

import java.nio.ByteBuffer;

/**
 * Mixes two PCM tracks into one, with a volume per track and an adaptive
 * master gain that keeps the mix inside the sample range (libtavrin_amix).
 *
 * <p>Samples are unsigned 8-bit (plain magnitudes 0..255), signed 16-bit or
 * signed 32-bit ({@link #mix}), or 32-bit float with full scale at [-1, 1]
 * ({@link #mixFloat}), in native byte order, in <em>direct</em> byte buffers.
 * {@link #mixRamp} and {@link #mixFloatRamp} move each volume along a ramp
 * across the block, for fades without steps; {@link #lastGain(long)} tells
 * the master gain a mix applied.
 * Mixing works in place: a track whose volume is not 1.0 holds its scaled
 * samples after the call (tracks and output are written through their
 * addresses: they must be writable memory, whatever the buffers' read-only
 * flags say). The master gain carries over from one call to the
 * next on the same mixer: when a block's loudest sum would leave the range
 * the gain drops at once, then recovers by 1/32 of its distance to 1.0 per
 * call.
 *
 * <p>The native methods take the mixer's handle explicitly; an instance of
 * this class owns one handle and closes it:
 *
 * <pre>{@code
 * try (AudioMixer mixer = AudioMixer.create(2 * blockBytes)) {
 *     mixer.mixTracks(voice, 0, 1.0f, music, 0, 0.5f, out, 0, 16, blockBytes);
 * }
 * }</pre>
 *
 * <p>Threading: a mixer is used by one thread at a time; distinct mixers are
 * independent. No method throws an exception of its own.
 *
 * <p>Loading: the class loads the native library when it is initialised,
 * with {@code System.loadLibrary("tavrin_amix")} (so {@code
 * libtavrin_amix.so} on the library path, as an Android app packs it). When
 * the system property {@code tavrin.amix.library} is set, it names the
 * library file instead, as an absolute path passed to {@code System.load}.
 * A library that cannot be found fails the class's initialisation with
 * {@code UnsatisfiedLinkError}.
 */
public final class AudioMixer implements AutoCloseable {
  static {
    String path = System.getProperty("tavrin.amix.library");
    if (path != null) System.load(path); else System.loadLibrary("tavrin_amix");
  }

  private long handle;

  private AudioMixer(long handle) {
    this.handle = handle;
  }

  /**
   * Creates a mixer owned by the returned object.
   *
   * @param capacity as for {@link #init(int)}
   * @return the mixer, or {@code null} when it cannot be created
   */
  public static AudioMixer create(int capacity) {
    long h = init(capacity);
    return h == -1 ? null : new AudioMixer(h);
  }

  /** The native handle this object owns, 0 once closed. */
  public synchronized long handle() {
    return handle;
  }

  /**
   * {@link #mix} on this object's handle.
   *
   * @return the result of {@link #mix}; {@code false} once closed
   */
  public synchronized boolean mixTracks(ByteBuffer track1, int track1Offset, float track1Volume,
      ByteBuffer track2, int track2Offset, float track2Volume, ByteBuffer outputBuffer,
      int outputOffset, int bitsPerSample, int size) {
    return handle != 0 && mix(handle, track1, track1Offset, track1Volume, track2, track2Offset,
        track2Volume, outputBuffer, outputOffset, bitsPerSample, size);
  }

  /**
   * {@link #mixFloat} on this object's handle.
   *
   * @return the result of {@link #mixFloat}; {@code false} once closed
   */
  public synchronized boolean mixFloatTracks(ByteBuffer track1, int track1Offset,
      float track1Volume, ByteBuffer track2, int track2Offset, float track2Volume,
      ByteBuffer outputBuffer, int outputOffset, int size) {
    return handle != 0 && mixFloat(handle, track1, track1Offset, track1Volume, track2,
        track2Offset, track2Volume, outputBuffer, outputOffset, size);
  }

  /**
   * {@link #mixRamp} on this object's handle.
   *
   * @return the result of {@link #mixRamp}; {@code false} once closed
   */
  public synchronized boolean mixRampTracks(ByteBuffer track1, int track1Offset, float track1From,
      float track1To, ByteBuffer track2, int track2Offset, float track2From, float track2To,
      ByteBuffer outputBuffer, int outputOffset, int bitsPerSample, int channels, int size) {
    return handle != 0 && mixRamp(handle, track1, track1Offset, track1From, track1To, track2,
        track2Offset, track2From, track2To, outputBuffer, outputOffset, bitsPerSample, channels,
        size);
  }

  /**
   * {@link #mixFloatRamp} on this object's handle.
   *
   * @return the result of {@link #mixFloatRamp}; {@code false} once closed
   */
  public synchronized boolean mixFloatRampTracks(ByteBuffer track1, int track1Offset,
      float track1From, float track1To, ByteBuffer track2, int track2Offset, float track2From,
      float track2To, ByteBuffer outputBuffer, int outputOffset, int channels, int size) {
    return handle != 0 && mixFloatRamp(handle, track1, track1Offset, track1From, track1To, track2,
        track2Offset, track2From, track2To, outputBuffer, outputOffset, channels, size);
  }

  /**
   * {@link #lastGain(long)} on this object's handle.
   *
   * @return the gain of the last successful mix; -1 once closed
   */
  public synchronized float lastGain() {
    return lastGain(handle);
  }

  /** Destroys the mixer; later calls on this object fail. Idempotent. */
  @Override
  public synchronized void close() {
    if (handle != 0) {
      destroy(handle);
      handle = 0;
    }
  }

  /**
   * Creates a native mixer.
   *
   * @param capacity room for {@code capacity / 2} samples per two-track mix
   *     (create with at least 2 x size for 8-bit mixes, size for 16-bit, size
   *     / 2 for 32-bit and float); values below 1024 select 1024
   * @return the handle, or -1 when the mixer cannot be created (logged)
   */
  public static native long init(int capacity);

  /**
   * Mixes {@code size} bytes of two tracks into {@code outputBuffer}.
   *
   * @param handle from {@link #init(int)}
   * @param track1 direct buffer; {@code size} bytes from {@code track1Offset}
   *     are read and, with a volume other than 1.0, scaled in place
   * @param track2 as track1
   * @param outputBuffer direct buffer receiving {@code size} bytes at
   *     {@code outputOffset}; may be one of the tracks
   * @param bitsPerSample 8, 16 or 32 (float samples go through
   *     {@link #mixFloat})
   * @param size bytes per track and output (whole samples are mixed)
   * @return {@code true} when the mix was written; {@code false}, touching
   *     nothing, for a handle of 0 or -1, another bit depth, a buffer that is
   *     {@code null} or not direct, a negative offset or size, a region
   *     beyond a buffer's capacity, fewer than one sample, or more samples
   *     than the mixer's capacity allows
   */
  public static native boolean mix(long handle, ByteBuffer track1, int track1Offset,
      float track1Volume, ByteBuffer track2, int track2Offset, float track2Volume,
      ByteBuffer outputBuffer, int outputOffset, int bitsPerSample, int size);

  /**
   * Mixes {@code size} bytes of two float tracks into {@code outputBuffer}.
   *
   * <p>The same mixer, arguments and refusals as {@link #mix} with 32-bit
   * samples, and the same master gain (calls of both kinds may alternate on
   * one handle). A track whose volume is not 1.0 is scaled in place: each
   * sample times the volume, NaN made 0, clamped to [-1, 1]. The two tracks
   * are summed in double precision; when the loudest sum times the gain
   * exceeds 1.0 the gain drops to 1.0 / that sum. Every output sample is
   * finite and within [-1, 1]; a sample index where a track at volume 1.0
   * holds NaN or an infinity comes out as 0.
   *
   * @param handle from {@link #init(int)}; create it with a capacity of at
   *     least {@code size / 2}
   * @param track1 direct buffer; {@code size} bytes from {@code track1Offset}
   *     are read and, with a volume other than 1.0, scaled in place
   * @param track2 as track1
   * @param outputBuffer direct buffer receiving {@code size} bytes at
   *     {@code outputOffset}; may be one of the tracks
   * @param size bytes per track and output (whole 4-byte samples are mixed)
   * @return {@code true} when the mix was written; {@code false}, touching
   *     nothing, for the same faults as {@link #mix}
   */
  public static native boolean mixFloat(long handle, ByteBuffer track1, int track1Offset,
      float track1Volume, ByteBuffer track2, int track2Offset, float track2Volume,
      ByteBuffer outputBuffer, int outputOffset, int size);

  /**
   * Mixes {@code size} bytes of two tracks into {@code outputBuffer} as
   * {@link #mix} does, but with each track's volume moving along a ramp
   * across the block instead of staying fixed: click-free fades and volume
   * changes.
   *
   * <p>The block is frames of {@code channels} interleaved samples. Frame j
   * of n frames plays at {@code from + j * ((to - from) / n)}, each operation
   * rounded to single precision on its own, so the ramp stops one step short
   * of {@code to}: a next call that starts at {@code to} goes on without a
   * jump. Each sample is scaled as at a fixed volume (volumes within a
   * millionth of 1.0 leave it untouched), in place; the sums, the master
   * gain and its carry-over between calls are those of {@link #mix}. With
   * {@code from == to} for both tracks the call is {@link #mix}.
   *
   * <pre>{@code
   * // a 1 s fade-out of 16-bit stereo music under a voice, in 1024-frame blocks
   * for (int done = 0; done < 48000; done += 1024) {
   *   float from = 1f - done / 48000f, to = 1f - (done + 1024) / 48000f;
   *   AudioMixer.mixRamp(h, voice, 0, 1f, 1f, music, 0, from, to, out, 0, 16, 2, 4096);
   * }
   * }</pre>
   *
   * @param handle from {@link #init(int)}
   * @param track1 direct buffer; {@code size} bytes from {@code track1Offset}
   *     are read and scaled in place along the ramp
   * @param track1From the volume of track 1's first frame
   * @param track1To the volume that track 1's ramp heads for
   * @param track2 as track1
   * @param outputBuffer direct buffer receiving {@code size} bytes at
   *     {@code outputOffset}; may be one of the tracks
   * @param bitsPerSample 8, 16 or 32 (floats go through
   *     {@link #mixFloatRamp})
   * @param channels samples per frame, 1 to 32
   * @param size bytes per track and output: whole samples that make whole
   *     frames
   * @return {@code true} when the mix was written; {@code false}, touching
   *     nothing, for the faults of {@link #mix}, a channel count outside 1 to
   *     32, samples that do not make whole frames, and a volume that is not
   *     finite (or two whose difference overflows)
   */
  public static native boolean mixRamp(long handle, ByteBuffer track1, int track1Offset,
      float track1From, float track1To, ByteBuffer track2, int track2Offset, float track2From,
      float track2To, ByteBuffer outputBuffer, int outputOffset, int bitsPerSample, int channels,
      int size);

  /**
   * {@link #mixRamp} for float tracks: the ramps of {@link #mixRamp}, the
   * float mix of {@link #mixFloat}.
   *
   * @param handle from {@link #init(int)}
   * @param track1 direct buffer; {@code size} bytes from {@code track1Offset}
   * @param track1From the volume of track 1's first frame
   * @param track1To the volume that track 1's ramp heads for
   * @param track2 as track1
   * @param outputBuffer direct buffer receiving {@code size} bytes at
   *     {@code outputOffset}; may be one of the tracks
   * @param channels samples per frame, 1 to 32
   * @param size bytes per track and output: whole 4-byte samples that make
   *     whole frames
   * @return {@code true} when the mix was written; {@code false}, touching
   *     nothing, for the faults of {@link #mixRamp}
   */
  public static native boolean mixFloatRamp(long handle, ByteBuffer track1, int track1Offset,
      float track1From, float track1To, ByteBuffer track2, int track2Offset, float track2From,
      float track2To, ByteBuffer outputBuffer, int outputOffset, int channels, int size);

  /**
   * The master gain that the last successful mix on {@code handle} applied to
   * its sums (after that mix lowered it for a loud block, before it began to
   * recover): 1.0 for a new mixer and after a mix of one track; a refused
   * mix leaves it as it was.
   *
   * @param handle from {@link #init(int)}
   * @return the gain, in (0, 1]; -1 for a handle of 0 or -1
   */
  public static native float lastGain(long handle);

  /** Destroys the mixer of {@code handle}; 0 and -1 are ignored. */
  public static native void destroy(long handle);
}
