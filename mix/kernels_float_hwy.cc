// Vector kernels of the float mix.  Highway compiles this file once per
// instruction set (foreach_target.h) and dispatches at run time.
//
// Bit-exactness with the scalar rules of sample_step.h:
// - the product is one IEEE single multiply in both;
// - float -> double is exact and every sum is one IEEE double addition per
//   track, in list order, from 0 (0 + -0 is +0 in both);
// - double -> float rounds once to nearest in both, below the magnitude
//   where some instruction sets saturate instead of giving infinity (the
//   caller keeps larger sums away, kernels.h);
// - NaN is replaced before Min and Max see it, whose NaN rules differ
//   between instruction sets.
// 32-bit Arm NEON lacks two things these rules need:
// - it has no double lanes: sums, peak and output take the scalar twin
//   there (the scaling stays vector);
// - it always flushes subnormal floats to zero: a vector holding a
//   subnormal sample, or a product that became one, is redone by the
//   scalar step, and a subnormal factor scales in scalar.
// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "mix/kernels_float_hwy.cc"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
// clang-format on
#include <cmath>
#include <limits>

#include "hwy/highway.h"
#include "mix/kernels-inl.h"
#include "mix/kernels.h"
#include "mix/sample_step.h"

HWY_BEFORE_NAMESPACE();
namespace amix {
namespace kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;

// Clamp to [-1, 1], NaN -> 0 (clamp_unit).  Whatever Min and Max make of a
// NaN lane, the mask replaces it.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V ClampUnit(D d, V p) {
  const V clamped = hn::Min(hn::Max(p, hn::Set(d, -1.0f)), hn::Set(d, 1.0f));
  return hn::IfThenZeroElse(hn::IsNaN(p), clamped);
}

// Whether a lane of `s` is a nonzero subnormal, or a nonzero sample whose
// product with a nonzero factor is zero or subnormal: the lanes that a
// flushing instruction set gets wrong.  Always false elsewhere.
template <class D, class V = hn::Vec<D>>
HWY_INLINE bool Flushed(D d, V s, V p, bool nonzero_factor) {
  if constexpr (!kFlushesSubnormals) {
    (void)d, (void)s, (void)p, (void)nonzero_factor;
    return false;
  } else {
    const hn::RebindToUnsigned<D> du;
    const auto magnitude = hn::Set(du, 0x7fffffffu);
    const auto smallest_normal = hn::Set(du, 0x00800000u);
    const auto s_bits = hn::And(hn::BitCast(du, s), magnitude);
    const auto p_bits = hn::And(hn::BitCast(du, p), magnitude);
    const auto nonzero = hn::Ne(s_bits, hn::Zero(du));
    auto bad = hn::And(nonzero, hn::Lt(s_bits, smallest_normal));
    if (nonzero_factor) bad = hn::Or(bad, hn::And(nonzero, hn::Lt(p_bits, smallest_normal)));
    return !hn::AllFalse(du, bad);
  }
}

// Whether the factor itself is one that a flushing instruction set reads as 0.
HWY_INLINE bool FactorFlushed(float volume) {
  return kFlushesSubnormals && volume != 0.0f &&
         std::fabs(volume) < std::numeric_limits<float>::min();
}

// Scales the lanes at p in place (the float step of sample_step.h) and
// returns them.
template <class D>
HWY_INLINE hn::Vec<D> ScaleStore(D d, float* HWY_RESTRICT p, float volume) {
  const size_t N = hn::Lanes(d);
  const auto s = hn::LoadU(d, p);
  const auto product = hn::Mul(s, hn::Set(d, volume));
  if (Flushed(d, s, product, volume != 0.0f)) {
    for (size_t k = 0; k < N; ++k) p[k] = scale_sample(p[k], volume);
    return hn::LoadU(d, p);
  }
  const auto scaled = ClampUnit(d, product);
  hn::StoreU(scaled, d, p);
  return scaled;
}

void ScaleF32(float* HWY_RESTRICT samples, size_t n, float volume) {
  const DF df;
  const size_t N = hn::Lanes(df);
  size_t i = 0;
  if (!FactorFlushed(volume)) {
    for (; i + N <= n; i += N) ScaleStore(df, samples + i, volume);
  }
  for (; i < n; ++i) samples[i] = scale_sample(samples[i], volume);
}

void CopyUnitF32(const float* HWY_RESTRICT src, size_t n, float* out) {
  const DF df;
  const size_t N = hn::Lanes(df);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const VF s = hn::LoadU(df, src + i);
    if (Flushed(df, s, s, false)) break;  // the rest in scalar: subnormals are rare
    hn::StoreU(ClampUnit(df, hn::IfThenElseZero(hn::IsFinite(s), s)), df, out + i);
  }
  for (; i < n; ++i) out[i] = unit_sample(src[i]);
}

