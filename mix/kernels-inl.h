// Per-instruction-set pieces shared by the integer kernels (kernels_hwy.cc)
// and the float kernels (kernels_float_hwy.cc).  Included after
// hwy/highway.h by each of them, once per target that foreach_target.h
// compiles, hence the toggle instead of a plain include guard.

#if defined(AMIX_MIX_KERNELS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef AMIX_MIX_KERNELS_INL_H_
#undef AMIX_MIX_KERNELS_INL_H_
#else
#define AMIX_MIX_KERNELS_INL_H_
#endif

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "hwy/highway.h"
#include "mix/kernels.h"
#include "mix/sample_step.h"

HWY_BEFORE_NAMESPACE();
namespace amix {
namespace kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The running peak of the sums, in vector lanes: `hi` and `lo` hold the
// largest and smallest integer sums, or `hi` the largest magnitude of the
// finite double sums.  (Two vectors rather than a struct: SVE vectors cannot
// be members.)
template <class DS, class V = hn::Vec<DS>>
HWY_INLINE void AddToPeak(DS, V v, V& hi, V& lo) {
  if constexpr (hwy::IsFloat<hn::TFromD<DS>>()) {
    (void)lo;
    hi = hn::Max(hi, hn::IfThenElseZero(hn::IsFinite(v), hn::Abs(v)));
  } else {
    hi = hn::Max(hi, v);
    lo = hn::Min(lo, v);
  }
}

// The peak of those lanes, as a 64-bit integer or a double.
template <class DS, class V = hn::Vec<DS>>
HWY_INLINE auto PeakOf(DS ds, V hi, V lo) {
  if constexpr (hwy::IsFloat<hn::TFromD<DS>>()) {
    (void)lo;
    return static_cast<double>(hn::GetLane(hn::MaxOfLanes(ds, hi)));
  } else {
    const int64_t top = hn::GetLane(hn::MaxOfLanes(ds, hi));
    const int64_t bottom = hn::GetLane(hn::MinOfLanes(ds, lo));
    return top > -bottom ? top : -bottom;
  }
}

// A finished pair of sum vectors at index i: stored; with `last`, added to
// the peak lanes and, when `out` is wanted, turned into output samples by
// emit(i, acc0, acc1).
template <class DS, typename S, class Emit, class V = hn::Vec<DS>>
HWY_INLINE void FinishPair(DS ds, size_t i, V acc0, V acc1, S* HWY_RESTRICT sums, bool last,
                           bool write_out, const Emit& emit, V& hi, V& lo) {
  hn::StoreU(acc0, ds, sums + i);
  hn::StoreU(acc1, ds, sums + i + hn::Lanes(ds));
  if (!last) return;
  AddToPeak(ds, acc0, hi, lo);
  AddToPeak(ds, acc1, hi, lo);
  if (write_out) emit(i, acc0, acc1);
}

// The body of every accumulate kernel: for each pair of sum vectors of `ds`
// (2N sums), starting from 0 (init) or from what they hold, calls
// add_track(t, tracks[t] + i, i, acc0, acc1) for t in list order, which
// loads (and scales and stores back) the track's 2N samples from index i
// and adds them widened into the pair; then FinishPair.  Before the tracks
// of each group of sums, begin(i, width) learns the first sample index and
// the number of samples.  Returns the first index left for AccumulateTail.
template <class DS, typename T, typename S, class Begin, class AddTrack, class Emit>
HWY_INLINE size_t AccumulateVectors(DS ds, T* const* tracks, size_t count, size_t n,
                                    S* HWY_RESTRICT sums, bool init, bool last, bool write_out,
                                    const Begin& begin, const AddTrack& add_track,
                                    const Emit& emit, hn::Vec<DS>& hi, hn::Vec<DS>& lo) {
  const size_t N = hn::Lanes(ds);
  size_t i = 0;
  // Four sum vectors at a time: each is a chain of one addition per track,
  // and independent chains overlap.  Tracks two at a time: less loop.
  for (; i + 4 * N <= n; i += 4 * N) {
    auto acc0 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i);
    auto acc1 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + N);
    auto acc2 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + 2 * N);
    auto acc3 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + 3 * N);
    begin(i, 4 * N);
    for (size_t t = 0; t < count; ++t) {
      add_track(t, tracks[t] + i, i, acc0, acc1);
      add_track(t, tracks[t] + i + 2 * N, i + 2 * N, acc2, acc3);
      if (++t == count) break;
      add_track(t, tracks[t] + i, i, acc0, acc1);
      add_track(t, tracks[t] + i + 2 * N, i + 2 * N, acc2, acc3);
    }
    FinishPair(ds, i, acc0, acc1, sums, last, write_out, emit, hi, lo);
    FinishPair(ds, i + 2 * N, acc2, acc3, sums, last, write_out, emit, hi, lo);
  }
  for (; i + 2 * N <= n; i += 2 * N) {
    auto acc0 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i);
    auto acc1 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + N);
    begin(i, 2 * N);
    for (size_t t = 0; t < count; ++t) add_track(t, tracks[t] + i, i, acc0, acc1);
    FinishPair(ds, i, acc0, acc1, sums, last, write_out, emit, hi, lo);
  }
  return i;
}

