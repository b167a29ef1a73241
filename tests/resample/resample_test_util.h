// Helpers shared by the resampler tests.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "common/engine_seam.h"
#include "resample/resampler_impl.h"
#include "tavrin_amix/audio_resampler.h"

namespace amix_test {

struct ResamplerDeleter {
  void operator()(audio_resampler* r) const { audio_resampler_destroy(r); }
};
using Resampler = std::unique_ptr<audio_resampler, ResamplerDeleter>;

inline Resampler make_resampler(audio_desc dst, audio_desc src) {
  return Resampler(audio_resampler_create(&dst, &src));
}

// Takes libswresample to have no soxr (or to have it) for the scope: the
// presets then run their fallback filter.
class SoxrRefused {
 public:
  explicit SoxrRefused(bool refused) { amix_fault_refuse_soxr(refused); }
  ~SoxrRefused() { amix_fault_refuse_soxr(0); }
  SoxrRefused(const SoxrRefused&) = delete;
  SoxrRefused& operator=(const SoxrRefused&) = delete;
};

// Stands in the caller's slots before a call, to see which ones it wrote.
inline uint8_t* sentinel() {
  static uint8_t byte;
  return &byte;
}

// One resample call on `in_bytes` bytes of an interleaved block.
struct Call {
  bool ok = false;
  int32_t bytes = -77;
  uint8_t* planes[RESAMPLER_MAX_PLANES];
  Call(audio_resampler* r, const uint8_t* data, uint32_t in_bytes) {
    for (auto& p : planes) p = sentinel();
    const uint8_t* in[1] = {data};
    ok = audio_resampler_resample(r, planes, &bytes, in, in_bytes);
  }
};

// floor(n * dst / src + 1/2), the frames a stream of n source frames comes
// out as.
inline int64_t exact_length(int64_t n, int64_t src, int64_t dst) {
  return (2 * n * dst + src) / (2 * src);
}

inline std::vector<uint8_t> noise(size_t bytes, uint32_t seed = 1) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(bytes);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

}  // namespace amix_test
