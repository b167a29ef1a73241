#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/alloc.h"
#include "tests/resample/direct_engine.h"
#include "tests/resample/resample_test_util.h"
#include "tests/support/log_capture.h"

namespace {

using namespace amix_test;

const audio_desc kStereo48k = {48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
const audio_desc kStereo44k = {44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};

TEST(ResamplerCreate, RefusesWhatTheEngineCannotTakeSilently) {
  LogCapture log;
  EXPECT_EQ(audio_resampler_create(nullptr, &kStereo44k), nullptr);
  EXPECT_EQ(audio_resampler_create(&kStereo44k, nullptr), nullptr);
  const audio_desc bad[] = {{0, 2, 2},     {2147483648u, 2, 2}, {0xFFFFFFFFu, 2, 2},
                            {44100, 0, 2}, {44100, 9, 2},       {44100, -1, 2},
                            {44100, 2, 0}, {44100, 2, 11},      {44100, 2, -1}};
  for (const audio_desc& b : bad) {
    EXPECT_EQ(audio_resampler_create(&b, &kStereo44k), nullptr) << b.samples_per_sec;
    EXPECT_EQ(audio_resampler_create(&kStereo44k, &b), nullptr) << b.samples_per_sec;
  }
  EXPECT_TRUE(log.lines().empty());
  audio_resampler_destroy(nullptr);
}

// Reductions steeper than 256:1 are refused before the engine builds its
// filter (at 2147483647 -> 96000 Hz it would take 1.5 GB and then fail).
// Upsampling as steep stays cheap and is accepted, but by the presets (on
// either engine) only up to 256:1 too.
TEST(ResamplerCreate, RefusesDownsamplingSteeperThan256To1) {
  const audio_desc low = {8000, PCM_FORMAT_S16, PCM_SPEAKERS_MONO};
  const audio_desc steepest = {2048000, PCM_FORMAT_S16, PCM_SPEAKERS_MONO};
  const audio_desc too_steep = {2048001, PCM_FORMAT_S16, PCM_SPEAKERS_MONO};
  const audio_desc top = {2147483647u, PCM_FORMAT_FLOAT, PCM_SPEAKERS_STEREO};
  const audio_desc k96 = {96000, PCM_FORMAT_FLOAT, PCM_SPEAKERS_STEREO};
  EXPECT_NE(make_resampler(low, steepest), nullptr);
  EXPECT_EQ(audio_resampler_create(&low, &too_steep), nullptr);
  EXPECT_EQ(audio_resampler_create(&k96, &top), nullptr);
  EXPECT_NE(make_resampler(too_steep, low), nullptr);
  for (const bool fallback : {false, true}) {
    const SoxrRefused engine(fallback);
    for (const int32_t q : {AUDIO_RESAMPLE_QUALITY_HIGH, AUDIO_RESAMPLE_QUALITY_BEST}) {
      EXPECT_EQ(audio_resampler_create_quality(&too_steep, &low, q), nullptr) << q;
      EXPECT_EQ(audio_resampler_create_quality(&low, &too_steep, q), nullptr) << q;
      Resampler up(audio_resampler_create_quality(&steepest, &low, q));
      EXPECT_NE(up, nullptr) << q;
    }
  }
}

// Allocation sites of create: the record, the engine context, its init; at
// every quality, on either engine (soxr's init failing for want of memory
// is a failure, not a reason to fall back).
TEST(ResamplerCreate, EveryAllocationFailureGivesNullAndLeaksNothing) {
  constexpr long kSites = 3;
  for (const bool fallback : {false, true}) {
    const SoxrRefused engine(fallback);
    for (int32_t q = 0; q <= 2; ++q) {
      for (long n = 1; n <= kSites; ++n) {
        amix_fault_fail_at(n);
        EXPECT_EQ(audio_resampler_create_quality(&kStereo44k, &kStereo48k, q), nullptr)
            << "site " << n << ", quality " << q;
      }
      amix_fault_fail_at(kSites + 1);
      Resampler r(audio_resampler_create_quality(&kStereo44k, &kStereo48k, q));
      EXPECT_EQ(amix_fault_sites_reached(), kSites);
      amix_fault_fail_at(0);
      EXPECT_NE(r, nullptr);
    }
  }
}

TEST(ResamplerResample, OutputBlockGrowsOnlyWhenNeeded) {
  Resampler r = make_resampler(kStereo44k, kStereo48k);
  const std::vector<uint8_t> in = noise(4096 * 4);
  const Call first(r.get(), in.data(), 1024 * 4);
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(r->output_capacity, 941);  // ceil(1024 * 44100 / 48000)
  EXPECT_EQ(first.planes[0], r->output_planes[0]);
  EXPECT_EQ(first.planes[1], sentinel());  // interleaved: one slot written
  EXPECT_GT(first.bytes, 0);
  EXPECT_LE(first.bytes, 941 * 4);
  EXPECT_EQ(first.bytes % 4, 0);

  EXPECT_EQ(Call(r.get(), in.data(), 512 * 4).planes[0], first.planes[0]);
  EXPECT_EQ(r->output_capacity, 941);
  EXPECT_NE(Call(r.get(), in.data(), 4096 * 4).planes[0], first.planes[0]);
  EXPECT_GE(r->output_capacity, 3764);

  // Equal rates: exactly the input's frames.
  Resampler same = make_resampler({44100, PCM_FORMAT_FLOAT, PCM_SPEAKERS_STEREO}, kStereo44k);
  EXPECT_EQ(Call(same.get(), in.data(), 1000 * 4).bytes, 1000 * 8);
  EXPECT_EQ(same->output_capacity, 1000);
}

TEST(ResamplerResample, ConvertsWholeFramesOnly) {
  Resampler r = make_resampler(kStereo44k, kStereo44k);
  const std::vector<uint8_t> in = noise(8);
  for (uint32_t bytes : {0u, 3u}) {  // nothing to convert, nothing held: no block
    const Call call(r.get(), in.data(), bytes);
    EXPECT_TRUE(call.ok);
    EXPECT_EQ(call.bytes, 0);
    EXPECT_EQ(call.planes[0], nullptr);
    EXPECT_EQ(call.planes[1], sentinel());
  }
  const Call call(r.get(), in.data(), 7);
  ASSERT_EQ(call.bytes, 4);
  EXPECT_EQ(std::memcmp(call.planes[0], in.data(), 4), 0);
}

TEST(ResamplerResample, RefusalsWriteNothing) {
  LogCapture log;
  Resampler r = make_resampler(kStereo44k, kStereo48k);
  Resampler byte_frames = make_resampler(kStereo44k, {48000, PCM_FORMAT_U8, PCM_SPEAKERS_MONO});
  Resampler steep = make_resampler({2000000000, PCM_FORMAT_U8, PCM_SPEAKERS_MONO},
                                   {1000, PCM_FORMAT_U8, PCM_SPEAKERS_MONO});
  ASSERT_NE(steep, nullptr);
  const std::vector<uint8_t> in = noise(4096);
  uint8_t* out[RESAMPLER_MAX_PLANES] = {sentinel()};
  int32_t bytes = 77;
  const uint8_t* data[1] = {in.data()};
  const uint8_t* missing[1] = {nullptr};
  EXPECT_FALSE(audio_resampler_resample(nullptr, out, &bytes, data, 4));
  EXPECT_FALSE(audio_resampler_resample(r.get(), nullptr, &bytes, data, 4));
  EXPECT_FALSE(audio_resampler_resample(r.get(), out, nullptr, data, 4));
  EXPECT_FALSE(audio_resampler_resample(r.get(), out, &bytes, nullptr, 4));
  EXPECT_FALSE(audio_resampler_resample(r.get(), out, &bytes, missing, 4));
  // Frames, or room for them, beyond a signed 32-bit count (refused before
  // the input is read).
  EXPECT_FALSE(audio_resampler_resample(byte_frames.get(), out, &bytes, data, 0x80000000u));
  EXPECT_FALSE(audio_resampler_resample(steep.get(), out, &bytes, data, 1100));
  EXPECT_EQ(bytes, 77);
  EXPECT_EQ(out[0], sentinel());
  EXPECT_TRUE(log.lines().empty());
}

TEST(ResamplerResample, EngineFailureLogsAndKeepsTheBlock) {
  Resampler r = make_resampler(kStereo44k, kStereo48k);
  const std::vector<uint8_t> in = noise(1024 * 4);
  ASSERT_TRUE(Call(r.get(), in.data(), 1024 * 4).ok);
  uint8_t* const block = r->output_planes[0];

  // A configured but uninitialised context makes the engine refuse; input
  // below one frame still reaches it.
  SwrContext* const engine = r->context;
  r->context = nullptr;
  AVChannelLayout stereo{};
  av_channel_layout_from_mask(&stereo, AV_CH_LAYOUT_STEREO);
  ASSERT_EQ(swr_alloc_set_opts2(&r->context, &stereo, AV_SAMPLE_FMT_S16, 44100, &stereo,
                                AV_SAMPLE_FMT_S16, 48000, 0, nullptr),
            0);
  LogCapture log;
  const Call failed(r.get(), in.data(), 3);
  EXPECT_FALSE(failed.ok);
  EXPECT_TRUE(failed.bytes == -77 && failed.planes[0] == sentinel());
  EXPECT_EQ(log.lines(),
            std::vector<LogLine>{error("swr_convert failed: " + std::to_string(AVERROR(EINVAL)))});
  EXPECT_EQ(r->output_planes[0], block);
  EXPECT_EQ(r->output_capacity, 941);

  swr_free(&r->context);
  r->context = engine;
  EXPECT_TRUE(Call(r.get(), in.data(), 1024 * 4).ok);
}

// A refused growth consumes no input: a repeated call carries on the stream
// exactly as if the refusal had not happened.
TEST(ResamplerResample, FailedGrowthKeepsThePreviousBlock) {
  Resampler r = make_resampler(kStereo44k, kStereo48k);
  DirectEngine engine({AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, 44100},
                      {AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, 48000}, 4096);
  ASSERT_TRUE(engine.ok());
  const std::vector<uint8_t> in = noise(1024 * 4);
  const uint8_t* data[1] = {in.data()};
  ASSERT_TRUE(Call(r.get(), in.data(), 256 * 4).ok);
  engine.convert(data, 256);
  uint8_t* const block = r->output_planes[0];
  const int32_t capacity = r->output_capacity;

  amix_fault_fail_at(1);
  const Call failed(r.get(), in.data(), 1024 * 4);
  EXPECT_EQ(amix_fault_sites_reached(), 1);
  amix_fault_fail_at(0);
  EXPECT_FALSE(failed.ok);
  EXPECT_TRUE(failed.bytes == -77 && failed.planes[0] == sentinel());
  EXPECT_EQ(r->output_planes[0], block);
  EXPECT_EQ(r->output_capacity, capacity);

  const Call retried(r.get(), in.data(), 1024 * 4);
  const int frames = engine.convert(data, 1024);
  ASSERT_EQ(retried.bytes, frames * 4);
  EXPECT_EQ(std::memcmp(retried.planes[0], engine.plane(0), size_t(retried.bytes)), 0);
}

}  // namespace
