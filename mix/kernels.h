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

// Every factor handed to a kernel is finite: callers pass finite_factor(v),
// which gives the same samples as v itself (sample_step.h).

// Scales n samples in place.  REQUIRES: !is_unity(volume), finite volume.
void scale(uint8_t* samples, std::size_t n, float volume);
void scale(int16_t* samples, std::size_t n, float volume);
void scale(int32_t* samples, std::size_t n, float volume);

// sums[j] = (init ? 0 : sums[j]) + sum over t of tracks[t][j], where every
// track whose factor is not exactly 1.0f is first scaled in place by it.
// REQUIRES: 0 < count <= kMaxGroup, no NULL track, tracks do not overlap
// unless none of them is scaled.
void accumulate(uint8_t* const* tracks, const float* factors, std::size_t count,
                std::size_t n, int32_t* sums, bool init);
void accumulate(int16_t* const* tracks, const float* factors, std::size_t count,
                std::size_t n, int32_t* sums, bool init);

// Largest |sums[j]|, 0 for n == 0.
int64_t peak(const int32_t* sums, std::size_t n);

// out[j] = truncate(float(sums[j]) * gain), clamped to the sample range.
void output(const int32_t* sums, std::size_t n, float gain, uint8_t* out);
void output(const int32_t* sums, std::size_t n, float gain, int16_t* out);

}  // namespace amix::kernels
