// Resampling benchmarks: audio_resampler_resample ("lib") beside the same
// conversion through swr_convert called directly ("engine"), one 1024-frame
// block per iteration of a continuing stream.  The "stream8" cases end a
// stream of 8 blocks per iteration: audio_resampler_drain (the exact length)
// beside the engine's own flush and restart; the lib runs fail when a drain
// replaces the output block.
//
// The "quality" cases time the presets on the same blocks: "lib" is DEFAULT,
// "high" and "best" the presets (soxr through libswresample), "high_swr"
// and "best_swr" their fallback filter (libswresample's own, as where it has
// no soxr), "soxr20" and "soxr28" libsoxr called directly at the presets'
// precisions (16-bit in and out, undithered).  The "quality_stream8" cases
// end a stream of 8 blocks per iteration, so that they also carry soxr's
// set-up after each drain.  After the ratios the program measures each
// preset's sound and prints it beside these costs.
//
// On a shared machine, compare medians:
//   --benchmark_repetitions=12 --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#ifdef AMIX_BENCH_SOXR
#include <soxr.h>
#endif

#include "bench/bench_main.h"
#include "common/engine_seam.h"
#include "resample/resampler_impl.h"
#include "tavrin_amix/audio_resampler.h"
#include "tests/resample/direct_engine.h"
#include "tests/resample/quality_meter.h"

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

