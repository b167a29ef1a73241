// Mixing benchmarks: the library ("lib") beside the plain scalar reference
// ("scalar", compiled without auto-vectorisation), beside a fused
// single-pass floor ("floor": every track sample read and written back once,
// summed in the mix's sum width, the output written once: the least memory
// traffic the job allows), and beside its own ramped mix ("ramp": every
// track fading from the volume to half of it across stereo frames).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "bench/floor.h"
#include "mix/mixer_impl.h"
#include "mix/reference.h"
#include "tavrin_amix/audio_mixer.h"

namespace {

template <typename T>
struct TrackSet {
  std::vector<std::vector<T>> pristine, live;
  std::vector<T*> ptrs;
  std::vector<float> volumes, fade_to;
  std::vector<T> out;

  TrackSet(int tracks, int n, float volume)
      : volumes(size_t(tracks), volume), fade_to(size_t(tracks), volume * 0.5f), out(size_t(n)) {
    std::mt19937 rng(42);
    for (int t = 0; t < tracks; ++t) {
      std::vector<T> v(static_cast<size_t>(n));
      // Moderate levels: loud enough that 30 tracks trip the limiter.
      for (auto& s : v) {
        const int64_t level = int64_t(rng() % 4000) - (sizeof(T) == 1 ? 0 : 2000);
        s = std::is_same_v<T, float> ? T(float(level) / 16384.0f) : T(level);
      }
      pristine.push_back(v);
    }
    restore();
  }
  void restore() {
    live = pristine;
    ptrs.clear();
    for (auto& v : live) ptrs.push_back(v.data());
  }
};

bool lib_mix(audio_mixer* m, TrackSet<uint8_t>& s, int n, int k) {
  return audio_mixer_mix_uint8(m, s.ptrs.data(), s.volumes.data(), n, k, s.out.data());
}
bool lib_mix(audio_mixer* m, TrackSet<int16_t>& s, int n, int k) {
  return audio_mixer_mix_int16(m, s.ptrs.data(), s.volumes.data(), n, k, s.out.data());
}
bool lib_mix(audio_mixer* m, TrackSet<int32_t>& s, int n, int k) {
  return audio_mixer_mix_int32(m, s.ptrs.data(), s.volumes.data(), n, k, s.out.data());
}
bool lib_mix(audio_mixer* m, TrackSet<float>& s, int n, int k) {
  return audio_mixer_mix_float(m, s.ptrs.data(), s.volumes.data(), n, k, s.out.data());
}
// The ramped mix of stereo frames: n / 2 frames of 2 samples.
constexpr int kRampChannels = 2;
bool lib_mix_ramp(audio_mixer* m, TrackSet<uint8_t>& s, int n, int k) {
  return audio_mixer_mix_uint8_ramp(m, s.ptrs.data(), s.volumes.data(), s.fade_to.data(),
                                    n / kRampChannels, kRampChannels, k, s.out.data());
}
bool lib_mix_ramp(audio_mixer* m, TrackSet<int16_t>& s, int n, int k) {
  return audio_mixer_mix_int16_ramp(m, s.ptrs.data(), s.volumes.data(), s.fade_to.data(),
                                    n / kRampChannels, kRampChannels, k, s.out.data());
}
bool lib_mix_ramp(audio_mixer* m, TrackSet<int32_t>& s, int n, int k) {
  return audio_mixer_mix_int32_ramp(m, s.ptrs.data(), s.volumes.data(), s.fade_to.data(),
                                    n / kRampChannels, kRampChannels, k, s.out.data());
}
bool lib_mix_ramp(audio_mixer* m, TrackSet<float>& s, int n, int k) {
  return audio_mixer_mix_float_ramp(m, s.ptrs.data(), s.volumes.data(), s.fade_to.data(),
                                    n / kRampChannels, kRampChannels, k, s.out.data());
}
template <typename T>
bool ref_mix_ramp(audio_mixer* m, TrackSet<T>& s, int n, int k) {
  return amix::ref::mix_ramp(m, s.ptrs.data(), s.volumes.data(), s.fade_to.data(),
                             n / kRampChannels, kRampChannels, k, s.out.data());
}
void lib_scale(int16_t* s, int n, float v) { audio_scale_int16(s, n, v); }
void lib_scale(float* s, int n, float v) { audio_scale_float(s, n, v); }

// Bit for bit (floats too).
template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

enum class Variant { lib, scalar, floor, ramp };

// Both mix paths, plain and ramped, must agree before anything is timed.
template <typename T>
bool self_check(int tracks, int n, float volume, bool ramped) {
  TrackSet<T> a(tracks, n, volume), b(tracks, n, volume);
  audio_mixer* ma = audio_mixer_create(2 * n);
  audio_mixer* mb = audio_mixer_create(2 * n);
  bool same = true;
  for (int i = 0; i < 3 && same; ++i) {
    if (ramped) {
      lib_mix_ramp(ma, a, n, tracks);
      ref_mix_ramp(mb, b, n, tracks);
    } else {
      lib_mix(ma, a, n, tracks);
      amix::ref::mix(mb, b.ptrs.data(), b.volumes.data(), n, tracks, b.out.data());
    }
    same = same_bits(a.out, b.out) && ma->gain == mb->gain;
    for (size_t t = 0; t < a.live.size(); ++t) same = same && same_bits(a.live[t], b.live[t]);
  }
  audio_mixer_destroy(ma);
  audio_mixer_destroy(mb);
  return same;
}

// Times `call` after an untimed `restore`: scaling works in place, so every
// iteration starts from the same tracks.  The time is taken by hand with the
// monotonic clock (benchmarks registered with UseManualTime): pausing the
// library's own timer reads the thread's CPU clock, a system call that cost
// about 0.9 us an iteration here, the same for every variant, which would
// pull every ratio toward 1.
template <typename Restore, typename Call>
void timed_calls(benchmark::State& state, Restore restore, Call call) {
  for (auto _ : state) {
    restore();
    const auto start = std::chrono::steady_clock::now();
    call();
    benchmark::ClobberMemory();
    const auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
}

template <typename T>
void BM_Mix(benchmark::State& state, Variant variant, int tracks, int n, float volume) {
  if (!self_check<T>(tracks, n, volume, variant == Variant::ramp)) {
    state.SkipWithError("library and reference disagree");
    return;
  }
  TrackSet<T> set(tracks, n, volume);
  audio_mixer* m = audio_mixer_create(2 * n);
  timed_calls(state, [&] { set.restore(); }, [&] {
    switch (variant) {
      case Variant::lib: lib_mix(m, set, n, tracks); break;
      case Variant::ramp: lib_mix_ramp(m, set, n, tracks); break;
      case Variant::scalar:
        amix::ref::mix(m, set.ptrs.data(), set.volumes.data(), n, tracks, set.out.data());
        break;
      case Variant::floor:
        if constexpr (!std::is_same_v<T, uint8_t>) {
          amix_bench::floor_mix(set.ptrs.data(), tracks, n, set.out.data());
        }
        break;
    }
    benchmark::DoNotOptimize(set.out.data());
  });
  state.SetItemsProcessed(state.iterations() * int64_t(tracks) * n);
  audio_mixer_destroy(m);
}

template <typename T>
void BM_Scale(benchmark::State& state, Variant variant, int n, float volume) {
  TrackSet<T> set(1, n, volume);
  timed_calls(state, [&] { set.restore(); }, [&] {
    if (variant == Variant::lib) {
      lib_scale(set.ptrs[0], n, volume);
    } else {
      amix::ref::scale(set.ptrs[0], n, volume);
    }
  });
  state.SetItemsProcessed(state.iterations() * n);
}

template <typename T>
void register_mix(const char* type, int tracks, int n, float volume, bool with_floor) {
  char name[96];
  std::snprintf(name, sizeof name, "mix_%s/t%d/n%d/v%.1f", type, tracks, n, volume);
  const std::string base = name;
  benchmark::RegisterBenchmark((base + "/lib").c_str(), BM_Mix<T>, Variant::lib, tracks, n, volume)
      ->UseManualTime();
  benchmark::RegisterBenchmark((base + "/scalar").c_str(), BM_Mix<T>, Variant::scalar, tracks, n,
                               volume)
      ->UseManualTime();
  if (with_floor) {
    benchmark::RegisterBenchmark((base + "/floor").c_str(), BM_Mix<T>, Variant::floor, tracks, n,
                                 volume)
        ->UseManualTime();
  }
  if (volume != 1.0f) {
    benchmark::RegisterBenchmark((base + "/ramp").c_str(), BM_Mix<T>, Variant::ramp, tracks, n,
                                 volume)
        ->UseManualTime();
  }
}

template <typename T>
void register_scale(const char* type, int n, float volume) {
  char name[64];
  std::snprintf(name, sizeof name, "scale_%s/n%d/v%.1f", type, n, volume);
  const std::string base = name;
  benchmark::RegisterBenchmark((base + "/lib").c_str(), BM_Scale<T>, Variant::lib, n, volume)
      ->UseManualTime();
  benchmark::RegisterBenchmark((base + "/scalar").c_str(), BM_Scale<T>, Variant::scalar, n, volume)
      ->UseManualTime();
}

const bool registered = [] {
  for (int tracks : {2, 8, 30})
    for (int n : {1024, 4096})
      for (float volume : {0.8f, 1.0f}) register_mix<int16_t>("int16", tracks, n, volume, true);
  for (int tracks : {8, 30})
    for (int n : {1024, 4096}) register_mix<float>("float", tracks, n, 0.8f, true);
  for (int n : {1024, 4096}) {
    register_mix<uint8_t>("uint8", 8, n, 0.8f, false);
    register_mix<int32_t>("int32", 8, n, 0.8f, true);
  }
  for (int n : {1024, 4096}) {
    register_scale<int16_t>("int16", n, 0.8f);
    register_scale<float>("float", n, 0.8f);
  }
  return true;
}();

}  // namespace
