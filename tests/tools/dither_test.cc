// The dither measured: its noise, and the error it leaves in a quantised
// signal against plain rounding's.
#include "amix/pipelines/dither.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace amix {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 48000;
constexpr size_t kSamples = 1 << 17;

// The amplitude of `freq` in `x` (a single-bin DFT over all of it).
double amplitude_at(const std::vector<double>& x, double freq) {
  double re = 0, im = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    re += x[i] * std::cos(2 * kPi * freq * i / kRate);
    im += x[i] * std::sin(2 * kPi * freq * i / kRate);
  }
  return 2 * std::hypot(re, im) / x.size();
}

double mean_square(const std::vector<double>& x) {
  double sum = 0;
  for (double v : x) sum += v * v;
  return sum / x.size();
}

// The noise alone: triangular on (-1, 1) LSB, variance 1/6, and the same
// sequence from every dither.
TEST(Dither, NoiseIsTriangularOfOneLsbAndFixed) {
  TpdfDither a, b;
  double sum = 0, squares = 0;
  size_t inner = 0;  // draws within +-0.5, 3/4 of a triangle's mass
  for (size_t i = 0; i < kSamples; ++i) {
    const double n = a.noise();
    ASSERT_EQ(n, b.noise()) << "draw " << i;
    ASSERT_GT(n, -1.0);
    ASSERT_LT(n, 1.0);
    sum += n;
    squares += n * n;
    inner += std::fabs(n) < 0.5 ? 1 : 0;
  }
  EXPECT_NEAR(sum / kSamples, 0.0, 0.005);
  EXPECT_NEAR(squares / kSamples, 1.0 / 6, 0.002);
  EXPECT_NEAR(static_cast<double>(inner) / kSamples, 0.75, 0.005);
}

// A 997 Hz tone of 1.3 LSB, quantised to 16 bits.  Plain rounding leaves
// an error that follows the signal: its harmonics.  The dither's error is
// 0.5 LSB RMS (rounding's 1/12 plus the noise's 1/6 LSB^2), flat (no
// correlation from one sample to the next), and carries neither the tone
// nor its harmonics; a tone of 0.33 LSB (-100 dBFS) survives at its level,
// where rounding turns it into silence.
TEST(Dither, ErrorIsFlatNoiseThatNoLongerFollowsTheSignal) {
  for (double lsb : {1.3, 0.328}) {
    SCOPED_TRACE(lsb);
    std::vector<float> x(kSamples);
    for (size_t i = 0; i < kSamples; ++i)
      x[i] = static_cast<float>(lsb / 32768 * std::sin(2 * kPi * 997 * i / kRate));
    std::vector<int16_t> q(kSamples);
    TpdfDither().to_s16(x.data(), q.data(), kSamples);
    std::vector<double> error(kSamples), rounded_error(kSamples), out(kSamples);
    for (size_t i = 0; i < kSamples; ++i) {
      const double exact = x[i] * 32768.0;
      out[i] = q[i];
      error[i] = q[i] - exact;
      rounded_error[i] = std::nearbyint(exact) - exact;
      ASSERT_LE(std::fabs(error[i]), 1.5) << "sample " << i;
    }
    EXPECT_NEAR(std::sqrt(mean_square(error)), 0.5, 0.01);
    for (size_t lag = 1; lag <= 16; ++lag) {
      double r = 0;
      for (size_t i = lag; i < kSamples; ++i) r += error[i] * error[i - lag];
      EXPECT_LT(std::fabs(r / (kSamples - lag) / mean_square(error)), 0.015) << "lag " << lag;
    }
    // Noise spreads over the kSamples / 2 bins: ~0.003 LSB in each.
    for (int harmonic = 1; harmonic <= 5; ++harmonic) {
      SCOPED_TRACE(harmonic);
      EXPECT_LT(amplitude_at(error, 997.0 * harmonic), 0.01);
      if (lsb > 1 && harmonic % 2 == 1) {
        EXPECT_GT(amplitude_at(rounded_error, 997.0 * harmonic), 0.02);
      }
    }
    EXPECT_NEAR(20 * std::log10(amplitude_at(out, 997.0) / lsb), 0.0, 0.2);
  }
}

// Full scale and beyond clip; NaN is silence under the noise; 8-bit is
// unsigned around 128.
TEST(Dither, ClipsAndReducesToEightBits) {
  const std::vector<float> x = {1.0f, -1.0f, 4.0f, -4.0f, NAN, 0.5f};
  std::vector<int16_t> s16(x.size());
  std::vector<uint8_t> u8(x.size());
  TpdfDither().to_s16(x.data(), s16.data(), x.size());
  TpdfDither().to_u8(x.data(), u8.data(), x.size());
  EXPECT_GE(s16[0], 32766);
  EXPECT_LE(s16[1], -32767);
  EXPECT_EQ(s16[2], 32767);
  EXPECT_EQ(s16[3], -32768);
  EXPECT_LE(std::abs(s16[4]), 1);
  EXPECT_NEAR(s16[5], 16384, 1);
  EXPECT_EQ(u8[2], 255);
  EXPECT_EQ(u8[3], 0);
  EXPECT_NEAR(u8[4], 128, 1);
  EXPECT_NEAR(u8[5], 192, 1);
}

}  // namespace
}  // namespace amix
