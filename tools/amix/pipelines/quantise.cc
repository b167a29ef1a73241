#include "amix/pipelines/quantise.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"
#include "amix/base/types.h"

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

// `v` at integer full scale `scale` (2^(bits-1)) plus `noise` (in steps),
// rounded to the nearest step and clipped to -scale .. scale - 1; NaN reads
// as 0.  The sum is shifted by `scale` to be positive where it counts, so
// that truncation rounds it (std::floor and std::nearbyint are library
// calls on some targets).
int64_t quantise(double v, double scale, double noise) {
  const double x = std::isnan(v) ? 0.0 : v * scale;
  const double shifted = std::clamp(x + noise + (scale + 0.5), 0.0, 2.0 * scale - 0.5);
  return static_cast<int64_t>(shifted) - static_cast<int64_t>(scale);
}

// Each of `count` samples times `gain`, plus the dither's noise when there
// is one, quantised at full scale `scale`, then times `unit` (where the
// stored bits sit in T) plus `offset`.
template <typename T>
void quantise_all(const float* in, size_t count, double gain, double scale, int64_t unit,
                  int64_t offset, TpdfDither* dither, void* out) {
  T* o = static_cast<T*>(out);
  if (dither == nullptr) {
    for (size_t i = 0; i < count; ++i)
      o[i] = static_cast<T>(quantise(in[i] * gain, scale, 0.0) * unit + offset);
  } else {
    for (size_t i = 0; i < count; ++i)
      o[i] = static_cast<T>(quantise(in[i] * gain, scale, dither->noise()) * unit + offset);
  }
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

int quantised_format(int sf_subtype) {
  switch (sf_subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return PCM_FORMAT_U8;
    case SF_FORMAT_PCM_16:
      return PCM_FORMAT_S16;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
      return PCM_FORMAT_S32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
      return PCM_FORMAT_FLOAT;
    default:
      throw Error("internal: no quantiser for " + encoding_name(sf_subtype));
  }
}

void scale_and_quantise(const float* in, size_t count, double gain, int sf_subtype,
                        TpdfDither* dither, void* out) {
  switch (sf_subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return quantise_all<uint8_t>(in, count, gain, 128.0, 1, 128, dither, out);
    case SF_FORMAT_PCM_16:
      return quantise_all<int16_t>(in, count, gain, 32768.0, 1, 0, dither, out);
    case SF_FORMAT_PCM_24:
      // The file keeps the top 24 of the 32 bits: round there, not at 32.
      return quantise_all<int32_t>(in, count, gain, 8388608.0, 256, 0, dither, out);
    case SF_FORMAT_PCM_32:
      return quantise_all<int32_t>(in, count, gain, 2147483648.0, 1, 0, dither, out);
    default: {
      auto* o = static_cast<float*>(out);
      for (size_t i = 0; i < count; ++i) o[i] = static_cast<float>(in[i] * gain);
      return;
    }
  }
}

const float* as_float(const void* data, size_t samples, int pcm_format,
                      std::vector<float>* buffer) {
  if (pcm_format == PCM_FORMAT_FLOAT) return static_cast<const float*>(data);
  buffer->resize(samples);
  float* f = buffer->data();
  switch (pcm_format) {
    case PCM_FORMAT_U8: {
      const auto* s = static_cast<const uint8_t*>(data);
      for (size_t i = 0; i < samples; ++i) f[i] = (s[i] - 128) / 128.0f;
      break;
    }
    case PCM_FORMAT_S16: {
      const auto* s = static_cast<const int16_t*>(data);
      for (size_t i = 0; i < samples; ++i) f[i] = s[i] / 32768.0f;
      break;
    }
    case PCM_FORMAT_S32: {
      const auto* s = static_cast<const int32_t*>(data);
      for (size_t i = 0; i < samples; ++i) f[i] = static_cast<float>(s[i] / 2147483648.0);
      break;
    }
    default:
      throw Error("internal: unknown sample format");
  }
  return f;
}

Quantiser::Quantiser(int encoding, bool dither, uint64_t stream)
    : encoding_(encoding),
      pcm_format_(quantised_format(encoding)),
      dither_(dither && precision_rank(pcm_format_) <= 16),
      tpdf_(stream) {}

Quantiser::Bytes Quantiser::apply(const void* data, size_t bytes, int pcm_format) {
  const size_t samples = bytes / pcm_sample_bytes(pcm_format);
  out_.resize(samples * pcm_sample_bytes(pcm_format_));
  if (gain_ == 1.0 && pcm_format == PCM_FORMAT_S32 && encoding_ == SF_FORMAT_PCM_24) {
    const auto* in = static_cast<const int32_t*>(data);
    auto* o = reinterpret_cast<int32_t*>(out_.data());
    for (size_t i = 0; i < samples; ++i)
      o[i] = static_cast<int32_t>(std::min<int64_t>((int64_t{in[i]} + 128) & ~int64_t{255},
                                                    INT32_MAX & ~255));
    return {out_.data(), out_.size()};
  }
  scale_and_quantise(as_float(data, samples, pcm_format, &floats_), samples, gain_, encoding_,
                     dither_ ? &tpdf_ : nullptr, out_.data());
  return {out_.data(), out_.size()};
}

}  // namespace amix
