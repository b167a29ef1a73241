// Vector kernels of the integer mixes.  Highway compiles this file once per
// instruction set (foreach_target.h) and dispatches at run time.
//
// Bit-exactness with the scalar step: int -> float conversion rounds to
// nearest in both, the product is one IEEE single multiply in both, the
// float -> int32 conversion truncates and saturates in both, and narrowing
// to 8 or 16 bits saturates exactly like the scalar clamp.  32-bit samples
// sum in int64 lanes; their output goes int64 -> double (exact below 2^53,
// which the caller ensures) -> float (one rounding to nearest, as the
// scalar int64 -> float).  32-bit Arm NEON has no double lanes: the 32-bit
// output takes the scalar twin there.
// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mix/kernels_hwy.cc"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
// clang-format on
#include "hwy/highway.h"
#include "mix/kernels-inl.h"
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
using DI64 = hn::ScalableTag<int64_t>;  // the sums of 32-bit samples
using VI64 = hn::Vec<DI64>;

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
// 0 <= v < 1 (products in [0, 255)); for 32-bit samples -1 < v < 1 too
// (a sample converts to at most 2^31 in magnitude, and 2^31 * (1 - 2^-24)
// is a float below 2^31, so the product cannot round up to 2^31).
template <typename T>
HWY_INLINE bool InRange(float v) {
  if constexpr (sizeof(T) == 1) {
    return v >= 0.0f && v < 1.0f;
  } else {
    return v > -1.0f && v < 1.0f;
  }
}

// Truncation of lanes known to lie inside the int32 range.  Highway's
// ConvertTo must also map lanes that overflow, which x86 turns into
// INT32_MIN, and adds a fix-up of three or four instructions for them on
// every x86 target; Highway 1.0 has no conversion that may skip it.  Here no
// lane can overflow, and on x86 the bare instruction makes a 16-bit mix of
// 8 tracks at volume 0.8 about 1.4 times faster (bench_mix: 1.5x instead
// of 2.1x the one-pass floor).  So x86 takes the intrinsic, and every other
// target the portable twin below, ConvertTo, which is one instruction on
// Arm; the differential tests run both against the scalar step on every
// instruction set the CPU offers.
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

// How each track of a group is handled: 0 unscaled (factor 1.0f), 1 scaled
// by an InRange factor, 2 scaled.
template <typename T>
HWY_INLINE void ScaleModes(const float* factors, size_t count, uint8_t* mode) {
  for (size_t t = 0; t < count; ++t) {
    mode[t] = factors[t] == 1.0f ? 0 : InRange<T>(factors[t]) ? 1 : 2;
  }
}

// Output samples from a pair of int32 sum vectors at index i.
template <typename T>
HWY_INLINE auto NarrowOutput(T* HWY_RESTRICT out, float gain) {
  return [out, gain](size_t i, VI acc0, VI acc1) HWY_ATTR {
    const DF df;
    const DN<T> dn;
    const VF g = hn::Set(df, gain);
    hn::StoreU(Narrow<T>(TruncSat(hn::Mul(hn::ConvertTo(df, acc0), g))), dn, out + i);
    hn::StoreU(Narrow<T>(TruncSat(hn::Mul(hn::ConvertTo(df, acc1), g))), dn,
               out + i + hn::Lanes(df));
  };
}

