// A PNG picture of a mix: the waveform's envelope with each block's peak
// and the blocks whose plain sum had to be limited; beside it the master
// gain of each block (the lowest where many share a pixel); below, where
// each input sits on the timeline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "amix/base/types.h"

typedef struct _cairo cairo_t;  // as cairo.h declares it

namespace amix {

class TempFile;

// A --plot name: refused (UsageError) unless it ends in ".png".
void check_plot_name(const std::string& path);

class WaveformPlot {
 public:
  // Called by the mix once the output's format is known.
  void start(int rate, int channels);

  // One mixed block: its `count` interleaved samples of `pcm_format` (a
  // PCM_FORMAT_* code) and its report.
  void add(const void* samples, size_t count, int pcm_format, const MixBlock& block);

  // Draws the picture into `png`, a temporary file made before the mix
  // began, and puts it in place.  `inputs` gives the lanes of the timeline.
  void write_png(TempFile& png, const std::string& title,
                 const std::vector<InputSpan>& inputs) const;

 private:
  struct Span {
    float low = 0, high = 0;
  };
  struct BlockMark {
    double start, end, peak, gain;
    bool limited;
  };
  struct Frame;  // where the panels sit in the picture
  // Extends the envelope by `frames` frames of `T`, each sample taken as
  // (sample - middle) / full_scale.
  template <typename T>
  void extend(const T* samples, int64_t frames, double middle, double full_scale);
  // The blocks as drawn: those that start in one pixel column merged into
  // one, with their highest peak, lowest gain, and limited if any was.
  std::vector<BlockMark> marks(const Frame& f) const;
  // Red bands behind the blocks that were limited.
  static void draw_limited(cairo_t* cr, const Frame& f, const std::vector<BlockMark>& marks,
                           double top, double height);
  void draw_waveform(cairo_t* cr, const Frame& f, const std::vector<BlockMark>& marks) const;
  static void draw_gain(cairo_t* cr, const Frame& f, const std::vector<BlockMark>& marks);
  static void draw_lanes(cairo_t* cr, const Frame& f, const std::vector<InputSpan>& inputs);
  static void draw_time_axis(cairo_t* cr, const Frame& f);

  int rate_ = 1;
  int channels_ = 1;
  int64_t frames_ = 0;
  // Envelope: the lowest and highest sample of every kBucket frames.
  static constexpr int64_t kBucket = 64;
  std::vector<Span> envelope_;
  std::vector<BlockMark> blocks_;
};

// "mix.wav: 48000 Hz stereo 16-bit, 4.000 s, 188 blocks of which 12 limited"
// (OUT without its directory; "standard output" for "-").
std::string plot_title(const std::string& out, const MixResult& result);

}  // namespace amix
