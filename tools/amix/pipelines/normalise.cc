#include "amix/pipelines/normalise.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"
#include "amix/io/encoding.h"
#include "amix/report/loudness.h"

namespace amix {
namespace {

// A sample at integer full scale `scale` (2^(bits-1)), rounded to the
// nearest step and clipped to the range of that many bits.
double quantise(double v, double scale) {
  if (std::isnan(v)) return 0.0;
  return std::clamp(std::nearbyint(v * scale), -scale, scale - 1.0);
}

// Each of `count` samples times `gain`, quantised at full scale `scale`,
// then times `unit` (where the stored bits sit in T) plus `offset`.
template <typename T>
void quantise_all(const float* in, size_t count, double gain, double scale, double unit,
                  double offset, void* out) {
  T* o = static_cast<T*>(out);
  for (size_t i = 0; i < count; ++i)
    o[i] = static_cast<T>(quantise(in[i] * gain, scale) * unit + offset);
}

// The gain (dB) that brings `blocks` to `target` LUFS.  The gates keep
// other blocks as the gain moves them, so it is found by a few steps.
double gain_to(const LoudnessBlocks& blocks, double target) {
  double gain = target - blocks.integrated();
  for (int step = 0; step < 8; ++step) {
    const double error = target - blocks.integrated(gain);
    gain += error;
    if (std::fabs(error) < 1e-6) break;
  }
  return gain;
}

}  // namespace

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

void scale_and_quantise(const float* in, size_t count, double gain, int sf_subtype, void* out) {
  switch (sf_subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return quantise_all<uint8_t>(in, count, gain, 128.0, 1, 128, out);
    case SF_FORMAT_PCM_16:
      return quantise_all<int16_t>(in, count, gain, 32768.0, 1, 0, out);
    case SF_FORMAT_PCM_24:
      // The file keeps the top 24 of the 32 bits: round there, not at 32.
      return quantise_all<int32_t>(in, count, gain, 8388608.0, 256, 0, out);
    case SF_FORMAT_PCM_32:
      return quantise_all<int32_t>(in, count, gain, 2147483648.0, 1, 0, out);
    default: {
      auto* o = static_cast<float*>(out);
      for (size_t i = 0; i < count; ++i) o[i] = static_cast<float>(in[i] * gain);
      return;
    }
  }
}

Normaliser::Normaliser(const LoudnessTarget& target, const StreamFormat& out)
    : target_(target),
      out_(out),
      encoding_(out.encoding != 0 ? out.encoding : plain_encoding(out.pcm_format)) {
  if (!target.on) return;
  quantised_format(encoding_);  // refuses what it cannot quantise before any work
  meter_ = std::make_unique<LoudnessMeter>(out.rate, out.channels(), out.layout);
  result_.on = true;
  result_.target = target.lufs;
  result_.ceiling = target.ceiling;
}

Normaliser::~Normaliser() = default;

StreamFormat Normaliser::written() const {
  if (!on()) return out_;
  StreamFormat f = out_;
  f.pcm_format = quantised_format(encoding_);
  f.encoding = encoding_;
  return f;
}

const float* Normaliser::as_float(const void* data, size_t samples, int pcm_format) {
  if (pcm_format == PCM_FORMAT_FLOAT) return static_cast<const float*>(data);
  floats_.resize(samples);
  float* f = floats_.data();
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

void Normaliser::measure(const void* data, size_t bytes, int pcm_format) {
  const size_t samples = bytes / pcm_sample_bytes(pcm_format);
  meter_->add(as_float(data, samples, pcm_format),
              static_cast<int64_t>(samples / static_cast<size_t>(out_.channels())));
}

void Normaliser::plan() {
  const Loudness measured = meter_->finish();
  const std::unique_ptr<LoudnessMeter> meter = std::move(meter_);
  result_.silent = measured.silent();
  if (result_.silent) return;  // a gain of 1
  double gain_db = gain_to(meter->blocks(), target_.lufs);
  if (measured.true_peak + gain_db > target_.ceiling) {
    gain_db = target_.ceiling - measured.true_peak;
    result_.limited = true;
  }
  gain_ = std::pow(10.0, gain_db / 20.0);
  result_.gain_db = gain_db;
  result_.lufs = meter->blocks().integrated(gain_db);
  result_.true_peak = measured.true_peak + gain_db;
}

Normaliser::Bytes Normaliser::apply(const void* data, size_t bytes, int pcm_format) {
  if (!on()) return {data, bytes};
  const size_t samples = bytes / pcm_sample_bytes(pcm_format);
  const int written = quantised_format(encoding_);
  quantised_.resize(samples * pcm_sample_bytes(written));
  scale_and_quantise(as_float(data, samples, pcm_format), samples, gain_, encoding_,
                     quantised_.data());
  return {quantised_.data(), quantised_.size()};
}

}  // namespace amix
