// Volume scaling and the adaptive-gain mixer over the vector kernels.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "common/alloc.h"
#include "mix/kernels.h"
#include "mix/mixer_impl.h"
#include "mix/sample_step.h"
#include "tavrin_amix/audio_mixer.h"

namespace amix {
namespace {

// The factor an integer kernel gets (finite, same samples); float kernels
// take the factor as it is.
template <typename T>
float kernel_factor(float volume) {
  return std::is_same_v<T, float> ? volume : finite_factor(volume);
}

template <typename T>
void scale_block(T* samples, int32_t count, float volume) {
  if (is_unity(volume) || count <= 0) return;
  kernels::scale(samples, static_cast<size_t>(count), kernel_factor<T>(volume));
}

// Whether two runs of `bytes` bytes share memory.
bool overlap(const void* a, const void* b, size_t bytes) {
  const uintptr_t pa = reinterpret_cast<uintptr_t>(a);
  const uintptr_t pb = reinterpret_cast<uintptr_t>(b);
  return pa < pb + bytes && pb < pa + bytes;
}

// Copies like a forward element loop: the same result as the reference
// even when `out` overlaps the track without being equal to it.
template <typename T>
void copy_forward(const T* src, size_t n, T* out) {
  const uintptr_t s = reinterpret_cast<uintptr_t>(src);
  const uintptr_t o = reinterpret_cast<uintptr_t>(out);
  if (s == o) return;
  if (o > s && o < s + n * sizeof(T)) {
    for (size_t j = 0; j < n; ++j) out[j] = src[j];
  } else {
    std::memmove(out, src, n * sizeof(T));
  }
}

// A float track's copy is made finite and clamped on the way.
void copy_forward(const float* src, size_t n, float* out) {
  if (src != out && overlap(src, out, n * sizeof(float))) {
    for (size_t j = 0; j < n; ++j) out[j] = unit_sample(src[j]);
  } else {
    kernels::copy_unit(src, n, out);
  }
}

// Whether any two present tracks share memory.  Only then must every track
// be scaled completely before the sums are formed; otherwise scaling and
// summing can share one pass.
template <typename T>
bool tracks_overlap(T* const* tracks, int32_t track_count, size_t n) {
  for (int32_t a = 0; a < track_count; ++a) {
    if (tracks[a] == nullptr) continue;
    for (int32_t b = a + 1; b < track_count; ++b) {
      if (tracks[b] != nullptr && overlap(tracks[a], tracks[b], n * sizeof(T))) return true;
    }
  }
  return false;
}

// Whether `out` shares memory with a present track.  Only then must the
// output wait until the last sum is formed; otherwise the last group's pass
// writes it on the way, at the gain that the previous call left.
template <typename T>
bool output_overlaps(const T* out, T* const* tracks, int32_t track_count, size_t n) {
  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] != nullptr && overlap(out, tracks[t], n * sizeof(T))) return true;
  }
  return false;
}

// Past this many tracks the pairwise overlap test costs more than the
// second pass it could save.
constexpr int32_t kMaxFusedTracks = 64;

// The volumes of a plain call: one factor per track for the whole block.
// Entry: what the kernels' fused pass scales a track by.
struct Factors {
  using Entry = float;
  const float* volumes;

  template <typename T>
  void scale(T* track, size_t n, int32_t t) const {
    if (!is_unity(volumes[t])) kernels::scale(track, n, kernel_factor<T>(volumes[t]));
  }
  template <typename T>
  void entry(int32_t t, Entry& e) const {
    e = is_unity(volumes[t]) ? 1.0f : kernel_factor<T>(volumes[t]);
  }
  void unscaled(Entry& e) const { e = 1.0f; }
  template <typename T, typename S>
  auto accumulate(T* const* group, const Entry* factors, size_t count, size_t n, S* sums,
                  bool init, bool last, T* out, float gain) const {
    return kernels::accumulate(group, factors, count, n, sums, init, last, out, gain);
  }
};

// The volumes of a ramped call: a ramp per track over frames x channels.
struct Ramps {
  using Entry = kernels::Ramp;
  const float* from;
  const float* to;
  int32_t frames, channels;