#if HWY_HAVE_FLOAT64 && HWY_TARGET != HWY_SCALAR
using DD = hn::ScalableTag<double>;

// Output samples from a pair of double sum vectors at index i: one full
// float vector.
HWY_INLINE auto FloatOutput(float* HWY_RESTRICT out, float gain) {
  return [out, gain](size_t i, hn::Vec<DD> acc0, hn::Vec<DD> acc1) HWY_ATTR {
    const DF df;
    const hn::Rebind<float, DD> dh;
    const auto f0 = hn::DemoteTo(dh, hn::IfThenElseZero(hn::IsFinite(acc0), acc0));
    const auto f1 = hn::DemoteTo(dh, hn::IfThenElseZero(hn::IsFinite(acc1), acc1));
    const VF f = hn::Combine(df, f1, f0);
    hn::StoreU(ClampUnit(df, hn::Mul(f, hn::Set(df, gain))), df, out + i);
  };
}
#endif

double AccumulateF32(float* const* tracks, const float* factors, size_t count, size_t n,
                     double* HWY_RESTRICT sums, bool init, bool last, float* out, float gain) {
  double peak = 0.0;
#if HWY_HAVE_FLOAT64 && HWY_TARGET != HWY_SCALAR
  const DD dd;
  const DF df;  // a full float vector: two double vectors of sums
  bool scaled[kMaxGroup];
  for (size_t t = 0; t < count; ++t) scaled[t] = factors[t] != 1.0f;
  const auto add_track = [&](size_t t, float* HWY_RESTRICT p, size_t, hn::Vec<DD>& acc0,
                             hn::Vec<DD>& acc1) HWY_ATTR {
    AddWidened(dd, scaled[t] ? ScaleStore(df, p, factors[t]) : hn::LoadU(df, p), acc0, acc1);
  };
  peak = Accumulate(dd, tracks, FactorStep{factors}, count, n, sums, init, last, out, gain,
                    NoBegin(), add_track, FloatOutput(out, gain));
#elif HWY_TARGET == HWY_SCALAR
  AccumulateTail(0, tracks, FactorStep{factors}, count, n, sums, init, last, peak, out, gain);
#else
  // No double lanes: every scaled track first (tracks do not overlap when
  // any is scaled), with the vector step, then the sums in scalar.
  float unscaled[kMaxGroup];
  for (size_t t = 0; t < count; ++t) {
    if (factors[t] != 1.0f) ScaleF32(tracks[t], n, factors[t]);
    unscaled[t] = 1.0f;
  }
  AccumulateTail(0, tracks, FactorStep{unscaled}, count, n, sums, init, last, peak, out, gain);
#endif
  return peak;
}

// ---- Ramps ---------------------------------------------------------------

HWY_INLINE void PlanFloatTrack(const Ramp& r, size_t frames, size_t channels, TrackPlan& plan) {
  PlanTrack(r, frames, channels, [](float) { return false; }, plan);
}

// Scales the N floats of a track at p (sample index i, frame indices
// `frames`) by its plan, stores them back and returns them.
HWY_INLINE VF RampStore(const TrackPlan& plan, const FrameMap& map, float* HWY_RESTRICT p,
                        size_t i, VF frames) {
  const DF df;
  const size_t N = hn::Lanes(df);
  switch (plan.mode) {
    case RampMode::kUnscaled:
      return hn::LoadU(df, p);
    case RampMode::kFactor:
    case RampMode::kFactorInRange:
      if (FactorFlushed(plan.volume.from)) break;
      return ScaleStore(df, p, plan.volume.from);
    case RampMode::kScalar:
      break;
    default: {
      const VF s = hn::LoadU(df, p);
      const RunPlace place = PlaceOf(plan, i, N);
      if (place == RunPlace::kInside) return s;
      const VF v = RampVolumes(df, plan.volume, frames);
      const VF product = hn::Mul(s, v);
      if (Flushed(df, s, product, true)) break;  // v may be 0: then the scalar redo
      VF scaled = ClampUnit(df, product);
      if (place == RunPlace::kAcross) scaled = hn::IfThenElse(UnityLanes(df, v), s, scaled);
      hn::StoreU(scaled, df, p);
      return scaled;
    }
  }
  RampScalarOutOfLine(plan.volume, map, p, i, N);
  return hn::LoadU(df, p);
}

// RampStore for the mixed groups of RampPositions.
struct GenericRampStore {
  HWY_INLINE void operator()(const TrackPlan& plan, const FrameMap& map, float* HWY_RESTRICT p,
                             size_t i, VF frames) const {
    RampStore(plan, map, p, i, frames);
  }
};

