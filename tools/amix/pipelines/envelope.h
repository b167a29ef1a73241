// An input's volume and fades: a gain per frame that the library's ramped
// scaling (audio_scale_*_ramp) puts on the input's converted samples, one
// ramp between each pair of corners, so that no output has steps.
//
// Frame f of an input of n frames (f = 0 its first) plays at
//
//   volume x min(1, f / fade_in, (n - f) / fade_out)
//
// (a term left out when its fade is 0): the ideal linear fades sampled at
// the frames' instants.  The fade-in starts at 0 on the first frame; the
// fade-out would reach 0 on the frame after the last.  Where the two
// overlap, the lower holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "amix/base/types.h"
#include "amix/pipelines/converter.h"

namespace amix {

// Fade durations in seconds, each rounded to whole frames of the output;
// 0: none.
struct Fades {
  double in = 0;
  double out = 0;
};

// The longest fade, in seconds: the fade-out's frames are held in memory
// until the input's end is known.
constexpr double kMaxFadeSeconds = 600;

class Envelope {
 public:
  Envelope(double volume, const Fades& fades, int rate);

  // Volume 1 and no fades: the samples stay as they are.
  bool flat() const { return flat_; }
  int64_t fade_out_frames() const { return fade_out_; }
  // The input's length, once known; until then the fade-out has not begun.
  void end_at(int64_t frames) { length_ = frames; }

  // The gain of frame `f`.
  double at(int64_t f) const;

  // Scales frames `first` to `first + frames` of the input, interleaved in
  // `samples` (`channels` of `pcm_format` each: S16, S32 or FLOAT), a ramp
  // from corner to corner.
  // REQUIRES: frames x channels fits int32; the input's end is known
  // (end_at) if it lies within fade_out_frames() after these frames.
  void apply(void* samples, int pcm_format, int channels, int64_t first, int64_t frames) const;

 private:
  double volume_;
  int64_t fade_in_;
  int64_t fade_out_;
  int64_t length_ = -1;
  bool flat_;
};

// An input's converted stream through its envelope, in pieces of
// kRampFrames frames: a ramp's rounding depends on where it starts and
// ends, so the ramps fall on the same frames however the stream is cut
// before.  The last fade_out_frames() of the stream are held back until the
// input ends, so that the fade-out lands on its true end even where the
// header cannot tell it (a pipe, a damaged file).
class ShapedInput {
 public:
  ShapedInput(std::unique_ptr<ConvertedInput> input, const StreamFormat& format, double volume,
              const Fades& fades);

  static constexpr int64_t kRampFrames = 1024;

  // As ConvertedInput::next.
  bool next(Converter::Output* out);
  // Nothing more to come.
  bool ended() const { return input_->ended() && held_.size() == start_; }
  SoundReader& reader() { return input_->reader(); }
  const SoundReader& reader() const { return input_->reader(); }
  // The resampler's engine: "soxr" or "swr".
  const char* engine() const { return input_->converter().engine(); }

 private:
  std::unique_ptr<ConvertedInput> input_;
  int pcm_format_;
  int channels_;
  size_t frame_bytes_;
  Envelope envelope_;
  std::vector<uint8_t> held_;  // converted bytes from start_ on not yet given
  size_t start_ = 0;
  int64_t given_ = 0;     // frames given so far
  int64_t received_ = 0;  // frames taken from the converter
};

}  // namespace amix
