#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tavrin_amix/audio_mixer.h"
#include "tests/mix/mix_test_util.h"

namespace {

using amix_test::repeated;
using amix_test::same_bits;
using L = std::numeric_limits<float>;

// Scales `in` repeated over a long block (vector body and scalar tail) and
// checks that every repetition turned into `expected`.
template <typename T>
void expect_scaled(const std::vector<T>& in, float factor, const std::vector<T>& expected) {
  std::vector<T> block = repeated(in);
  amix_test::lib_scale(block.data(), int32_t(block.size()), factor);
  EXPECT_TRUE(same_bits(block, repeated(expected))) << "factor " << factor;
}

constexpr int32_t kI32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kI32Min = std::numeric_limits<int32_t>::min();
constexpr float kInf = L::infinity();
const float kNan = L::quiet_NaN();

TEST(Scale, UnityWindowAndEmptyCountsLeaveSamplesUntouchedAndUnread) {
  const float unity[] = {1.0f, 0.9999995f, 1.000001f, 0.999999f,
                         std::nextafter(1.000001f, 0.0f)};
  for (float f : unity) {
    expect_scaled<uint8_t>({255, 0, 7}, f, {255, 0, 7});
    expect_scaled<int16_t>({32767, -32768, 1}, f, {32767, -32768, 1});
    // 2^24 + 1 would lose its low bit through single precision.
    expect_scaled<int32_t>({16777217, kI32Max}, f, {16777217, kI32Max});
    // Floats keep NaN, infinities and out-of-range values.
    expect_scaled<float>({kNan, 7.0f, -kInf, -0.0f}, f, {kNan, 7.0f, -kInf, -0.0f});
    // Not even read: a bad pointer is harmless with a unity factor.
    audio_scale_int16(nullptr, 100, f);
    audio_scale_float(nullptr, 100, f);
  }
  // Nor with no samples, whatever the factor.
  for (int32_t n : {0, -4}) {
    audio_scale_int16(nullptr, n, 0.5f);
    audio_scale_float(nullptr, n, 0.5f);
  }
}

TEST(Scale, FactorsJustOutsideTheWindowApply) {
  expect_scaled<uint8_t>({255}, 0.999998f, {254});
  expect_scaled<int16_t>({32767, -32767}, 0.999998f, {32766, -32766});
  const float below = std::nextafter(0.999999f, 0.0f);
  expect_scaled<int16_t>({32767}, below, {32766});
  const float above = std::nextafter(1.000001f, 2.0f);
  expect_scaled<int32_t>({1 << 30}, above, {(1 << 30) + 1152});  // 2^30 * (1 + 9 * 2^-23)
}

TEST(Scale, TruncatesTowardZeroWithoutMidpoint) {
  expect_scaled<int16_t>({3, -3, 5}, 0.5f, {1, -1, 2});
  expect_scaled<uint8_t>({3, 255, 128}, 0.5f, {1, 127, 64});
  expect_scaled<uint8_t>({200, 128, 1}, 0.0f, {0, 0, 0});  // 0, not 128
  expect_scaled<int16_t>({-32768, 5}, 0.0f, {0, 0});
  expect_scaled<int32_t>({kI32Min, 5}, 0.0f, {0, 0});
}

TEST(Scale, GoesThroughSinglePrecisionAndClampsToTheSampleRange) {
  // 32-bit samples go through single precision: 2^24 + 1 loses its low bit.
  expect_scaled<int32_t>({16777217}, 2.0f, {33554432});
  expect_scaled<int32_t>({16777217}, 0.5f, {8388608});
  expect_scaled<uint8_t>({200, 100}, 2.0f, {255, 200});
  expect_scaled<int16_t>({20000, -20000}, 2.0f, {32767, -32768});
  expect_scaled<uint8_t>({200, 0}, -1.0f, {0, 0});
  expect_scaled<int16_t>({1000, -32768}, -1.0f, {-1000, 32767});
}

// Products beyond the int32 range saturate toward their own end instead of
// flipping to INT32_MIN (a loud click); NaN products give 0.
TEST(Scale, OverflowSaturatesAndNanGivesZero) {
  expect_scaled<int32_t>({kI32Max, kI32Min, 1500000000, -1}, 2.0f, {kI32Max, kI32Min, kI32Max, -2});
  // 2^31 exactly is out of range; the float below it, 2^31 - 128, is not.
  expect_scaled<int32_t>({1 << 30, 1073741760, -(1 << 30)}, 2.0f, {kI32Max, 2147483520, kI32Min});
  expect_scaled<int32_t>({1000000000}, -3.0f, {kI32Min});
  expect_scaled<int16_t>({30000, -30000, 1}, 1e6f, {32767, -32768, 32767});
  expect_scaled<uint8_t>({200, 0}, 1e8f, {255, 0});
  expect_scaled<int16_t>({5, 0, -5}, kInf, {32767, 0, -32768});
  expect_scaled<int32_t>({5, 0, -5}, -kInf, {kI32Min, 0, kI32Max});
  expect_scaled<uint8_t>({5, 0}, kNan, {0, 0});
  expect_scaled<int16_t>({5, -5}, kNan, {0, 0});
  expect_scaled<int32_t>({5, kI32Min}, kNan, {0, 0});
}

// The float step, written from its definition: the product of two floats is
// exact in double, so rounding it once to float is the single-precision
// multiply; NaN -> 0; clamp to [-1, 1].
float expected_scaled(float sample, float factor) {
  if (factor >= 0.999999f && factor <= 1.000001f) return sample;
  const float p = static_cast<float>(static_cast<double>(sample) * factor);
  if (std::isnan(p)) return 0.0f;
  return p < -1.0f ? -1.0f : p > 1.0f ? 1.0f : p;
}

TEST(Scale, FloatStepOverEverySampleAndFactor) {
  // Worked values: -0 keeps its sign; the smallest subnormal halves to 0
  // (ties to even); infinity x 0 is NaN, made 0.
  expect_scaled<float>({kInf, -kInf, kNan, -0.0f, 0.0f, 1.5f, L::denorm_min(), 1e-40f}, 0.5f,
                       {1.0f, -1.0f, 0.0f, -0.0f, 0.0f, 0.75f, 0.0f, 5e-41f});
  expect_scaled<float>({kInf, 0.25f}, 0.0f, {0.0f, 0.0f});

  std::vector<float> samples = amix_test::awkward_floats();
  for (float s : {0.5f, -0.5f, 0.1f, 0.9999999f, 1.0000001f}) samples.push_back(s);
  const float factors[] = {0.0f, -0.0f, 0.999999f, std::nextafter(0.999999f, 0.0f), 1.000001f,
                           std::nextafter(1.000001f, 2.0f), 0.5f, 0.8f, 2.0f, -1.0f, 1e30f,
                           L::max(), kInf, -kInf, kNan, 1e-40f};
  for (float f : factors) {
    std::vector<float> expected(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) expected[i] = expected_scaled(samples[i], f);
    expect_scaled(samples, f, expected);
  }
}

}  // namespace
