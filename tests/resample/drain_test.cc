// The end of a stream: its exact length, its bytes against the engine driven
// directly, the clean start of the next stream, and the drain's failures.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/alloc.h"
#include "common/engine_seam.h"
#include "tests/resample/direct_engine.h"
#include "tests/resample/resample_test_util.h"
#include "tests/support/log_capture.h"

namespace {

using namespace amix_test;

Side s16(uint32_t rate, int32_t speakers, uint64_t mask) {
  return side(rate, PCM_FORMAT_S16, speakers, mask, AV_SAMPLE_FMT_S16);
}

// Everything a stream handed back, plane by plane.
struct Output {
  std::vector<std::vector<uint8_t>> planes;
  int64_t frames = 0;
  bool drain_grew_block = false;
  explicit Output(const Side& dst) : planes(size_t(dst.planes())), frame_bytes_(dst.frame_bytes()) {}
  void add(const uint8_t* const* got, int32_t bytes) {
    ASSERT_EQ(bytes % frame_bytes_, 0);
    for (auto& plane : planes) {
      const uint8_t* p = got[&plane - planes.data()];
      plane.insert(plane.end(), p, p + bytes / int32_t(planes.size()));
    }
    frames += bytes / frame_bytes_;
  }
  // The first `n` frames of each plane.
  std::vector<std::vector<uint8_t>> head(int64_t n) const {
    std::vector<std::vector<uint8_t>> h;
    for (const auto& plane : planes) {
      const size_t bytes = size_t(n) * size_t(frame_bytes_) / planes.size();
      h.emplace_back(plane.begin(), plane.begin() + std::min(bytes, plane.size()));
    }
    return h;
  }

