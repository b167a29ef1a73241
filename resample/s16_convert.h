// Float samples to signed 16-bit, the way the presets hand 16-bit output out:
// lrintf(x * 32768) clipped to the range, NaN to -32768 (libswresample's
// scalar conversion), rounding to the nearest integer with ties to even on
// every platform.  libswresample's ARM vector conversion rounds ties up
// instead, and only in the body of a call, so its bytes would depend on where
// calls cut a stream.
#pragma once

#include <cstddef>
#include <cstdint>

namespace amix {

// The scalar rule: the oracle of the vector kernel, and its tail.  Adding
// and taking away 1.5 x 2^23 rounds to the nearest integer, ties to even.
inline int16_t s16_of(float x) {
  const float y = x * 32768.0f;
  if (!(y >= -32768.0f)) return INT16_MIN;
  if (y >= 32767.0f) return INT16_MAX;
  constexpr float kRound = 12582912.0f;
  return static_cast<int16_t>((y + kRound) - kRound);
}

// out[i] = s16_of(in[i]) for n samples (Google Highway, the CPU's best
// instruction set).  REQUIRES: in and out do not overlap.
void floats_to_s16(const float* in, std::size_t n, int16_t* out);

}  // namespace amix
