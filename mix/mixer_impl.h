// The adaptive-gain mixer's record, shared by the mixer, the multi-track
// mixer and the bindings of this library.
#pragma once

#include <cstdint>

struct audio_mixer {
  float gain;        // master gain, in (0, 1]; 1.0 at creation
  int64_t* sums;     // scratch: capacity * 4 bytes, capacity / 2 sums
  int32_t capacity;  // in 32-bit words; 1920 when 0 was asked for
};

namespace amix {
constexpr int32_t kDefaultMixerCapacity = 1920;
}  // namespace amix
