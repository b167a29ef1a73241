package com.ostrel.vasko.nimbo.kalvent.transcoder.audio;

import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.bytesOf;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.direct;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.shorts;
import static com.ostrel.vasko.nimbo.kalvent.testing.Buffers.shortsOf;
import static com.ostrel.vasko.nimbo.kalvent.testing.NativeLog.error;
import static com.ostrel.vasko.nimbo.kalvent.testing.NativeLog.info;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.ostrel.vasko.nimbo.kalvent.testing.NativeLog;
import java.io.ByteArrayOutputStream;
import java.nio.ByteBuffer;
import java.util.Arrays;
import java.util.List;
import java.util.function.IntSupplier;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

class AudioTransformerTest {
  private static final String FAILED = "resample failed.\n";

  @BeforeEach
  void clearLog() {
    NativeLog.clear();
  }

  /** A refused call returns -1 and logs {@code failed}, after a line starting with any reason. */
  private static void assertRefused(String failed, String reason, IntSupplier call) {
    NativeLog.clear();
    assertEquals(-1, call.getAsInt(), reason);
    List<NativeLog.Line> lines = NativeLog.lines();
    assertEquals(reason == null ? 1 : 2, lines.size(), lines::toString);
    assertEquals(error(failed), lines.get(lines.size() - 1));
    if (reason != null) {
      assertEquals(NativeLog.ERROR, lines.get(0).priority());
      assertTrue(lines.get(0).message().startsWith(reason), lines.get(0).message());
    }
  }

  private static String initLine(int sr, int sf, int ss, int dr, int df, int ds) {
    return String.format("src: samples_per_sec = %d, format = %d, speakers = %d  "
        + "dst: samples_per_sec = %d, format = %d, speakers = %d", sr, sf, ss, dr, df, ds);
  }

  @Test
  void initLogsTheMappedFormatCodes() {
    int[][] bits = {{16, 2}, {24, 2}, {0, 2}, {8, 1}, {32, 3}};
    for (int[] b : bits) {
      NativeLog.clear();
      long h = AudioTransformer.init(44100, 2, b[0], 48000, 1, 16);
      assertNotEquals(-1, h);
      AudioTransformer.destroy(h);
      assertEquals(List.of(info(initLine(44100, b[1], 2, 48000, 2, 1))), NativeLog.lines());
    }
  }

  @Test
  void initFailureLogsAfterTheDescriptionLine() {
    assertEquals(-1, AudioTransformer.init(44100, 0, 16, 48000, 2, 16));
    assertEquals(-1, AudioTransformer.init(0, 2, 16, 48000, 2, 16));
    assertEquals(-1, AudioTransformer.initQuality(44100, 2, 16, 48000, 2, 16, 3));
    assertEquals(-1, AudioTransformer.initQuality(44100, 2, 16, 48000, 2, 16, -1));
    String failed = "Create resampler failed.\n";
    String good = initLine(44100, 2, 2, 48000, 2, 2);
    assertEquals(List.of(info(initLine(44100, 2, 0, 48000, 2, 2)), error(failed),
        info(initLine(0, 2, 2, 48000, 2, 2)), error(failed), info(good), error(failed), info(good),
        error(failed)), NativeLog.lines());
  }

  @Test
  void convertsThroughOffsetsWhateverOutputSizeSays() {
    long h = AudioTransformer.init(48000, 2, 16, 48000, 2, 16);
    ByteBuffer in = shorts(9, 1, 2, 3, 4, 5,
        6);
    ByteBuffer out = direct(16);
    // Two stereo frames from byte 4, plus one stray byte that is dropped.
    assertEquals(8, AudioTransformer.resample(h, in, 4, 9, out, 6, 0));
    assertArrayEquals(new short[] {0, 0, 0, 2, 3, 4, 5, 0}, shortsOf(out, 0, 8));
    assertEquals(8, AudioTransformer.resample(h, in, 4, 8, out, 0, -100));
    AudioTransformer.destroy(h);
  }

  @Test
  void badHandlesAndBuffersAreRefusedUntouched() {
    long h = AudioTransformer.init(48000, 2, 16, 48000, 2, 16);
    ByteBuffer in = shorts(1, 2, 3, 4);
    ByteBuffer out = direct(8);
    String input = "resample input buffer refused", output = "resample output buffer refused";
    assertRefused(FAILED, null, () -> AudioTransformer.resample(0, in, 0, 8, out, 0, 8));
    assertRefused(FAILED, null, () -> AudioTransformer.resample(-1, in, 0, 8, out, 0, 8));
    assertRefused(FAILED, input,
        () -> AudioTransformer.resample(h, ByteBuffer.allocate(8), 0, 8, out, 0, 8));
    assertRefused(FAILED, input, () -> AudioTransformer.resample(h, in, -2, 4, out, 0, 8));
    assertRefused(FAILED, input, () -> AudioTransformer.resample(h, in, 4, 8, out, 0, 8));
    assertRefused(FAILED, output, () -> AudioTransformer.resample(h, in, 0, 8, null, 0, 8));
    assertRefused(FAILED, output, () -> AudioTransformer.resample(h, in, 0, 8, out, 9, 8));
    // Converted bytes beyond the room after the offset: nothing copied.
    assertRefused(FAILED, "resample output buffer too small",
        () -> AudioTransformer.resample(h, in, 0, 8, out, 4, 8));
    assertArrayEquals(new byte[8], bytesOf(out));
    AudioTransformer.destroy(h);
    AudioTransformer.destroy(0);
  }