  template <typename T>
  void scale(T* track, size_t n, int32_t t) const {
    if (from[t] == to[t]) return Factors{from}.scale(track, n, t);
    Entry ramp;
    entry<T>(t, ramp);
    kernels::scale_ramp(track, size_t(frames), size_t(channels), ramp);
  }
  template <typename T>
  void entry(int32_t t, Entry& e) const {
    kernels::plan_ramp(from[t], to[t], frames, channels, e);
  }
  void unscaled(Entry& e) const { kernels::plan_ramp(1.0f, 1.0f, frames, channels, e); }
  template <typename T, typename S>
  auto accumulate(T* const* group, const Entry* ramps, size_t count, size_t, S* sums,
                  bool init, bool last, T* out, float gain) const {
    return kernels::accumulate_ramp(group, ramps, count, size_t(frames), size_t(channels), sums,
                                    init, last, out, gain);
  }
};

// Scales every present track and sums them per sample into `sums` (32 bits
// for 8- and 16-bit samples, 64 for 32-bit ones, double for floats), in
// groups of at most kMaxGroup tracks; returns the peak.  When `out` is not
// NULL, the last group also writes the output at `gain` (kernels.h).
template <typename T, typename S, class Volumes>
auto scale_and_sum(T* const* tracks, const Volumes& volumes, int32_t track_count, size_t n,
                   S* sums, T* out, float gain) {
  const bool fused = track_count <= kMaxFusedTracks && !tracks_overlap(tracks, track_count, n);
  int32_t present = 0;
  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] == nullptr) continue;
    ++present;
    if (!fused) volumes.scale(tracks[t], n, t);
  }
  T* group[kernels::kMaxGroup];
  typename Volumes::Entry entries[kernels::kMaxGroup];
  decltype(volumes.accumulate(group, entries, 0, n, sums, true, true, out, gain)) peak = 0;
  size_t filled = 0;
  bool init = true;
  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] == nullptr) continue;
    group[filled] = tracks[t];
    if (fused) {
      volumes.template entry<T>(t, entries[filled]);
    } else {
      volumes.unscaled(entries[filled]);
    }
    const bool last = --present == 0;
    if (++filled == kernels::kMaxGroup || last) {
      peak = volumes.accumulate(group, entries, filled, n, sums, init, last, out, gain);
      filled = 0;
      init = false;
    }
  }
  return peak;
}

// Whether the vector output paths are exact for sums up to `peak`: they
// convert through double, exactly only below its limits.
template <typename T, typename P>
bool vector_output_exact(P peak) {
  if constexpr (std::is_same_v<T, float>) {
    return peak < kernels::kRoundsToInfinity;
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return peak < kernels::kExactInDouble;
  } else {
    return true;
  }
}

template <typename T, typename S, typename P>
void write_output(const S* sums, size_t n, float gain, P peak, T* out) {
  if (vector_output_exact<T>(peak)) return kernels::output(sums, n, gain, out);
  for (size_t j = 0; j < n; ++j) out[j] = output_sample<T>(sums[j], gain);
}

// A mix whose arguments passed the checks: `count` samples per track.
template <typename T, class Volumes>
bool mix_checked(audio_mixer* m, T* const* tracks, const Volumes& volumes, int32_t count,
                 int32_t track_count, T* out) {
  const size_t n = static_cast<size_t>(count);
  if (track_count == 1) {
    volumes.scale(tracks[0], n, 0);
    copy_forward(tracks[0], n, out);
    m->gain = 1.0f;
    m->last_gain = 1.0f;
    return true;
  }
  if (count > m->capacity / 2) return false;

  // The scratch block holds capacity * 4 bytes: room for `count` 8-byte sums,
  // so certainly for `count` 32-bit ones.
  auto* sums = reinterpret_cast<typename sample_limits<T>::sum_type*>(m->sums);
  // Unless `out` overlaps a track, the last summing pass writes the output
  // at the gain the previous call left; it is written again only when the
  // gain test changes the gain (the attack) or the sums pass the limits of
  // the vector output.  Most blocks are not limited: one pass fewer.
  T* early_out = output_overlaps(out, tracks, track_count, n) ? nullptr : out;
  const auto peak = scale_and_sum(tracks, volumes, track_count, n, sums, early_out, m->gain);
  const float gain = gain_after_test<T>(m->gain, peak);
  if (early_out == nullptr || gain != m->gain || !vector_output_exact<T>(peak)) {
    write_output(sums, n, gain, peak, out);
  }
  m->last_gain = gain;
  m->gain = gain_after_release(gain);
  return true;
}