 private:
  int frame_bytes_;
};

// One drain call, as the callers make it: the slots start as sentinels.
struct Drain {
  bool ok = false;
  int32_t bytes = -77;
  uint8_t* planes[RESAMPLER_MAX_PLANES];
  explicit Drain(audio_resampler* r) {
    for (auto& p : planes) p = sentinel();
    ok = audio_resampler_drain(r, planes, &bytes);
  }
};

// Feeds the first `frames` frames of the interleaved `in` to `r` in blocks
// of 1 to `max_block` frames, each with a stray partial frame, then drains.
Output run_stream(audio_resampler* r, const Side& dst, const std::vector<uint8_t>& in,
                  int64_t frames, std::mt19937& rng, int max_block) {
  Output out(dst);
  const uint32_t frame = r->input_frame_bytes;
  for (int64_t at = 0; at < frames;) {
    const int64_t n = std::min<int64_t>(frames - at, 1 + rng() % uint32_t(max_block));
    const uint32_t stray = frame > 1 ? rng() % frame : 0;
    const Call call(r, in.data() + at * frame, uint32_t(n) * frame + stray);
    EXPECT_TRUE(call.ok);
    out.add(call.planes, call.bytes);
    at += n;
  }
  const int32_t capacity = r->output_capacity;
  const Drain drain(r);
  EXPECT_TRUE(drain.ok);
  out.drain_grew_block = r->output_capacity != capacity;
  if (dst.planes() < RESAMPLER_MAX_PLANES) {
    EXPECT_EQ(drain.planes[dst.planes()], sentinel());
  }
  out.add(drain.planes, drain.bytes);
  return out;
}

// The engine driven directly on the same input followed by silence, until
// it has given at least `want` frames.
Output engine_with_silence(const Side& dst, const Side& src, const std::vector<uint8_t>& in,
                           int64_t frames, int64_t want) {
  DirectEngine engine(dst.engine, src.engine, 1 << 16);
  EXPECT_TRUE(engine.ok());
  Output out(dst);
  const std::vector<uint8_t> silence(size_t(4096) * src.frame_bytes(), 0);
  for (int64_t at = 0; at < frames || out.frames < want;) {
    const bool audio = at < frames;
    const int n = audio ? int(std::min<int64_t>(frames - at, 4096)) : 4096;
    const uint8_t* input[1] = {audio ? in.data() + at * src.frame_bytes() : silence.data()};
    const int got = engine.convert(input, n);
    const uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
    for (int p = 0; p < dst.planes(); ++p) planes[p] = engine.plane(p);
    out.add(planes, got * dst.frame_bytes());
    at += n;
  }
  return out;
}

const std::pair<uint32_t, uint32_t> kRatePairs[] = {
    {44100, 48000}, {48000, 44100}, {32000, 32000}, {8000, 48000}, {48000, 8000}, {22050, 48000}};

// Every stream length from 0 to 3000 frames, in blocks of random sizes, for
// rates up, down, equal, 1:6 and 6:1, into every destination format: the
// frames handed back add up to the exact length.  So do long streams, one
// after another through the same resampler.  The tail always fits the block
// that the stream's own calls made, so no drain allocates it.
TEST(ResamplerDrain, EveryLengthUpTo3000FramesAndLongStreamsAreExact) {
  const std::vector<uint8_t> in = noise(size_t(48000) * 2 * 11);
  for (const auto& [src_rate, dst_rate] : kRatePairs) {
    SCOPED_TRACE(std::to_string(src_rate) + " -> " + std::to_string(dst_rate));
    const Side src = s16(src_rate, PCM_SPEAKERS_MONO, AV_CH_LAYOUT_MONO);
    std::vector<std::pair<Resampler, Side>> by_format;
    const std::pair<int32_t, AVSampleFormat> formats[] = {
        {PCM_FORMAT_U8, AV_SAMPLE_FMT_U8},           {PCM_FORMAT_S16, AV_SAMPLE_FMT_S16},
        {PCM_FORMAT_S32, AV_SAMPLE_FMT_S32},         {PCM_FORMAT_FLOAT, AV_SAMPLE_FMT_FLT},
        {PCM_FORMAT_U8_PLANAR, AV_SAMPLE_FMT_U8P},   {PCM_FORMAT_S16_PLANAR, AV_SAMPLE_FMT_S16P},
        {PCM_FORMAT_S32_PLANAR, AV_SAMPLE_FMT_S32P}, {PCM_FORMAT_FLOAT_PLANAR, AV_SAMPLE_FMT_FLTP}};
    for (const auto& [code, engine_format] : formats) {
      const Side dst = side(dst_rate, code, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO, engine_format);
      by_format.emplace_back(make_resampler(dst.desc, src.desc), dst);
    }
    std::mt19937 rng(src_rate + dst_rate);
    int grown = 0;
    for (int64_t n = 0; n <= 3000; ++n) {
      auto& [r, dst] = by_format[size_t(n) % by_format.size()];
      const Output out = run_stream(r.get(), dst, in, n, rng, n % 3 == 0 ? 16 : 1024);
      ASSERT_EQ(out.frames, exact_length(n, src_rate, dst_rate)) << n << " frames";
      grown += out.drain_grew_block;
    }
    auto& [r, dst] = by_format[1];  // 16-bit interleaved
    for (int64_t n : {int64_t(src_rate) * 10 + 7, int64_t(src_rate) * 3 + 1}) {
      const Output out = run_stream(r.get(), dst, in, n, rng, 8192);
      EXPECT_EQ(out.frames, exact_length(n, src_rate, dst_rate)) << n << " frames";
      grown += out.drain_grew_block;
    }
    EXPECT_EQ(grown, 0);
  }
}

// Every byte, the tail included, is what the engine makes of the same input
// followed by silence: planar and interleaved, 8-bit to float, layouts
// changing, equal rates.
TEST(ResamplerDrain, BytesAreTheEnginesForTheInputFollowedBySilence) {
  const std::pair<Side, Side> cases[] = {
      {side(48000, PCM_FORMAT_FLOAT_PLANAR, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO,
            AV_SAMPLE_FMT_FLTP),
       s16(44100, PCM_SPEAKERS_MONO, AV_CH_LAYOUT_MONO)},
      {side(8000, PCM_FORMAT_U8, PCM_SPEAKERS_MONO, AV_CH_LAYOUT_MONO, AV_SAMPLE_FMT_U8),
       s16(48000, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO)},
      {side(48000, PCM_FORMAT_S32, PCM_SPEAKERS_5_1, AV_CH_LAYOUT_5POINT1, AV_SAMPLE_FMT_S32),
       s16(8000, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO)},
      {side(44100, PCM_FORMAT_S16_PLANAR, PCM_SPEAKERS_QUAD, AV_CH_LAYOUT_QUAD, AV_SAMPLE_FMT_S16P),
       s16(44100, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO)},
      {s16(44100, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO),
       s16(48000, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO)},
  };
  for (const auto& [dst, src] : cases) {
    Resampler r = make_resampler(dst.desc, src.desc);
    ASSERT_NE(r, nullptr);
    std::mt19937 rng(5);
    for (int64_t n : {0, 1, 10, 700, 5000}) {
      SCOPED_TRACE(testing::Message() << src.desc.samples_per_sec << " -> "
                                      << dst.desc.samples_per_sec << " format "
                                      << dst.desc.format << ", " << n << " frames");
      const std::vector<uint8_t> in = noise(size_t(n + 1) * src.frame_bytes(), uint32_t(n));
      const Output out = run_stream(r.get(), dst, in, n, rng, 997);
      const Output engine = engine_with_silence(dst, src, in, n, out.frames);
      EXPECT_EQ(out.head(out.frames), engine.head(out.frames));
    }
  }
}

// After a drain the resampler is as new: a drain right after gives nothing,
// and the next stream comes out byte for byte as from a fresh resampler.
TEST(ResamplerDrain, TheNextStreamIsAFreshResamplers) {
  for (const auto& [src_rate, dst_rate] : kRatePairs) {
    SCOPED_TRACE(std::to_string(src_rate) + " -> " + std::to_string(dst_rate));
    const Side src = s16(src_rate, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO);
    const Side dst = side(dst_rate, PCM_FORMAT_S16_PLANAR, PCM_SPEAKERS_MONO, AV_CH_LAYOUT_MONO,
                          AV_SAMPLE_FMT_S16P);
    const std::vector<uint8_t> first = noise(3001 * 4, 1), second = noise(2345 * 4, 2);
    Resampler used = make_resampler(dst.desc, src.desc), fresh = make_resampler(dst.desc, src.desc);
    std::mt19937 rng(1);
    run_stream(used.get(), dst, first, 3001, rng, 500);
    const Drain again(used.get());
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.bytes, 0);
    std::mt19937 blocks(9), same_blocks(9);
    EXPECT_EQ(run_stream(used.get(), dst, second, 2345, blocks, 300).planes,
              run_stream(fresh.get(), dst, second, 2345, same_blocks, 300).planes);
  }
  // A drain on a new resampler: nothing owed, no block yet.
  Resampler idle = make_resampler({48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO},
                                  {44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO});
  const Drain none(idle.get());
  EXPECT_TRUE(none.ok);
  EXPECT_EQ(none.bytes, 0);
  EXPECT_EQ(none.planes[0], nullptr);
  EXPECT_EQ(none.planes[1], sentinel());
}

