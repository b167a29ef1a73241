// The least work a mix of 16-bit tracks can do: read every track sample and
// write it back once, sum, write the output once.  Vectorised with the best
// instruction set of the CPU, like the library.
#pragma once

#include <cstdint>

namespace amix_bench {
void floor_mix(int16_t* const* tracks, int track_count, int n, int16_t* out);
}
