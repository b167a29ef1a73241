// Vector kernels of the mixing family.  Highway compiles this file once per
// instruction set (foreach_target.h) and dispatches at run time.
//
// Bit-exactness with the scalar step: int -> float conversion rounds to
// nearest in both, the product is one IEEE single multiply in both, the
// float -> int32 conversion truncates and saturates in both, and narrowing
// to 8 or 16 bits saturates exactly like the scalar clamp.
// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mix/kernels_hwy.cc"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
// clang-format on
#include "hwy/highway.h"
#include "mix/kernels.h"
#include "mix/sample_step.h"

HWY_BEFORE_NAMESPACE();
namespace amix {
namespace kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DI = hn::ScalableTag<int32_t>;
using DF = hn::Rebind<float, DI>;
using DI16 = hn::Rebind<int16_t, DI>;
using DU8 = hn::Rebind<uint8_t, DI>;
using VI = hn::Vec<DI>;
using VF = hn::Vec<DF>;

// Samples are widened to int32 lanes for the arithmetic and narrowed back
// with saturation, which is where the 8- and 16-bit clamps happen.
template <typename T>
using DN = hn::Rebind<T, DI>;
template <typename T>
using VN = hn::Vec<DN<T>>;

template <typename T>
HWY_INLINE VI Widen(VN<T> v) {
  if constexpr (sizeof(T) == 4) {
    return v;
  } else {
    return hn::PromoteTo(DI(), v);
  }
}
template <typename T>
HWY_INLINE VN<T> Narrow(VI v) {
  if constexpr (sizeof(T) == 4) {
    return v;
  } else if constexpr (sizeof(T) == 2) {
    return hn::DemoteTo(DN<T>(), v);
  } else {
    // Through int16: Highway's direct int32 -> uint8 demotion does not
    // saturate 32768..65535 on AVX2/AVX-512 (it keeps the low byte).
    return hn::DemoteTo(DN<T>(), hn::DemoteTo(DN<int16_t>(), v));
  }
}
template <typename T>
HWY_INLINE VI Load(const T* p) { return Widen<T>(hn::LoadU(DN<T>(), p)); }

// Highway's float -> int32 conversion truncates and saturates on every
// target; the factor is finite (kernels.h), so no lane is NaN.
HWY_INLINE VI TruncSat(VF p) { return hn::ConvertTo(DI(), p); }

template <typename T>
HWY_INLINE VN<T> ScaleLanes(VI s, VF volume) {
  return Narrow<T>(TruncSat(hn::Mul(hn::ConvertTo(DF(), s), volume)));
}

// Factors whose products always truncate into T's range, so that neither
// the int32 saturation nor the narrowing clamp can change a lane: for
// 16-bit samples -1 < v < 1 (|s * v| <= 32768 * (1 - 2^-24), which is a
// float, so the rounded product stays below 32768); for 8-bit samples
// 0 <= v < 1 (products in [0, 255)).  32-bit samples have no such window:
// a product just below 2^31 can round up to 2^31.
template <typename T>
HWY_INLINE bool InRange(float v) {
  if constexpr (sizeof(T) == 2) {
    return v > -1.0f && v < 1.0f;
  } else if constexpr (sizeof(T) == 1) {
    return v >= 0.0f && v < 1.0f;
  } else {
    return false;
  }
}

// Truncation of lanes known to lie inside the int32 range: on x86 the bare
// conversion instruction, without ConvertTo's fix-up for overflowing lanes
// (elsewhere ConvertTo is one instruction already).
HWY_INLINE VI TruncInRange(VF p) {
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
  return VI{_mm512_cvttps_epi32(p.raw)};
#elif HWY_ARCH_X86 && HWY_TARGET == HWY_AVX2
  return VI{_mm256_cvttps_epi32(p.raw)};
#elif HWY_ARCH_X86 && (HWY_TARGET == HWY_SSE4 || HWY_TARGET == HWY_SSSE3)
  return VI{_mm_cvttps_epi32(p.raw)};
#else
  return hn::ConvertTo(DI(), p);
#endif
}

// The scaled samples as int32 lanes, for a factor with InRange<T>.
HWY_INLINE VI ScaleInRange(VI s, VF volume) {
  return TruncInRange(hn::Mul(hn::ConvertTo(DF(), s), volume));
}

template <typename T>
HWY_INLINE void ScaleT(T* HWY_RESTRICT samples, size_t n, float volume) {
  const DI di;
  const size_t N = hn::Lanes(di);
  const VF vol = hn::Set(DF(), volume);
  size_t i = 0;
  const DN<T> dn;
  if (InRange<T>(volume)) {
    for (; i + 2 * N <= n; i += 2 * N) {
      const VI a = ScaleInRange(Load(samples + i), vol);
      const VI b = ScaleInRange(Load(samples + i + N), vol);
      hn::StoreU(Narrow<T>(a), dn, samples + i);
      hn::StoreU(Narrow<T>(b), dn, samples + i + N);
    }
  }
  for (; i + 2 * N <= n; i += 2 * N) {
    const VN<T> a = ScaleLanes<T>(Load(samples + i), vol);
    const VN<T> b = ScaleLanes<T>(Load(samples + i + N), vol);
    hn::StoreU(a, dn, samples + i);
    hn::StoreU(b, dn, samples + i + N);
  }
  for (; i + N <= n; i += N) hn::StoreU(ScaleLanes<T>(Load(samples + i), vol), dn, samples + i);
  for (; i < n; ++i) samples[i] = scale_sample(samples[i], volume);
}

void ScaleU8(uint8_t* s, size_t n, float v) { ScaleT(s, n, v); }
void ScaleI16(int16_t* s, size_t n, float v) { ScaleT(s, n, v); }
void ScaleI32(int32_t* s, size_t n, float v) { ScaleT(s, n, v); }

// One pass over all tracks of a group: each sample is loaded once, scaled
// and written back when its track has a factor, and added to the sum.
template <typename T>
HWY_INLINE void AccumulateT(T* const* tracks, const float* factors, size_t count,
                            size_t n, int32_t* HWY_RESTRICT sums, bool init) {
  const DI di;
  const DF df;
  const DN<T> dn;
  const size_t N = hn::Lanes(di);
  // Per track: 0 unscaled, 1 scaled by an in-range factor, 2 scaled.
  uint8_t mode[kMaxGroup];
  for (size_t t = 0; t < count; ++t) {
    mode[t] = factors[t] == 1.0f ? 0 : InRange<T>(factors[t]) ? 1 : 2;
  }
  size_t i = 0;
  for (; i + 2 * N <= n; i += 2 * N) {
    VI acc0 = init ? hn::Zero(di) : hn::LoadU(di, sums + i);
    VI acc1 = init ? hn::Zero(di) : hn::LoadU(di, sums + i + N);
    for (size_t t = 0; t < count; ++t) {
      T* HWY_RESTRICT p = tracks[t] + i;
      if (mode[t] == 1) {
        const VF vol = hn::Set(df, factors[t]);
        const VI a = ScaleInRange(Load(p), vol);
        const VI b = ScaleInRange(Load(p + N), vol);
        hn::StoreU(Narrow<T>(a), dn, p);
        hn::StoreU(Narrow<T>(b), dn, p + N);
        acc0 = hn::Add(acc0, a);
        acc1 = hn::Add(acc1, b);
      } else if (mode[t] == 2) {
        const VF vol = hn::Set(df, factors[t]);
        const VN<T> a = ScaleLanes<T>(Load(p), vol);
        const VN<T> b = ScaleLanes<T>(Load(p + N), vol);
        hn::StoreU(a, dn, p);
        hn::StoreU(b, dn, p + N);
        acc0 = hn::Add(acc0, Widen<T>(a));
        acc1 = hn::Add(acc1, Widen<T>(b));
      } else {
        acc0 = hn::Add(acc0, Load(p));
        acc1 = hn::Add(acc1, Load(p + N));
      }
    }
    hn::StoreU(acc0, di, sums + i);
    hn::StoreU(acc1, di, sums + i + N);
  }
  for (; i < n; ++i) {
    uint32_t acc = init ? 0u : static_cast<uint32_t>(sums[i]);
    for (size_t t = 0; t < count; ++t) {
      T& s = tracks[t][i];
      if (factors[t] != 1.0f) s = scale_sample(s, factors[t]);
      acc += static_cast<uint32_t>(static_cast<int32_t>(s));
    }
    sums[i] = static_cast<int32_t>(acc);
  }
}

void AccumulateU8(uint8_t* const* t, const float* f, size_t c, size_t n,
                  int32_t* sums, bool init) {
  AccumulateT(t, f, c, n, sums, init);
}
void AccumulateI16(int16_t* const* t, const float* f, size_t c, size_t n,
                   int32_t* sums, bool init) {
  AccumulateT(t, f, c, n, sums, init);
}

int64_t Peak(const int32_t* HWY_RESTRICT sums, size_t n) {
  const DI di;
  const size_t N = hn::Lanes(di);
  VI hi = hn::Zero(di);
  VI lo = hn::Zero(di);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const VI v = hn::LoadU(di, sums + i);
    hi = hn::Max(hi, v);
    lo = hn::Min(lo, v);
  }
  int64_t top = hn::GetLane(hn::MaxOfLanes(di, hi));
  int64_t bottom = hn::GetLane(hn::MinOfLanes(di, lo));
  for (; i < n; ++i) {
    if (sums[i] > top) top = sums[i];
    if (sums[i] < bottom) bottom = sums[i];
  }
  return top > -bottom ? top : -bottom;
}