#if HWY_TARGET != HWY_SCALAR
// Adds a full vector of 32-bit lanes, widened to the 64-bit lanes of `ds`:
// its lower half to acc0, its upper half to acc1.  (The scalar target has
// no halves; its kernels run AccumulateTail alone.)
template <class DS, class V>
HWY_INLINE void AddWidened(DS ds, V v, hn::Vec<DS>& acc0, hn::Vec<DS>& acc1) {
  const hn::Rebind<hn::TFromV<V>, DS> dh;
  acc0 = hn::Add(acc0, hn::PromoteTo(ds, hn::LowerHalf(dh, v)));
  acc1 = hn::Add(acc1, hn::PromoteTo(ds, hn::UpperHalf(dh, v)));
}
#endif

// The per-sample step of the plain kernels' tails: each track at its factor
// (1.0f: unscaled).
struct FactorStep {
  const float* factors;
  template <typename T>
  T operator()(size_t t, size_t, T s) const {
    return factors[t] != 1.0f ? scale_sample(s, factors[t]) : s;
  }
};

// The scalar rest of an accumulate kernel, from index i on, each track's
// sample i replaced by step(t, i, sample); with `last`, raises `peak` to the
// largest magnitude among these sums and, with `out`, writes their output
// samples at `gain`.
template <typename T, typename S, typename P, class Step>
HWY_INLINE void AccumulateTail(size_t i, T* const* tracks, const Step& step, size_t count,
                               size_t n, S* HWY_RESTRICT sums, bool init, bool last, P& peak,
                               T* out, float gain) {
  for (; i < n; ++i) {
    S acc = init ? S(0) : sums[i];
    for (size_t t = 0; t < count; ++t) {
      T& s = tracks[t][i];
      s = step(t, i, s);
      acc = add_to_sum(acc, static_cast<S>(s));
    }
    sums[i] = acc;
    if (!last) continue;
    if (sum_magnitude(static_cast<P>(acc)) > peak) peak = sum_magnitude(static_cast<P>(acc));
    if (out != nullptr) out[i] = output_sample<T>(acc, gain);
  }
}

// A whole accumulate kernel (kernels.h): the vector body with `begin`,
// `add_track` and `emit`, then the tail with `step`; returns the peak of the
// final sums when `last`, else 0.
template <class DS, typename T, typename S, class Step, class Begin, class AddTrack, class Emit>
HWY_INLINE auto Accumulate(DS ds, T* const* tracks, const Step& step, size_t count, size_t n,
                           S* HWY_RESTRICT sums, bool init, bool last, T* out, float gain,
                           const Begin& begin, const AddTrack& add_track, const Emit& emit) {
  auto hi = hn::Zero(ds);
  auto lo = hn::Zero(ds);
  const size_t i = AccumulateVectors(ds, tracks, count, n, sums, init, last, out != nullptr,
                                     begin, add_track, emit, hi, lo);
  auto peak = PeakOf(ds, hi, lo);
  AccumulateTail(i, tracks, step, count, n, sums, init, last, peak, out, gain);
  return peak;
}

