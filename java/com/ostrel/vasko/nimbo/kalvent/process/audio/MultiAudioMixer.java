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

  private static final int MAX_TRACKS = 30;

  // mixInto and mixRampInto look the buffers' addresses up only when other
  // buffers come than last time: a direct buffer's memory stays where it is
  // while the buffer lives, and these fields hold the buffers, so their
  // addresses stay valid.  A null or non-direct track is address 0.
  private final ByteBuffer[] knownTracks = new ByteBuffer[MAX_TRACKS];
  private final long[] knownAddresses = new long[MAX_TRACKS];
  private ByteBuffer knownOut;
  private long knownOutAddress;
  private long knownHandle;

  /**
   * Creates the native mixer for blocks of {@code blockSize} bytes. An object
   * holds one native mixer at a time: {@link #release} it before another
   * {@code init}.
   *
   * @return {@code true} when it was created; {@code false} for a negative
   *     size, or while the object still holds a mixer (the first one is kept;
   *     logged)
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
   * <p>The mixer remembers the buffers of the last call: while the same
   * track and output buffers come back, it does not look their addresses up
   * again. It holds on to them until other buffers come or it is closed.
   *
   * @param tracks as for {@link #mix}
   * @param volumes as for {@link #mix}
   * @param out a direct buffer of at least {@code blockSize} bytes, which
   *     receives the block at its start (position and limit untouched)
   * @return {@code blockSize}, or -1 for the refusals of {@link #mix} and for
   *     an {@code out} that is {@code null}, not direct or too small (then
   *     neither {@code out} nor the tracks are touched)
   */
  public int mixInto(ByteBuffer[] tracks, float[] volumes, ByteBuffer out) {
    return mixInto(tracks, volumes, null, 0, out);
  }

  /**
   * {@link #mixRamp} into a buffer of the caller's, allocating nothing on the
   * Java heap (and remembering the buffers as {@link #mixInto} does).
   *
   * @param tracks as for {@link #mix}
   * @param volumesFrom as for {@link #mixRamp}
   * @param volumesTo as for {@link #mixRamp}
   * @param channels as for {@link #mixRamp}
   * @param out as for {@link #mixInto}
   * @return {@code blockSize}, or -1 for the refusals of {@link #mixRamp} and
   *     of {@link #mixInto}
   */
  public int mixRampInto(ByteBuffer[] tracks, float[] volumesFrom, float[] volumesTo,
      int channels, ByteBuffer out) {
    return volumesTo == null ? -1 : mixInto(tracks, volumesFrom, volumesTo, channels, out);
  }

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

  /** Same as {@link #release()}; also lets go of the buffers of the last mix. */
  @Override
  public void close() {
    release();
    forget();
  }

  // The mixes into a buffer: the refusals of mix and mixRamp that need no
  // native call, then one native call with the addresses (volumesTo null:
  // fixed volumes).
  private int mixInto(ByteBuffer[] tracks, float[] volumesFrom, float[] volumesTo, int channels,
      ByteBuffer out) {
    long handle = mMixerId;
    if (handle == 0 || tracks == null || volumesFrom == null || tracks.length > MAX_TRACKS
        || volumesFrom.length < tracks.length
        || (volumesTo != null && volumesTo.length != volumesFrom.length)
        || !know(handle, tracks, out)) {
      return -1;
    }
    return mixAt(handle, knownAddresses, tracks.length, volumesFrom, volumesTo, channels,
        knownOutAddress);
  }

  // Brings the remembered addresses up to date with these buffers; false for
  // a direct track shorter than a block, or an unusable out.
  private boolean know(long handle, ByteBuffer[] tracks, ByteBuffer out) {
    if (handle != knownHandle) {
      forget();
      knownHandle = handle;
    }
    if (out != knownOut) {
      long address = out == null ? 0 : address(handle, out);
      if (address <= 0) return false;
      knownOut = out;
      knownOutAddress = address;
    }
    for (int i = 0; i < tracks.length; ++i) {
      ByteBuffer track = tracks[i];
      if (track == knownTracks[i]) continue;
      long address = track == null ? 0 : address(handle, track);
      if (address < 0) return false;
      knownTracks[i] = track;
      knownAddresses[i] = address;
    }
    return true;
  }

  private void forget() {
    java.util.Arrays.fill(knownTracks, null);
    java.util.Arrays.fill(knownAddresses, 0);
    knownOut = null;
    knownOutAddress = 0;
    knownHandle = 0;
  }

  // The address of a direct buffer of at least one block of the mixer of
  // `handle`; 0 for one that is not direct, -1 for one too short (or no
  // mixer).
  private static native long address(long handle, ByteBuffer buffer);

  // Mixes `count` tracks at these addresses (0: a missing track) along
  // volumesFrom, or the ramps to volumesTo, and copies the block to `out`;
  // its byte count, or -1.
  private static native int mixAt(long handle, long[] tracks, int count, float[] volumesFrom,
      float[] volumesTo, int channels, long out);
}
