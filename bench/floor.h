// The least work a mix can do: read every track sample and write it back
// once, add it into sums of the width the mix needs (int32 for 16-bit
// samples, int64 for 32-bit ones, double for floats), write the output
// once.  No scaling, no gain, no clamp.  Vectorised with the best
// instruction set of the CPU, like the library.
#pragma once

#include <cstdint>

namespace amix_bench {
void floor_mix(int16_t* const* tracks, int track_count, int n, int16_t* out);
void floor_mix(int32_t* const* tracks, int track_count, int n, int32_t* out);
void floor_mix(float* const* tracks, int track_count, int n, float* out);
}  // namespace amix_bench
