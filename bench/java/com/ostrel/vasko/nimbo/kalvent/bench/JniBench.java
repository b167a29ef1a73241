package com.ostrel.vasko.nimbo.kalvent.bench;

import com.ostrel.vasko.nimbo.kalvent.process.audio.MultiAudioMixer;
import com.ostrel.vasko.nimbo.kalvent.process.audio.SyncAudioResampler;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * Per-call cost of the Java face against the same native calls made without
 * crossing into Java, in one process, on the same native objects and direct
 * buffers: MultiAudioMixer.mix (a new byte[] per block), mixInto and
 * mixRampInto (into a direct buffer) with 1, 8 and 30 tracks of 4096 bytes,
 * and a SyncAudioResampler write + read(ByteBuffer) pair.  The two loops
 * alternate round by round; each prints the median of its rounds, the
 * ratio, and the bytes the Java loop allocated on the heap per call.
 */
public final class JniBench {
  static {
    System.load(System.getProperty("tavrin.amix.bench.library"));
  }

  private static native long nativeMixLoop(MultiAudioMixer mixer, ByteBuffer[] tracks,
      float[] volumes, int iterations);

  private static native long nativeMixIntoLoop(MultiAudioMixer mixer, ByteBuffer[] tracks,
      float[] from, float[] to, int channels, ByteBuffer out, int iterations);

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

  private static long javaMixIntoLoop(MultiAudioMixer mixer, ByteBuffer[] tracks, float[] from,
      float[] to, ByteBuffer out, int iterations) {
    long start = System.nanoTime();
    long sum = 0;
    for (int i = 0; i < iterations; ++i) {
      sum += to == null ? mixer.mixInto(tracks, from, out) : mixer.mixRampInto(tracks, from, to, 2, out);
    }
    long ns = System.nanoTime() - start;
    if (sum != (long) iterations * out.capacity()) throw new AssertionError("mix failed");
    return ns;
  }

  private static final com.sun.management.ThreadMXBean THREADS =
      (com.sun.management.ThreadMXBean) java.lang.management.ManagementFactory.getThreadMXBean();

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
    long thread = Thread.currentThread().getId();
    long allocated = 0;
    for (int k = 0; k < rounds; ++k) {
      long before = THREADS.getThreadAllocatedBytes(thread);
      jni[k] = java.getAsLong() / (double) iterations;
      allocated += THREADS.getThreadAllocatedBytes(thread) - before;
      own[k] = nat.getAsLong() / (double) iterations;
    }
    double j = median(jni), n = median(own);
    System.out.printf("%s: JNI %.0f ns/call, native %.0f ns/call, JNI/native = %.3f, heap %.0f B/call%n",
        what, j, n, j / n, allocated / (double) rounds / iterations);
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
    float[] fadeTo = new float[trackCount];  // each call fades 1.0 -> 0.5 over stereo frames
    java.util.Arrays.fill(fadeTo, 0.5f);
    ByteBuffer out = ByteBuffer.allocateDirect(blockBytes);
    MultiAudioMixer mixer = new MultiAudioMixer();
    if (!mixer.init(blockBytes)) throw new AssertionError("init failed");
    String size = trackCount + "x" + blockBytes;
    compare("MultiAudioMixer.mix " + size, iterations,
        () -> javaMixLoop(mixer, tracks, volumes, iterations),
        () -> nativeMixLoop(mixer, tracks, volumes, iterations));
    compare("MultiAudioMixer.mixInto " + size, iterations,
        () -> javaMixIntoLoop(mixer, tracks, volumes, null, out, iterations),
        () -> nativeMixIntoLoop(mixer, tracks, volumes, null, 2, out, iterations));
    compare("MultiAudioMixer.mixRampInto " + size, iterations,
        () -> javaMixIntoLoop(mixer, tracks, volumes, fadeTo, out, iterations),
        () -> nativeMixIntoLoop(mixer, tracks, volumes, fadeTo, 2, out, iterations));
    mixer.release();
  }
}
