// The quantiser: worked values for each width, and the dither measured:
// its noise, and the error it leaves in a quantised signal against plain
// rounding's.
#include "amix/pipelines/quantise.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "amix/base/types.h"
#include "tavrin_amix/audio_resampler.h"
#include "tests/tools/amix_runner.h"

namespace amix {
namespace {

constexpr int kRate = 48000;
constexpr size_t kSamples = 1 << 17;

using amix_test::mean_square;
using amix_test::sine_amplitude;

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
      x[i] = static_cast<float>(lsb / 32768 * std::sin(2 * M_PI * 997 * i / kRate));
    std::vector<int16_t> q(kSamples);
    TpdfDither dither;
    scale_and_quantise(x.data(), kSamples, 1.0, SF_FORMAT_PCM_16, &dither, q.data());
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
      EXPECT_LT(sine_amplitude(error, 997.0 * harmonic, kRate), 0.01);
      if (lsb > 1 && harmonic % 2 == 1) {
        EXPECT_GT(sine_amplitude(rounded_error, 997.0 * harmonic, kRate), 0.02);
      }
    }
    EXPECT_NEAR(20 * std::log10(sine_amplitude(out, 997.0, kRate) / lsb), 0.0, 0.2);
  }
}

// Sample i of a quantiser's output as stored, whatever its format.
double stored(const Quantiser& q, const Quantiser::Bytes& out, size_t i) {
  switch (q.pcm_format()) {
    case PCM_FORMAT_U8: return static_cast<const uint8_t*>(out.data)[i];
    case PCM_FORMAT_S16: return static_cast<const int16_t*>(out.data)[i];
    case PCM_FORMAT_S32: return static_cast<const int32_t*>(out.data)[i];
    default: return static_cast<const float*>(out.data)[i];
  }
}

// Worked values: x times the gain, rounded to the nearest step of each
// width (halves up), clipped at full scale and never wrapped; NaN is 0 in
// integers; 24-bit rounds at its own step, in the top bytes of 32; float
// only takes the gain.  16-bit input (a mix's) reads as x / 32768.
TEST(Quantiser, RoundsToTheNearestStepOfEachWidthAndClips) {
  const std::vector<float> x = {0.25f,          -0.25f, 0.5f / 32768, 1.5f / 32768,
                                -1.5f / 32768, -1.0f,  0.7f,         NAN};
  const struct {
    int sf_subtype;
    double gain;
    std::vector<double> expected;
  } cases[] = {
      {SF_FORMAT_PCM_16, 1, {8192, -8192, 1, 2, -1, -32768, 22938, 0}},
      {SF_FORMAT_PCM_16, 8, {32767, -32768, 4, 12, -12, -32768, 32767, 0}},
      {SF_FORMAT_PCM_U8, 1, {160, 96, 128, 128, 128, 0, 218, 128}},
      // 0.7f is 5872025.5 steps of 24 bits.
      {SF_FORMAT_PCM_24, 1, {2097152 * 256.0, -2097152 * 256.0, 128 * 256, 384 * 256,
                             -384 * 256, -8388608 * 256.0, 5872026 * 256.0, 0}},
      {SF_FORMAT_PCM_32, 4, {2147483647, -2147483648.0, 131072, 393216, -393216,
                             -2147483648.0, 2147483647, 0}},
      {SF_FORMAT_FLOAT, 0.5, {0.125, -0.125, 0.25 / 32768, 0.75 / 32768, -0.75 / 32768, -0.5,
                              0.7f / 2, NAN}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "subtype " << c.sf_subtype << ", gain " << c.gain);
    Quantiser q(c.sf_subtype, false);
    q.set_gain(c.gain);
    const Quantiser::Bytes out = q.apply(x.data(), x.size() * sizeof(float), PCM_FORMAT_FLOAT);
    ASSERT_EQ(out.bytes, x.size() * pcm_sample_bytes(q.pcm_format()));
    for (size_t i = 0; i < x.size(); ++i) {
      if (std::isnan(c.expected[i])) {
        EXPECT_TRUE(std::isnan(stored(q, out, i))) << "sample " << i;
      } else {
        EXPECT_EQ(stored(q, out, i), c.expected[i]) << "sample " << i;
      }
    }
  }
  const std::vector<int16_t> mixed = {3, -3, 32767, -32768};
  Quantiser half(SF_FORMAT_PCM_16, false);
  half.set_gain(0.5);
  const Quantiser::Bytes out = half.apply(mixed.data(), mixed.size() * 2, PCM_FORMAT_S16);
  EXPECT_EQ(std::vector<int16_t>(static_cast<const int16_t*>(out.data),
                                 static_cast<const int16_t*>(out.data) + mixed.size()),
            (std::vector<int16_t>{2, -1, 16384, -16384}));
  // 32-bit samples (a wide mix's) to 24 bits without a gain: rounded as
  // integers, halves up, the top clipped to the largest 24-bit step.
  const std::vector<int32_t> wide = {127, 128, -129, -128, INT32_MAX, INT32_MIN, 0x12345680};
  Quantiser to24(SF_FORMAT_PCM_24, false);
  const Quantiser::Bytes w = to24.apply(wide.data(), wide.size() * 4, PCM_FORMAT_S32);
  EXPECT_EQ(std::vector<int32_t>(static_cast<const int32_t*>(w.data),
                                 static_cast<const int32_t*>(w.data) + wide.size()),
            (std::vector<int32_t>{0, 256, -256, 0, 0x7fffff00, INT32_MIN, 0x12345700}));
}

