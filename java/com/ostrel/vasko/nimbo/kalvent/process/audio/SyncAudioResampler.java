package com.ostrel.vasko.nimbo.kalvent.process.audio;

import java.nio.ByteBuffer;

/**
 * A meeting point between a producer thread that writes signed 16-bit PCM of
 * any rate, layout and block size, and a consumer thread that reads blocks of
 * a fixed size at the target rate and layout (libtavrin_amix).
 *
 * <p>The producer waits while a whole block is already buffered; the consumer
 * waits until a whole block is buffered, the stream has ended, or the object
 * was interrupted. The last block of a stream is padded with zero bytes. A
 * stream of n input frames comes out as exactly
 * {@code floor(n * dstRate / srcRate + 1/2)} frames, and each block can
 * carry the time of its first frame, taken from the stamps of the writes.
 *
 * <pre>{@code
 * SyncAudioResampler r = new SyncAudioResampler();
 * r.init(44100, 2, 48000, 2, 4096);
 * // producer thread:  r.write(decoded, n, ptsUs, last);  // n bytes from index 0 of decoded
 * // consumer thread:  while ((n = r.readStamped(block)) > 0) encode(block, n, r.blockStamp());
 * // shutdown:         r.interrupt(); join both threads; r.release();
 * }</pre>
 *
 * <p>The library: the class loads {@code libtavrin_amix} when it is first
 * used, with {@code System.loadLibrary("tavrin_amix")}, which looks in the
 * application's native library folders ({@code java.library.path} on a
 * desktop JVM). When the system property {@code tavrin.amix.library} is set,
 * the class loads that file instead, with {@code System.load}: the property
 * takes an absolute path.
 *
 * <p>Threading: one producer thread calls {@link #write}, one consumer thread
 * calls {@code read}; {@link #interrupt} may come from any thread;
 * {@link #release} only when no other call on the object is running (not
 * even {@code interrupt}). Buffers are direct, in native byte order; a read
 * writes through the buffer's address, so it must be writable memory. No
 * method throws an exception of its own.
 */
public final class SyncAudioResampler implements AutoCloseable {
  static {
    String path = System.getProperty("tavrin.amix.library");
    if (path != null) System.load(path); else System.loadLibrary("tavrin_amix");
  }

  /** The native object's address, written by {@link #init}; 0 when none. */
  private long mResamplerId;

  /** The stamp of the last block that {@link #readStamped} delivered. */
  private long mBlockStamp;

  /**
   * Creates the native object, converting with libswresample's default
   * filter. An object holds one native object at a time: {@link #release}
   * it before another {@code init}.
   *
   * @param blockSize bytes delivered by every read, 1 to 576000
   * @return {@code true} when it was created; {@code false} for an unknown
   *     speaker code, a rate of 0 or below, a source rate more than 256
   *     times the destination rate, a block size out of range, or while the
   *     object still holds a native object (the first one is kept) (logged)
   */
  public native boolean init(int srcSamplesPerSec, int srcSpeakers, int dstSamplesPerSec,
      int dstSpeakers, int blockSize);

  /**
   * Creates the native object, converting at the given quality: the presets
   * of {@code AudioTransformer} (its class comment gives their figures), from
   * {@code AudioTransformer.QUALITY_DEFAULT} (0, the same as the other
   * {@code init}) to {@code QUALITY_BEST} (2). The presets keep streams
   * exactly as long and stamps as exact as the default does. libsoxr gives
   * its output in bursts (at 44.1 to 48 kHz stereo with writes of 1024
   * frames, about four writes' worth every fourth write); a consumer of
   * 4096-byte blocks still wakes fewer than twice a block (measured: 1.6 to 1.7).
   *
   * @param quality 0, 1 or 2
   * @return as for the other {@code init}, and {@code false} for a quality
   *     outside 0 to 2 (logged)
   */
  public boolean init(int srcSamplesPerSec, int srcSpeakers, int dstSamplesPerSec,
      int dstSpeakers, int blockSize, int quality) {
    return initQuality(srcSamplesPerSec, srcSpeakers, dstSamplesPerSec, dstSpeakers, blockSize,
        quality);
  }

  private native boolean initQuality(int srcSamplesPerSec, int srcSpeakers,
      int dstSamplesPerSec, int dstSpeakers, int blockSize, int quality);

  /**
   * Converts {@code size} bytes from index 0 of {@code data}'s memory and
   * queues them; waits while a whole block is already queued (not once
   * interrupted). The buffer's position and limit are neither read nor
   * changed: put the PCM at index 0 and pass its byte count.
   *
   * @param stamp recorded with the data (presentation time, for example)
   * @param endOfStream marks the last write; {@code size} may then be 0
   * @return {@code true} when the data was accepted; {@code false} when the
   *     object is not initialised or released, {@code data} is not direct,
   *     {@code size} is negative or beyond its capacity, {@code size} is 0
   *     without {@code endOfStream}, or the conversion failed (logged). An
   *     end whose last frames could not be converted (memory, or a
   *     conversion error) gives {@code false} with the write's own bytes
   *     queued and the stream not ended: a further write of 0 bytes with
   *     {@code endOfStream} ends it, exactly as long as without the failure
   */
  public native boolean write(ByteBuffer data, int size, long stamp, boolean endOfStream);

  /**
   * Reads one block into the start of {@code outputBuffer}; waits for a whole
   * block, the end of the stream or an interrupt. A short last block is
   * padded with zero bytes up to the block size.
   *
   * @return the bytes of audio delivered, or -1 when nothing is left after
   *     the end or an interrupt, the object is not initialised or released,
   *     or the buffer is not direct or smaller than one block (logged)
   */
  public native int read(ByteBuffer outputBuffer);

  /**
   * Reads one block like {@link #read(ByteBuffer)}.
   *
   * @return a new array of exactly the bytes of audio delivered, or
   *     {@code null} in the cases where {@link #read(ByteBuffer)} gives -1
   */
  public native byte[] read();

  /**
   * Reads one block like {@link #read(ByteBuffer)}, and keeps the time of its
   * first frame for {@link #blockStamp}.
   *
   * @return the bytes of audio delivered, or -1 in the cases where
   *     {@link #read(ByteBuffer)} gives -1 (the stamp is then left as it was)
   */
  public native int readStamped(ByteBuffer outputBuffer);

  /**
   * The time of the first frame of the block that the last successful
   * {@link #readStamped} delivered, in the unit of the write stamps
   * (microseconds): the stamp of the write that the frame comes from, plus
   * the time of the frames between that write's first frame and it. A
   * stream whose stamps advance with its frames gives block k the first
   * stamp plus k block durations; after a gap or a seek of 1 ms or more the
   * blocks follow the new stamps, and each new stream its own. Exact to
   * within one output frame. Consumer thread.
   *
   * @return the stamp; 0 before the first block
   */
  public long blockStamp() {
    return mBlockStamp;
  }

  /**
   * Wakes a waiting producer or consumer; from now on neither waits.
   * Permanent. Does nothing when the object is not initialised.
   */
  public native void interrupt();

  /**
   * Interrupts and frees the native object. Call only when no other call on
   * this object is running, from any thread ({@code interrupt} included).
   * Afterwards {@code init} may create a new one.
   *
   * @return {@code true} when an object was released; {@code false} when
   *     there was none (never initialised, or released already)
   */
  public native boolean release();

  /** Same as {@link #release()}. */
  @Override
  public void close() {
    release();
  }
}
