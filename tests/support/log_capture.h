// Captures the library's Android log lines.  The test binaries define
// __android_log_print themselves, so every line the library writes lands
// here instead of in liblog.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace amix_test {

struct LogLine {
  int priority;
  std::string tag;
  std::string message;
  bool operator==(const LogLine& o) const {
    return priority == o.priority && tag == o.tag && message == o.message;
  }
};

constexpr int kInfo = 4;
constexpr int kError = 6;

// Clears the captured lines on construction; lines() returns a copy of what
// was logged since then.  Thread-safe.
class LogCapture {
 public:
  LogCapture();
  std::vector<LogLine> lines() const;
  // The messages alone, in order.
  std::vector<std::string> messages() const;
};

LogLine info(const std::string& message);
LogLine error(const std::string& message);
void PrintTo(const LogLine& line, std::ostream* os);

}  // namespace amix_test
