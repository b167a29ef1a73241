#include "tests/support/log_capture.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <ostream>

namespace {
std::mutex g_mutex;
std::vector<amix_test::LogLine>& captured() {
  static std::vector<amix_test::LogLine> lines;
  return lines;
}
}  // namespace

extern "C" int __android_log_print(int prio, const char* tag, const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  std::lock_guard<std::mutex> lock(g_mutex);
  captured().push_back({prio, tag ? tag : "", buf});
  return 1;
}

namespace amix_test {

LogCapture::LogCapture() {
  std::lock_guard<std::mutex> lock(g_mutex);
  captured().clear();
}

std::vector<LogLine> LogCapture::lines() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return captured();
}

std::vector<std::string> LogCapture::messages() const {
  std::vector<std::string> out;
  for (const auto& l : lines()) out.push_back(l.message);
  return out;
}

LogLine info(const std::string& message) { return {kInfo, "Zelvarion", message}; }
LogLine error(const std::string& message) { return {kError, "Zelvarion", message}; }

// Readable failure messages from gtest.
void PrintTo(const LogLine& l, std::ostream* os) {
  *os << "{" << l.priority << ", " << l.tag << ", \"" << l.message << "\"}";
}

}  // namespace amix_test