const audio_desc kStereo44k = {44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
const audio_desc kStereo48k = {48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};

// A resampler of `quality` fed `frames` frames of noise in one call.
Resampler fed(int frames, int32_t quality = AUDIO_RESAMPLE_QUALITY_DEFAULT,
              const audio_desc& src = kStereo44k, const audio_desc& dst = kStereo48k) {
  Resampler r(audio_resampler_create_quality(&dst, &src, quality));
  const std::vector<uint8_t> in = noise(size_t(frames) * 4);
  EXPECT_TRUE(Call(r.get(), in.data(), uint32_t(in.size())).ok);
  return r;
}

template <typename Result>
std::vector<uint8_t> bytes_of(const Result& d) {
  return d.bytes > 0 ? std::vector<uint8_t>(d.planes[0], d.planes[0] + d.bytes) : std::vector<uint8_t>();
}

// Refusals that change nothing: the stream goes on, and a repeated drain
// gives what the first would have given.
TEST(ResamplerDrainFailure, RefusalsLeaveTheStreamGoingOn) {
  LogCapture log;
  Resampler r = fed(1024), twin = fed(1024);
  uint8_t* out[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = -77;
  EXPECT_FALSE(audio_resampler_drain(nullptr, out, &bytes));
  EXPECT_FALSE(audio_resampler_drain(r.get(), nullptr, &bytes));
  EXPECT_FALSE(audio_resampler_drain(r.get(), out, nullptr));
  EXPECT_EQ(bytes, -77);

  // A block that must grow and cannot (the tail normally fits the block the
  // calls made; here the block is taken away, as before any call).
  av_freep(&r->output_planes[0]);
  r->engine_planes[0] = nullptr;  // the same block
  r->output_capacity = 0;
  amix_fault_fail_at(1);
  const Drain refused(r.get());
  EXPECT_EQ(amix_fault_sites_reached(), 1);
  amix_fault_fail_at(0);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.bytes, -77);
  EXPECT_EQ(refused.planes[0], sentinel());
  const Drain retried(r.get()), expected(twin.get());
  ASSERT_TRUE(retried.ok && expected.ok);
  EXPECT_GT(retried.bytes, 0);
  EXPECT_EQ(bytes_of(retried), bytes_of(expected));
  EXPECT_TRUE(log.lines().empty());
}

// A drain may fail at any step: a growth of the block, the allocation the
// engine makes for each silence, each engine call.  The stream is not
// ended (the drain returns false, with the line for an engine error): input
// is refused while silence may be in the engine, and the next drain hands
// back the whole rest, the frames taken before the failure included, byte
// for byte as a drain that never failed; the next stream is a fresh
// resampler's.  soxr takes several rounds of silence for short streams, and
// now and then gives a round only part of the tail (8000 -> 44100 Hz at
// HIGH, 700 frames), so failures also come after some of it was taken.
TEST(ResamplerDrainFailure, AFailedDrainLosesNothing) {
  struct Case {
    int32_t quality;
    bool fallback;
    int frames;
    audio_desc src = kStereo44k, dst = kStereo48k;
  };
  const Case cases[] = {{AUDIO_RESAMPLE_QUALITY_DEFAULT, false, 1024},
                        {AUDIO_RESAMPLE_QUALITY_HIGH, false, 700, {8000, PCM_FORMAT_S16, 2}, kStereo44k},
                        {AUDIO_RESAMPLE_QUALITY_BEST, false, 5},
                        {AUDIO_RESAMPLE_QUALITY_BEST, true, 700}};
  const std::vector<uint8_t> next = noise(500 * 4, 3);
  bool failed_after_taking = false;
  for (const Case& c : cases) {
    const SoxrRefused engine(c.fallback);
    for (const bool engine_calls : {false, true}) {
      for (long step = 1;; ++step) {
        SCOPED_TRACE(testing::Message() << "quality " << c.quality << (c.fallback ? " fallback" : "")
                                        << (engine_calls ? ", engine call " : ", allocation ")
                                        << step);
        Resampler r = fed(c.frames, c.quality, c.src, c.dst),
                  twin = fed(c.frames, c.quality, c.src, c.dst);
        const Drain expected(twin.get());
        ASSERT_TRUE(expected.ok);
        LogCapture log;
        engine_calls ? amix_fault_engine_fail_at(step) : amix_fault_fail_at(step);
        const Drain first(r.get());
        const long reached =
            engine_calls ? amix_fault_engine_calls_reached() : amix_fault_sites_reached();
        amix_fault_engine_fail_at(0);
        amix_fault_fail_at(0);
        if (first.ok) {  // past the tail: only the engine's restart failed, or nothing did
          EXPECT_EQ(bytes_of(first), bytes_of(expected));
          if (reached < step) break;
          continue;
        }
        EXPECT_LE(log.lines().size(), 1u);
        failed_after_taking |= r->tail_frames > 0;
        if (r->ending) {
          EXPECT_FALSE(Call(r.get(), next.data(), 2000).ok);
        }
        const Drain second(r.get());
        ASSERT_TRUE(second.ok);
        EXPECT_EQ(bytes_of(second), bytes_of(expected));
        Resampler fresh = fed(0, c.quality, c.src, c.dst);
        EXPECT_EQ(bytes_of(Call(r.get(), next.data(), 2000)), bytes_of(Call(fresh.get(), next.data(), 2000)));
        EXPECT_EQ(bytes_of(Drain(r.get())), bytes_of(Drain(fresh.get())));
      }
    }
  }
  EXPECT_TRUE(failed_after_taking);
}

// An engine that cannot start again (it allocates as it starts) does not
// cost the tail; the next call starts it first, fails changing nothing
// while it cannot, and then carries on as a fresh resampler.
TEST(ResamplerDrainFailure, AFailedRestartIsRetriedByTheNextCall) {
  Resampler r = fed(1024), twin = fed(1024), fresh = make_resampler(kStereo48k, kStereo44k);
  amix_fault_fail_at(2);  // the silence, then the restart
  const Drain drain(r.get());
  EXPECT_EQ(amix_fault_sites_reached(), 2);
  amix_fault_fail_at(0);
  ASSERT_TRUE(drain.ok);
  EXPECT_EQ(bytes_of(drain), bytes_of(Drain(twin.get())));

  LogCapture log;
  const std::vector<uint8_t> in = noise(700 * 4, 4);
  amix_fault_fail_at(1);
  const Call refused(r.get(), in.data(), uint32_t(in.size()));
  amix_fault_fail_at(0);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.bytes, -77);
  amix_fault_fail_at(1);
  EXPECT_FALSE(Drain(r.get()).ok);
  amix_fault_fail_at(0);
  EXPECT_TRUE(log.lines().empty());
  const Call call(r.get(), in.data(), uint32_t(in.size()));
  const Call expected(fresh.get(), in.data(), uint32_t(in.size()));
  ASSERT_TRUE(call.ok);
  EXPECT_EQ(bytes_of(call), bytes_of(expected));
  EXPECT_EQ(bytes_of(Drain(r.get())), bytes_of(Drain(fresh.get())));
}

}  // namespace