audio_resampler* make_resampler(const Case& c, int32_t quality = AUDIO_RESAMPLE_QUALITY_DEFAULT) {
  const audio_desc dst = c.dst(), src = c.src();
  return audio_resampler_create_quality(&dst, &src, quality);
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

// The presets, on soxr or on their fallback filter.
struct Preset {
  const char* variant;
  int32_t quality;
  bool fallback;
};
const Preset kPresets[] = {{"lib", AUDIO_RESAMPLE_QUALITY_DEFAULT, false},
                           {"high", AUDIO_RESAMPLE_QUALITY_HIGH, false},
                           {"best", AUDIO_RESAMPLE_QUALITY_BEST, false},
                           {"high_swr", AUDIO_RESAMPLE_QUALITY_HIGH, true},
                           {"best_swr", AUDIO_RESAMPLE_QUALITY_BEST, true}};

// A preset's resampler fed `blocks` blocks per iteration, each iteration
// ending its stream with a drain when `blocks` > 1.
void run_preset(benchmark::State& state, const Case& c, const Preset& p, int blocks) {
  const std::vector<int16_t> in = source(c);
  amix_fault_refuse_soxr(p.fallback);
  audio_resampler* r = make_resampler(c, p.quality);
  amix_fault_refuse_soxr(0);
  if (r == nullptr || std::strcmp(audio_resampler_engine_name(r),
                                  p.quality == 0 || p.fallback ? "swr" : "soxr") != 0) {
    state.SkipWithError("not the engine asked for");
    audio_resampler_destroy(r);
    return;
  }
  uint8_t* out[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = 0;
  int64_t i = 0;
  for (auto _ : state) {
    for (int k = 0; k < blocks; ++k) {
      const uint8_t* data[1] = {block_at(in, c, i++)};
      audio_resampler_resample(r, out, &bytes, data, uint32_t(kBlock * c.channels * 2));
    }
    if (blocks > 1 && !audio_resampler_drain(r, out, &bytes)) {
      state.SkipWithError("drain failed");
      break;
    }
    benchmark::DoNotOptimize(out[0]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * blocks * kBlock);
  audio_resampler_destroy(r);
}

#ifdef AMIX_BENCH_SOXR
// libsoxr called directly: 16-bit interleaved in and out, undithered, at
// the recipe and precision that libswresample gives it for a preset.
void run_soxr(benchmark::State& state, const Case& c, double precision, int blocks) {
  const std::vector<int16_t> in = source(c);
  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
  io.flags |= SOXR_NO_DITHER;
  soxr_quality_spec_t q = soxr_quality_spec(int((precision - 2) / 4), 0);
  q.precision = precision;
  soxr_error_t error = nullptr;
  soxr_t s = soxr_create(c.src_rate, c.dst_rate, unsigned(c.channels), &error, &io, &q, nullptr);
  if (s == nullptr) {
    state.SkipWithError(error);
    return;
  }
  std::vector<int16_t> out(size_t(kRoom) * c.channels);
  int64_t i = 0;
  for (auto _ : state) {
    for (int k = 0; k < blocks; ++k) {
      size_t done = 0, made = 0;
      soxr_process(s, block_at(in, c, i++), kBlock, &done, out.data(), kRoom, &made);
      benchmark::DoNotOptimize(made);
    }
    if (blocks > 1) {
      size_t made = 0;
      soxr_process(s, nullptr, 0, nullptr, out.data(), kRoom, &made);  // its own end
      soxr_clear(s);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * blocks * kBlock);
  soxr_delete(s);
}
#endif

// s16 stereo, as the blocking resampler and most callers convert.
const Case kQualityCases[] = {
    {"s16_stereo_44100_to_48000", 44100, 48000, 2},
    {"s16_stereo_48000_to_44100", 48000, 44100, 2},
    {"s16_stereo_44100_to_22050", 44100, 22050, 2},
    {"s16_stereo_8000_to_48000", 8000, 48000, 2},
};

const char* const kSoxrPeer[] = {nullptr, "soxr20", "soxr28"};

// The sound of each preset (from tests/resample/quality_meter.h, float and
// 16-bit mono) beside its cost in this run: time over DEFAULT's, and over
// libsoxr's at the same precision.
void print_quality(const BenchMedians& medians) {
  std::printf(
      "\nQuality presets: sound in dB, cost as time over DEFAULT's (1024-frame calls, and streams\n"
      "of 8 calls ended by a drain) and over libsoxr called directly at the same precision:\n");
  std::printf("  %-28s %-9s %9s %9s %8s %9s %8s %8s %8s\n", "conversion", "preset", "stopband",
              "passband", "THD+N", "THD+N s16", "/DEFAULT", "/soxr", "stream");
  for (const Case& c : kQualityCases) {
    const std::string block = std::string("quality_") + c.name + "/b" + std::to_string(kBlock);
    const std::string stream = std::string("quality_") + c.name + "/stream8";
    for (const Preset& p : kPresets) {
      amix_fault_refuse_soxr(p.fallback);
      const amix_test::Figures f = amix_test::measure({c.src_rate, c.dst_rate}, p.quality);
      amix_fault_refuse_soxr(0);
      auto ratio = [&medians](const std::string& name, const char* over, const char* variant) {
        const auto it = medians.find(name);
        if (it == medians.end() || !it->second.count(over) || !it->second.count(variant)) return 0.0;
        return it->second.at(variant) / it->second.at(over);
      };
      auto cost = [](double x) {
        char text[16] = "-";
        if (x > 0) std::snprintf(text, sizeof text, "%.2fx", x);
        return std::string(text);
      };
      const std::string peer = p.quality > 0 && !p.fallback
                                   ? cost(ratio(block, kSoxrPeer[p.quality], p.variant))
                                   : "";
      std::printf("  %-28s %-9s %9.1f %9.4f %8.1f %9.1f %8s %8s %8s\n", c.name, p.variant,
                  f.stopband, f.passband, f.thdn, f.thdn_s16,
                  cost(ratio(block, "lib", p.variant)).c_str(), peer.c_str(),
                  cost(ratio(stream, "lib", p.variant)).c_str());
    }
  }
}

}  // namespace

void amix_bench_summary(const BenchMedians& medians) { print_quality(medians); }

namespace {

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
  for (const Case& c : kQualityCases) {
    for (const int blocks : {1, kStreamBlocks}) {
      const std::string base = std::string("quality_") + c.name +
                               (blocks == 1 ? "/b" + std::to_string(kBlock) : "/stream8");
      for (const Preset& p : kPresets) {
        benchmark::RegisterBenchmark((base + "/" + p.variant).c_str(), run_preset, c, p, blocks);
      }
#ifdef AMIX_BENCH_SOXR
      benchmark::RegisterBenchmark((base + "/soxr20").c_str(), run_soxr, c, 20.0, blocks);
      benchmark::RegisterBenchmark((base + "/soxr28").c_str(), run_soxr, c, 28.0, blocks);
#endif
    }
  }
  return true;
}();

}  // namespace
