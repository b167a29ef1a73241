// Helpers shared by the mixing tests and the mixing fuzz target.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "mix/mixer_impl.h"
#include "tavrin_amix/audio_mixer.h"

namespace amix_test {

// Long enough to run the widest vector loop and its scalar tail.
constexpr std::size_t kSpan = 103;

// Repeats `pattern` over kSpan samples.
template <typename T>
std::vector<T> repeated(const std::vector<T>& pattern) {
  std::vector<T> v(kSpan);
  for (std::size_t i = 0; i < kSpan; ++i) v[i] = pattern[i % pattern.size()];
  return v;
}

inline float gain_of(const audio_mixer* m) { return m->gain; }

// The library's mix and scale of each sample type, for code written once
// for all of them.
inline bool lib_mix(audio_mixer* m, uint8_t* const* t, const float* v, int32_t n, int32_t k,
                    uint8_t* o) {
  return audio_mixer_mix_uint8(m, t, v, n, k, o);
}
inline bool lib_mix(audio_mixer* m, int16_t* const* t, const float* v, int32_t n, int32_t k,
                    int16_t* o) {
  return audio_mixer_mix_int16(m, t, v, n, k, o);
}
inline bool lib_mix(audio_mixer* m, int32_t* const* t, const float* v, int32_t n, int32_t k,
                    int32_t* o) {
  return audio_mixer_mix_int32(m, t, v, n, k, o);
}
inline bool lib_mix(audio_mixer* m, float* const* t, const float* v, int32_t n, int32_t k,
                    float* o) {
  return audio_mixer_mix_float(m, t, v, n, k, o);
}
inline void lib_scale(uint8_t* s, int32_t n, float v) { audio_scale_uint8(s, n, v); }
inline void lib_scale(int16_t* s, int32_t n, float v) { audio_scale_int16(s, n, v); }
inline void lib_scale(int32_t* s, int32_t n, float v) { audio_scale_int32(s, n, v); }
inline void lib_scale(float* s, int32_t n, float v) { audio_scale_float(s, n, v); }

// The same for the ramped functions.
inline bool lib_mix_ramp(audio_mixer* m, uint8_t* const* t, const float* a, const float* b,
                         int32_t f, int32_t c, int32_t k, uint8_t* o) {
  return audio_mixer_mix_uint8_ramp(m, t, a, b, f, c, k, o);
}
inline bool lib_mix_ramp(audio_mixer* m, int16_t* const* t, const float* a, const float* b,
                         int32_t f, int32_t c, int32_t k, int16_t* o) {
  return audio_mixer_mix_int16_ramp(m, t, a, b, f, c, k, o);
}
inline bool lib_mix_ramp(audio_mixer* m, int32_t* const* t, const float* a, const float* b,
                         int32_t f, int32_t c, int32_t k, int32_t* o) {
  return audio_mixer_mix_int32_ramp(m, t, a, b, f, c, k, o);
}
inline bool lib_mix_ramp(audio_mixer* m, float* const* t, const float* a, const float* b,
                         int32_t f, int32_t c, int32_t k, float* o) {
  return audio_mixer_mix_float_ramp(m, t, a, b, f, c, k, o);
}
inline void lib_scale_ramp(uint8_t* s, int32_t f, int32_t c, float a, float b) {
  audio_scale_uint8_ramp(s, f, c, a, b);
}
inline void lib_scale_ramp(int16_t* s, int32_t f, int32_t c, float a, float b) {
  audio_scale_int16_ramp(s, f, c, a, b);
}
inline void lib_scale_ramp(int32_t* s, int32_t f, int32_t c, float a, float b) {
  audio_scale_int32_ramp(s, f, c, a, b);
}
inline void lib_scale_ramp(float* s, int32_t f, int32_t c, float a, float b) {
  audio_scale_float_ramp(s, f, c, a, b);
}

// Equal bit for bit: float buffers compare NaN with NaN and -0 apart from +0.
template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

inline float float_from_bits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// Float samples worth trying everywhere: zeros, subnormals, the normal
// edges, full scale and beyond, infinities and NaN.
inline const std::vector<float>& awkward_floats() {
  using L = std::numeric_limits<float>;
  static const std::vector<float> values = {
      0.0f, -0.0f, L::denorm_min(), -L::denorm_min(), 1e-40f, -1e-40f, L::min(), -L::min(),
      1e-30f, -1e-30f, 0.25f, -0.75f, 1.0f, -1.0f, 1.5f, -1.5f, 1e30f, -1e30f, L::max(),
      -L::max(), L::infinity(), -L::infinity(), L::quiet_NaN(), -L::quiet_NaN()};
  return values;
}

// Mixes two 16-bit tracks at unity on `m`: the output, or nothing when the
// mixer refused.
inline std::vector<int16_t> mix16(audio_mixer* m, std::vector<int16_t> a, std::vector<int16_t> b) {
  int16_t* tracks[] = {a.data(), b.data()};
  const float volumes[] = {1.0f, 1.0f};
  std::vector<int16_t> out(a.size());
  if (!audio_mixer_mix_int16(m, tracks, volumes, int32_t(a.size()), 2, out.data())) return {};
  return out;
}

struct MixerDeleter {
  void operator()(audio_mixer* m) const { audio_mixer_destroy(m); }
};
using Mixer = std::unique_ptr<audio_mixer, MixerDeleter>;
inline Mixer make_mixer(int32_t capacity = 0) { return Mixer(audio_mixer_create(capacity)); }

}  // namespace amix_test
