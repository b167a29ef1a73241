// Vector kernels of the mixing family (Google Highway, chosen at run time
// for the best instruction set of the CPU; a portable fallback is always
// compiled).  Every kernel gives the same bits as the scalar step of
// sample_step.h applied element by element.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace amix::kernels
