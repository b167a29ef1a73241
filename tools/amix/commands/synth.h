// The demo's test signals.
#pragma once

#include <string>
#include <vector>

#include "amix/base/types.h"

namespace amix {

struct SynthTrack {
  std::string name;        // file name without extension
  StreamFormat format;     // rate, layout and the file's sample format
  double seconds;
  // Fills `out` with the track's normalised samples, interleaved.
  void (*render)(const StreamFormat& format, double seconds, std::vector<float>& out);
};

// A 440 Hz mono tone (44100, 16-bit), a stereo chord (48000, float), a
// sweep (22050, 8-bit) and a loud 5.1 burst (32000, 32-bit) that drives a
// mix into the master gain's limiting.
std::vector<SynthTrack> demo_tracks();

// Renders `track` and writes it to `path`.
void write_track(const SynthTrack& track, const std::string& path);

}  // namespace amix
