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