// With dither every sample lands within 1.5 LSB of x times the gain,
// clipped: the noise goes on after the gain (before it, it would grow with
// the gain), and full scale still clips; NaN is silence under the noise.
// The bytes do not depend on how the samples are cut into calls.  Dither
// stops at 16 bits.
TEST(Quantiser, DithersAfterTheGainWhateverTheBlocks) {
  std::vector<float> x(6000);
  for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<float>(0.12 * std::sin(0.01 * i));
  x[100] = NAN;
  x[200] = 0.5f;  // 4 times full scale
  x[300] = -0.5f;
  for (const int sf_subtype : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_U8}) {
    SCOPED_TRACE(sf_subtype);
    const double scale = sf_subtype == SF_FORMAT_PCM_16 ? 32768 : 128;
    const double offset = sf_subtype == SF_FORMAT_PCM_16 ? 0 : 128;
    Quantiser whole(sf_subtype, true), cut(sf_subtype, true);
    ASSERT_TRUE(whole.dithers());
    whole.set_gain(8);
    cut.set_gain(8);
    const Quantiser::Bytes out = whole.apply(x.data(), x.size() * sizeof(float), PCM_FORMAT_FLOAT);
    const std::vector<uint8_t> bytes(static_cast<const uint8_t*>(out.data),
                                     static_cast<const uint8_t*>(out.data) + out.bytes);
    double squares = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double exact = std::isnan(x[i]) ? 0 : x[i] * 8.0 * scale;
      const double error = stored(whole, out, i) - offset - std::clamp(exact, -scale, scale - 1);
      ASSERT_LE(std::fabs(error), 1.5) << "sample " << i;
      squares += error * error;
    }
    EXPECT_NEAR(std::sqrt(squares / x.size()), 0.5, 0.05);

    std::vector<uint8_t> pieces;
    for (size_t at = 0, n = 1; at < x.size(); at += n, n = n * 3 % 1001) {
      n = std::min(n, x.size() - at);
      const Quantiser::Bytes part = cut.apply(x.data() + at, n * sizeof(float), PCM_FORMAT_FLOAT);
      pieces.insert(pieces.end(), static_cast<const uint8_t*>(part.data),
                    static_cast<const uint8_t*>(part.data) + part.bytes);
    }
    EXPECT_EQ(pieces, bytes);
  }
  EXPECT_FALSE(Quantiser(SF_FORMAT_PCM_24, true).dithers());
}

}  // namespace
}  // namespace amix
