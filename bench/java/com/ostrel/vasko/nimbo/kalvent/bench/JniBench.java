package com.ostrel.vasko.nimbo.kalvent.bench;

import com.ostrel.vasko.nimbo.kalvent.process.audio.MultiAudioMixer;
import com.ostrel.vasko.nimbo.kalvent.process.audio.SyncAudioResampler;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * Per-call cost of the Java face against the same native calls made without
 * crossing into Java, in one process, on the same native objects and direct
 * buffers: MultiAudioMixer.mix with 1, 8 and 30 tracks of 4096 bytes, and a
 * SyncAudioResampler write + read(ByteBuffer) pair.  The two loops alternate
 * round by round; each prints the median of its rounds, and the ratio.
 */
public final class JniBench {
  static {
    System.load(System.getProperty("tavrin.amix.bench.library"));
  }

  private static native long nativeMixLoop(MultiAudioMixer mixer, ByteBuffer[] tracks,
      float[] volumes, int iterations);

  private static native long nativeSyncLoop(SyncAudioResampler r, ByteBuffer in, ByteBuffer out,
      int iterations);

  private static long javaSyncLoop(SyncAudioResampler r, ByteBuffer in, ByteBuffer out,
      int iterations) {
    long start = System.nanoTime();
    long sum = 0;
    for (int i = 0; i < iterations; ++i) {
      r.write(in, in.capacity(), i, false);
      sum += r.read(out);
    }
    long ns = System.nanoTime() - start;
    if (sum != (long) iterations * out.capacity()) throw new AssertionError("read failed");
    return ns;
  }

  private static long javaMixLoop(MultiAudioMixer mixer, ByteBuffer[] tracks, float[] volumes,
      int iterations) {
    long start = System.nanoTime();
    long sum = 0;
    for (int i = 0; i < iterations; ++i) sum += mixer.mix(tracks, volumes).length;
    long ns = System.nanoTime() - start;
    if (sum != (long) iterations * tracks[0].capacity()) throw new AssertionError("mix failed");
    return ns;
  }

  private static double median(double[] v) {
    java.util.Arrays.sort(v);
    return v[v.length / 2];
  }

  public static void main(String[] args) {
    for (int trackCount : new int[] {1, 8, 30}) run(trackCount);
    runSync(4096);
  }

  /**
   * Times {@code java} and {@code nat} (each returning the nanoseconds of
   * {@code iterations} calls) alternately, after one warm-up of each, and
   * prints the medians per call and their ratio.
   */
  private static void compare(String what, int iterations, java.util.function.LongSupplier java,
      java.util.function.LongSupplier nat) {
    final int rounds = 15;
    double[] jni = new double[rounds], own = new double[rounds];
    java.getAsLong();  // warm-up (JIT)
    nat.getAsLong();
    for (int k = 0; k < rounds; ++k) {
      jni[k] = java.getAsLong() / (double) iterations;
      own[k] = nat.getAsLong() / (double) iterations;
    }
    double j = median(jni), n = median(own);
    System.out.printf("%s: JNI %.0f ns/call, native %.0f ns/call, JNI/native = %.3f%n", what, j, n,
        j / n);
  }

  private static void runSync(int blockBytes) {
    final int iterations = 20000;
    SyncAudioResampler r = new SyncAudioResampler();
    if (!r.init(48000, 2, 48000, 2, blockBytes)) throw new AssertionError("init failed");
    ByteBuffer in = ByteBuffer.allocateDirect(blockBytes), out = ByteBuffer.allocateDirect(blockBytes);
    compare("SyncAudioResampler write+read(ByteBuffer) " + blockBytes + " (per pair)", iterations,
        () -> javaSyncLoop(r, in, out, iterations), () -> nativeSyncLoop(r, in, out, iterations));
    r.release();
  }

  private static void run(int trackCount) {
    final int blockBytes = 4096, iterations = 2000;
    ByteBuffer[] tracks = new ByteBuffer[trackCount];
    float[] volumes = new float[trackCount];
    for (int t = 0; t < trackCount; ++t) {
      tracks[t] = ByteBuffer.allocateDirect(blockBytes).order(ByteOrder.nativeOrder());
      for (int i = 0; i < blockBytes / 2; ++i) tracks[t].putShort(2 * i, (short) ((i * 37) % 2000 - 1000));
      volumes[t] = 1.0f;
    }
    MultiAudioMixer mixer = new MultiAudioMixer();
    if (!mixer.init(blockBytes)) throw new AssertionError("init failed");
    compare("MultiAudioMixer.mix " + trackCount + "x" + blockBytes, iterations,
        () -> javaMixLoop(mixer, tracks, volumes, iterations),
        () -> nativeMixLoop(mixer, tracks, volumes, iterations));
    mixer.release();
  }
}