// One pass over all tracks of a group: each sample is loaded once, scaled
// and written back when its track has a factor, and added to the sum.
template <typename T>
HWY_INLINE int64_t AccumulateT(T* const* tracks, const float* factors, size_t count, size_t n,
                               int32_t* HWY_RESTRICT sums, bool init, bool last, T* out,
                               float gain) {
  const DI di;
  const DF df;
  const DN<T> dn;
  uint8_t mode[kMaxGroup];
  ScaleModes<T>(factors, count, mode);
  const auto lanes = [&](size_t t, T* HWY_RESTRICT p) HWY_ATTR {
    if (mode[t] == 0) return Load(p);
    const VF vol = hn::Set(df, factors[t]);
    if (mode[t] == 1) {
      const VI a = ScaleInRange(Load(p), vol);
      hn::StoreU(Narrow<T>(a), dn, p);
      return a;  // in range: the unnarrowed lanes are the samples
    }
    const VN<T> a = ScaleLanes<T>(Load(p), vol);
    hn::StoreU(a, dn, p);
    return Widen<T>(a);
  };
  const size_t N = hn::Lanes(di);
  const auto add_track = [&](size_t t, T* HWY_RESTRICT p, size_t, VI& acc0, VI& acc1) HWY_ATTR {
    acc0 = hn::Add(acc0, lanes(t, p));
    acc1 = hn::Add(acc1, lanes(t, p + N));
  };
  return Accumulate(di, tracks, FactorStep{factors}, count, n, sums, init, last, out, gain,
                    NoBegin(), add_track, NarrowOutput(out, gain));
}

int64_t AccumulateU8(uint8_t* const* t, const float* f, size_t c, size_t n, int32_t* sums,
                     bool init, bool last, uint8_t* out, float gain) {
  return AccumulateT(t, f, c, n, sums, init, last, out, gain);
}
int64_t AccumulateI16(int16_t* const* t, const float* f, size_t c, size_t n, int32_t* sums,
                      bool init, bool last, int16_t* out, float gain) {
  return AccumulateT(t, f, c, n, sums, init, last, out, gain);
}

// 32-bit samples: two int64 sum vectors per full int32 vector.
using DI32H = hn::Rebind<int32_t, DI64>;
using DF32H = hn::Rebind<float, DI64>;

// Output samples from a pair of int64 sum vectors at index i (whose sums
// are already stored at sums + i).
HWY_INLINE auto WideOutput(const int64_t* HWY_RESTRICT sums, int32_t* HWY_RESTRICT out,
                           float gain) {
  return [sums, out, gain](size_t i, VI64 acc0, VI64 acc1) HWY_ATTR {
#if HWY_HAVE_FLOAT64
    (void)sums;
    const hn::Rebind<double, DI64> dd;
    const DF32H df;
    const DI32H di;
    const auto g = hn::Set(df, gain);
    const auto f0 = hn::DemoteTo(df, hn::ConvertTo(dd, acc0));
    const auto f1 = hn::DemoteTo(df, hn::ConvertTo(dd, acc1));
    hn::StoreU(hn::ConvertTo(di, hn::Mul(f0, g)), di, out + i);
    hn::StoreU(hn::ConvertTo(di, hn::Mul(f1, g)), di, out + i + hn::Lanes(di));
#else
    // No double lanes: the scalar rule on the stored sums.
    (void)acc0, (void)acc1;
    for (size_t k = 0; k < 2 * hn::Lanes(DI64()); ++k) {
      out[i + k] = output_sample<int32_t>(sums[i + k], gain);
    }
#endif
  };
}

int64_t AccumulateI32(int32_t* const* tracks, const float* factors, size_t count, size_t n,
                      int64_t* HWY_RESTRICT sums, bool init, bool last, int32_t* out,
                      float gain) {
#if HWY_TARGET == HWY_SCALAR
  int64_t peak = 0;  // one lane: the vector body would be this loop
  AccumulateTail(0, tracks, FactorStep{factors}, count, n, sums, init, last, peak, out, gain);
  return peak;
#else
  const DI64 d64;
  const DI di;
  const DF df;
  uint8_t mode[kMaxGroup];
  ScaleModes<int32_t>(factors, count, mode);
  const auto add_track = [&](size_t t, int32_t* HWY_RESTRICT p, size_t, VI64& acc0,
                             VI64& acc1) HWY_ATTR {
    VI s = hn::LoadU(di, p);
    if (mode[t] != 0) {
      const VF product = hn::Mul(hn::ConvertTo(df, s), hn::Set(df, factors[t]));
      s = mode[t] == 1 ? TruncInRange(product) : TruncSat(product);
      hn::StoreU(s, di, p);
    }
    AddWidened(d64, s, acc0, acc1);
  };
  return Accumulate(d64, tracks, FactorStep{factors}, count, n, sums, init, last, out, gain,
                    NoBegin(), add_track, WideOutput(sums, out, gain));
#endif
}

