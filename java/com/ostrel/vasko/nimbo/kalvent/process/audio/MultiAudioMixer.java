package com.ostrel.vasko.nimbo.kalvent.process.audio;

import java.nio.ByteBuffer;

/**
 * Mixes one to 30 signed 16-bit interleaved tracks, each one block long, into
 * one block (libtavrin_amix). The master gain carries over from one block to
 * the next: a block whose sum would leave the 16-bit range is brought inside
 * it, and the gain then recovers over the following blocks.
 *
 * <pre>{@code
 * try (MultiAudioMixer mixer = new MultiAudioMixer()) {
 *     if (!mixer.init(4096)) return;
 *     byte[] block = mixer.mix(new ByteBuffer[] {a, b}, new float[] {1.0f, 0.5f});
 *     // or, with no garbage per block, b fading from 0.5 to 0.25 (stereo):
 *     int bytes = mixer.mixRampInto(new ByteBuffer[] {a, b}, new float[] {1.0f, 0.5f},
 *         new float[] {1.0f, 0.25f}, 2, out);
 * }
 * }</pre>
 *
 * <p>Tracks are direct byte buffers in native byte order; a track whose
 * volume is not 1.0 holds its scaled samples after the call, written through
 * its address (it must be writable memory, whatever the buffer's read-only
 * flag says).
 *
 * <p>The library: the class loads {@code libtavrin_amix} when it is first
 * used, with {@code System.loadLibrary("tavrin_amix")}, which looks in the
 * application's native library folders ({@code java.library.path} on a
 * desktop JVM). When the system property {@code tavrin.amix.library} is set,
 * the class loads that file instead, with {@code System.load}: the property
 * takes an absolute path.
 *
 * <p>Threading: one thread at a time per object. No method throws an
 * exception of its own.
 */
public final class MultiAudioMixer implements AutoCloseable {
  static {
    String path = System.getProperty("tavrin.amix.library");
    if (path != null) System.load(path); else System.loadLibrary("tavrin_amix");
  }

  /** The native mixer's address, written by {@link #init}; 0 when none. */
  private long mMixerId;

  /**
   * Creates the native mixer for blocks of {@code blockSize} bytes. Call once.
   *
   * @return {@code true} when it was created (a negative size is refused)
   */
  public native boolean init(int blockSize);

  /**
   * Mixes the tracks into a new block.
   *
   * @param tracks 1 to 30 direct buffers of at least {@code blockSize} bytes,
   *     read from their start; a {@code null} or non-direct element after
   *     the first is a silent track
   * @param volumes one factor per track (at least as many as tracks)
   * @return a new array of {@code blockSize} bytes, or {@code null} when the
   *     object is not initialised or released, the arrays are {@code null},
   *     there are more than 30 tracks or fewer volumes than tracks, a direct
   *     track is shorter than one block, or the mix is refused (no tracks, a
   *     missing first track, a block of 0 bytes: logged)
   */
  public native byte[] mix(ByteBuffer[] tracks, float[] volumes);

  /**
   * Mixes the tracks into a new block as {@link #mix} does, with each track's
   * volume moving along a ramp across the block: frame j of n plays at
   * {@code from + j * ((to - from) / n)} (single precision, each operation
   * rounded on its own), so a next block that starts at {@code to} goes on
   * without a jump. With {@code volumesFrom[i] == volumesTo[i]} for every
   * track the block is that of {@link #mix}.
   *
   * @param tracks as for {@link #mix}
   * @param volumesFrom each track's volume at the block's first frame
   * @param volumesTo each track's volume that its ramp heads for; as long as
   *     {@code volumesFrom}
   * @param channels samples per frame, 1 to 32; the block's samples must
   *     make whole frames
   * @return a new array of {@code blockSize} bytes, or {@code null} for the
   *     refusals of {@link #mix}, volume arrays of different lengths, and
   *     (logged) a channel count outside 1 to 32, samples that do not make
   *     whole frames, or a volume that is not finite
   */
  public native byte[] mixRamp(ByteBuffer[] tracks, float[] volumesFrom, float[] volumesTo,
      int channels);

  /**
   * {@link #mix} into a buffer of the caller's: nothing is allocated on the
   * Java heap, so a mixing loop makes no garbage.
   *
   * @param tracks as for {@link #mix}
   * @param volumes as for {@link #mix}
   * @param out a direct buffer of at least {@code blockSize} bytes, which
   *     receives the block at its start (position and limit untouched)
   * @return {@code blockSize}, or -1 for the refusals of {@link #mix} and for
   *     an {@code out} that is {@code null}, not direct or too small (then
   *     neither {@code out} nor the tracks are touched)
   */
  public native int mixInto(ByteBuffer[] tracks, float[] volumes, ByteBuffer out);

  /**
   * {@link #mixRamp} into a buffer of the caller's, allocating nothing on the
   * Java heap.
   *
   * @param tracks as for {@link #mix}
   * @param volumesFrom as for {@link #mixRamp}
   * @param volumesTo as for {@link #mixRamp}
   * @param channels as for {@link #mixRamp}
   * @param out as for {@link #mixInto}
   * @return {@code blockSize}, or -1 for the refusals of {@link #mixRamp} and
   *     of {@link #mixInto}
   */
  public native int mixRampInto(ByteBuffer[] tracks, float[] volumesFrom, float[] volumesTo,
      int channels, ByteBuffer out);

  /**
   * The master gain that the last successful mix applied to its sums (after
   * that mix lowered it for a loud block, before it began to recover): 1.0
   * before any mix and after a mix of one track.
   *
   * @return the gain, in (0, 1]; -1 when the object is not initialised or
   *     released
   */
  public native float lastGain();

  /**
   * Frees the native mixer.
   *
   * @return {@code true} when a mixer was released; {@code false} when there
   *     was none (never initialised, or released already)
   */
  public native boolean release();

  /** Same as {@link #release()}. */
  @Override
  public void close() {
    release();
  }
}
