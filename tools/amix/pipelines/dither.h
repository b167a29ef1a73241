// Reducing samples to 16 bits or fewer, with TPDF dither: before rounding,
// each sample gets the difference of two uniform random values of one LSB,
// a triangular noise of +-1 LSB.  The rounding error then no longer follows
// the signal: a tone below one LSB survives as a tone in steady noise
// instead of vanishing or turning into distortion, at the cost of a noise
// floor 4.8 dB above plain rounding's (an error of 0.5 LSB RMS, flat in
// frequency).
//
// The noise is a fixed sequence (a fixed seed, one draw per sample in
// order): the same samples give the same bytes on every run, however they
// are cut into blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace amix {

enum class Dither { kNone, kTpdf };

// Whether writing `dst_pcm` samples (a PCM_FORMAT_* code) reduces their
// precision: the output holds 16 bits or fewer, and the samples carry more,
// because the input's are wider (`src_pcm`) or the tool computed them in
// float (`float_processing`).  16-bit samples converted to 16-bit are not
// reduced: the library's resampler rounds them itself.
bool reduces_precision(int src_pcm, int dst_pcm, bool float_processing);

class TpdfDither {
 public:
  // Normalised float samples (full scale 1.0) to 16-bit: round(x * 32768 +
  // noise), clipped to the 16-bit range; NaN reads as silence.
  void to_s16(const float* in, int16_t* out, size_t n);
  // The same to 8-bit unsigned: round(x * 128 + noise) + 128.
  void to_u8(const float* in, uint8_t* out, size_t n);

  // `samples` floats to `pcm_format` (PCM_FORMAT_S16 or _U8) in a buffer of
  // the dither's own, valid until the next call.  Returns its bytes.
  const uint8_t* quantise(const float* in, size_t samples, int pcm_format, size_t* bytes);

  // One draw of the noise, in LSB: (u1 - u2) for two uniform values in
  // [0, 1), so -1 < noise < 1 with a triangular density.
  double noise();

 private:
  uint64_t state_ = 0x616d69782d747064;  // the fixed seed
  std::vector<uint8_t> out_;
};

}  // namespace amix
