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
 *     while (decoder.next(in)) write(out, t.transform(in, in.position(), in.remaining(), out, 0));
 *     write(out, t.drain(out, 0));
 * }
 * }</pre>
 *
 * <p>Quality: {@link #QUALITY_DEFAULT} is libswresample's default filter,
 * the one {@link #init} gives; the two presets convert in float, keep
 * every output frame k at time {@code k / dstRate} (no delay) and every
 * stream's exact length, and give the same bytes on every run. Measured at
 * rate pairs up to 24:1 either way (float; THD+N of 1 kHz at -1 dBFS;
 * stopband: the loudest alias of tones just above the new Nyquist, or image
 * of a tone just below the old one):
 * <table>
 * <caption>The presets</caption>
 * <tr><th>preset</th><th>stopband</th><th>passband to 20 kHz (or 0.9 x the
 *     lower Nyquist)</th><th>THD+N</th><th>THD+N, 16-bit in and
 *     out</th><th>time over DEFAULT</th></tr>
 * <tr><td>DEFAULT</td><td>-9 to -15 dB</td><td>down by up to 1.03 dB</td>
 *     <td>-106 dB</td><td>-81 dB</td><td>1</td></tr>
 * <tr><td>HIGH</td><td>-134 dB</td><td>within 0.008 dB</td><td>-132 dB</td>
 *     <td>-93 dB</td><td>1.2-2.5</td></tr>
 * <tr><td>BEST</td><td>-165 dB</td><td>within 0.007 dB</td><td>-149 dB</td>
 *     <td>-93 dB</td><td>1.5-3.2</td></tr>
 * </table>
 * HIGH and BEST run libsoxr through libswresample, at 20 and 28 bits of
 * precision. Where the device's FFmpeg has no libsoxr (many Android builds)
 * they run a longer filter of libswresample's own: HIGH then reaches -119
 * dB stopband, 0.036 dB passband and -137 dB THD+N, BEST -140 dB, 0.0001 dB
 * and -138 dB.
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

  /** libswresample's default filter: the bytes of {@link #init}. */
  public static final int QUALITY_DEFAULT = 0;
  /** libsoxr at 20 bits of precision (figures in the class comment). */
  public static final int QUALITY_HIGH = 1;
  /** libsoxr at 28 bits of precision (figures in the class comment). */
  public static final int QUALITY_BEST = 2;

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

  /**
   * Creates a converter of the given quality, owned by the returned object.
   *
   * @param quality {@link #QUALITY_DEFAULT}, {@link #QUALITY_HIGH} or
   *     {@link #QUALITY_BEST}
   * @return the converter, or {@code null} when it cannot be created (also
   *     for an unknown quality)
   */
  public static AudioTransformer create(int srcSamplesPerSec, int srcSpeakers,
      int srcBitsPerSample, int dstSamplesPerSec, int dstSpeakers, int dstBitsPerSample,
      int quality) {
    long h = initQuality(srcSamplesPerSec, srcSpeakers, srcBitsPerSample, dstSamplesPerSec,
        dstSpeakers, dstBitsPerSample, quality);
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
   * Creates a native converter of the given quality; {@link #QUALITY_DEFAULT}
   * is exactly {@link #init}. Logs as {@link #init} does.
   *
   * @param quality {@link #QUALITY_DEFAULT}, {@link #QUALITY_HIGH} or
   *     {@link #QUALITY_BEST}
   * @return the handle, or -1 when the converter cannot be created (as for
   *     {@link #init}, for a quality outside 0 to 2, and at HIGH and BEST for
   *     a destination rate more than 256 times the source rate; logged)
   */
  public static native long initQuality(int srcSamplesPerSec, int srcSpeakers,
      int srcBitsPerSample, int dstSamplesPerSec, int dstSpeakers, int dstBitsPerSample,
      int quality);

  /**
   * Converts the whole frames among {@code inputSize} bytes at
   * {@code inputOffset} and copies the result to {@code outputOffset}.
   * Offsets count from index 0 of each buffer's memory: positions and limits
   * are neither read nor changed.
   *
   * @param outputSize informational only: the room is taken from the
   *     buffer's capacity
   * @return the bytes written (0 while the filter holds its input back), or
   *     -1 (logged): touching nothing for a handle of 0 or -1, a buffer that
   *     is {@code null} or not direct, a negative offset or size, an input
   *     region beyond its buffer, or while a failed {@link #drain} has begun
   *     the stream's tail (see there); after the conversion, with the input taken
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
   *     {@code null} or not direct, or an offset that is negative or beyond
   *     its capacity; with the stream not ended, for memory the converter
   *     cannot get or a conversion error: the next drain hands back all the
   *     rest, to the same exact total (once such a drain has begun the tail,
   *     {@link #resample} refuses more input until a drain succeeds); with
   *     the stream ended, its rest dropped and the output untouched, for a
   *     rest longer than the output buffer's room after {@code outputOffset}
   */
  public static native int drain(long handle, ByteBuffer outputBuffer, int outputOffset,
      int outputSize);

  /** Destroys the converter of {@code handle}; 0 and -1 are ignored. */
  public static native void destroy(long handle);
}
