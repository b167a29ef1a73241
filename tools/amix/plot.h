// A PNG picture of a mix: the waveform's envelope, each block's peak, and
// the blocks whose plain sum had to be limited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "amix/pipelines.h"

namespace amix {

class WaveformPlot {
 public:
  // Called by the mix once the output's format is known.
  void start(int rate, int channels);

  // One mixed block: its interleaved 16-bit samples and its report.
  void add(const int16_t* samples, size_t count, const MixBlock& block);

  // Draws the picture and writes it to `path` (through a temporary file).
  void write_png(const std::string& path, const std::string& title) const;

 private:
  struct Span {
    float low = 0, high = 0;
  };
  struct BlockMark {
    double start, end, peak;
    bool limited;
  };
  int rate_ = 1;
  int channels_ = 1;
  int64_t frames_ = 0;
  // Envelope: the lowest and highest sample of every kBucket frames.
  static constexpr int64_t kBucket = 64;
  std::vector<Span> envelope_;
  std::vector<BlockMark> blocks_;
};

// "mix.wav: 48000 Hz stereo 16-bit, 4.000 s, 188 blocks of which 12 limited"
std::string plot_title(const std::string& out, const MixResult& result);

}  // namespace amix
