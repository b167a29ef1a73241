// Vector kernels of the mixing family (Google Highway, chosen at run time
// for the best instruction set of the CPU; a portable fallback is always
// compiled).  Every kernel gives the same bits as the scalar step of
// sample_step.h applied element by element.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mix/sample_step.h"

namespace amix::kernels {

// Most tracks one accumulate() call takes.
constexpr std::size_t kMaxGroup = 32;

// Every factor handed to an integer kernel is finite: callers pass
// finite_factor(v), which gives the same samples as v itself
// (sample_step.h).

// Scales n samples in place.  REQUIRES: !is_unity(volume), finite volume.
void scale(uint8_t* samples, std::size_t n, float volume);
void scale(int16_t* samples, std::size_t n, float volume);
void scale(int32_t* samples, std::size_t n, float volume);

// sums[j] = (init ? 0 : sums[j]) + sum over t of tracks[t][j], where every
// track whose factor is not exactly 1.0f is first scaled in place by it.
// With `last` (no more tracks to add), returns the peak of the sums: the
// largest |sums[j]|; otherwise 0.  With `last` and `out`, also writes
// out[j] = output_sample<T>(sums[j], gain) as output() would (the caller
// redoes it when the gain changes or the sums pass output()'s limits).
// REQUIRES: 0 < count <= kMaxGroup, no NULL track, tracks do not overlap
// unless none of them is scaled, `out` (when given) overlaps no track.
int64_t accumulate(uint8_t* const* tracks, const float* factors, std::size_t count,
                   std::size_t n, int32_t* sums, bool init, bool last, uint8_t* out, float gain);
int64_t accumulate(int16_t* const* tracks, const float* factors, std::size_t count,
                   std::size_t n, int32_t* sums, bool init, bool last, int16_t* out, float gain);

// The same in 64 bits for 32-bit samples (factors finite as above), and in
// double precision for float samples, whose factors are taken as they are
// (NaN and infinities included: the float step has no saturating
// conversion to mimic).  A double sum that is not finite counts as 0 in the
// peak.
int64_t accumulate(int32_t* const* tracks, const float* factors, std::size_t count,
                   std::size_t n, int64_t* sums, bool init, bool last, int32_t* out, float gain);
double accumulate(float* const* tracks, const float* factors, std::size_t count,
                  std::size_t n, double* sums, bool init, bool last, float* out, float gain);

// out[j] = output_sample<T>(sums[j], gain) (sample_step.h).
void output(const int32_t* sums, std::size_t n, float gain, uint8_t* out);
void output(const int32_t* sums, std::size_t n, float gain, int16_t* out);
// REQUIRES: the peak of the sums < kExactInDouble.
void output(const int64_t* sums, std::size_t n, float gain, int32_t* out);
// REQUIRES: the peak of the sums < kRoundsToInfinity.
void output(const double* sums, std::size_t n, float gain, float* out);

// Below this magnitude an int64 converts to double exactly.
constexpr int64_t kExactInDouble = int64_t{1} << 53;
// From this magnitude a double rounds to an infinite float (the largest
// float plus half its last unit), which some instruction sets' conversions
// turn into the largest float instead.
constexpr double kRoundsToInfinity = 0x1.ffffffp127;

// Float samples, any factor outside the unity window.
void scale(float* samples, std::size_t n, float volume);
// out[j] = unit_sample(src[j]).  REQUIRES: out == src, or no overlap.
void copy_unit(const float* src, std::size_t n, float* out);

// Ramped kernels: a block of interleaved frames of `channels` samples, each
// track at its own volume_ramp (sample_step.h).  Every sample of frame j is
// scaled with the plain step at the ramp's v_j, or left untouched (unread by
// the scaling) where v_j is unity.
struct Ramp {
  volume_ramp volume;  // finite ends (a flat one: the whole block at `from`)
  float last;          // the volume of the last frame
  // The samples of the frames whose volume is unity, [unity_begin,
  // unity_end): one run, since the volumes are monotonic; 0, 0 when none.
  std::size_t unity_begin, unity_end;
};

// The Ramp of a track over `frames` frames of `channels` samples, in `out`.
// REQUIRES: ramp_block_ok(frames, channels), ramp_is_finite(from, to).
void plan_ramp(float from, float to, int32_t frames, int32_t channels, Ramp& out);

// Scales a block of frames x channels samples in place.
void scale_ramp(uint8_t* samples, std::size_t frames, std::size_t channels, const Ramp& ramp);
void scale_ramp(int16_t* samples, std::size_t frames, std::size_t channels, const Ramp& ramp);
void scale_ramp(int32_t* samples, std::size_t frames, std::size_t channels, const Ramp& ramp);
void scale_ramp(float* samples, std::size_t frames, std::size_t channels, const Ramp& ramp);

// accumulate() over frames x channels samples with a Ramp per track instead
// of a factor; the same requirements, sums, peak and output.
int64_t accumulate_ramp(uint8_t* const* tracks, const Ramp* ramps, std::size_t count,
                        std::size_t frames, std::size_t channels, int32_t* sums, bool init,
                        bool last, uint8_t* out, float gain);
int64_t accumulate_ramp(int16_t* const* tracks, const Ramp* ramps, std::size_t count,
                        std::size_t frames, std::size_t channels, int32_t* sums, bool init,
                        bool last, int16_t* out, float gain);
int64_t accumulate_ramp(int32_t* const* tracks, const Ramp* ramps, std::size_t count,
                        std::size_t frames, std::size_t channels, int64_t* sums, bool init,
                        bool last, int32_t* out, float gain);
double accumulate_ramp(float* const* tracks, const Ramp* ramps, std::size_t count,
                       std::size_t frames, std::size_t channels, double* sums, bool init,
                       bool last, float* out, float gain);

}  // namespace amix::kernels
