import com.ostrel.vasko.nimbo.kalvent.process.audio.MultiAudioMixer;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/** An outside Java program using the installed jar and library. */
public class Hello {
  public static void main(String[] args) {
    try (MultiAudioMixer mixer = new MultiAudioMixer()) {
      ByteBuffer a = ByteBuffer.allocateDirect(4).order(ByteOrder.nativeOrder());
      a.putShort(0, (short) 1000).putShort(2, (short) -3);
      byte[] out = mixer.init(4) ? mixer.mix(new ByteBuffer[] {a, a}, new float[] {1f, 1f}) : null;
      short first = out == null ? 0 : ByteBuffer.wrap(out).order(ByteOrder.nativeOrder()).getShort(0);
      System.out.println("java consumer: " + (first == 2000 ? "ok" : "FAILED"));
      if (first != 2000) System.exit(1);
    }
  }
}
