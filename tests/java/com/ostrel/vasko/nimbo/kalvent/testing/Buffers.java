package com.ostrel.vasko.nimbo.kalvent.testing;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/** Direct buffers in native byte order, filled from and read back as arrays. */
public final class Buffers {
  public static ByteBuffer direct(int bytes) {
    return ByteBuffer.allocateDirect(bytes).order(ByteOrder.nativeOrder());
  }

  /** 16-bit samples; a value that does not fit is a fault of the test. */
  public static ByteBuffer shorts(int... values) {
    ByteBuffer b = direct(values.length * 2);
    for (int i = 0; i < values.length; ++i) {
      if (values[i] != (short) values[i]) throw new IllegalArgumentException("" + values[i]);
      b.putShort(2 * i, (short) values[i]);
    }
    return b;
  }

  public static short[] shortsOf(ByteBuffer b, int offsetBytes, int count) {
    short[] out = new short[count];
    from(b, offsetBytes).asShortBuffer().get(out);
    return out;
  }

  public static short[] shortsOf(byte[] bytes) {
    short[] out = new short[bytes.length / 2];
    ByteBuffer.wrap(bytes).order(ByteOrder.nativeOrder()).asShortBuffer().get(out);
    return out;
  }

  public static ByteBuffer floats(float... values) {
    ByteBuffer b = direct(values.length * 4);
    b.asFloatBuffer().put(values);
    return b;
  }

  public static float[] floatsOf(ByteBuffer b, int offsetBytes, int count) {
    float[] out = new float[count];
    from(b, offsetBytes).asFloatBuffer().get(out);
    return out;
  }

  public static byte[] bytesOf(ByteBuffer b) {
    byte[] out = new byte[b.capacity()];
    b.duplicate().clear().get(out);
    return out;
  }

  /** The bytes of {@code b} from {@code offsetBytes} on, in native order; b is not moved. */
  private static ByteBuffer from(ByteBuffer b, int offsetBytes) {
    return b.duplicate().position(offsetBytes).slice().order(ByteOrder.nativeOrder());
  }

  private Buffers() {}
}
