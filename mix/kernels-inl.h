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

#include <cstddef>
#include <cstdint>

#include "hwy/highway.h"
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
// add_track(t, tracks[t] + i, acc0, acc1) for t in list order, which loads
// (and scales and stores back) the track's 2N samples and adds them widened
// into the pair; then FinishPair.  Returns the first index left for
// AccumulateTail.
template <class DS, typename T, typename S, class AddTrack, class Emit>
HWY_INLINE size_t AccumulateVectors(DS ds, T* const* tracks, size_t count, size_t n,
                                    S* HWY_RESTRICT sums, bool init, bool last, bool write_out,
                                    const AddTrack& add_track, const Emit& emit,
                                    hn::Vec<DS>& hi, hn::Vec<DS>& lo) {
  const size_t N = hn::Lanes(ds);
  size_t i = 0;
  // Four sum vectors at a time: each is a chain of one addition per track,
  // and independent chains overlap.  Tracks two at a time: less loop.
  for (; i + 4 * N <= n; i += 4 * N) {
    auto acc0 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i);
    auto acc1 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + N);
    auto acc2 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + 2 * N);
    auto acc3 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + 3 * N);
    for (size_t t = 0; t < count; ++t) {
      add_track(t, tracks[t] + i, acc0, acc1);
      add_track(t, tracks[t] + i + 2 * N, acc2, acc3);
      if (++t == count) break;
      add_track(t, tracks[t] + i, acc0, acc1);
      add_track(t, tracks[t] + i + 2 * N, acc2, acc3);
    }
    FinishPair(ds, i, acc0, acc1, sums, last, write_out, emit, hi, lo);
    FinishPair(ds, i + 2 * N, acc2, acc3, sums, last, write_out, emit, hi, lo);
  }
  for (; i + 2 * N <= n; i += 2 * N) {
    auto acc0 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i);
    auto acc1 = init ? hn::Zero(ds) : hn::LoadU(ds, sums + i + N);
    for (size_t t = 0; t < count; ++t) add_track(t, tracks[t] + i, acc0, acc1);
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

// The scalar rest of an accumulate kernel, from index i on; with `last`,
// raises `peak` to the largest magnitude among these sums and, with `out`,
// writes their output samples at `gain`.
template <typename T, typename S, typename P>
HWY_INLINE void AccumulateTail(size_t i, T* const* tracks, const float* factors, size_t count,
                               size_t n, S* HWY_RESTRICT sums, bool init, bool last, P& peak,
                               T* out, float gain) {
  for (; i < n; ++i) {
    S acc = init ? S(0) : sums[i];
    for (size_t t = 0; t < count; ++t) {
      T& s = tracks[t][i];
      if (factors[t] != 1.0f) s = scale_sample(s, factors[t]);
      acc = add_to_sum(acc, static_cast<S>(s));
    }
    sums[i] = acc;
    if (!last) continue;
    if (sum_magnitude(static_cast<P>(acc)) > peak) peak = sum_magnitude(static_cast<P>(acc));
    if (out != nullptr) out[i] = output_sample<T>(acc, gain);
  }
}

// A whole accumulate kernel (kernels.h): the vector body with `add_track`
// and `emit`, then the tail; returns the peak of the final sums when
// `last`, else 0.
template <class DS, typename T, typename S, class AddTrack, class Emit>
HWY_INLINE auto Accumulate(DS ds, T* const* tracks, const float* factors, size_t count,
                           size_t n, S* HWY_RESTRICT sums, bool init, bool last, T* out,
                           float gain, const AddTrack& add_track, const Emit& emit) {
  auto hi = hn::Zero(ds);
  auto lo = hn::Zero(ds);
  const size_t i = AccumulateVectors(ds, tracks, count, n, sums, init, last, out != nullptr,
                                     add_track, emit, hi, lo);
  auto peak = PeakOf(ds, hi, lo);
  AccumulateTail(i, tracks, factors, count, n, sums, init, last, peak, out, gain);
  return peak;
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
