#include "amix/base/clock_time.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace amix {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Digits, then at most one '.' and more digits (`fraction`); at least one
// digit in all.
bool is_number(const std::string& field, bool fraction) {
  size_t digits = 0, dots = 0;
  for (char c : field) {
    if (is_digit(c)) {
      ++digits;
    } else if (c == '.' && fraction && dots == 0) {
      ++dots;
    } else {
      return false;
    }
  }
  return digits > 0;
}

}  // namespace

bool parse_clock_time(const std::string& text, double* seconds) {
  // The fields between the colons: at most three, only the last with a
  // fraction.
  std::string fields[3];
  size_t count = 0;
  for (size_t at = 0;; ++count) {
    const size_t colon = text.find(':', at);
    if (count == 3) return false;
    fields[count] = text.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
    if (colon == std::string::npos) break;
    at = colon + 1;
  }
  ++count;
  double total = 0;
  for (size_t i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    if (!is_number(fields[i], last)) return false;
    const double v = std::strtod(fields[i].c_str(), nullptr);
    if (i > 0 && v >= 60) return false;  // minutes and seconds after a colon
    total = total * 60 + v;
  }
  if (!std::isfinite(total)) return false;
  *seconds = total;
  return true;
}

std::string format_clock_time(double seconds) {
  const long long ms = std::llround(std::fabs(seconds) * 1000.0);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%lld:%02lld:%02lld.%03lld", seconds < 0 && ms > 0 ? "-" : "",
                ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
  return buf;
}

}  // namespace amix
