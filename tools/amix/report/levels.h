// Signal levels in dBFS (0 dBFS = full scale).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace amix {

// 20 log10(linear); -infinity for 0.
double to_dbfs(double linear);
// "-6.02 dBFS", or "-inf dBFS" for silence.
std::string format_dbfs(double dbfs);

// Peak and RMS over normalised samples.  NaN and infinite samples are
// counted apart and left out of both.
class LevelMeter {
 public:
  void add(const float* samples, size_t count);
  double peak_dbfs() const { return to_dbfs(peak_); }
  double rms_dbfs() const;
  uint64_t non_finite() const { return non_finite_; }

 private:
  double peak_ = 0.0;
  double sum_squares_ = 0.0;
  uint64_t count_ = 0;
  uint64_t non_finite_ = 0;
};

// The largest magnitude among `count` samples of `pcm_format` (a
// PCM_FORMAT_* code), relative to full scale; NaN samples are left out.
double peak_of(const void* samples, size_t count, int pcm_format);

}  // namespace amix
