#include "amix/report/levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace amix {

double to_dbfs(double linear) {
  if (linear <= 0.0) return -std::numeric_limits<double>::infinity();
  return 20.0 * std::log10(linear);
}

std::string format_dbfs(double dbfs) {
  if (std::isinf(dbfs)) return "-inf dBFS";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f dBFS", dbfs);
  return buf;
}

void LevelMeter::add(const float* samples, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const double s = samples[i];
    if (!std::isfinite(s)) {
      ++non_finite_;
      continue;
    }
    peak_ = std::fmax(peak_, std::fabs(s));
    sum_squares_ += s * s;
    ++count_;
  }
}

double LevelMeter::rms_dbfs() const {
  if (count_ == 0) return to_dbfs(0.0);
  return to_dbfs(std::sqrt(sum_squares_ / static_cast<double>(count_)));
}

double peak_of(const int16_t* samples, size_t count) {
  int peak = 0;
  for (size_t i = 0; i < count; ++i) peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  return peak / 32768.0;
}

}  // namespace amix