// ---- Ramps ---------------------------------------------------------------

template <typename T>
HWY_INLINE void PlanIntTrack(const Ramp& r, size_t frames, size_t channels, TrackPlan& plan) {
  PlanTrack(r, frames, channels, [](float v) { return InRange<T>(v); }, plan);
}

// Scales the N samples of a track at p (sample index i, frame indices
// `frames` as floats) by its plan, stores them back and returns them as
// int32 lanes.
template <typename T>
HWY_INLINE VI RampLanes(const TrackPlan& plan, const FrameMap& map, T* HWY_RESTRICT p, size_t i,
                        VF frames) {
  const DF df;
  const DN<T> dn;
  const size_t N = hn::Lanes(df);
  switch (plan.mode) {
    case RampMode::kUnscaled:
      return Load(p);
    case RampMode::kFactorInRange: {
      const VI a = ScaleInRange(Load(p), hn::Set(df, plan.volume.from));
      hn::StoreU(Narrow<T>(a), dn, p);
      return a;
    }
    case RampMode::kFactor: {
      const VN<T> a = ScaleLanes<T>(Load(p), hn::Set(df, plan.volume.from));
      hn::StoreU(a, dn, p);
      return Widen<T>(a);
    }
    case RampMode::kScalar:
      RampScalarOutOfLine(plan.volume, map, p, i, N);
      return Load(p);
    default:
      break;
  }
  const VI s = Load(p);
  const RunPlace place = PlaceOf(plan, i, N);
  if (place == RunPlace::kInside) return s;
  const VF v = RampVolumes(df, plan.volume, frames);
  VI scaled = plan.mode == RampMode::kRampInRange ? ScaleInRange(s, v)
                                                    : Widen<T>(ScaleLanes<T>(s, v));
  if (place == RunPlace::kAcross) {
    scaled = hn::IfThenElse(hn::RebindMask(DI(), UnityLanes(df, v)), s, scaled);
  }
  hn::StoreU(Narrow<T>(scaled), dn, p);
  return scaled;
}

// RampLanes for the mixed groups of RampPositions.
template <typename T>
struct GenericRampLanes {
  HWY_INLINE void operator()(const TrackPlan& plan, const FrameMap& map, T* HWY_RESTRICT p,
                             size_t i, VF frames) const {
    RampLanes(plan, map, p, i, frames);
  }
};

template <typename T>
HWY_INLINE void ScaleRampT(T* HWY_RESTRICT samples, size_t frames, size_t channels,
                           const Ramp& ramp) {
  const FrameMap map(channels);
  TrackPlan plan;
  PlanIntTrack<T>(ramp, frames, channels, plan);
  ScaleRampBlock(samples, frames, plan, map, [&](T* p, size_t i, VF lanes) HWY_ATTR {
    RampLanes(plan, map, p, i, lanes);
  });
}

void ScaleRampU8(uint8_t* s, size_t f, size_t c, const Ramp& r) { ScaleRampT(s, f, c, r); }
void ScaleRampI16(int16_t* s, size_t f, size_t c, const Ramp& r) { ScaleRampT(s, f, c, r); }
void ScaleRampI32(int32_t* s, size_t f, size_t c, const Ramp& r) { ScaleRampT(s, f, c, r); }

// One ramped vector of samples outside its track's unity run: scaled at
// `volume` (in range or saturating) and stored back; returns the int32 lanes.
template <bool kInRange, typename T>
HWY_INLINE VI RampVector(T* HWY_RESTRICT p, VF volume) {
  if constexpr (kInRange) {
    const VI a = ScaleInRange(Load(p), volume);
    hn::StoreU(Narrow<T>(a), DN<T>(), p);
    return a;
  } else {
    const VN<T> a = ScaleLanes<T>(Load(p), volume);
    hn::StoreU(a, DN<T>(), p);
    return Widen<T>(a);
  }
}