// The begin() of the plain kernels: nothing to prepare.
struct NoBegin {
  void operator()(size_t, size_t) const {}
};

// ---- Ramps: a volume per frame ----------------------------------------

// 32-bit Arm NEON always flushes subnormal floats to zero, in its inputs
// and its results.
constexpr bool kFlushesSubnormals = HWY_ARCH_ARM_V7 && HWY_TARGET == HWY_NEON;

// Sample index -> frame index for frames of `channels` samples, with no
// division per sample.
class FrameMap {
 public:
  explicit FrameMap(size_t channels)
      : channels_(channels),
        inverse_(1.0 / static_cast<double>(channels)),
        inverse_f_(1.0f / static_cast<float>(channels)) {}

  size_t channels() const { return channels_; }
  float inverse() const { return inverse_f_; }

  // The frame holding sample i (< 2^31), and i's place in it.  The
  // product's error stays far below the 1/32 between a quotient and the
  // next integer, so the truncation is right but for an exact multiple,
  // which may come out one low.
  void Split(size_t i, size_t& frame, size_t& within) const {
    frame = static_cast<size_t>(static_cast<double>(i) * inverse_);
    within = i - frame * channels_;
    if (within >= channels_) {
      ++frame;
      within -= channels_;
    }
  }

 private:
  size_t channels_;
  double inverse_;
  float inverse_f_;
};

// The frame index of each of the lanes of samples that start `within`
// samples into frame `frame`, converted like static_cast<float>(int32_t).
// `halves` is Iota(df, 0.5f).  A lane's place in its frame is
// (within + lane + 0.5) x (1 / channels) truncated: exact, since within +
// lane < 2^10 keeps the error far below the 1 / 64 that separates a half
// from a whole quotient.
template <class DF, class V = hn::Vec<DF>>
HWY_INLINE V FrameLanes(DF df, V halves, const FrameMap& map, size_t frame, size_t within) {
  const hn::RebindToSigned<DF> di;
  const V place = hn::Add(halves, hn::Set(df, static_cast<float>(within)));
  const auto offset = hn::ConvertTo(di, hn::Mul(place, hn::Set(df, map.inverse())));
  return hn::ConvertTo(df, hn::Add(offset, hn::Set(di, static_cast<int32_t>(frame))));
}

// from + frame x step in lanes, rounded like volume_ramp::at: a multiply,
// then an add.
template <class DF, class V = hn::Vec<DF>>
HWY_INLINE V RampVolumes(DF df, const volume_ramp& r, V frames) {
  return hn::Add(hn::Set(df, r.from), hn::Mul(frames, hn::Set(df, r.step)));
}

// The lanes whose volume is unity (is_unity).
template <class DF, class V = hn::Vec<DF>>
HWY_INLINE auto UnityLanes(DF df, V v) {
  return hn::And(hn::Ge(v, hn::Set(df, kUnityLow)), hn::Le(v, hn::Set(df, kUnityHigh)));
}

// Whether a ramp's volumes may be formed in vector lanes.  They stay finite
// when both ends lie within 2^126 (|j x step| is then at most about
// |to - from| < 2^128), which the integer kernels need.  Where subnormals
// flush, none may arise: with from and step each 0 or at least 2^-100 in
// magnitude, every volume is a multiple of 2^-123, so 0 or normal, and so
// is every product with an integer sample.  The rest take the scalar step.
HWY_INLINE bool VectorSafe(const volume_ramp& r) {
  const float big = 0x1p126f;
  if (!(std::fabs(r.from) <= big && std::fabs(r.to) <= big)) return false;
  if constexpr (kFlushesSubnormals) {
    const float tiny = 0x1p-100f;
    return (r.from == 0.0f || std::fabs(r.from) >= tiny) &&
           (r.step == 0.0f || std::fabs(r.step) >= tiny);
  }
  return true;
}

