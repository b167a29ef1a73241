#include "amix/pipelines/dither.h"

#include <algorithm>
#include <cmath>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"

namespace amix {
namespace {

// Plain PCM formats by precision; float above every integer width.
int precision_rank(int pcm_format) {
  switch (pcm_format) {
    case PCM_FORMAT_U8: return 8;
    case PCM_FORMAT_S16: return 16;
    case PCM_FORMAT_S32: return 32;
    default: return 64;  // float
  }
}

// `x` at integer full scale `scale` plus `noise`, rounded and clipped to
// -scale .. scale - 1.  The sum is shifted by `scale` to be positive where
// it counts, so that truncation rounds it (std::floor is a library call on
// some targets).
int quantised(float x, int scale, double noise) {
  const double v = std::isnan(x) ? 0.0 : static_cast<double>(x) * scale;
  const double shifted = std::clamp(v + noise + (scale + 0.5), 0.0, 2.0 * scale - 0.5);
  return static_cast<int>(shifted) - scale;
}

}  // namespace

bool reduces_precision(int src_pcm, int dst_pcm, bool float_processing) {
  const int dst = precision_rank(dst_pcm);
  return dst <= 16 && (float_processing || precision_rank(src_pcm) > dst);
}

double TpdfDither::noise() {
  // splitmix64: one 64-bit draw gives both uniform values.
  uint64_t z = (state_ += 0x9e3779b97f4a7c15);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
  z ^= z >> 31;
  return (static_cast<double>(z & 0xffffffff) - static_cast<double>(z >> 32)) * 0x1p-32;
}

void TpdfDither::to_s16(const float* in, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(quantised(in[i], 32768, noise()));
}

void TpdfDither::to_u8(const float* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint8_t>(quantised(in[i], 128, noise()) + 128);
}

const uint8_t* TpdfDither::quantise(const float* in, size_t samples, int pcm_format,
                                    size_t* bytes) {
  if (pcm_format == PCM_FORMAT_S16) {
    out_.resize(samples * sizeof(int16_t));
    to_s16(in, reinterpret_cast<int16_t*>(out_.data()), samples);
  } else if (pcm_format == PCM_FORMAT_U8) {
    out_.resize(samples);
    to_u8(in, out_.data(), samples);
  } else {
    throw Error("internal: dither to a sample format wider than 16 bits");
  }
  *bytes = out_.size();
  return out_.data();
}

}  // namespace amix