// AccumulateT and AccumulateI32 with a plan per track: each track is a
// load, or a volume per lane and RampVector, the same step for the whole
// group of tracks (RampPositions scales the tracks of mixed groups).
template <bool kInRange, typename T, class DS, typename S, class Emit>
HWY_INLINE int64_t AccumulateRampT(DS ds, T* const* tracks, const Ramp* ramps,
                                   const TrackPlan* plan, size_t count, size_t frames,
                                   size_t channels, S* HWY_RESTRICT sums, bool init, bool last,
                                   T* out, float gain, const Emit& emit) {
  const DF df;
  const size_t N = hn::Lanes(df);
  const FrameMap map(channels);
  float frames_of[HWY_MAX_BYTES];
  const RampPositions<DF, T, GenericRampLanes<T>> at(df, tracks, plan, count, map, frames_of);
  // The int32 lanes of track t at p (sample index i).
  const auto lanes = [&](size_t t, T* HWY_RESTRICT p, size_t i) HWY_ATTR AMIX_INLINE_LAMBDA {
    if (at.unscaled(t)) return Load(p);
    return RampVector<kInRange>(p, RampVolumes(df, plan[t].volume, at.Frames(i)));
  };
  const auto add_track = [&](size_t t, T* HWY_RESTRICT p, size_t i, hn::Vec<DS>& acc0,
                             hn::Vec<DS>& acc1) HWY_ATTR AMIX_INLINE_LAMBDA {
    if constexpr (sizeof(T) == 4) {
      AddWidened(ds, lanes(t, p, i), acc0, acc1);
    } else {
      acc0 = hn::Add(acc0, lanes(t, p, i));
      acc1 = hn::Add(acc1, lanes(t, p + N, i + N));
    }
  };
  return Accumulate(ds, tracks, RampStep(ramps, map), count, frames * channels, sums, init, last,
                    out, gain, at, add_track, emit);
}

// Plans the group's tracks and runs AccumulateRampT with the in-range step
// when every track allows it.
template <typename T, class DS, typename S, class Emit>
HWY_INLINE int64_t AccumulateRampPlanned(DS ds, T* const* tracks, const Ramp* ramps, size_t count,
                                         size_t frames, size_t channels, S* HWY_RESTRICT sums,
                                         bool init, bool last, T* out, float gain,
                                         const Emit& emit) {
  TrackPlan plan[kMaxGroup];
  for (size_t t = 0; t < count; ++t) PlanIntTrack<T>(ramps[t], frames, channels, plan[t]);
  if (AllInRange(plan, count)) {
    return AccumulateRampT<true>(ds, tracks, ramps, plan, count, frames, channels, sums, init,
                                 last, out, gain, emit);
  }
  return AccumulateRampT<false>(ds, tracks, ramps, plan, count, frames, channels, sums, init,
                                last, out, gain, emit);
}

int64_t AccumulateRampU8(uint8_t* const* t, const Ramp* r, size_t c, size_t f, size_t ch,
                         int32_t* sums, bool init, bool last, uint8_t* out, float gain) {
  return AccumulateRampPlanned(DI(), t, r, c, f, ch, sums, init, last, out, gain,
                               NarrowOutput(out, gain));
}
int64_t AccumulateRampI16(int16_t* const* t, const Ramp* r, size_t c, size_t f, size_t ch,
                          int32_t* sums, bool init, bool last, int16_t* out, float gain) {
  return AccumulateRampPlanned(DI(), t, r, c, f, ch, sums, init, last, out, gain,
                               NarrowOutput(out, gain));
}
int64_t AccumulateRampI32(int32_t* const* t, const Ramp* r, size_t c, size_t f, size_t ch,
                          int64_t* sums, bool init, bool last, int32_t* out, float gain) {
#if HWY_TARGET == HWY_SCALAR
  int64_t peak = 0;
  AccumulateTail(0, t, RampStep(r, FrameMap(ch)), c, f * ch, sums, init, last, peak, out, gain);
  return peak;
#else
  return AccumulateRampPlanned(DI64(), t, r, c, f, ch, sums, init, last, out, gain,
                               WideOutput(sums, out, gain));
#endif
}

