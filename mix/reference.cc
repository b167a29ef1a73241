#include "mix/reference.h"

#include <type_traits>

#include "mix/sample_step.h"

namespace amix::ref {
namespace {

template <typename T>
void scale_loop(T* samples, int32_t count, float volume) {
  if (is_unity(volume)) return;
  for (int32_t i = 0; i < count; ++i) {
    samples[i] = scale_sample(samples[i], volume);
  }
}

template <typename T>
bool mix_loop(audio_mixer* m, T* const* tracks, const float* volumes,
              int32_t count, int32_t track_count, T* out) {
  using limits = sample_limits<T>;
  using sum_type = typename limits::sum_type;
  using usum_type = std::make_unsigned_t<sum_type>;
  if (m == nullptr || tracks == nullptr || volumes == nullptr || count <= 0 ||
      track_count <= 0 || out == nullptr || tracks[0] == nullptr) {
    return false;
  }
  if (track_count == 1) {
    scale_loop(tracks[0], count, volumes[0]);
    for (int32_t j = 0; j < count; ++j) out[j] = tracks[0][j];
    m->gain = 1.0f;
    return true;
  }
  if (count > m->capacity / 2) return false;

  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] != nullptr) scale_loop(tracks[t], count, volumes[t]);
  }
  int64_t peak = 0;
  for (int32_t j = 0; j < count; ++j) {
    usum_type sum = 0;  // wraps like the hardware would, instead of UB
    for (int32_t t = 0; t < track_count; ++t) {
      if (tracks[t] != nullptr) {
        sum += static_cast<usum_type>(static_cast<sum_type>(tracks[t][j]));
      }
    }
    const int64_t s = static_cast<sum_type>(sum);
    m->sums[j] = s;
    const int64_t magnitude = s < 0 ? -s : s;
    if (magnitude > peak) peak = magnitude;
  }
  m->gain = gain_after_test<T>(m->gain, peak);
  for (int32_t j = 0; j < count; ++j) {
    const int32_t v = trunc_sat(static_cast<float>(m->sums[j]) * m->gain);
    out[j] = static_cast<T>(clamp_i32(v, limits::lo, limits::hi));
  }
  m->gain = gain_after_release(m->gain);
  return true;
}

}  // namespace

void scale(uint8_t* s, int32_t n, float v) { scale_loop(s, n, v); }
void scale(int16_t* s, int32_t n, float v) { scale_loop(s, n, v); }
void scale(int32_t* s, int32_t n, float v) { scale_loop(s, n, v); }

bool mix(audio_mixer* m, uint8_t* const* t, const float* v, int32_t n,
         int32_t k, uint8_t* o) {
  return mix_loop(m, t, v, n, k, o);
}
bool mix(audio_mixer* m, int16_t* const* t, const float* v, int32_t n,
         int32_t k, int16_t* o) {
  return mix_loop(m, t, v, n, k, o);
}
bool mix(audio_mixer* m, int32_t* const* t, const float* v, int32_t n,
         int32_t k, int32_t* o) {
  return mix_loop(m, t, v, n, k, o);
}

}  // namespace amix::ref
