// The quality presets by measurement: stopband, passband, THD+N and lag of
// every preset at every rate pair, on soxr and on the fallback filter that
// libswresample's own engine runs where it has no soxr; and for every
// preset, the exact length, the same bytes for any call pattern, and a tail
// that is the conversion of the stream followed by silence.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/resample/quality_meter.h"
#include "tests/resample/resample_test_util.h"
#include "tests/support/deadline.h"

namespace {

using namespace amix_test;

// Reductions and increases up to 24:1 each way.
const RatePair kPairs[] = {{48000, 44100}, {44100, 48000}, {44100, 22050}, {22050, 44100},
                           {8000, 48000},  {48000, 8000},  {96000, 44100}, {44100, 96000},
                           {16000, 44100}, {8000, 192000}, {192000, 8000}};

struct Target {
  int32_t quality;
  bool fallback;
  double stopband, passband, thdn;  // thdn: float; 16-bit in and out must reach -88 dB
};

const Target kTargets[] = {
    {AUDIO_RESAMPLE_QUALITY_HIGH, false, -120, 0.05, -120},
    {AUDIO_RESAMPLE_QUALITY_BEST, false, -140, 0.01, -140},
    {AUDIO_RESAMPLE_QUALITY_HIGH, true, -110, 0.05, -110},
    {AUDIO_RESAMPLE_QUALITY_BEST, true, -130, 0.01, -130},
};

std::string name(const RatePair& pair) {
  return std::to_string(pair.src) + " -> " + std::to_string(pair.dst);
}

// Under valgrind, which runs the filters some fifty times slower, only the
// steepest pairs.
TEST(ResamplerQuality, EachPresetReachesItsFiguresAtEveryRatePair) {
  const std::vector<RatePair> pairs =
      under_valgrind() ? std::vector<RatePair>{{8000, 192000}, {192000, 8000}}
                       : std::vector<RatePair>(std::begin(kPairs), std::end(kPairs));
  for (const Target& t : kTargets) {
    const SoxrRefused engine(t.fallback);
    for (const RatePair& pair : pairs) {
      SCOPED_TRACE(name(pair) + ", quality " + std::to_string(t.quality) +
                   (t.fallback ? ", fallback" : ", soxr"));
      const Figures f = measure(pair, t.quality);
      EXPECT_LE(f.stopband, t.stopband);
      EXPECT_LE(f.passband, t.passband);
      EXPECT_LE(f.thdn, t.thdn);
      EXPECT_LE(f.thdn_s16, -88);
      EXPECT_LE(std::fabs(f.lag), 0.001);
    }
  }
}

TEST(ResamplerQuality, TheEngineIsNamed) {
  const audio_desc src = {44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
  const audio_desc dst = {48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
  for (const bool fallback : {false, true}) {
    const SoxrRefused engine(fallback);
    const char* const expected[] = {"swr", fallback ? "swr" : "soxr", fallback ? "swr" : "soxr"};
    for (int32_t q = 0; q <= 2; ++q) {
      Resampler r(audio_resampler_create_quality(&dst, &src, q));
      ASSERT_NE(r, nullptr);
      EXPECT_STREQ(audio_resampler_engine_name(r.get()), expected[q]) << q;
    }
  }
  EXPECT_EQ(audio_resampler_engine_name(nullptr), nullptr);
  for (const int32_t bad : {-1, 3, INT32_MAX}) {
    EXPECT_EQ(audio_resampler_create_quality(&dst, &src, bad), nullptr) << bad;
  }
}

// The presets round float to 16-bit output themselves: to the nearest,
// ties to even, clipped (libswresample's ARM vector code rounds ties up in
// the body of a call and to even in its tail).  Noise near full scale
// gives ties, and peaks past it.
TEST(ResamplerQuality, SixteenBitOutputIsTheFloatOutputRoundedToEven) {
  const audio_desc src = {44100, PCM_FORMAT_FLOAT_PLANAR, PCM_SPEAKERS_STEREO};
  const std::vector<uint8_t> in = [] {
    std::mt19937 rng(4);
    std::vector<float> v(20000 * 2);
    for (float& x : v) x = float(int32_t(rng() % 65537) - 32768) / 32768;
    return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(v.data()),
                                reinterpret_cast<uint8_t*>(v.data() + v.size()));
  }();
  const uint8_t* planes[2] = {in.data(), in.data() + in.size() / 2};
  for (const bool fallback : {false, true}) {
    const SoxrRefused engine(fallback);
    for (const int32_t format : {PCM_FORMAT_S16, PCM_FORMAT_S16_PLANAR}) {
      const bool planar = format == PCM_FORMAT_S16_PLANAR;
      const audio_desc as_float = {48000, planar ? PCM_FORMAT_FLOAT_PLANAR : PCM_FORMAT_FLOAT,
                                   PCM_SPEAKERS_STEREO};
      const audio_desc as_s16 = {48000, format, PCM_SPEAKERS_STEREO};
      Resampler f(audio_resampler_create_quality(&as_float, &src, AUDIO_RESAMPLE_QUALITY_HIGH));
      Resampler i(audio_resampler_create_quality(&as_s16, &src, AUDIO_RESAMPLE_QUALITY_HIGH));
      uint8_t* fo[RESAMPLER_MAX_PLANES] = {};
      uint8_t* io[RESAMPLER_MAX_PLANES] = {};
      int32_t fb = 0, ib = 0;
      ASSERT_TRUE(audio_resampler_resample(f.get(), fo, &fb, planes, uint32_t(in.size())));
      ASSERT_TRUE(audio_resampler_resample(i.get(), io, &ib, planes, uint32_t(in.size())));
      ASSERT_EQ(fb, 2 * ib);
      int ties = 0, clipped = 0;
      for (int p = 0; p < (planar ? 2 : 1); ++p) {
        const auto* x = reinterpret_cast<const float*>(fo[p]);
        const auto* y = reinterpret_cast<const int16_t*>(io[p]);
        for (int32_t k = 0; k < ib / 2 / (planar ? 2 : 1); ++k) {
          const long expected = std::clamp(std::lrint(x[k] * 32768.0), -32768L, 32767L);
          ASSERT_EQ(y[k], expected) << x[k] << " at " << k;
          ties += std::fabs(x[k] * 32768.0) - std::floor(std::fabs(x[k] * 32768.0)) == 0.5;
          clipped += expected != std::lrint(x[k] * 32768.0);
        }
      }
      EXPECT_GT(ties, 10);
      EXPECT_GT(clipped, 0);
    }
  }
}

std::vector<float> noise_signal(int64_t frames, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<float> v(static_cast<size_t>(frames));
  for (float& x : v) x = float(int32_t(rng() % 60001) - 30000) / 32768;
  return v;
}

// Every preset, on both engines, float and 16-bit: streams of lengths from
// 0 up are exactly floor(n * dst / src + 1/2) frames long and the same
// bytes whether fed in large or in small blocks of any size; their tails
// are those of the stream followed by silence; a stream after a drain is
// a fresh resampler's.
TEST(ResamplerQuality, EveryPresetIsExactAndDeterministic) {
  const std::vector<RatePair> pairs =
      under_valgrind() ? std::vector<RatePair>{{44100, 48000}, {192000, 8000}}
                       : std::vector<RatePair>{{44100, 48000}, {48000, 44100}, {8000, 192000},
                                               {192000, 8000}};
  const std::vector<int64_t> lengths = under_valgrind()
                                           ? std::vector<int64_t>{0, 1, 40, 1000}
                                           : std::vector<int64_t>{0, 1, 2, 3, 7, 40, 333, 1000, 4097};
  for (const bool fallback : {false, true}) {
    const SoxrRefused engine(fallback);
    for (int32_t q = 0; q <= 2; ++q) {
      for (const RatePair& pair : pairs) {
        for (const int64_t n : lengths) {
          const bool s16 = n % 2 == 1;
          SCOPED_TRACE(name(pair) + ", quality " + std::to_string(q) + ", " + std::to_string(n) +
                       " frames" + (s16 ? ", 16-bit" : ", float") +
                       (fallback ? ", fallback" : ""));
          const std::vector<float> in = noise_signal(n, uint32_t(n + q));
          const std::vector<double> out = convert(pair, q, s16, in, 4096);
          ASSERT_EQ(int64_t(out.size()), exact_length(n, pair.src, pair.dst));
          EXPECT_EQ(convert(pair, q, s16, in, 1 + int(n % 97)), out);
          // Silence past the filter's reach at the source rate.
          std::vector<float> padded = in;
          padded.resize(size_t(n + 512 * std::max(1u, pair.src / pair.dst)), 0.0f);
          std::vector<double> longer = convert(pair, q, s16, padded, 65536);
          longer.resize(out.size());
          EXPECT_EQ(longer, out);
        }
      }
    }
  }
}

}  // namespace