// Whether pred(v) holds for every frame that a ramp scales: the frames
// before and after its unity run.  pred must hold on an interval of
// volumes: the volumes being monotonic, the ends of each part suffice.
template <class Pred>
HWY_INLINE bool AllScaledFrames(const Ramp& r, size_t frames, size_t channels, const Pred& pred) {
  const auto at = [&](size_t j) {
    return pred(j == 0 ? r.volume.at(0) : j + 1 == frames ? r.last
                                                           : r.volume.at(static_cast<int32_t>(j)));
  };
  const size_t run_begin = r.unity_begin / channels, run_end = r.unity_end / channels;
  if (run_begin > 0 && !(at(0) && at(run_begin - 1))) return false;
  if (run_end < frames && !(at(run_end) && at(frames - 1))) return false;
  return true;
}

// How a kernel call scales one track of a ramped block.
enum class RampMode : uint8_t {
  kUnscaled,       // every frame unity
  kFactor,         // flat: one factor (as the plain kernels)
  kFactorInRange,  // flat, products always in range (the integer kernels' InRange)
  kRamp,           // a volume per frame
  kRampInRange,    // the same, products always in range
  kScalar,         // the scalar step, sample by sample (!VectorSafe)
};

// A track's plan.  A flat volume's step is a zero of its own sign, so that
// from + j x step is `from` in every lane (-0.0 included) and the vector
// code needs no separate factor path.
struct TrackPlan {
  volume_ramp volume;
  size_t unity_begin, unity_end;
  RampMode mode;
};

// Plans a track into `plan`, field by field (a whole struct built aside and
// copied stalls on its partly written bytes); in_range(v): v's products
// always lie in range (the integer kernels' InRange; never for floats).
template <class InRange>
HWY_INLINE void PlanTrack(const Ramp& r, size_t frames, size_t channels, const InRange& in_range,
                          TrackPlan& plan) {
  plan.volume = r.volume;
  plan.unity_begin = r.unity_begin;
  plan.unity_end = r.unity_end;
  if (r.unity_begin == 0 && r.unity_end == frames * channels) {
    plan.mode = RampMode::kUnscaled;
  } else if (r.volume.flat()) {
    plan.volume.step = std::copysign(0.0f, r.volume.from);
    plan.mode = in_range(r.volume.from) ? RampMode::kFactorInRange : RampMode::kFactor;
  } else if (!VectorSafe(r.volume)) {
    plan.mode = RampMode::kScalar;
  } else if (AllScaledFrames(r, frames, channels, in_range)) {
    plan.mode = RampMode::kRampInRange;
  } else {
    plan.mode = RampMode::kRamp;
  }
}

// Whether every track of a group may take the in-range vector step.
HWY_INLINE bool AllInRange(const TrackPlan* plans, size_t count) {
  for (size_t t = 0; t < count; ++t) {
    const RampMode m = plans[t].mode;
    if (m == RampMode::kFactor || m == RampMode::kRamp) return false;
  }
  return true;
}

// Where the `width` samples from index i lie against a track's unity run.
enum class RunPlace : uint8_t { kOutside, kInside, kAcross };
HWY_INLINE RunPlace PlaceOf(const TrackPlan& p, size_t i, size_t width) {
  if (i >= p.unity_end || i + width <= p.unity_begin) return RunPlace::kOutside;
  if (i >= p.unity_begin && i + width <= p.unity_end) return RunPlace::kInside;
  return RunPlace::kAcross;
}

// The scalar step of a ramped track for sample i: the volume of i's frame,
// unity leaving the sample as it is.
template <typename T>
HWY_INLINE T RampSample(const volume_ramp& r, size_t frame, T s) {
  const float v = r.at(static_cast<int32_t>(frame));
  return is_unity(v) ? s : scale_sample(s, v);
}

