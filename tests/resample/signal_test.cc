#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "common/alloc.h"
#include "tests/resample/direct_engine.h"
#include "tests/resample/resample_test_util.h"

namespace {

using namespace amix_test;

const Side kS16Stereo48k =
    side(48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16);

// Feeds the same interleaved blocks to the library and to the engine driven
// directly; every call must give the same bytes on every plane, and hand
// back one pointer per plane, leaving the caller's other slots alone.
void expect_same_as_engine(const Side& dst, const Side& src) {
  Resampler r = make_resampler(dst.desc, src.desc);
  ASSERT_NE(r, nullptr);
  DirectEngine engine(dst.engine, src.engine, 16384);
  ASSERT_TRUE(engine.ok());
  const int src_frame = src.channels() * src.sample_bytes();
  const int out_planes = dst.planar() ? dst.channels() : 1;
  const int plane_frame = dst.sample_bytes() * dst.channels() / out_planes;
  std::mt19937 rng(7);
  for (int frames : {1024, 17, 4096, 1, 0, 333, 2000, 4096, 5}) {
    // The most stray bytes past the frames: dropped, not carried over.
    const std::vector<uint8_t> block = noise(size_t(frames + 1) * src_frame - 1, rng());
    const uint8_t* in[1] = {block.data()};
    const Call call(r.get(), block.data(), uint32_t(block.size()));
    ASSERT_TRUE(call.ok);
    if (out_planes < RESAMPLER_MAX_PLANES) {
      EXPECT_EQ(call.planes[out_planes], sentinel());
    }
    const int converted = engine.convert(in, frames);
    ASSERT_EQ(call.bytes, converted * plane_frame * out_planes) << frames;
    for (int p = 0; p < out_planes; ++p) {
      ASSERT_EQ(std::memcmp(call.planes[p], engine.plane(p), size_t(converted) * plane_frame), 0)
          << p;
    }
  }
}

TEST(ResamplerSignal, SameBytesAsTheEngine) {
  // Destination, source: every format and speakers code on one side or the other.
  const std::pair<Side, Side> cases[] = {
      {side(44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16),
       kS16Stereo48k},
      {side(48000, PCM_FORMAT_FLOAT, PCM_SPEAKERS_QUAD, AV_CH_LAYOUT_QUAD, AV_SAMPLE_FMT_FLT),
       side(22050, PCM_FORMAT_U8, PCM_SPEAKERS_MONO, AV_CH_LAYOUT_MONO, AV_SAMPLE_FMT_U8)},
      {side(32000, PCM_FORMAT_S32_PLANAR, PCM_SPEAKERS_SURROUND, AV_CH_LAYOUT_SURROUND,
            AV_SAMPLE_FMT_S32P),
       side(96000, PCM_FORMAT_S32, PCM_SPEAKERS_5_1, AV_CH_LAYOUT_5POINT1, AV_SAMPLE_FMT_S32)},
      {side(8000, PCM_FORMAT_U8_PLANAR, PCM_SPEAKERS_7_1_WIDE_BACK, AV_CH_LAYOUT_7POINT1_WIDE_BACK,
            AV_SAMPLE_FMT_U8P),
       side(16000, PCM_FORMAT_S16, PCM_SPEAKERS_2_1, AV_CH_LAYOUT_2_1, AV_SAMPLE_FMT_S16)},
      {side(44100, PCM_FORMAT_FLOAT_PLANAR, PCM_SPEAKERS_7_1, AV_CH_LAYOUT_7POINT1,
            AV_SAMPLE_FMT_FLTP),
       side(44100, PCM_FORMAT_S16, PCM_SPEAKERS_4_1, AV_CH_LAYOUT_4POINT1, AV_SAMPLE_FMT_S16)},
      {side(48000, PCM_FORMAT_S16_PLANAR, PCM_SPEAKERS_5_1_BACK, AV_CH_LAYOUT_5POINT1_BACK,
            AV_SAMPLE_FMT_S16P),
       kS16Stereo48k},
  };
  for (const auto& [dst, src] : cases) {
    SCOPED_TRACE(testing::Message() << "to " << dst.desc.format << "/" << dst.desc.speakers);
    expect_same_as_engine(dst, src);
  }
}

// Runs a whole stream through `r` in blocks of `block` frames; returns the
// output planes.  `planes` are the source planes of the whole stream.
std::vector<std::vector<uint8_t>> stream(audio_resampler* r, std::vector<const uint8_t*> planes,
                                         int plane_frame_bytes, int frames, int block) {
  std::vector<std::vector<uint8_t>> out(r->output_plane_count);
  for (int pos = 0; pos < frames; pos += block) {
    const int n = std::min(block, frames - pos);
    std::vector<const uint8_t*> in;
    for (const uint8_t* p : planes) in.push_back(p + size_t(pos) * plane_frame_bytes);
    uint8_t* got[RESAMPLER_MAX_PLANES] = {};
    int32_t bytes = 0;
    EXPECT_TRUE(
        audio_resampler_resample(r, got, &bytes, in.data(), uint32_t(n) * r->input_frame_bytes));
    for (size_t p = 0; p < out.size(); ++p) {
      out[p].insert(out[p].end(), got[p], got[p] + bytes / out.size());
    }
  }
  return out;
}

template <typename T>
std::vector<double> samples_of(const std::vector<uint8_t>& bytes, double scale) {
  std::vector<double> v(bytes.size() / sizeof(T));
  for (size_t i = 0; i < v.size(); ++i) {
    T s;
    std::memcpy(&s, bytes.data() + i * sizeof(T), sizeof(T));
    v[i] = s / scale;
  }
  return v;
}

struct Tone {
  double amplitude, snr_db;
};

// Amplitude and SNR of a `freq` Hz tone in `x`, sampled at `rate` Hz, over
// whole periods past the filter's start-up.
Tone fit_tone(const std::vector<double>& x, int rate, int freq) {
  const size_t period = size_t(rate / std::gcd(rate, freq)), start = 256;
  const size_t n = (x.size() - start) / period * period;
  const double w = 2 * M_PI * freq / rate;
  double a = 0, b = 0, residual = 0;
  for (size_t i = start; i < start + n; ++i)
    a += x[i] * std::sin(w * i), b += x[i] * std::cos(w * i);
  a *= 2.0 / n, b *= 2.0 / n;
  for (size_t i = start; i < start + n; ++i) {
    residual += std::pow(x[i] - a * std::sin(w * i) - b * std::cos(w * i), 2);
  }
  const double amplitude = std::hypot(a, b);
  return {amplitude, 10 * std::log10(amplitude * amplitude / 2 * n / residual)};
}

// A wrong rate, format or layout mapping shifts the tone or buries it in
// noise.  Mono spreads to both sides at -3 dB (the engine's centre level).
TEST(ResamplerSignal, ToneKeepsFrequencyAndLevel) {
  const int frames = 44100 * 3 / 2;
  std::vector<int16_t> mono(frames);
  for (int n = 0; n < frames; ++n)
    mono[n] = int16_t(std::lrint(16384 * std::sin(2 * M_PI * 1000 * n / 44100.0)));
  Resampler up = make_resampler({48000, PCM_FORMAT_FLOAT_PLANAR, PCM_SPEAKERS_STEREO},
                                {44100, PCM_FORMAT_S16, PCM_SPEAKERS_MONO});
  const auto wide =
      stream(up.get(), {reinterpret_cast<const uint8_t*>(mono.data())}, 2, frames, 1024);
  ASSERT_EQ(wide.size(), 2u);
  for (const auto& plane : wide) {
    const Tone tone = fit_tone(samples_of<float>(plane, 1.0), 48000, 1000);
    EXPECT_NEAR(tone.amplitude, 0.5 * M_SQRT1_2, 0.002);
    EXPECT_GT(tone.snr_db, 80);
  }
  Resampler down = make_resampler({44100, PCM_FORMAT_S16, PCM_SPEAKERS_MONO},
                                  {48000, PCM_FORMAT_FLOAT_PLANAR, PCM_SPEAKERS_STEREO});
  const int wide_frames = int(wide[0].size() / 4);
  const auto back = stream(down.get(), {wide[0].data(), wide[1].data()}, 4, wide_frames, 1000);
  const Tone tone = fit_tone(samples_of<int16_t>(back[0], 32768), 44100, 1000);
  EXPECT_NEAR(tone.amplitude, 0.5 * M_SQRT1_2, 0.002);  // equal sides fold at their level
  EXPECT_GT(tone.snr_db, 80);
}

// Over a long stream in blocks of varied sizes the output keeps the rate
// ratio, and once the largest block has been seen nothing is allocated, at
// every quality.  soxr gives nothing out until its filter is full (at
// 192000 -> 8000 Hz and BEST, 0.15 s of input), and the room a call needs
// grows meanwhile; what it holds drifts from call to call after that.
TEST(ResamplerSignal, LongStreamKeepsTheRatioAndStopsAllocating) {
  for (const auto& [in_rate, out_rate, quality] :
       {std::tuple{48000u, 44100u, 0}, {44100u, 48000u, 0}, {48000u, 44100u, 1},
        {44100u, 48000u, 2}, {8000u, 48000u, 1}, {192000u, 8000u, 2}}) {
    SCOPED_TRACE(testing::Message() << in_rate << " -> " << out_rate << ", quality " << quality);
    const audio_desc dst = {out_rate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
    const audio_desc src = {in_rate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
    Resampler r(audio_resampler_create_quality(&dst, &src, quality));
    const std::vector<uint8_t> block = noise(4096 * 4 + 3);
    std::mt19937 rng(3);
    int64_t in_total = 0, out_total = 0;
    long sites = 0;
    amix_fault_fail_at(0);  // counts from here
    for (int i = 0; in_total < 3 * int64_t(in_rate); ++i) {
      const bool filling = i < 2 || out_total == 0;
      const int frames = i < 2 || i % 16 == 0 ? 4096 : 1 + int(rng() % 4096);
      const Call call(r.get(), block.data(), uint32_t(frames * 4) + rng() % 4);
      ASSERT_TRUE(call.ok);
      in_total += frames;
      out_total += call.bytes / 4;
      if (filling)
        sites = amix_fault_sites_reached();
      else
        EXPECT_EQ(amix_fault_sites_reached(), sites) << "call " << i << " " << frames;
    }
    const int64_t held = swr_get_delay(r->context, out_rate);
    EXPECT_NEAR(double(out_total + held), double(in_total) * out_rate / in_rate, 2.0);
    if (quality == 0) {
      EXPECT_LT(held, 64);
    }
  }
}

}  // namespace