template <typename T>
bool mix(audio_mixer* m, T* const* tracks, const float* volumes, int32_t count,
         int32_t track_count, T* out) {
  if (m == nullptr || tracks == nullptr || volumes == nullptr || count <= 0 ||
      track_count <= 0 || out == nullptr || tracks[0] == nullptr) {
    return false;
  }
  return mix_checked(m, tracks, Factors{volumes}, count, track_count, out);
}

// A ramped mix: the plain mix's checks plus the block's shape and finite
// ramps; a call whose every present track is flat is the plain mix at the
// `from` volumes.
template <typename T>
bool mix_ramp(audio_mixer* m, T* const* tracks, const float* from, const float* to,
              int32_t frames, int32_t channels, int32_t track_count, T* out) {
  if (m == nullptr || tracks == nullptr || from == nullptr || to == nullptr ||
      !ramp_block_ok(frames, channels) || track_count <= 0 || out == nullptr ||
      tracks[0] == nullptr) {
    return false;
  }
  bool flat = true;
  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] == nullptr) continue;
    if (!ramp_is_finite(from[t], to[t])) return false;
    flat = flat && from[t] == to[t];
  }
  const int32_t count = frames * channels;
  if (flat) return mix_checked(m, tracks, Factors{from}, count, track_count, out);
  return mix_checked(m, tracks, Ramps{from, to, frames, channels}, count, track_count, out);
}

template <typename T>
void scale_ramp_block(T* samples, int32_t frames, int32_t channels, float from, float to) {
  if (samples == nullptr || !ramp_block_ok(frames, channels) || !ramp_is_finite(from, to)) return;
  const Ramps ramp{&from, &to, frames, channels};
  ramp.scale(samples, size_t(frames) * size_t(channels), 0);
}

}  // namespace

namespace kernels {

// The unity run is found by bisection: the volumes are monotonic, so with
// a rising ramp "v >= kUnityLow" and "v > kUnityHigh" each turn true once
// (a falling one mirrors them), and the run lies between those two frames.
void plan_ramp(float from, float to, int32_t frames, int32_t channels, Ramp& out) {
  const volume_ramp ramp = make_ramp(from, to, frames);
  const size_t c = static_cast<size_t>(channels);
  out.volume = ramp;
  out.last = ramp.at(frames - 1);
  out.unity_begin = out.unity_end = 0;
  if ((from < kUnityLow && out.last < kUnityLow) || (from > kUnityHigh && out.last > kUnityHigh)) {
    return;  // every volume on one side of the window
  }
  const auto first = [&](auto reached) {
    int32_t lo = 0, hi = frames;
    while (lo < hi) {
      const int32_t mid = lo + (hi - lo) / 2;
      if (reached(ramp.at(mid))) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    return lo;
  };
  const bool falling = ramp.step < 0.0f;
  const int32_t begin = first([&](float v) { return falling ? v <= kUnityHigh : v >= kUnityLow; });
  const int32_t end = first([&](float v) { return falling ? v < kUnityLow : v > kUnityHigh; });
  if (end > begin) {  // (a ramp may also step over the window between two frames)
    out.unity_begin = size_t(begin) * c;
    out.unity_end = size_t(end) * c;
  }
}

}  // namespace kernels
}  // namespace amix