void ScaleRampF32(float* HWY_RESTRICT samples, size_t frames, size_t channels, const Ramp& ramp) {
  const FrameMap map(channels);
  TrackPlan plan;
  PlanFloatTrack(ramp, frames, channels, plan);
  ScaleRampBlock(samples, frames, plan, map, [&](float* p, size_t i, VF lanes) HWY_ATTR {
    RampStore(plan, map, p, i, lanes);
  });
}

double AccumulateRampF32(float* const* tracks, const Ramp* ramps, size_t count, size_t frames,
                         size_t channels, double* HWY_RESTRICT sums, bool init, bool last,
                         float* out, float gain) {
  double peak = 0.0;
  const size_t n = frames * channels;
  const FrameMap map(channels);
#if HWY_HAVE_FLOAT64 && HWY_TARGET != HWY_SCALAR
  const DD dd;
  const DF df;  // a full float vector: two double vectors of sums
  TrackPlan plan[kMaxGroup];
  for (size_t t = 0; t < count; ++t) PlanFloatTrack(ramps[t], frames, channels, plan[t]);
  float frames_of[HWY_MAX_BYTES];
  const RampPositions<DF, float, GenericRampStore> at(df, tracks, plan, count, map, frames_of);
  // As the integer kernels: a load or one volume per lane.  (No instruction
  // set with double lanes flushes subnormals, so Flushed() has nothing to
  // redo here.)
  const auto lanes = [&](size_t t, float* HWY_RESTRICT p, size_t i) HWY_ATTR AMIX_INLINE_LAMBDA {
    const VF s = hn::LoadU(df, p);
    if (at.unscaled(t)) return s;
    const VF scaled = ClampUnit(df, hn::Mul(s, RampVolumes(df, plan[t].volume, at.Frames(i))));
    hn::StoreU(scaled, df, p);
    return scaled;
  };
  const auto add_track = [&](size_t t, float* HWY_RESTRICT p, size_t i, hn::Vec<DD>& acc0,
                             hn::Vec<DD>& acc1) HWY_ATTR AMIX_INLINE_LAMBDA {
    AddWidened(dd, lanes(t, p, i), acc0, acc1);
  };
  peak = Accumulate(dd, tracks, RampStep(ramps, map), count, n, sums, init, last, out, gain, at,
                    add_track, FloatOutput(out, gain));
#elif HWY_TARGET == HWY_SCALAR
  AccumulateTail(0, tracks, RampStep(ramps, map), count, n, sums, init, last, peak, out, gain);
#else
  // No double lanes: every track scaled first, then the sums in scalar.
  float unscaled[kMaxGroup];
  for (size_t t = 0; t < count; ++t) {
    ScaleRampF32(tracks[t], frames, channels, ramps[t]);
    unscaled[t] = 1.0f;
  }
  AccumulateTail(0, tracks, FactorStep{unscaled}, count, n, sums, init, last, peak, out, gain);
#endif
  return peak;
}

void OutputF32(const double* HWY_RESTRICT sums, size_t n, float gain, float* HWY_RESTRICT out) {
#if HWY_HAVE_FLOAT64 && HWY_TARGET != HWY_SCALAR
  OutputPairs(DD(), sums, n, gain, out, FloatOutput(out, gain));
#else
  for (size_t i = 0; i < n; ++i) out[i] = output_sample<float>(sums[i], gain);
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace kernels
}  // namespace amix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace amix {
namespace kernels {

HWY_EXPORT(ScaleF32);
HWY_EXPORT(CopyUnitF32);
HWY_EXPORT(AccumulateF32);
HWY_EXPORT(OutputF32);
HWY_EXPORT(ScaleRampF32);
HWY_EXPORT(AccumulateRampF32);

void scale(float* s, size_t n, float v) { HWY_DYNAMIC_DISPATCH(ScaleF32)(s, n, v); }
void copy_unit(const float* src, size_t n, float* out) {
  HWY_DYNAMIC_DISPATCH(CopyUnitF32)(src, n, out);
}

double accumulate(float* const* t, const float* f, size_t c, size_t n, double* sums, bool init,
                  bool last, float* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateF32)(t, f, c, n, sums, init, last, out, gain);
}

void output(const double* s, size_t n, float g, float* o) {
  HWY_DYNAMIC_DISPATCH(OutputF32)(s, n, g, o);
}

void scale_ramp(float* s, size_t f, size_t c, const Ramp& r) {
  HWY_DYNAMIC_DISPATCH(ScaleRampF32)(s, f, c, r);
}
double accumulate_ramp(float* const* t, const Ramp* r, size_t c, size_t f, size_t ch,
                       double* sums, bool init, bool last, float* out, float gain) {
  return HWY_DYNAMIC_DISPATCH(AccumulateRampF32)(t, r, c, f, ch, sums, init, last, out, gain);
}

}  // namespace kernels
}  // namespace amix
#endif  // HWY_ONCE
