// Resampling benchmarks: audio_resampler_resample ("lib") beside the same
// conversion through swr_convert called directly ("engine"), one 1024-frame
// block per iteration of a continuing stream.  The "stream8" cases end a
// stream of 8 blocks per iteration: audio_resampler_drain (the exact length)
// beside the engine's own flush and restart; the lib runs fail when a drain
// replaces the output block.  On a shared machine, compare medians:
//   --benchmark_repetitions=12 --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "resample/resampler_impl.h"
#include "tavrin_amix/audio_resampler.h"
#include "tests/resample/direct_engine.h"

namespace {

using amix_test::DirectEngine;
using amix_test::EngineSide;

constexpr int kBlock = 1024;
constexpr int kBlocks = 64;  // the input cycles through this many blocks
constexpr int kRoom = 4 * kBlock;

// Interleaved s16 to interleaved s16 stereo.
struct Case {
  const char* name;
  uint32_t src_rate, dst_rate;
  int channels;  // of the source: 1 or 2
  audio_desc src() const {
    return {src_rate, PCM_FORMAT_S16, channels == 1 ? PCM_SPEAKERS_MONO : PCM_SPEAKERS_STEREO};
  }
  audio_desc dst() const { return {dst_rate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO}; }
  EngineSide engine_src() const {
    return {channels == 1 ? AV_CH_LAYOUT_MONO : AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16,
            int(src_rate)};
  }
  EngineSide engine_dst() const { return {AV_CH_LAYOUT_STEREO, AV_SAMPLE_FMT_S16, int(dst_rate)}; }
};

audio_resampler* make_resampler(const Case& c) {
  const audio_desc dst = c.dst(), src = c.src();
  return audio_resampler_create(&dst, &src);
}

// A two-tone signal, so the filter works on something like music.
std::vector<int16_t> source(const Case& c) {
  std::vector<int16_t> v(size_t(kBlocks) * kBlock * c.channels);
  for (size_t i = 0; i < v.size(); ++i) {
    const double t = double(i / c.channels) / c.src_rate;
    v[i] = int16_t(9000 * std::sin(2 * M_PI * 440 * t) + 6000 * std::sin(2 * M_PI * 3150 * t));
  }
  return v;
}

const uint8_t* block_at(const std::vector<int16_t>& in, const Case& c, int64_t i) {
  return reinterpret_cast<const uint8_t*>(in.data() + (i % kBlocks) * kBlock * c.channels);
}

// Both paths must give the same bytes before anything is timed.
bool self_check(const Case& c, const std::vector<int16_t>& in) {
  audio_resampler* r = make_resampler(c);
  DirectEngine engine(c.engine_dst(), c.engine_src(), kRoom);
  bool same = r != nullptr && engine.ok();
  const int out_frame = 4;  // s16 stereo
  for (int64_t i = 0; i < 2 * kBlocks && same; ++i) {
    const uint8_t* data[1] = {block_at(in, c, i)};
    uint8_t* out[RESAMPLER_MAX_PLANES] = {};
    int32_t bytes = 0;
    same = audio_resampler_resample(r, out, &bytes, data, uint32_t(kBlock * c.channels * 2));
    const int frames = engine.convert(data, kBlock);
    same = same && bytes == frames * out_frame &&
           std::memcmp(out[0], engine.plane(0), size_t(bytes)) == 0;
  }
  audio_resampler_destroy(r);
  return same;
}

void BM_Lib(benchmark::State& state, const Case& c) {
  const std::vector<int16_t> in = source(c);
  if (!self_check(c, in)) {
    state.SkipWithError("library and engine disagree");
    return;
  }
  audio_resampler* r = make_resampler(c);
  uint8_t* out[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = 0;
  int64_t i = 0;
  for (auto _ : state) {
    const uint8_t* data[1] = {block_at(in, c, i++)};
    if (!audio_resampler_resample(r, out, &bytes, data, uint32_t(kBlock * c.channels * 2))) {
      state.SkipWithError("resample failed");
      break;
    }
    benchmark::DoNotOptimize(out[0]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  audio_resampler_destroy(r);
}

constexpr int kStreamBlocks = 8;

void BM_LibStream(benchmark::State& state, const Case& c) {
  const std::vector<int16_t> in = source(c);
  audio_resampler* r = make_resampler(c);
  uint8_t* out[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = 0;
  int64_t i = 0;
  const uint8_t* block = nullptr;
  for (auto _ : state) {
    for (int k = 0; k < kStreamBlocks; ++k) {
      const uint8_t* data[1] = {block_at(in, c, i++)};
      audio_resampler_resample(r, out, &bytes, data, uint32_t(kBlock * c.channels * 2));
    }
    if (!audio_resampler_drain(r, out, &bytes)) {
      state.SkipWithError("drain failed");
      break;
    }
    if (block != nullptr && r->output_planes[0] != block) {
      state.SkipWithError("a drain replaced the output block");
      break;
    }
    block = r->output_planes[0];
    benchmark::DoNotOptimize(out[0]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kStreamBlocks * kBlock);
  audio_resampler_destroy(r);
}

// The engine driven directly, `blocks` blocks per iteration; with `end`,
// each iteration ends its stream with the engine's flush and a restart.
void run_engine(benchmark::State& state, const Case& c, int blocks, bool end) {
  const std::vector<int16_t> in = source(c);
  DirectEngine engine(c.engine_dst(), c.engine_src(), kRoom);
  int64_t i = 0;
  for (auto _ : state) {
    for (int k = 0; k < blocks; ++k) {
      const uint8_t* data[1] = {block_at(in, c, i++)};
      benchmark::DoNotOptimize(engine.convert(data, kBlock));
    }
    if (end) {
      benchmark::DoNotOptimize(engine.convert(nullptr, 0));
      engine.restart();
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * blocks * kBlock);
}

void BM_Engine(benchmark::State& state, const Case& c) { run_engine(state, c, 1, false); }
void BM_EngineStream(benchmark::State& state, const Case& c) {
  run_engine(state, c, kStreamBlocks, true);
}

const Case kCases[] = {
    {"s16_stereo_44100_to_48000", 44100, 48000, 2},
    {"s16_stereo_48000_to_44100", 48000, 44100, 2},
    {"s16_mono_44100_to_stereo_48000", 44100, 48000, 1},
};

const bool registered = [] {
  for (const Case& c : kCases) {
    const std::string base = std::string(c.name) + "/b" + std::to_string(kBlock);
    benchmark::RegisterBenchmark((base + "/lib").c_str(), BM_Lib, c);
    benchmark::RegisterBenchmark((base + "/engine").c_str(), BM_Engine, c);
    const std::string stream = std::string(c.name) + "/stream" + std::to_string(kStreamBlocks);
    benchmark::RegisterBenchmark((stream + "/lib").c_str(), BM_LibStream, c);
    benchmark::RegisterBenchmark((stream + "/engine").c_str(), BM_EngineStream, c);
  }
  return true;
}();

}  // namespace