template <typename T>
HWY_INLINE void OutputT(const int32_t* HWY_RESTRICT sums, size_t n, float gain,
                        T* HWY_RESTRICT out) {
  const DI di;
  const DF df;
  const size_t N = hn::Lanes(di);
  const VF g = hn::Set(df, gain);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const VF p = hn::Mul(hn::ConvertTo(df, hn::LoadU(di, sums + i)), g);
    hn::StoreU(Narrow<T>(TruncSat(p)), DN<T>(), out + i);
  }
  for (; i < n; ++i) {
    const int32_t v = trunc_sat(static_cast<float>(sums[i]) * gain);
    out[i] = static_cast<T>(clamp_i32(v, sample_limits<T>::lo, sample_limits<T>::hi));
  }
}

void OutputU8(const int32_t* s, size_t n, float g, uint8_t* o) { OutputT(s, n, g, o); }
void OutputI16(const int32_t* s, size_t n, float g, int16_t* o) { OutputT(s, n, g, o); }

}  // namespace HWY_NAMESPACE
}  // namespace kernels
}  // namespace amix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace amix {
namespace kernels {

HWY_EXPORT(ScaleU8);
HWY_EXPORT(ScaleI16);
HWY_EXPORT(ScaleI32);
HWY_EXPORT(AccumulateU8);
HWY_EXPORT(AccumulateI16);
HWY_EXPORT(Peak);
HWY_EXPORT(OutputU8);
HWY_EXPORT(OutputI16);

void scale(uint8_t* s, size_t n, float v) { HWY_DYNAMIC_DISPATCH(ScaleU8)(s, n, v); }
void scale(int16_t* s, size_t n, float v) { HWY_DYNAMIC_DISPATCH(ScaleI16)(s, n, v); }
void scale(int32_t* s, size_t n, float v) { HWY_DYNAMIC_DISPATCH(ScaleI32)(s, n, v); }

void accumulate(uint8_t* const* t, const float* f, size_t c, size_t n, int32_t* sums,
                bool init) {
  HWY_DYNAMIC_DISPATCH(AccumulateU8)(t, f, c, n, sums, init);
}
void accumulate(int16_t* const* t, const float* f, size_t c, size_t n, int32_t* sums,
                bool init) {
  HWY_DYNAMIC_DISPATCH(AccumulateI16)(t, f, c, n, sums, init);
}

int64_t peak(const int32_t* sums, size_t n) { return HWY_DYNAMIC_DISPATCH(Peak)(sums, n); }

void output(const int32_t* s, size_t n, float g, uint8_t* o) {
  HWY_DYNAMIC_DISPATCH(OutputU8)(s, n, g, o);
}
void output(const int32_t* s, size_t n, float g, int16_t* o) {
  HWY_DYNAMIC_DISPATCH(OutputI16)(s, n, g, o);
}

}  // namespace kernels
}  // namespace amix
#endif  // HWY_ONCE
