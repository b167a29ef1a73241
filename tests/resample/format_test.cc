#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "hwy/targets.h"
#include "resample/audio_format.h"
#include "resample/s16_convert.h"

namespace {

using namespace amix;

constexpr uint32_t kMinusOne = 0xFFFFFFFFu;  // code -1 as the tables take it

TEST(FormatTables, SpeakersRows) {
  const struct {
    uint32_t code;
    uint64_t mask;
    uint32_t channels;
  } rows[] = {{0, 0, 0},     {1, 0x4, 1},   {2, 0x3, 2},      {3, 0x103, 3}, {4, 0x33, 4},
              {5, 0x10F, 5}, {6, 0x60F, 6}, {7, 0x3F, 6},     {8, 0x63F, 8}, {9, 0xFF, 8},
              {10, 0x7, 3},  {11, 0, 0},    {kMinusOne, 0, 0}};
  for (const auto& row : rows) {
    EXPECT_EQ(pcm_speakers_layout(row.code), row.mask) << row.code;
    EXPECT_EQ(pcm_speakers_channels(row.code), row.channels) << row.code;
  }
}

TEST(FormatTables, FormatRows) {
  const struct {
    uint32_t code;
    AVSampleFormat engine;
    uint32_t bytes, planes_of_six;
  } rows[] = {{0, AV_SAMPLE_FMT_S16, 0, 1},        {1, AV_SAMPLE_FMT_U8, 1, 1},
              {2, AV_SAMPLE_FMT_S16, 2, 1},        {3, AV_SAMPLE_FMT_S32, 4, 1},
              {4, AV_SAMPLE_FMT_FLT, 4, 1},        {5, AV_SAMPLE_FMT_U8P, 1, 6},
              {6, AV_SAMPLE_FMT_S16P, 2, 6},       {7, AV_SAMPLE_FMT_S32P, 4, 6},
              {8, AV_SAMPLE_FMT_FLTP, 4, 6},       {9, AV_SAMPLE_FMT_S16, 0, 1},
              {kMinusOne, AV_SAMPLE_FMT_S16, 0, 1}};
  for (const auto& row : rows) {
    EXPECT_EQ(pcm_format_engine(row.code), row.engine) << row.code;
    EXPECT_EQ(pcm_format_sample_bytes(row.code), row.bytes) << row.code;
    EXPECT_EQ(pcm_format_planes(row.code, 6), row.planes_of_six) << row.code;
  }
  EXPECT_EQ(pcm_format_planes(PCM_FORMAT_FLOAT_PLANAR, 1), 1u);
}

// Frame sizes count every channel and plane; an unusable code gives 0 and
// is refused.
TEST(FormatTables, FrameBytes) {
  const struct {
    int32_t format, speakers;
    uint32_t bytes;
  } rows[] = {{PCM_FORMAT_S16, PCM_SPEAKERS_STEREO, 4},
              {PCM_FORMAT_FLOAT_PLANAR, PCM_SPEAKERS_5_1, 24},
              {PCM_FORMAT_U8, PCM_SPEAKERS_MONO, 1},
              {PCM_FORMAT_S32, PCM_SPEAKERS_7_1, 32},
              {PCM_FORMAT_S16, PCM_SPEAKERS_SURROUND, 6},
              {PCM_FORMAT_S16, 0, 0},
              {PCM_FORMAT_S16, 11, 0},
              {PCM_FORMAT_S16, -1, 0},
              {0, PCM_SPEAKERS_STEREO, 0},
              {9, PCM_SPEAKERS_STEREO, 0},
              {-1, PCM_SPEAKERS_STEREO, 0}};
  for (const auto& row : rows) {
    const audio_desc desc = {8000, row.format, row.speakers};
    EXPECT_EQ(audio_desc_frame_bytes(desc), row.bytes) << row.format << "/" << row.speakers;
    EXPECT_EQ(pcm_codes_valid(desc), row.bytes != 0) << row.format << "/" << row.speakers;
  }
}

// Float to 16-bit as the presets hand it out: lrint(x * 32768), ties to
// even, clipped, NaN to -32768; the scalar rule and the vector kernel on
// every instruction set this CPU runs, over every tie and its neighbours,
// the limits, the special values and random bits, in runs that leave every
// length of tail.
TEST(S16Conversion, ScalarRuleAndKernelRoundTiesToEvenOnEveryTarget) {
  std::vector<float> in;
  for (int k = -2 * 32768 - 8; k <= 2 * 32768 + 8; ++k) {
    const float x = float(k) / 65536;  // every integer and every tie, scaled
    in.insert(in.end(), {x, std::nextafter(x, -2.0f), std::nextafter(x, 2.0f)});
  }
  const float inf = std::numeric_limits<float>::infinity();
  in.insert(in.end(), {0.0f, -0.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
                       std::numeric_limits<float>::denorm_min(), 65536.0f, -65536.0f});
  std::mt19937 rng(6);
  for (int i = 0; i < 100000; ++i) {
    const uint32_t bits = rng();
    float x;
    std::memcpy(&x, &bits, sizeof x);
    in.push_back(x);
  }
  std::vector<int16_t> expected;
  for (const float x : in) {
    expected.push_back(std::isnan(x) ? int16_t(-32768)
                                     : int16_t(std::lrint(std::clamp(double(x) * 32768, -32768.0,
                                                                     32767.0))));
    ASSERT_EQ(s16_of(x), expected.back()) << x;
  }
  for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
    hwy::SetSupportedTargetsForTest(target);
    SCOPED_TRACE(hwy::TargetName(target));
    for (size_t start = 0; start < 17; ++start) {
      std::vector<int16_t> out(in.size() - start, 0x5555);
      floats_to_s16(in.data() + start, out.size(), out.data());
      ASSERT_TRUE(std::equal(out.begin(), out.end(), expected.begin() + ptrdiff_t(start)));
    }
  }
  hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
