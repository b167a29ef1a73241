// The per-sample volume step and the master-gain rules, in scalar form.
// Shared by the reference loops, by the tails of the vector kernels and by
// the mixer's gain bookkeeping, so that every path rounds the same way.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace amix {

// Factors from the float nearest 0.999999 to the float nearest 1.000001,
// both inclusive, are unity: the samples stay untouched.  NaN is not unity.
constexpr float kUnityLow = 0.999999f, kUnityHigh = 1.000001f;
inline bool is_unity(float volume) {
  return volume >= kUnityLow && volume <= kUnityHigh;
}

// Float -> int32 by truncation toward zero, saturating products beyond the
// int32 range to the nearer end; NaN gives 0.  (A plain conversion is
// undefined behaviour there, and on x86 flips overflow to INT32_MIN.)
inline int32_t trunc_sat(float p) {
  if (p != p) return 0;
  if (p >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  if (p <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(p);
}

// A finite factor that scales every sample exactly like `volume`: NaN
// products give 0, as a factor of 0 does, and an infinite factor saturates
// every nonzero sample, as the largest finite one does (0 stays 0 instead of
// becoming NaN, which gives 0 too).  Lets the vector kernels skip NaN tests.
inline float finite_factor(float volume) {
  if (volume != volume) return 0.0f;
  if (volume > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
  if (volume < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::max();
  return volume;
}

// Volume ramps.  Frame j (0 <= j < frames) of a block plays at
//   v_j = from + (float)j * step,  step = (to - from) / (float)frames,
// each operation rounded to single precision on its own (the build turns
// off contraction into fused multiply-adds, which would round once).  A flat
// ramp (from == to) plays every frame at `from` exactly, so -0.0 stays
// -0.0.  The ramp ends one step short of `to`: a next block starting at
// `to` carries on without a jump.  The volumes are monotonic in j, since
// each of the three roundings is.
struct volume_ramp {
  float from, to, step;

  bool flat() const { return from == to; }
  float at(int32_t j) const {
    if (flat()) return from;
    const float offset = static_cast<float>(j) * step;
    return from + offset;
  }
};

inline volume_ramp make_ramp(float from, float to, int32_t frames) {
  const float span = to - from;
  return {from, to, span / static_cast<float>(frames)};
}

// A ramp the mixing family accepts: both ends and their distance finite.
inline bool ramp_is_finite(float from, float to) {
  return std::isfinite(from) && std::isfinite(to) && std::isfinite(to - from);
}

// Most channels a ramped block may interleave.
constexpr int32_t kMaxRampChannels = 32;

// A ramped block's shape: 1..32 channels, at least one frame, and at most
// INT32_MAX samples in all.
inline bool ramp_block_ok(int32_t frames, int32_t channels) {
  return channels >= 1 && channels <= kMaxRampChannels && frames >= 1 &&
         frames <= std::numeric_limits<int32_t>::max() / channels;
}

template <typename T>
struct sample_limits;
template <>
struct sample_limits<uint8_t> {
  static constexpr int32_t lo = 0, hi = 255;
  using sum_type = int32_t;
  static constexpr float gain_limit = 255.0f;
  static constexpr double gain_numerator = 255.0;
};
template <>
struct sample_limits<int16_t> {
  static constexpr int32_t lo = -32768, hi = 32767;
  using sum_type = int32_t;
  static constexpr float gain_limit = 32767.0f;
  static constexpr double gain_numerator = 32767.0;
};
template <>
struct sample_limits<float> {
  using sum_type = double;
  static constexpr float gain_limit = 1.0f;
  static constexpr double gain_numerator = 1.0;
};
template <>
struct sample_limits<int32_t> {
  static constexpr int32_t lo = std::numeric_limits<int32_t>::min();
  static constexpr int32_t hi = std::numeric_limits<int32_t>::max();
  using sum_type = int64_t;
  // 2147483647 rounded to single precision.
  static constexpr float gain_limit = 2147483648.0f;
  static constexpr double gain_numerator = 2147483647.0;
};

inline int32_t clamp_i32(int32_t v, int32_t lo, int32_t hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// One sample times one factor: int -> float (nearest), one float multiply,
// truncation with saturation, clamp to the sample's range.
template <typename T>
inline T scale_sample(T sample, float volume) {
  const float product = static_cast<float>(sample) * volume;
  return static_cast<T>(clamp_i32(trunc_sat(product), sample_limits<T>::lo,
                                  sample_limits<T>::hi));
}

// Float samples: NaN -> 0 (0 x inf, a NaN sample or factor), then a clamp to
// [-1, 1].  The comparisons keep the sign of a zero.
inline float clamp_unit(float p) {
  if (p != p) return 0.0f;
  return p < -1.0f ? -1.0f : (p > 1.0f ? 1.0f : p);
}

// The float volume step: one single-precision multiply, then clamp_unit.
inline float scale_sample(float sample, float volume) { return clamp_unit(sample * volume); }

// What a single-track float mix writes for a sample: non-finite -> 0, clamped.
inline float unit_sample(float sample) {
  return std::isfinite(sample) ? clamp_unit(sample) : 0.0f;
}

// A float mix's per-sample sum (double) as the gain and the output see it:
// a sum that is not finite counts as 0.
inline double finite_sum(double sum) { return std::isfinite(sum) ? sum : 0.0; }

// One track sample, widened to the sum's type, added to a per-sample sum:
// integer sums wrap like the vector lanes (instead of undefined overflow),
// double sums take one IEEE addition.
template <typename S>
inline S add_to_sum(S sum, S sample) {
  if constexpr (std::is_integral_v<S>) {
    using U = std::make_unsigned_t<S>;
    return static_cast<S>(static_cast<U>(sum) + static_cast<U>(sample));
  } else {
    return sum + sample;
  }
}

// |sum| as the gain sees it: integer sums in 64 bits; a double sum that is
// not finite counts as 0.
inline int64_t sum_magnitude(int64_t sum) { return sum < 0 ? -sum : sum; }
inline double sum_magnitude(double sum) {
  const double f = finite_sum(sum);
  return f < 0 ? -f : f;
}

// One output sample of a multi-track mix: the sum rounded to the sample's
// precision, times the gain in single precision, then brought into range
// (integers: truncation with saturation and the clamp; floats: clamp_unit).
template <typename T, typename S>
inline T output_sample(S sum, float gain) {
  if constexpr (std::is_same_v<T, float>) {
    return clamp_unit(static_cast<float>(finite_sum(sum)) * gain);
  } else {
    const int32_t v = trunc_sat(static_cast<float>(sum) * gain);
    return static_cast<T>(clamp_i32(v, sample_limits<T>::lo, sample_limits<T>::hi));
  }
}

// Attack: the gain the block is written with, given its peak (the largest
// absolute sum, integer or double) and the gain left by the previous call.
template <typename T, typename P>
inline float gain_after_test(float gain, P peak) {
  if (static_cast<float>(peak) * gain > sample_limits<T>::gain_limit) {
    return static_cast<float>(sample_limits<T>::gain_numerator /
                              static_cast<double>(peak));
  }
  return gain;
}

// Release: 1/32 of the remaining distance to 1.0, formed in double precision.
inline float gain_after_release(float gain) {
  if (gain < 1.0f) {
    const double g = gain;
    return static_cast<float>(g + (1.0 - g) * 0.03125);
  }
  return gain;
}

}  // namespace amix
