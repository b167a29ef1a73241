// The work behind convert, mix and stream, shared by their commands and by
// the demo.  Each reads its inputs, writes one output (a file through a
// temporary file, or standard output), and returns what it did; the
// commands print the reports.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "amix/base/types.h"
#include "amix/io/output_file.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/channel_map.h"
#include "amix/pipelines/envelope.h"
#include "amix/pipelines/quantise.h"

namespace amix {

class WaveformPlot;

// Input blocks are this many frames unless a pipeline's settings say
// otherwise.
constexpr int64_t kInputBlockFrames = 1024;

// --quality's default: AUDIO_RESAMPLE_QUALITY_HIGH.
constexpr int kDefaultQuality = 1;

// The output of a pipeline that converts.  Unset fields (0 / nullptr) keep
// the (first) input's.
struct OutputFormat {
  int rate = 0;
  const Layout* layout = nullptr;
  int bits = 0;  // an SF_FORMAT_* subtype from --bits; 0: the nearest to the input's
  // The resampler's preset (an audio_resample_quality) where a rate changes.
  int quality = kDefaultQuality;
};

// Digital silence added before and after an output's audio, in seconds;
// each rounded to the nearest frame at the output's rate.
struct Padding {
  double before = 0;
  double after = 0;
  static int64_t frames(double seconds, int rate) { return std::llround(seconds * rate); }
};

// The note a summary carries when samples were dithered.
constexpr char kDitherNote[] = "TPDF dither";

struct ConvertSettings {
  ReadOptions read;  // with the part of IN to convert
  OutputFormat out;
  ChannelMap map;    // empty: IN's channels
  Dither dither = Dither::kTpdf;  // where reduces_precision()
  Padding pad;
  LoudnessTarget loudness;
  float gain = 1.0f;  // of --gain, linear
  Fades fades;        // of the part of IN taken
};

RunStats convert_file(const std::string& in, const OutputTarget& out,
                      const ConvertSettings& settings);

// The limiter's block, in milliseconds: it sets how fast the master gain
// recovers.  The mix's bytes depend on it and the output rate only.
constexpr double kMinLimiterBlockMs = 5;
constexpr double kMaxLimiterBlockMs = 100;

struct MixSettings {
  ReadOptions read;
  OutputFormat out;             // bits 0: 16-bit
  std::vector<float> volumes;   // empty: 1.0 each
  std::vector<double> starts;   // seconds on the timeline; empty: 0 each
  std::vector<double> fade_in;  // seconds; empty: 0 each
  std::vector<double> fade_out;
  double limiter_block_ms = 20;  // rounded to whole frames at the output rate
  int64_t buffer_frames = kInputBlockFrames;  // read from each input at a time
  LoudnessTarget loudness;
  Dither dither = Dither::kTpdf;  // of wide inputs in a 16-bit mix, and where OUT is reduced
};

// The frames of a limiter block of `ms` milliseconds at `rate`: the
// nearest whole number, at least 1.
int64_t limiter_block_frames(double ms, int rate);

// `on_block` (if set) sees every block as it is mixed; `plot` (if set)
// collects the output's waveform.
MixResult mix_files(const std::vector<std::string>& inputs, const OutputTarget& out,
                    const MixSettings& settings,
                    const std::function<void(const MixBlock&)>& on_block, WaveformPlot* plot);

struct StreamSettings {
  ReadOptions read;  // with the part of IN to stream
  OutputFormat out;  // 16-bit
  int block_bytes = 4096;
  Dither dither = Dither::kTpdf;  // for inputs of more than 16 bits
  Padding pad;
};

// Through the blocking resampler with a producer and a consumer thread;
// 16-bit output.
RunStats stream_file(const std::string& in, const OutputTarget& out,
                     const StreamSettings& settings);

}  // namespace amix