// Applies the scalar step to `width` samples from index i of a track.
template <typename T>
HWY_INLINE void RampScalar(const volume_ramp& r, const FrameMap& map, T* HWY_RESTRICT p, size_t i,
                           size_t width) {
  for (size_t k = 0; k < width; ++k) p[k] = RampSample(r, (i + k) / map.channels(), p[k]);
}
// The same, kept out of the vector loops that fall back to it rarely.
template <typename T>
HWY_NOINLINE void RampScalarOutOfLine(const volume_ramp& r, const FrameMap& map, T* p, size_t i,
                                      size_t width) {
  RampScalar(r, map, p, i, width);
}

// The per-track lambdas of the ramped kernels carry more code than the
// compiler inlines of its own accord; as calls, they would spill every
// accumulator around each track.
#if defined(__GNUC__)
#define AMIX_INLINE_LAMBDA __attribute__((always_inline))
#else
#define AMIX_INLINE_LAMBDA
#endif

// The per-sample step of the ramped kernels' tails, with one division per
// sample index however many tracks.
class RampStep {
 public:
  RampStep(const Ramp* ramps, const FrameMap& map) : ramps_(ramps), map_(map) {}
  template <typename T>
  T operator()(size_t t, size_t i, T s) const {
    if (i != index_) {
      index_ = i;
      frame_ = i / map_.channels();
    }
    return RampSample(ramps_[t].volume, frame_, s);
  }

 private:
  const Ramp* ramps_;
  const FrameMap& map_;
  mutable size_t index_ = ~size_t{0}, frame_ = 0;
};

// The begin() of the ramped accumulate kernels.  For each group of sums it
// stores the frame index of each sample as a float in `frames_of`
// (HWY_MAX_BYTES floats: four vectors of 32-bit lanes), from which
// Frames(i) loads a vector, and notes which tracks leave all of the group's
// samples unscaled.  A group where some track turns between scaled and
// unscaled, or takes the scalar step, is "mixed": there begin() itself
// scales every track with generic(plan, map, p, i, frames), which follows
// the plan vector by vector, and notes all of them unscaled.  So a track is
// either unscaled or scaled along its ramp in every lane of a group, and
// the loop over the tracks needs no other test.  The notes hold until the
// next end of a unity run, so they are redone only there.
template <class DF, typename T, class Generic>
class RampPositions {
 public:
  RampPositions(DF df, T* const* tracks, const TrackPlan* plans, size_t count,
                const FrameMap& map, float* frames_of)
      : tracks_(tracks), plans_(plans), count_(count), map_(map), frames_of_(frames_of) {
    hn::StoreU(hn::Iota(df, 0.5f), df, halves_);
  }

  HWY_INLINE void operator()(size_t i, size_t width) const {
    const DF df;
    const size_t N = hn::Lanes(df);
    size_t frame, within;
    if (width == width_ && i == base_ + width) {  // the next group of the same width
      frame = frame_ + whole_frames_;
      within = within_ + rest_;
      if (within >= map_.channels()) {
        within -= map_.channels();
        ++frame;
      }
    } else {
      map_.Split(i, frame, within);
      whole_frames_ = width / map_.channels();
      rest_ = width % map_.channels();
    }
    base_ = i;
    if (within == within_ && width == width_ && frame + width < kExactInFloat) {
      // The same places in the frames as the last group (whole frames
      // apart, as mono and stereo always are): the same indices plus the
      // frames in between, exactly while they stay below 2^24.
      const auto apart = hn::Set(df, static_cast<float>(frame - frame_));
      for (size_t k = 0; k < width; k += N) {
        hn::StoreU(hn::Add(hn::LoadU(df, frames_of_ + k), apart), df, frames_of_ + k);
      }
    } else {
      const auto halves = hn::LoadU(df, halves_);
      for (size_t k = 0; k < width; k += N) {
        hn::StoreU(FrameLanes(df, halves, map_, frame, within + k), df, frames_of_ + k);
      }
    }
    frame_ = frame;
    within_ = within;
    width_ = width;
    if (i + width > settled_until_) Note(i, width);
    if (HWY_UNLIKELY(mixed_)) ScaleMixed(i, width);
  }
  hn::Vec<DF> Frames(size_t i) const { return hn::LoadU(DF(), FramesAt(i)); }
  const float* FramesAt(size_t i) const { return frames_of_ + (i - base_); }
  bool unscaled(size_t t) const { return unscaled_[t]; }

