// --loudness: a pipeline runs twice over the same inputs.  The first pass
// measures its output; one gain follows from the target, lowered where the
// true peak would pass the ceiling; the second pass writes the output with
// that gain, applied in floating point as the samples are quantised to the
// output's encoding (rounded to the nearest step, clipped, never wrapped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "amix/base/types.h"

namespace amix {

class LoudnessMeter;

// Samples scaled by `gain` (linear) and quantised to the encoding
// `sf_subtype` stores, in the sample format that carries it: 8-bit as U8,
// 16-bit as S16, 24-bit as S32 with its low byte 0, 32-bit as S32, float
// and double as FLOAT.  Rounds to the nearest step; clips at full scale;
// NaN becomes 0 in integers.  `out` holds count samples of that format.
void scale_and_quantise(const float* in, size_t count, double gain, int sf_subtype, void* out);

// The sample format scale_and_quantise() makes for `sf_subtype`.
int quantised_format(int sf_subtype);

class Normaliser {
 public:
  // `out`: the output's rate and layout, and its encoding (0: the plain one
  // of its sample format).  Off unless `target.on`.
  Normaliser(const LoudnessTarget& target, const StreamFormat& out);
  ~Normaliser();
  Normaliser(const Normaliser&) = delete;
  Normaliser& operator=(const Normaliser&) = delete;

  bool on() const { return target_.on; }
  // The format to give the writer: the output's, in the sample format the
  // quantiser makes.  `out` itself when off.
  StreamFormat written() const;

  // The first pass: whole frames of the output, in `pcm_format`.
  // REQUIRES: on(), and plan() not called yet.
  void measure(const void* data, size_t bytes, int pcm_format);
  // Ends the first pass and chooses the gain.
  void plan();

  struct Bytes {
    const void* data;  // valid until the next call
    size_t bytes;
  };
  // The second pass: `data` in `pcm_format`, scaled and quantised to
  // written()'s format.  When off, the bytes themselves.
  Bytes apply(const void* data, size_t bytes, int pcm_format);

  const Normalised& result() const { return result_; }

 private:
  const float* as_float(const void* data, size_t samples, int pcm_format);

  LoudnessTarget target_;
  StreamFormat out_;
  int encoding_;
  std::unique_ptr<LoudnessMeter> meter_;
  double gain_ = 1.0;
  Normalised result_;
  std::vector<float> floats_;
  std::vector<uint8_t> quantised_;
};

}  // namespace amix
