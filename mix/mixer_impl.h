// The adaptive-gain mixer's record, shared by the mixer, the multi-track
// mixer and the bindings of this library.
#pragma once

#include <cstdint>

struct audio_mixer {
  float gain;        // master gain, in (0, 1]; 1.0 at creation (a float mix
                     // of sums beyond 1.4e45 can leave 0, the release lifts it)
  int64_t* sums;     // scratch: capacity * 4 bytes, capacity / 2 sums of 8
                     // bytes (int64, or double for floats; 8- and 16-bit
                     // mixes keep int32 sums in the first half)
  int32_t capacity;  // in 32-bit words; 1920 when 0 was asked for
  float last_gain;   // the gain the last successful mix wrote its sums
                     // with, before the release; 1.0 at creation and after
                     // a single-track mix
};

namespace amix {
constexpr int32_t kDefaultMixerCapacity = 1920;
}  // namespace amix
