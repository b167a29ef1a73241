// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "bench/floor_hwy.cc"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
// clang-format on
#include "bench/floor.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace amix_bench {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void FloorMix(int16_t* const* tracks, int track_count, int n, int16_t* out) {
  const hn::ScalableTag<int32_t> di;
  const hn::Rebind<int16_t, decltype(di)> d16;
  const int N = int(hn::Lanes(di));
  const auto flip = hn::Set(d16, int16_t(1));
  int i = 0;
  for (; i + 2 * N <= n; i += 2 * N) {
    auto acc0 = hn::Zero(di), acc1 = hn::Zero(di);
    for (int t = 0; t < track_count; ++t) {
      int16_t* p = tracks[t] + i;
      const auto a = hn::LoadU(d16, p), b = hn::LoadU(d16, p + N);
      hn::StoreU(hn::Xor(a, flip), d16, p);  // a store that cannot be elided
      hn::StoreU(hn::Xor(b, flip), d16, p + N);
      acc0 = hn::Add(acc0, hn::PromoteTo(di, a));
      acc1 = hn::Add(acc1, hn::PromoteTo(di, b));
    }
    hn::StoreU(hn::DemoteTo(d16, acc0), d16, out + i);
    hn::StoreU(hn::DemoteTo(d16, acc1), d16, out + i + N);
  }
  for (; i < n; ++i) {
    int32_t acc = 0;
    for (int t = 0; t < track_count; ++t) acc += tracks[t][i];
    out[i] = int16_t(acc > 32767 ? 32767 : acc < -32768 ? -32768 : acc);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace amix_bench
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace amix_bench {
HWY_EXPORT(FloorMix);
void floor_mix(int16_t* const* tracks, int track_count, int n, int16_t* out) {
  HWY_DYNAMIC_DISPATCH(FloorMix)(tracks, track_count, n, out);
}
}  // namespace amix_bench
#endif
