// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "bench/floor_hwy.cc"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
// clang-format on
#include <type_traits>

#include "bench/floor.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace amix_bench {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The sum lanes of each sample type: what the mix itself must add in.
template <typename T>
using SumOf = std::conditional_t<std::is_same_v<T, float>, double,
                                 std::conditional_t<sizeof(T) == 4, int64_t, int32_t>>;

// The sum lanes back to samples: saturated, wrapped or rounded, whichever is
// cheapest for the type.
template <class DN, class V>
HWY_INLINE hn::Vec<DN> Narrow(DN dn, V v) {
  if constexpr (std::is_same_v<hn::TFromD<DN>, int32_t>) {
    const hn::RebindToUnsigned<DN> du;
    return hn::BitCast(dn, hn::TruncateTo(du, hn::BitCast(hn::Rebind<uint64_t, DN>(), v)));
  } else {
    return hn::DemoteTo(dn, v);
  }
}

template <typename T>
void FloorMixT(T* const* tracks, int track_count, int n, T* out) {
  const hn::ScalableTag<SumOf<T>> ds;
  const hn::Rebind<T, decltype(ds)> dn;
  const hn::RebindToUnsigned<decltype(dn)> du;
  const int N = int(hn::Lanes(ds));
  const auto flip = hn::Set(du, 1);
  // A store that cannot be elided: the lowest bit flipped.
  const auto store_back = [&](hn::Vec<decltype(dn)> v, T* p) HWY_ATTR {
    hn::StoreU(hn::BitCast(dn, hn::Xor(hn::BitCast(du, v), flip)), dn, p);
  };
  int i = 0;
  for (; i + 2 * N <= n; i += 2 * N) {
    auto acc0 = hn::Zero(ds), acc1 = hn::Zero(ds);
    for (int t = 0; t < track_count; ++t) {
      T* p = tracks[t] + i;
      const auto a = hn::LoadU(dn, p), b = hn::LoadU(dn, p + N);
      store_back(a, p);
      store_back(b, p + N);
      acc0 = hn::Add(acc0, hn::PromoteTo(ds, a));
      acc1 = hn::Add(acc1, hn::PromoteTo(ds, b));
    }
    hn::StoreU(Narrow(dn, acc0), dn, out + i);
    hn::StoreU(Narrow(dn, acc1), dn, out + i + N);
  }
  for (; i < n; ++i) {
    SumOf<T> acc = 0;
    for (int t = 0; t < track_count; ++t) acc += tracks[t][i];
    out[i] = T(acc);
  }
}

void FloorMixI16(int16_t* const* t, int k, int n, int16_t* o) { FloorMixT(t, k, n, o); }
void FloorMixI32(int32_t* const* t, int k, int n, int32_t* o) { FloorMixT(t, k, n, o); }
void FloorMixF32(float* const* t, int k, int n, float* o) {
#if HWY_HAVE_FLOAT64
  FloorMixT(t, k, n, o);
#else
  for (int i = 0; i < n; ++i) {
    double acc = 0;
    for (int j = 0; j < k; ++j) acc += t[j][i];
    o[i] = float(acc);
  }
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace amix_bench
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace amix_bench {
HWY_EXPORT(FloorMixI16);
HWY_EXPORT(FloorMixI32);
HWY_EXPORT(FloorMixF32);
void floor_mix(int16_t* const* tracks, int track_count, int n, int16_t* out) {
  HWY_DYNAMIC_DISPATCH(FloorMixI16)(tracks, track_count, n, out);
}
void floor_mix(int32_t* const* tracks, int track_count, int n, int32_t* out) {
  HWY_DYNAMIC_DISPATCH(FloorMixI32)(tracks, track_count, n, out);
}
void floor_mix(float* const* tracks, int track_count, int n, float* out) {
  HWY_DYNAMIC_DISPATCH(FloorMixF32)(tracks, track_count, n, out);
}
}  // namespace amix_bench
#endif