 private:
  // The notes for samples [i, i + width), and how far later groups may
  // keep them: up to the first end of a unity run after i, unless this
  // group is mixed.
  void Note(size_t i, size_t width) const {
    mixed_ = false;
    size_t next_end = ~size_t{0};
    for (size_t t = 0; t < count_; ++t) {
      const TrackPlan& p = plans_[t];
      const RunPlace place = PlaceOf(p, i, width);
      mixed_ = mixed_ || p.mode == RampMode::kScalar || place == RunPlace::kAcross;
      unscaled_[t] = p.mode == RampMode::kUnscaled || place == RunPlace::kInside;
      if (p.unity_begin > i && p.unity_begin < next_end) next_end = p.unity_begin;
      if (p.unity_end > i && p.unity_end < next_end) next_end = p.unity_end;
    }
    settled_until_ = mixed_ ? 0 : next_end;
    if (mixed_) {
      for (size_t t = 0; t < count_; ++t) unscaled_[t] = true;
    }
  }

  HWY_NOINLINE void ScaleMixed(size_t i, size_t width) const {
    const size_t N = hn::Lanes(DF());
    for (size_t t = 0; t < count_; ++t) {
      for (size_t k = 0; k < width; k += N) {
        Generic()(plans_[t], map_, tracks_[t] + i + k, i + k, Frames(i + k));
      }
    }
  }

  T* const* tracks_;
  const TrackPlan* plans_;
  size_t count_;
  const FrameMap& map_;
  float* frames_of_;
  float halves_[HWY_MAX_BYTES / sizeof(float)];
  static constexpr size_t kExactInFloat = size_t{1} << 24;
  mutable size_t base_ = 0, frame_ = 0, within_ = 0, width_ = 0;
  mutable size_t whole_frames_ = 0, rest_ = 0;  // a group's width in frames
  mutable size_t settled_until_ = 0;
  mutable bool mixed_ = false;
  mutable bool unscaled_[kMaxGroup] = {};
};

// A whole ramped scale kernel: scale(p, i, frame lanes) over each full
// vector of samples (32-bit lanes), then the scalar step for the rest.
template <typename T, class Scale>
HWY_INLINE void ScaleRampBlock(T* HWY_RESTRICT samples, size_t frames, const TrackPlan& plan,
                               const FrameMap& map, const Scale& scale) {
  if (plan.mode == RampMode::kUnscaled) return;
  const hn::ScalableTag<float> df;
  const size_t N = hn::Lanes(df);
  const size_t n = frames * map.channels();
  const auto halves = hn::Iota(df, 0.5f);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    size_t frame, within;
    map.Split(i, frame, within);
    scale(samples + i, i, FrameLanes(df, halves, map, frame, within));
  }
  RampScalar(plan.volume, map, samples + i, i, n - i);
}

// A whole output kernel: emit(i, sums at i, sums at i + N) for each pair of
// sum vectors, then the scalar rule for the rest.
template <class DS, typename S, typename T, class Emit>
HWY_INLINE void OutputPairs(DS ds, const S* HWY_RESTRICT sums, size_t n, float gain, T* out,
                            const Emit& emit) {
  const size_t N = hn::Lanes(ds);
  size_t i = 0;
  for (; i + 2 * N <= n; i += 2 * N) emit(i, hn::LoadU(ds, sums + i), hn::LoadU(ds, sums + i + N));
  for (; i < n; ++i) out[i] = output_sample<T>(sums[i], gain);
}

}  // namespace HWY_NAMESPACE
}  // namespace kernels
}  // namespace amix
HWY_AFTER_NAMESPACE();

#endif  // AMIX_MIX_KERNELS_INL_H_ toggle
