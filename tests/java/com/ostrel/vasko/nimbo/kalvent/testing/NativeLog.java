package com.ostrel.vasko.nimbo.kalvent.testing;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/** The library's log lines, captured by the preloaded log library. */
public final class NativeLog {
  public static final int INFO = 4;
  public static final int ERROR = 6;

  public record Line(int priority, String tag, String message) {}

  private static Path file() {
    return Path.of(System.getenv("AMIX_LOG_FILE"));
  }

  /** Forgets every line logged so far. */
  public static void clear() {
    try {
      Files.write(file(), new byte[0]);
    } catch (IOException e) {
      throw new AssertionError(e);
    }
  }

  /** The lines logged since the last {@link #clear()}. */
  public static List<Line> lines() {
    List<Line> out = new ArrayList<>();
    try {
      if (!Files.exists(file())) return out;
      for (String raw : Files.readAllLines(file(), StandardCharsets.UTF_8)) {
        String[] f = raw.split("\t", 3);
        out.add(new Line(Integer.parseInt(f[0]), f[1], unescape(f[2])));
      }
    } catch (IOException e) {
      throw new AssertionError(e);
    }
    return out;
  }

  public static Line info(String message) {
    return new Line(INFO, "Zelvarion", message);
  }

  public static Line error(String message) {
    return new Line(ERROR, "Zelvarion", message);
  }

  private static String unescape(String s) {
    StringBuilder b = new StringBuilder();
    for (int i = 0; i < s.length(); ++i) {
      char c = s.charAt(i);
      if (c == '\\' && i + 1 < s.length()) {
        char d = s.charAt(++i);
        b.append(d == 'n' ? '\n' : d);
      } else {
        b.append(c);
      }
    }
    return b.toString();
  }

  private NativeLog() {}
}
