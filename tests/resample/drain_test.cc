// The end-of-stream drain: the frames the engine holds back come out after
// the last call's output.  (That the next stream starts clean is checked
// through the blocking resampler, its one user.)

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/alloc.h"
#include "resample/audio_format.h"
#include "tests/resample/direct_engine.h"
#include "tests/resample/resample_test_util.h"
#include "tests/support/log_capture.h"

namespace {

using namespace amix_test;

const audio_desc kStereo44k = {44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
const audio_desc kStereo48k = {48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
const audio_desc kMono8k = {8000, PCM_FORMAT_S16, PCM_SPEAKERS_MONO};

std::vector<uint8_t> bytes_of(const uint8_t* p, int32_t n) { return {p, p + n}; }

// One drain call, as the callers make it: the slots start NULL.
struct Drain {
  bool ok = false;
  int32_t bytes = -77;
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  Drain(audio_resampler* r, int32_t kept) { ok = amix::resampler_drain(r, kept, planes, &bytes); }
  std::vector<uint8_t> out() const { return bytes_of(planes[0], bytes); }
  std::vector<uint8_t> head(int32_t n) const { return bytes_of(planes[0], n); }
};

// The stream of `frames` frames fed in `block`-frame calls, the last call's
// output kept and the drained frames after it: the bytes the engine gives
// for the same input and a flush, and (after the warm-up of the engine's
// filter) as many frames as the rate ratio says.
TEST(ResamplerDrain, DeliversWhatTheEngineHeldAfterTheLastOutput) {
  struct Case {
    audio_desc dst, src;
    EngineSide engine_dst, engine_src;
  };
  const Case cases[] = {
      {kStereo48k, kStereo44k, {AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, 48000},
       {AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, 44100}},
      {kStereo44k, kStereo48k, {AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, 44100},
       {AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, 48000}},
      {kStereo48k, kMono8k, {AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, 48000},
       {AV_CH_LAYOUT_MONO, AV_SAMPLE_FMT_S16, 8000}},
  };
  for (const Case& c : cases) {
    const uint32_t in_frame = amix::audio_desc_frame_bytes(c.src);
    for (int block : {64, 441, 1024}) {
      SCOPED_TRACE(std::to_string(c.src.samples_per_sec) + " -> " +
                   std::to_string(c.dst.samples_per_sec) + ", block " + std::to_string(block));
      Resampler r = make_resampler(c.dst, c.src);
      DirectEngine engine(c.engine_dst, c.engine_src, 1 << 16);
      ASSERT_TRUE(r && engine.ok());
      const std::vector<uint8_t> in = noise(size_t(block) * in_frame, uint32_t(block));
      const uint8_t* data[1] = {in.data()};
      const int blocks = 30;
      int64_t frames = 0;
      int32_t last = 0;
      for (int k = 0; k < blocks; ++k) {
        const Call call(r.get(), in.data(), uint32_t(in.size()));
        ASSERT_TRUE(call.ok);
        ASSERT_EQ(call.bytes, engine.convert(data, block) * 4);
        frames += call.bytes / 4;
        last = call.bytes;
      }
      const std::vector<uint8_t> kept = bytes_of(r->output_planes[0], last);
      const int capacity = r->output_capacity;
      const Drain drain(r.get(), last);
      ASSERT_TRUE(drain.ok);
      EXPECT_GT(r->output_capacity, capacity);  // the engine's bound exceeds the room left
      EXPECT_EQ(drain.planes[0], r->output_planes[0]);
      const int flushed = engine.convert(nullptr, 0);
      ASSERT_GT(flushed, 0);
      ASSERT_EQ(drain.bytes, last + flushed * 4);
      EXPECT_EQ(drain.head(last), kept);
      EXPECT_EQ(std::memcmp(drain.planes[0] + last, engine.plane(0), size_t(flushed) * 4), 0);

      frames += flushed;
      const double expected = double(blocks) * block * c.dst.samples_per_sec / c.src.samples_per_sec;
      EXPECT_LE(std::fabs(double(frames) - expected), 1.0) << frames << " frames";
    }
  }
}

// Equal rates and layouts: the engine holds nothing; the kept bytes come back
// as they were and neither the block nor the engine changes.
TEST(ResamplerDrain, EqualRatesHoldNothing) {
  Resampler r = make_resampler(kStereo44k, kStereo44k);
  const std::vector<uint8_t> in = noise(1000 * 4);
  const Call call(r.get(), in.data(), uint32_t(in.size()));
  ASSERT_EQ(call.bytes, 4000);
  const Drain drain(r.get(), call.bytes);
  ASSERT_TRUE(drain.ok);
  EXPECT_EQ(drain.planes[0], call.planes[0]);
  EXPECT_EQ(drain.out(), in);
  EXPECT_EQ(r->output_capacity, 1000);
  // Nothing fed at all: no block, nothing to hand back.
  Resampler idle = make_resampler(kStereo44k, kStereo44k);
  const Drain none(idle.get(), 0);
  EXPECT_TRUE(none.ok);
  EXPECT_EQ(none.bytes, 0);
  EXPECT_EQ(none.planes[0], nullptr);
}

TEST(ResamplerDrain, RefusalsChangeNothing) {
  LogCapture log;
  Resampler r = make_resampler(kStereo48k, kStereo44k);
  const std::vector<uint8_t> in = noise(1024 * 4);
  const Call call(r.get(), in.data(), uint32_t(in.size()));
  uint8_t* out[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = -77;
  EXPECT_FALSE(amix::resampler_drain(nullptr, 0, out, &bytes));
  EXPECT_FALSE(amix::resampler_drain(r.get(), 0, nullptr, &bytes));
  EXPECT_FALSE(amix::resampler_drain(r.get(), 0, out, nullptr));
  EXPECT_FALSE(amix::resampler_drain(r.get(), -4, out, &bytes));
  EXPECT_FALSE(amix::resampler_drain(r.get(), (r->output_capacity + 1) * 4, out, &bytes));
  EXPECT_EQ(bytes, -77);

  // A block that cannot grow: nothing changes, and a retry drains as usual.
  const std::vector<uint8_t> kept = bytes_of(call.planes[0], call.bytes);
  amix_fault_fail_at(1);
  EXPECT_FALSE(Drain(r.get(), call.bytes).ok);
  EXPECT_EQ(amix_fault_sites_reached(), 1);
  amix_fault_fail_at(0);
  EXPECT_EQ(r->output_planes[0], call.planes[0]);
  const Drain retried(r.get(), call.bytes);
  ASSERT_TRUE(retried.ok);
  EXPECT_GT(retried.bytes, call.bytes);
  EXPECT_EQ(retried.head(call.bytes), kept);
  EXPECT_TRUE(log.lines().empty());
}

// A restart that fails (an allocation in the engine) still hands back the
// drained frames; the closed engine then refuses every later call.
TEST(ResamplerDrain, FailedRestartClosesTheEngine) {
  Resampler r = make_resampler(kStereo48k, kStereo44k);
  const std::vector<uint8_t> in = noise(1024 * 4);
  const Call call(r.get(), in.data(), uint32_t(in.size()));
  amix_fault_fail_at(2);  // the growth, then the restart
  const Drain drain(r.get(), call.bytes);
  EXPECT_EQ(amix_fault_sites_reached(), 2);
  amix_fault_fail_at(0);
  EXPECT_TRUE(drain.ok);
  EXPECT_GT(drain.bytes, call.bytes);

  LogCapture log;
  EXPECT_FALSE(Drain(r.get(), 0).ok);
  EXPECT_FALSE(Call(r.get(), in.data(), uint32_t(in.size())).ok);
  EXPECT_EQ(log.lines(),
            std::vector<LogLine>{error("swr_convert failed: " + std::to_string(AVERROR(EINVAL)))});
}

}  // namespace