void OutputU8(const int32_t* s, size_t n, float g, uint8_t* o) {
  OutputPairs(DI(), s, n, g, o, NarrowOutput(o, g));
}
void OutputI16(const int32_t* s, size_t n, float g, int16_t* o) {
  OutputPairs(DI(), s, n, g, o, NarrowOutput(o, g));
}
void OutputI32(const int64_t* s, size_t n, float g, int32_t* o) {
  OutputPairs(DI64(), s, n, g, o, WideOutput(s, o, g));
}

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
HWY_EXPORT(AccumulateI32);
HWY_EXPORT(OutputU8);
HWY_EXPORT(OutputI16);
HWY_EXPORT(OutputI32);
HWY_EXPORT(ScaleRampU8);
HWY_EXPORT(ScaleRampI16);
HWY_EXPORT(ScaleRampI32);
HWY_EXPORT(AccumulateRampU8);
HWY_EXPORT(AccumulateRampI16);
HWY_EXPORT(AccumulateRampI32);

void scale(uint8_t* s, size_t n, float v) { HWY_DYNAMIC_DISPATCH(ScaleU8)(s, n, v); }
void scale(int16_t* s, size_t n, float v) { HWY_DYNAMIC_DISPATCH(ScaleI16)(s, n, v); }
void scale(int32_t* s, size_t n, float v) { HWY_DYNAMIC_DISPATCH(ScaleI32)(s, n, v); }

int64_t accumulate(uint8_t* const* t, const float* f, size_t c, size_t n, int32_t* sums,
                   bool init, bool last, uint8_t* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateU8)(t, f, c, n, sums, init, last, out, gain);
}
int64_t accumulate(int16_t* const* t, const float* f, size_t c, size_t n, int32_t* sums,
                   bool init, bool last, int16_t* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateI16)(t, f, c, n, sums, init, last, out, gain);
}

int64_t accumulate(int32_t* const* t, const float* f, size_t c, size_t n, int64_t* sums,
                   bool init, bool last, int32_t* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateI32)(t, f, c, n, sums, init, last, out, gain);
}

void output(const int32_t* s, size_t n, float g, uint8_t* o) {
  HWY_DYNAMIC_DISPATCH(OutputU8)(s, n, g, o);
}
void output(const int32_t* s, size_t n, float g, int16_t* o) {
  HWY_DYNAMIC_DISPATCH(OutputI16)(s, n, g, o);
}
void output(const int64_t* s, size_t n, float g, int32_t* o) {
  HWY_DYNAMIC_DISPATCH(OutputI32)(s, n, g, o);
}

void scale_ramp(uint8_t* s, size_t f, size_t c, const Ramp& r) {
  HWY_DYNAMIC_DISPATCH(ScaleRampU8)(s, f, c, r);
}
void scale_ramp(int16_t* s, size_t f, size_t c, const Ramp& r) {
  HWY_DYNAMIC_DISPATCH(ScaleRampI16)(s, f, c, r);
}
void scale_ramp(int32_t* s, size_t f, size_t c, const Ramp& r) {
  HWY_DYNAMIC_DISPATCH(ScaleRampI32)(s, f, c, r);
}

int64_t accumulate_ramp(uint8_t* const* t, const Ramp* r, size_t c, size_t f, size_t ch,
                        int32_t* sums, bool init, bool last, uint8_t* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateRampU8)(t, r, c, f, ch, sums, init, last, out, gain);
}
int64_t accumulate_ramp(int16_t* const* t, const Ramp* r, size_t c, size_t f, size_t ch,
                        int32_t* sums, bool init, bool last, int16_t* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateRampI16)(t, r, c, f, ch, sums, init, last, out, gain);
}
int64_t accumulate_ramp(int32_t* const* t, const Ramp* r, size_t c, size_t f, size_t ch,
                        int64_t* sums, bool init, bool last, int32_t* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateRampI32)(t, r, c, f, ch, sums, init, last, out, gain);
}

}  // namespace kernels
}  // namespace amix
#endif  // HWY_ONCE
