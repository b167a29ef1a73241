package com.ostrel.vasko.nimbo.kalvent.transcoder.audio;

import java.nio.ByteBuffer;

/**
 * Converts interleaved PCM from one sample rate, bit depth and speaker layout
 * to another (libtavrin_amix, over FFmpeg's libswresample).
 *
 * <p>Bit depths: 8 (unsigned), 16 (signed) and 32 (signed integer); any other
 * value means 16. Speaker codes: 1 mono, 2 stereo, 3 2.1 (with back
 * centre), 4 quad, 5 4.1, 6 5.1, 7 5.1 (back), 8 7.1, 9 7.1 (wide back), 10
 * 3.0 (front left, right, centre). Samples are in native byte order, in
 * <em>direct</em> byte buffers; the output is written through its address
 * (it must be writable memory, whatever the buffer's read-only flag says).
 *
 * <p>The converter keeps its filter history between calls, so consecutive
 * calls continue one stream; a call may return fewer bytes than the rate
 * ratio suggests (even 0) while the filter fills. Size the output for
 * {@code ceil((held + inFrames) * dstRate / srcRate)} frames plus a few.
 * A drain ends the stream: it hands back the frames the filter still holds,
 * so that a stream of n input frames comes out as exactly
 * {@code floor(n * dstRate / srcRate + 1/2)} frames, and the next call
 * begins a new stream.
 *
 * <pre>{@code
 * try (AudioTransformer t = AudioTransformer.create(44100, 2, 16, 48000, 2, 16)) {
 *     while (decoder.next(in)) write(out, t.transform(in, 0, in.remaining(), out, 0));
 *     write(out, t.drain(out, 0));
 * }
 * }</pre>
 *
 * <p>The library: the class loads {@code libtavrin_amix} when it is first
 * used, with {@code System.loadLibrary("tavrin_amix")}, which looks in the
 * application's native library folders ({@code java.library.path} on a
 * desktop JVM). When the system property {@code tavrin.amix.library} is set,
 * the class loads that file instead, with {@code System.load}: the property
 * takes an absolute path.
 *
 * <p>Threading: one thread at a time per converter; distinct converters are
 * independent. No method throws an exception of its own.
 */
public final class AudioTransformer implements AutoCloseable {
  static {
    String path = System.getProperty("tavrin.amix.library");
    if (path != null) System.load(path); else System.loadLibrary("tavrin_amix");
  }

  private long handle;

  private AudioTransformer(long handle) {
    this.handle = handle;
  }

  /**
   * Creates a converter owned by the returned object.
   *
   * @return the converter, or {@code null} when it cannot be created
   */
  public static AudioTransformer create(int srcSamplesPerSec, int srcSpeakers,
      int srcBitsPerSample, int dstSamplesPerSec, int dstSpeakers, int dstBitsPerSample) {
    long h = init(srcSamplesPerSec, srcSpeakers, srcBitsPerSample, dstSamplesPerSec, dstSpeakers,
        dstBitsPerSample);
    return h == -1 ? null : new AudioTransformer(h);
  }

  /** The native handle this object owns, 0 once closed. */
  public synchronized long handle() {
    return handle;
  }

  /**
   * {@link #resample} on this object's handle.
   *
   * @return the result of {@link #resample}; -1 once closed
   */
  public synchronized int transform(ByteBuffer input, int inputOffset, int inputSize,
      ByteBuffer output, int outputOffset) {
    if (handle == 0) return -1;
    return resample(handle, input, inputOffset, inputSize, output, outputOffset,
        output == null ? 0 : output.capacity() - outputOffset);
  }

  /**
   * {@link #drain(long, ByteBuffer, int, int)} on this object's handle: ends
   * the stream and copies its rest to {@code outputOffset}.
   *
   * @return the result of {@link #drain(long, ByteBuffer, int, int)}; -1 once
   *     closed
   */
  public synchronized int drain(ByteBuffer output, int outputOffset) {
    if (handle == 0) return -1;
    return drain(handle, output, outputOffset,
        output == null ? 0 : output.capacity() - outputOffset);
  }

  /** Destroys the converter; later calls on this object fail. Idempotent. */
  @Override
  public synchronized void close() {
    if (handle != 0) {
      destroy(handle);
      handle = 0;
    }
  }

  /**
   * Creates a native converter.
   *
   * @return the handle, or -1 when the converter cannot be created (an
   *     unknown speaker code, a rate of 0 or below, a source rate more than
   *     256 times the destination rate; logged)
   */
  public static native long init(int srcSamplesPerSec, int srcSpeakers, int srcBitsPerSample,
      int dstSamplesPerSec, int dstSpeakers, int dstBitsPerSample);

  /**
   * Converts the whole frames among {@code inputSize} bytes at
   * {@code inputOffset} and copies the result to {@code outputOffset}.
   *
   * @param outputSize informational only: the room is taken from the
   *     buffer's capacity
   * @return the bytes written (0 while the filter holds its input back), or
   *     -1 (logged): touching nothing for a handle of 0 or -1, a buffer that
   *     is {@code null} or not direct, a negative offset or size, or an input
   *     region beyond its buffer; after the conversion, with the input taken
   *     into the stream but its result dropped and the output untouched, for
   *     a result longer than the output buffer's room after
   *     {@code outputOffset}; or for a conversion error
   */
  public static native int resample(long handle, ByteBuffer inputBuffer, int inputOffset,
      int inputSize, ByteBuffer outputBuffer, int outputOffset, int outputSize);

  /**
   * Ends the stream of {@code handle} and copies the rest of it to
   * {@code outputOffset}: the frames the converter still holds for its
   * filter, made from silence fed behind the stream and cut so that the bytes
   * returned by {@link #resample} since the stream began (at {@link #init}
   * or at the previous drain) and by this call add up to exactly
   * {@code floor(n * dstRate / srcRate + 1/2)} frames, n being the whole
   * input frames given. Afterwards the converter starts a new stream, as a
   * new one would.
   *
   * @param outputSize informational only: the room is taken from the
   *     buffer's capacity
   * @return the bytes written (0 when nothing is owed: equal rates, or a
   *     drain right after a drain), or -1 (logged): touching nothing, the
   *     stream going on, for a handle of 0 or -1, a buffer that is
   *     {@code null} or not direct, an offset that is negative or beyond its
   *     capacity, or memory the converter cannot get; with the stream ended,
   *     its rest dropped and the output untouched, for a rest longer than
   *     the output buffer's room after {@code outputOffset}, or for a
   *     conversion error
   */
  public static native int drain(long handle, ByteBuffer outputBuffer, int outputOffset,
      int outputSize);

  /** Destroys the converter of {@code handle}; 0 and -1 are ignored. */
  public static native void destroy(long handle);
}
