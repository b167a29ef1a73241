#include "mix/reference.h"

#include <type_traits>

#include "mix/sample_step.h"

namespace amix::ref {
namespace {

template <typename T>
void scale_loop(T* samples, int32_t count, float volume) {
  if (is_unity(volume)) return;
  for (int32_t i = 0; i < count; ++i) {
    samples[i] = scale_sample(samples[i], volume);
  }
}

// The single-track copy: integers as they are, floats made finite and
// clamped.
template <typename T>
T copied(T sample) {
  if constexpr (std::is_same_v<T, float>) {
    return unit_sample(sample);
  } else {
    return sample;
  }
}

// Sample j of every present track, added in list order from 0 in the
// variant's sum width.
template <typename T>
typename sample_limits<T>::sum_type sum_at(T* const* tracks, int32_t track_count, int32_t j) {
  using sum_type = typename sample_limits<T>::sum_type;
  sum_type sum = 0;
  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] != nullptr) sum = add_to_sum(sum, static_cast<sum_type>(tracks[t][j]));
  }
  return sum;
}

// Scales every sample of each frame of a ramped block by that frame's
// volume, skipping frames whose volume is unity.  REQUIRES: a valid block.
template <typename T>
void scale_ramp_loop(T* samples, int32_t frames, int32_t channels, float from, float to) {
  const volume_ramp ramp = make_ramp(from, to, frames);
  for (int32_t j = 0; j < frames; ++j) {
    const float v = ramp.at(j);
    if (is_unity(v)) continue;
    for (int32_t c = 0; c < channels; ++c) {
      T& s = samples[j * channels + c];
      s = scale_sample(s, v);
    }
  }
}

// The mix after the argument checks: `scale(t)` scales track t in place.
template <typename T, typename Scale>
bool mix_checked(audio_mixer* m, T* const* tracks, int32_t count, int32_t track_count, T* out,
                 const Scale& scale) {
  using sum_type = typename sample_limits<T>::sum_type;
  if (track_count == 1) {
    scale(0);
    for (int32_t j = 0; j < count; ++j) out[j] = copied(tracks[0][j]);
    m->gain = 1.0f;
    m->last_gain = 1.0f;
    return true;
  }
  if (count > m->capacity / 2) return false;

  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] != nullptr) scale(t);
  }
  // The scratch block is 8 bytes per sum, for 64-bit and double sums alike.
  auto* sums = reinterpret_cast<sum_type*>(m->sums);
  using peak_type = std::conditional_t<std::is_same_v<T, float>, double, int64_t>;
  peak_type peak = 0;
  for (int32_t j = 0; j < count; ++j) {
    sums[j] = sum_at(tracks, track_count, j);
    const peak_type size = sum_magnitude(static_cast<peak_type>(sums[j]));
    if (size > peak) peak = size;
  }
  m->gain = gain_after_test<T>(m->gain, peak);
  m->last_gain = m->gain;
  for (int32_t j = 0; j < count; ++j) out[j] = output_sample<T>(sums[j], m->gain);
  m->gain = gain_after_release(m->gain);
  return true;
}

template <typename T>
bool mix_loop(audio_mixer* m, T* const* tracks, const float* volumes,
              int32_t count, int32_t track_count, T* out) {
  if (m == nullptr || tracks == nullptr || volumes == nullptr || count <= 0 ||
      track_count <= 0 || out == nullptr || tracks[0] == nullptr) {
    return false;
  }
  return mix_checked(m, tracks, count, track_count, out,
                     [&](int32_t t) { scale_loop(tracks[t], count, volumes[t]); });
}

template <typename T>
bool mix_ramp_loop(audio_mixer* m, T* const* tracks, const float* from, const float* to,
                   int32_t frames, int32_t channels, int32_t track_count, T* out) {
  if (m == nullptr || tracks == nullptr || from == nullptr || to == nullptr ||
      !ramp_block_ok(frames, channels) || track_count <= 0 || out == nullptr ||
      tracks[0] == nullptr) {
    return false;
  }
  for (int32_t t = 0; t < track_count; ++t) {
    if (tracks[t] != nullptr && !ramp_is_finite(from[t], to[t])) return false;
  }
  return mix_checked(m, tracks, frames * channels, track_count, out, [&](int32_t t) {
    scale_ramp_loop(tracks[t], frames, channels, from[t], to[t]);
  });
}

}  // namespace

void scale(uint8_t* s, int32_t n, float v) { scale_loop(s, n, v); }
void scale(int16_t* s, int32_t n, float v) { scale_loop(s, n, v); }
void scale(int32_t* s, int32_t n, float v) { scale_loop(s, n, v); }
void scale(float* s, int32_t n, float v) { scale_loop(s, n, v); }

bool mix(audio_mixer* m, uint8_t* const* t, const float* v, int32_t n,
         int32_t k, uint8_t* o) {
  return mix_loop(m, t, v, n, k, o);
}
bool mix(audio_mixer* m, int16_t* const* t, const float* v, int32_t n,
         int32_t k, int16_t* o) {
  return mix_loop(m, t, v, n, k, o);
}
bool mix(audio_mixer* m, int32_t* const* t, const float* v, int32_t n,
         int32_t k, int32_t* o) {
  return mix_loop(m, t, v, n, k, o);
}
bool mix(audio_mixer* m, float* const* t, const float* v, int32_t n,
         int32_t k, float* o) {
  return mix_loop(m, t, v, n, k, o);
}

// Ramps: the block must be valid and the ends finite, or nothing happens.
template <typename T>
void scale_ramp_checked(T* s, int32_t frames, int32_t channels, float from, float to) {
  if (s == nullptr || !ramp_block_ok(frames, channels) || !ramp_is_finite(from, to)) return;
  scale_ramp_loop(s, frames, channels, from, to);
}

void scale_ramp(uint8_t* s, int32_t f, int32_t c, float a, float b) { scale_ramp_checked(s, f, c, a, b); }
void scale_ramp(int16_t* s, int32_t f, int32_t c, float a, float b) { scale_ramp_checked(s, f, c, a, b); }
void scale_ramp(int32_t* s, int32_t f, int32_t c, float a, float b) { scale_ramp_checked(s, f, c, a, b); }
void scale_ramp(float* s, int32_t f, int32_t c, float a, float b) { scale_ramp_checked(s, f, c, a, b); }

bool mix_ramp(audio_mixer* m, uint8_t* const* t, const float* a, const float* b, int32_t f,
              int32_t c, int32_t k, uint8_t* o) {
  return mix_ramp_loop(m, t, a, b, f, c, k, o);
}
bool mix_ramp(audio_mixer* m, int16_t* const* t, const float* a, const float* b, int32_t f,
              int32_t c, int32_t k, int16_t* o) {
  return mix_ramp_loop(m, t, a, b, f, c, k, o);
}
bool mix_ramp(audio_mixer* m, int32_t* const* t, const float* a, const float* b, int32_t f,
              int32_t c, int32_t k, int32_t* o) {
  return mix_ramp_loop(m, t, a, b, f, c, k, o);
}
bool mix_ramp(audio_mixer* m, float* const* t, const float* a, const float* b, int32_t f,
              int32_t c, int32_t k, float* o) {
  return mix_ramp_loop(m, t, a, b, f, c, k, o);
}

}  // namespace amix::ref
