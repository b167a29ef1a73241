// The work behind convert, mix and stream, shared by their commands and by
// the demo.  Each reads its inputs, writes one output (a file through a
// temporary file, or standard output), and reports what it did.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "amix/cli.h"
#include "amix/format.h"
#include "amix/output_file.h"

namespace amix {

class WaveformPlot;

// Input blocks are this many frames, for every pipeline.
constexpr int64_t kInputBlockFrames = 1024;

// What a pipeline wrote, and how long it took.
struct RunStats {
  StreamFormat output;      // as stored: rate, layout and the file's encoding
  int64_t frames_in = 0;    // of the (longest) input
  int64_t frames_out = 0;
  double seconds_out = 0;   // audio written
  double wall_seconds = 0;  // time taken
  std::string note;         // why the output's encoding is not the input's
  double speed() const { return wall_seconds > 0 ? seconds_out / wall_seconds : 0; }
};

// "OUT: 48000 frames, 48000 Hz stereo 16-bit, 1.000 s, 900x real time", with
// "DETAIL, " before the speed when given, and "; NOTE" when the stats carry
// one.
void print_summary(const OutputTarget& out, const RunStats& stats,
                   const std::string& detail = "");

// Unset fields (0 / nullptr) keep the input's.
struct ConvertSettings {
  int rate = 0;
  const Layout* layout = nullptr;
  int bits = 0;  // an SF_FORMAT_* subtype from --bits; 0: the nearest to the input's
};

RunStats convert_file(const std::string& in, const OutputTarget& out,
                      const ConvertSettings& settings, const Globals& globals);

struct MixSettings {
  std::vector<float> volumes;  // empty: 1.0 each
  std::vector<double> starts;  // seconds on the timeline; empty: 0 each
  int block_bytes = 4096;
  int rate = 0;                // 0: the first input's
  const Layout* layout = nullptr;  // nullptr: the first input's
};

struct MixBlock {
  int64_t index;
  double start_seconds;
  double peak;   // largest magnitude of the mixed block, 1.0 = full scale
  double gain;   // the master gain the block was written with; NaN when silent
  bool limited;  // the plain sum of the scaled tracks left the 16-bit range
  std::vector<int> inputs;  // the inputs (0-based) that sound in the block
};

// Where an input sits on the mix's timeline.
struct InputSpan {
  std::string path;
  double start_seconds;
  double end_seconds;
};

struct MixResult {
  RunStats stats;
  int64_t blocks = 0;
  int64_t limited_blocks = 0;
  double peak = 0;
  std::vector<InputSpan> inputs;
  std::vector<std::string> notes;  // inputs that end before the mix
};

// `on_block` (if set) sees every block as it is mixed; `plot` (if set)
// collects the output's waveform.
MixResult mix_files(const std::vector<std::string>& inputs, const OutputTarget& out,
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
RunStats stream_file(const std::string& in, const OutputTarget& out,
                     const StreamSettings& settings, const Globals& globals);

}  // namespace amix