  /** The owned converter writes up to the output buffer's capacity; closed, it refuses. */
  @Test
  void ownedConverterUsesTheBufferCapacity() {
    AudioTransformer t = AudioTransformer.create(48000, 1, 16, 48000, 1, 16);
    ByteBuffer out = direct(4);
    assertEquals(4, t.transform(shorts(7, 8), 0, 4, out, 0));
    assertArrayEquals(new short[] {7, 8}, shortsOf(out, 0, 2));
    t.close();
    t.close();
    assertEquals(-1, t.transform(shorts(7), 0, 2, out, 0));

    assertNull(AudioTransformer.create(44100, 1, 16, 48000, 1, 16, 3));
    AudioTransformer high =
        AudioTransformer.create(44100, 1, 16, 48000, 1, 16, AudioTransformer.QUALITY_HIGH);
    ByteBuffer rest = direct(64);
    assertEquals(0, high.transform(tone(10), 0, 20, rest, 0));
    assertEquals(22, high.drain(rest, 0));
    high.close();
    assertEquals(-1, high.drain(rest, 0));
  }

  /** A 1 kHz tone at 44.1 kHz, {@code frames} mono 16-bit frames. */
  private static ByteBuffer tone(int frames) {
    int[] samples = new int[frames];
    for (int i = 0; i < frames; ++i) {
      samples[i] = (int) Math.round(12000 * Math.sin(2 * Math.PI * 1000 * i / 44100.0));
    }
    return shorts(samples);
  }

  /** The bytes of a stream fed in 1000-frame pieces and drained. */
  private static byte[] stream(long h, ByteBuffer in, int frames) {
    ByteBuffer out = direct(8192);
    ByteArrayOutputStream got = new ByteArrayOutputStream();
    for (int at = 0; at < frames; at += 1000) {
      int n = AudioTransformer.resample(h, in, 2 * at, 2 * Math.min(1000, frames - at), out, 0, 0);
      got.write(bytesOf(out), 0, n);
    }
    int n = AudioTransformer.drain(h, out, 0, 0);
    got.write(bytesOf(out), 0, n);
    return got.toByteArray();
  }

  /** Every quality; the default's bytes are those of {@code init}. */
  @Test
  void drainEndsEachStreamAtItsExactLength() {
    byte[] byDefault = null;
    for (int quality = AudioTransformer.QUALITY_DEFAULT; quality <= AudioTransformer.QUALITY_BEST;
        ++quality) {
      long h = AudioTransformer.initQuality(44100, 1, 16, 48000, 1, 16, quality);
      // Ten frames: the filter holds them all back, the drain gives 11.
      assertEquals(22, stream(h, tone(10), 10).length);
      ByteBuffer out = direct(64);
      assertEquals(0, AudioTransformer.drain(h, out, 0, 64));  // nothing owed any more
      assertEquals(4800 * 2, stream(h, tone(4410), 4410).length);
      // After a drain the converter starts over like a new one.
      long fresh = quality == 0 ? AudioTransformer.init(44100, 1, 16, 48000, 1, 16)
                                : AudioTransformer.initQuality(44100, 1, 16, 48000, 1, 16, quality);
      byte[] bytes = stream(fresh, tone(3001), 3001);
      assertArrayEquals(bytes, stream(h, tone(3001), 3001));
      if (quality == 0) byDefault = bytes; else assertFalse(Arrays.equals(byDefault, bytes));
      AudioTransformer.destroy(fresh);
      AudioTransformer.destroy(h);
    }
  }

  /** Ten frames the filter holds back: resample returns 0; out stays untouched to the end. */
  @Test
  void drainRefusesWhatResampleRefuses() {
    long h = AudioTransformer.init(44100, 1, 16, 48000, 1, 16);
    ByteBuffer out = direct(64);
    assertEquals(0, AudioTransformer.resample(h, tone(10), 0, 20, out, 0, 64));
    assertEquals(List.of(info(initLine(44100, 2, 1, 48000, 2, 1))), NativeLog.lines());
    String failed = "drain failed.\n", refused = "drain output buffer refused";
    assertRefused(failed, null, () -> AudioTransformer.drain(0, out, 0, 64));
    assertRefused(failed, null, () -> AudioTransformer.drain(-1, out, 0, 64));
    assertRefused(failed, refused, () -> AudioTransformer.drain(h, ByteBuffer.allocate(64), 0, 64));
    assertRefused(failed, refused, () -> AudioTransformer.drain(h, null, 0, 64));
    assertRefused(failed, refused, () -> AudioTransformer.drain(h, out, -2, 64));
    assertRefused(failed, refused, () -> AudioTransformer.drain(h, out, 65, 64));
    // The stream went on through all of that; a rest longer than the room
    // ends it without touching the buffer.
    NativeLog.clear();
    assertEquals(-1, AudioTransformer.drain(h, out, 50, 14));
    assertArrayEquals(new byte[64], bytesOf(out));
    assertEquals(List.of(error("drain output buffer too small: 22 bytes converted, room for 14"),
        error(failed)), NativeLog.lines());
    assertEquals(0, AudioTransformer.drain(h, out, 0, 64));
    AudioTransformer.destroy(h);
  }
}
