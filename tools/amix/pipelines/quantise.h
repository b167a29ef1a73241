// Float samples brought to an output's width, in one stage: a gain (from
// --loudness, else 1), then TPDF dither where precision is reduced to 16
// bits or fewer, then rounding to the nearest step, clipped at full scale
// and never wrapped.
//
// The dither adds to each sample, before rounding, the difference of two
// uniform random values of one LSB: a triangular noise of +-1 LSB.  The
// rounding error then no longer follows the signal: a tone below one LSB
// survives as a tone in steady noise instead of vanishing or turning into
// distortion, at the cost of a noise floor 4.8 dB above plain rounding's
// (an error of 0.5 LSB RMS, flat in frequency).  The noise is a fixed
// sequence (a fixed seed, one draw per sample in order): the same samples
// give the same bytes on every run, however they are cut into blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace amix {

enum class Dither { kNone, kTpdf };

// Whether writing `dst_pcm` samples (a PCM_FORMAT_* code) reduces their
// precision: the output holds 16 bits or fewer, and the samples carry more,
// because the input's are wider (`src_pcm`) or the tool computed them in
// float (`float_processing`: a gain).  16-bit samples converted to 16-bit
// are not reduced: the library's resampler rounds them itself.
bool reduces_precision(int src_pcm, int dst_pcm, bool float_processing);

// The dither's noise source.
class TpdfDither {
 public:
  // `stream` picks one of many sequences that do not follow each other
  // (the tracks of a mix, each dithered on its own); all are fixed.
  explicit TpdfDither(uint64_t stream = 0)
      : state_(0x616d69782d747064 + stream * 0xd1b54a32d192ed03) {}
  // One draw, in LSB: (u1 - u2) for two uniform values in [0, 1), so
  // -1 < noise < 1 with a triangular density.
  double noise();

 private:
  uint64_t state_;
};

// `count` samples times `gain` (linear), plus `dither`'s noise when given,
// quantised to the encoding `sf_subtype` (a plain SF_FORMAT_* subtype)
// stores, in the sample format that carries it: 8-bit as U8, 16-bit as
// S16, 24-bit as S32 with its low byte 0, 32-bit as S32, float and double
// as FLOAT (scaled only: never dithered).  Rounds to the nearest step
// (halves up); clips at full scale; NaN reads as 0.  `out` holds `count`
// samples of that format.
void scale_and_quantise(const float* in, size_t count, double gain, int sf_subtype,
                        TpdfDither* dither, void* out);

// The sample format scale_and_quantise() makes for `sf_subtype`.  Throws
// Error for an encoding that is not plain PCM or float.
int quantised_format(int sf_subtype);

// `samples` samples of `pcm_format` as normalised floats (full scale 1.0):
// `data` itself when it is float, else converted into `buffer`.
const float* as_float(const void* data, size_t samples, int pcm_format,
                      std::vector<float>* buffer);

// The stage as a pipeline holds it: one output's gain and dither.
class Quantiser {
 public:
  // `encoding`: the output's (a plain SF_FORMAT_* subtype; throws Error
  // for others).  `dither`: TPDF dither before rounding, where `encoding`
  // holds 16 bits or fewer, from the sequence `stream`.
  Quantiser(int encoding, bool dither, uint64_t stream = 0);

  void set_gain(double gain) { gain_ = gain; }
  bool dithers() const { return dither_; }
  // What apply() makes: quantised_format(encoding).
  int pcm_format() const { return pcm_format_; }

  struct Bytes {
    const void* data;  // valid until the next call
    size_t bytes;
  };
  // Whole samples of `pcm_format`, through the stage.  The dither's noise
  // runs on from one call to the next.  32-bit samples for 24-bit without
  // a gain are rounded as integers, to the nearest step of 256 (halves up).
  Bytes apply(const void* data, size_t bytes, int pcm_format);

 private:
  int encoding_;
  int pcm_format_;
  bool dither_;
  double gain_ = 1.0;
  TpdfDither tpdf_;
  std::vector<float> floats_;
  std::vector<uint8_t> out_;
};

}  // namespace amix
