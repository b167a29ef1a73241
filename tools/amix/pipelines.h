// The work behind convert, mix and stream, shared by their commands and by
// the demo.  Each reads its inputs, writes one output file through a
// temporary file, and reports what it did.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "amix/cli.h"
#include "amix/format.h"

namespace amix {

class WaveformPlot;

// Input blocks are this many frames, for every pipeline.
constexpr int64_t kInputBlockFrames = 1024;

// What a pipeline wrote, and how long it took.
struct RunStats {
  StreamFormat output;
  int64_t frames_in = 0;    // of the (longest) input
  int64_t frames_out = 0;
  double seconds_out = 0;   // audio written
  double wall_seconds = 0;  // time taken
  double speed() const { return wall_seconds > 0 ? seconds_out / wall_seconds : 0; }
};

// "OUT: 48000 frames, 48000 Hz stereo 16-bit, 1.000 s, 900x real time"
void print_summary(const std::string& out, const RunStats& stats);

// Unset fields (0 / nullptr) keep the input's.
struct ConvertSettings {
  int rate = 0;
  const Layout* layout = nullptr;
  int pcm_format = 0;
};

RunStats convert_file(const std::string& in, const std::string& out,
                      const ConvertSettings& settings, const Globals& globals);

struct MixSettings {
  std::vector<float> volumes;  // empty: 1.0 each
  int block_bytes = 4096;
  int rate = 0;                // 0: the first input's
  const Layout* layout = nullptr;  // nullptr: the first input's
};

struct MixBlock {
  int64_t index;
  double start_seconds;
  double peak;   // largest magnitude of the mixed block, 1.0 = full scale
  bool limited;  // the plain sum of the scaled tracks left the 16-bit range
};

struct MixResult {
  RunStats stats;
  int64_t blocks = 0;
  int64_t limited_blocks = 0;
  double peak = 0;
  std::vector<std::string> notes;  // inputs padded with silence
};

// `on_block` (if set) sees every block as it is mixed; `plot` (if set)
// collects the output's waveform.
MixResult mix_files(const std::vector<std::string>& inputs, const std::string& out,
                    const MixSettings& settings, const Globals& globals,
                    const std::function<void(const MixBlock&)>& on_block,
                    WaveformPlot* plot);

struct StreamSettings {
  int rate = 0;
  const Layout* layout = nullptr;
  int block_bytes = 4096;
};

// Through the blocking resampler with a producer and a consumer thread;
// 16-bit output.
RunStats stream_file(const std::string& in, const std::string& out,
                     const StreamSettings& settings, const Globals& globals);

}  // namespace amix
