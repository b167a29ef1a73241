// --loudness: a pipeline runs twice over the same inputs.  The first pass
// measures its output; one gain follows from the target, lowered where the
// true peak would pass the ceiling; the second pass writes the output with
// that gain, which the output's Quantiser (quantise.h) applies in floating
// point before it dithers and rounds the samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "amix/base/types.h"

namespace amix {

class LoudnessMeter;

class Normaliser {
 public:
  // `out`: the output's rate and layout.  Off unless `target.on`.
  Normaliser(const LoudnessTarget& target, const StreamFormat& out);
  ~Normaliser();
  Normaliser(const Normaliser&) = delete;
  Normaliser& operator=(const Normaliser&) = delete;

  bool on() const { return target_.on; }

  // The first pass: whole frames of the output, in `pcm_format`, and
  // `frames` frames of digital silence (its padding).
  // REQUIRES: on(), and plan() not called yet.
  void measure(const void* data, size_t bytes, int pcm_format);
  void measure_silence(int64_t frames);
  // Ends the first pass and chooses the gain.
  void plan();
  // The gain, linear: 1 until plan(), and for silence.
  double gain() const { return gain_; }

  const Normalised& result() const { return result_; }

 private:
  LoudnessTarget target_;
  int channels_;
  std::unique_ptr<LoudnessMeter> meter_;
  double gain_ = 1.0;
  Normalised result_;
  std::vector<float> floats_;
};

}  // namespace amix
