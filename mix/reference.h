// Plain scalar versions of every sample loop of the mixing family, written
// straight from the rules with no attempt at speed.  The vector kernels must
// give the same bits; the tests and benchmarks use these as the oracle.
// Compiled without auto-vectorisation, and only into the tests and the
// benchmarks: the shipped library does not carry it.
#pragma once

#include <cstdint>

#include "mix/mixer_impl.h"

namespace amix::ref {

void scale(uint8_t* samples, int32_t count, float volume);
void scale(int16_t* samples, int32_t count, float volume);
void scale(int32_t* samples, int32_t count, float volume);
void scale(float* samples, int32_t count, float volume);

// Same contract and results as audio_mixer_mix_* (including the refusals),
// on a mixer record the caller set up.
bool mix(audio_mixer* mixer, uint8_t* const* tracks, const float* volumes,
         int32_t count, int32_t track_count, uint8_t* out);
bool mix(audio_mixer* mixer, int16_t* const* tracks, const float* volumes,
         int32_t count, int32_t track_count, int16_t* out);
bool mix(audio_mixer* mixer, int32_t* const* tracks, const float* volumes,
         int32_t count, int32_t track_count, int32_t* out);
bool mix(audio_mixer* mixer, float* const* tracks, const float* volumes,
         int32_t count, int32_t track_count, float* out);

// Same contract and results as audio_scale_*_ramp and audio_mixer_mix_*_ramp.
void scale_ramp(uint8_t* samples, int32_t frames, int32_t channels, float from, float to);
void scale_ramp(int16_t* samples, int32_t frames, int32_t channels, float from, float to);
void scale_ramp(int32_t* samples, int32_t frames, int32_t channels, float from, float to);
void scale_ramp(float* samples, int32_t frames, int32_t channels, float from, float to);
bool mix_ramp(audio_mixer* mixer, uint8_t* const* tracks, const float* from, const float* to,
              int32_t frames, int32_t channels, int32_t track_count, uint8_t* out);
bool mix_ramp(audio_mixer* mixer, int16_t* const* tracks, const float* from, const float* to,
              int32_t frames, int32_t channels, int32_t track_count, int16_t* out);
bool mix_ramp(audio_mixer* mixer, int32_t* const* tracks, const float* from, const float* to,
              int32_t frames, int32_t channels, int32_t track_count, int32_t* out);
bool mix_ramp(audio_mixer* mixer, float* const* tracks, const float* from, const float* to,
              int32_t frames, int32_t channels, int32_t track_count, float* out);

}  // namespace amix::ref