extern "C" {

void audio_scale_uint8(uint8_t* samples, int32_t count, float volume) {
  amix::scale_block(samples, count, volume);
}
void audio_scale_int16(int16_t* samples, int32_t count, float volume) {
  amix::scale_block(samples, count, volume);
}
void audio_scale_int32(int32_t* samples, int32_t count, float volume) {
  amix::scale_block(samples, count, volume);
}
void audio_scale_float(float* samples, int32_t count, float volume) {
  amix::scale_block(samples, count, volume);
}

audio_mixer* audio_mixer_create(int32_t capacity) {
  if (capacity < 0) return nullptr;
  if (capacity == 0) capacity = amix::kDefaultMixerCapacity;
  if (static_cast<uint64_t>(capacity) * 4 > SIZE_MAX) return nullptr;
  auto* m = static_cast<audio_mixer*>(amix::mem_calloc(1, sizeof(audio_mixer)));
  if (m == nullptr) return nullptr;
  m->sums = static_cast<int64_t*>(amix::mem_malloc(static_cast<size_t>(capacity) * 4));
  if (m->sums == nullptr) {
    amix::mem_free(m);
    return nullptr;
  }
  m->gain = 1.0f;
  m->last_gain = 1.0f;
  m->capacity = capacity;
  return m;
}

void audio_mixer_destroy(audio_mixer* mixer) {
  if (mixer == nullptr) return;
  amix::mem_free(mixer->sums);
  amix::mem_free(mixer);
}

bool audio_mixer_mix_uint8(audio_mixer* mixer, uint8_t* const* tracks, const float* volumes,
                           int32_t count, int32_t track_count, uint8_t* out) {
  return amix::mix(mixer, tracks, volumes, count, track_count, out);
}
bool audio_mixer_mix_int16(audio_mixer* mixer, int16_t* const* tracks, const float* volumes,
                           int32_t count, int32_t track_count, int16_t* out) {
  return amix::mix(mixer, tracks, volumes, count, track_count, out);
}
bool audio_mixer_mix_int32(audio_mixer* mixer, int32_t* const* tracks, const float* volumes,
                           int32_t count, int32_t track_count, int32_t* out) {
  return amix::mix(mixer, tracks, volumes, count, track_count, out);
}
bool audio_mixer_mix_float(audio_mixer* mixer, float* const* tracks, const float* volumes,
                           int32_t count, int32_t track_count, float* out) {
  return amix::mix(mixer, tracks, volumes, count, track_count, out);
}

void audio_scale_uint8_ramp(uint8_t* samples, int32_t frames, int32_t channels, float from,
                            float to) {
  amix::scale_ramp_block(samples, frames, channels, from, to);
}
void audio_scale_int16_ramp(int16_t* samples, int32_t frames, int32_t channels, float from,
                            float to) {
  amix::scale_ramp_block(samples, frames, channels, from, to);
}
void audio_scale_int32_ramp(int32_t* samples, int32_t frames, int32_t channels, float from,
                            float to) {
  amix::scale_ramp_block(samples, frames, channels, from, to);
}
void audio_scale_float_ramp(float* samples, int32_t frames, int32_t channels, float from,
                            float to) {
  amix::scale_ramp_block(samples, frames, channels, from, to);
}

bool audio_mixer_mix_uint8_ramp(audio_mixer* mixer, uint8_t* const* tracks,
                                const float* volumes_from, const float* volumes_to,
                                int32_t frames, int32_t channels, int32_t track_count,
                                uint8_t* out) {
  return amix::mix_ramp(mixer, tracks, volumes_from, volumes_to, frames, channels, track_count,
                        out);
}
bool audio_mixer_mix_int16_ramp(audio_mixer* mixer, int16_t* const* tracks,
                                const float* volumes_from, const float* volumes_to,
                                int32_t frames, int32_t channels, int32_t track_count,
                                int16_t* out) {
  return amix::mix_ramp(mixer, tracks, volumes_from, volumes_to, frames, channels, track_count,
                        out);
}
bool audio_mixer_mix_int32_ramp(audio_mixer* mixer, int32_t* const* tracks,
                                const float* volumes_from, const float* volumes_to,
                                int32_t frames, int32_t channels, int32_t track_count,
                                int32_t* out) {
  return amix::mix_ramp(mixer, tracks, volumes_from, volumes_to, frames, channels, track_count,
                        out);
}
bool audio_mixer_mix_float_ramp(audio_mixer* mixer, float* const* tracks,
                                const float* volumes_from, const float* volumes_to,
                                int32_t frames, int32_t channels, int32_t track_count,
                                float* out) {
  return amix::mix_ramp(mixer, tracks, volumes_from, volumes_to, frames, channels, track_count,
                        out);
}

float audio_mixer_last_gain(const audio_mixer* mixer) {
  return mixer == nullptr ? -1.0f : mixer->last_gain;
}

}  // extern "C"
