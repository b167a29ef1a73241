// The vector kernel of s16_convert.h.  Highway compiles this file once per
// instruction set (foreach_target.h) and dispatches at run time.
//
// Bit-exactness with s16_of: the scaling is the same IEEE multiply (by a
// power of two); NaN is replaced before Min and Max see it; the clamped
// value plus 1.5 x 2^23 is one IEEE addition rounding to the nearest
// integer, ties to even, whose low mantissa bits then hold that integer.
// (32-bit Arm NEON flushes subnormals to zero, which changes no result: a
// subnormal sample rounds to 0 either way.)
// clang-format off
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/s16_hwy.cc"
#include "hwy/foreach_target.h"  // IWYU pragma: keep
// clang-format on
#include "hwy/highway.h"
#include "resample/s16_convert.h"

HWY_BEFORE_NAMESPACE();
namespace amix {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void FloatsToS16(const float* HWY_RESTRICT in, size_t n, int16_t* HWY_RESTRICT out) {
  const hn::ScalableTag<float> df;
  const hn::RebindToSigned<decltype(df)> di;
  const hn::Rebind<int16_t, decltype(df)> d16;
  const auto scale = hn::Set(df, 32768.0f);
  const auto lo = hn::Set(df, -32768.0f);
  const auto hi = hn::Set(df, 32767.0f);
  const auto round = hn::Set(df, 12582912.0f);
  const auto round_bits = hn::BitCast(di, round);
  const size_t lanes = hn::Lanes(df);
  size_t i = 0;
  for (; i + lanes <= n; i += lanes) {
    const auto y = hn::Mul(hn::LoadU(df, in + i), scale);
    const auto clamped = hn::IfThenElse(hn::IsNaN(y), lo, hn::Min(hn::Max(y, lo), hi));
    const auto k = hn::Sub(hn::BitCast(di, hn::Add(clamped, round)), round_bits);
    hn::StoreU(hn::DemoteTo(d16, k), d16, out + i);
  }
  for (; i < n; ++i) out[i] = s16_of(in[i]);
}

}  // namespace HWY_NAMESPACE
}  // namespace amix
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace amix {

HWY_EXPORT(FloatsToS16);

void floats_to_s16(const float* in, size_t n, int16_t* out) {
  HWY_DYNAMIC_DISPATCH(FloatsToS16)(in, n, out);
}

}  // namespace amix
#endif  // HWY_ONCE
