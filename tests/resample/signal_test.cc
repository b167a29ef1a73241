#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "common/alloc.h"
#include "tests/resample/direct_engine.h"
#include "tests/resample/resample_test_util.h"

namespace {

using namespace amix_test;

struct Side {
  audio_desc desc;
  EngineSide engine;  // the same stream in the engine's terms
  int channels() const { return __builtin_popcountll(engine.mask); }
  int sample_bytes() const { return av_get_bytes_per_sample(engine.format); }
  bool planar() const { return av_sample_fmt_is_planar(engine.format) != 0; }
};

Side side(uint32_t rate, int32_t format, int32_t speakers, uint64_t mask, AVSampleFormat engine) {
  return {{rate, format, speakers}, {mask, engine, int(rate)}};
}

const Side kS16Stereo48k =
    side(48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16);

// The source planes of `frames` frames laid out in `block`.
std::vector<const uint8_t*> planes_of(const Side& s, const std::vector<uint8_t>& block,
                                      int frames) {
  std::vector<const uint8_t*> planes(RESAMPLER_MAX_PLANES, nullptr);
  const int count = s.planar() ? s.channels() : 1;
  for (int i = 0; i < count; ++i) planes[i] = block.data() + size_t(i) * frames * s.sample_bytes();
  return planes;
}

// Feeds the same blocks to the library and to the engine driven directly;
// every call must give the same bytes on every plane.
void expect_same_as_engine(const Side& dst, const Side& src) {
  Resampler r = make_resampler(dst.desc, src.desc);
  ASSERT_NE(r, nullptr);
  DirectEngine engine(dst.engine, src.engine, 16384);
  ASSERT_TRUE(engine.ok());
  const int src_frame = src.channels() * src.sample_bytes();
  const int dst_sample = dst.sample_bytes() * (dst.planar() ? 1 : dst.channels());
  const int out_planes = dst.planar() ? dst.channels() : 1;
  std::mt19937 rng(7);
  for (int frames : {1024, 17, 4096, 1, 0, 333, 2000, 4096, 5}) {
    // The most stray bytes past the frames: dropped, not carried over.
    const std::vector<uint8_t> block = noise(size_t(frames + 1) * src_frame - 1, rng());
    std::vector<const uint8_t*> in = planes_of(src, block, frames);
    uint8_t* out[RESAMPLER_MAX_PLANES] = {};
    int32_t bytes = -1;
    ASSERT_TRUE(audio_resampler_resample(r.get(), out, &bytes, in.data(), uint32_t(block.size())));
    const int converted = engine.convert(in.data(), frames);
    ASSERT_EQ(bytes, converted * dst_sample * out_planes) << frames;
    for (int p = 0; p < out_planes; ++p) {
      ASSERT_EQ(std::memcmp(out[p], engine.plane(p), size_t(converted) * dst_sample), 0) << p;
    }
  }
}

TEST(ResamplerSignal, SameBytesAsTheEngine) {
  // Destination, source: every format and layout code on one side or the other.
  const std::pair<Side, Side> cases[] = {
      {side(44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO, AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16),
       kS16Stereo48k},
      {side(48000, PCM_FORMAT_FLOAT, PCM_SPEAKERS_QUAD, AV_CH_LAYOUT_QUAD, AV_SAMPLE_FMT_FLT),
       side(22050, PCM_FORMAT_U8_PLANAR, PCM_SPEAKERS_MONO, AV_CH_LAYOUT_MONO, AV_SAMPLE_FMT_U8P)},
      {side(32000, PCM_FORMAT_S32_PLANAR, PCM_SPEAKERS_SURROUND, AV_CH_LAYOUT_SURROUND,
            AV_SAMPLE_FMT_S32P),
       side(96000, PCM_FORMAT_S32, PCM_SPEAKERS_5_1, AV_CH_LAYOUT_5POINT1, AV_SAMPLE_FMT_S32)},
      {side(8000, PCM_FORMAT_U8, PCM_SPEAKERS_7_1_WIDE_BACK, AV_CH_LAYOUT_7POINT1_WIDE_BACK,
            AV_SAMPLE_FMT_U8),
       side(16000, PCM_FORMAT_S16_PLANAR, PCM_SPEAKERS_2_1, AV_CH_LAYOUT_2_1, AV_SAMPLE_FMT_S16P)},
      {side(44100, PCM_FORMAT_FLOAT_PLANAR, PCM_SPEAKERS_7_1, AV_CH_LAYOUT_7POINT1,
            AV_SAMPLE_FMT_FLTP),
       side(44100, PCM_FORMAT_S16, PCM_SPEAKERS_4_1, AV_CH_LAYOUT_4POINT1, AV_SAMPLE_FMT_S16)},
      {side(48000, PCM_FORMAT_S16, PCM_SPEAKERS_5_1_BACK, AV_CH_LAYOUT_5POINT1_BACK,
            AV_SAMPLE_FMT_S16),
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

// Least-squares fit of a sine of `freq` Hz to `x` sampled at `rate` Hz, past
// the filter's start-up.
Tone fit_tone(const std::vector<double>& x, double rate, double freq) {
  const double w = 2 * M_PI * freq / rate;
  double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
  const size_t start = 256;
  for (size_t n = start; n < x.size(); ++n) {
    const double s = std::sin(w * n), c = std::cos(w * n);
    ss += s * s, sc += s * c, cc += c * c, xs += x[n] * s, xc += x[n] * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
  double signal = 0, residual = 0;
  for (size_t n = start; n < x.size(); ++n) {
    const double fit = a * std::sin(w * n) + b * std::cos(w * n);
    signal += fit * fit;
    residual += (x[n] - fit) * (x[n] - fit);
  }
  return {std::hypot(a, b), 10 * std::log10(signal / residual)};
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
// ratio, and once the largest block has been seen nothing is allocated.
TEST(ResamplerSignal, LongStreamKeepsTheRatioAndStopsAllocating) {
  for (const auto& [in_rate, out_rate] : {std::pair{48000u, 44100u}, std::pair{44100u, 48000u}}) {
    Resampler r = make_resampler({out_rate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO},
                                 {in_rate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO});
    const std::vector<uint8_t> block = noise(4096 * 4 + 3);
    std::mt19937 rng(3);
    int64_t in_total = 0, out_total = 0;
    long sites = 0;
    amix_fault_fail_at(0);  // counts from here
    for (int i = 0; in_total < 3 * int64_t(in_rate); ++i) {
      const int frames = i < 2 || i % 16 == 0 ? 4096 : 1 + int(rng() % 4096);
      const Call call(r.get(), block.data(), uint32_t(frames * 4) + rng() % 4);
      ASSERT_TRUE(call.ok);
      in_total += frames;
      out_total += call.bytes / 4;
      if (i < 2)
        sites = amix_fault_sites_reached();
      else
        EXPECT_EQ(amix_fault_sites_reached(), sites) << "call " << i << " " << frames;
    }
    const int64_t held = swr_get_delay(r->context, out_rate);
    EXPECT_NEAR(double(out_total + held), double(in_total) * out_rate / in_rate, 2.0);
    EXPECT_LT(held, 64);
  }
}

}  // namespace
