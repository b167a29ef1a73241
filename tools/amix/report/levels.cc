#include "amix/report/levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "tavrin_amix/audio_resampler.h"

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

namespace {

// The largest |sample - middle|, over `full_scale`.
template <typename T>
double peak(const void* samples, size_t count, int64_t middle, double full_scale) {
  if (count == 0) return 0;
  const T* s = static_cast<const T*>(samples);
  T low = s[0], high = s[0];
  for (size_t i = 1; i < count; ++i) {
    low = std::min(low, s[i]);
    high = std::max(high, s[i]);
  }
  return static_cast<double>(std::max(middle - int64_t{low}, int64_t{high} - middle)) /
         full_scale;
}

}  // namespace

double peak_of(const void* samples, size_t count, int pcm_format) {
  switch (pcm_format) {
    case PCM_FORMAT_U8: return peak<uint8_t>(samples, count, 128, 128.0);
    case PCM_FORMAT_S16: return peak<int16_t>(samples, count, 0, 32768.0);
    case PCM_FORMAT_S32: return peak<int32_t>(samples, count, 0, 2147483648.0);
    default: {
      const float* f = static_cast<const float*>(samples);
      float most = 0;
      for (size_t i = 0; i < count; ++i) most = std::fmax(most, std::fabs(f[i]));
      return most;
    }
  }
}

}  // namespace amix
