#include "amix/converter.h"

#include "tavrin_amix/audio_resampler.h"
#include "amix/cli.h"

namespace amix {
namespace {

audio_desc desc_of(const StreamFormat& f) {
  audio_desc d = {};
  d.samples_per_sec = static_cast<uint32_t>(f.rate);
  d.format = f.pcm_format;
  d.speakers = f.layout->code;
  return d;
}

}  // namespace

Converter::Converter(const StreamFormat& dst, const StreamFormat& src) {
  const audio_desc d = desc_of(dst);
  const audio_desc s = desc_of(src);
  resampler_ = audio_resampler_create(&d, &s);
  if (resampler_ == nullptr)
    throw Error("the resampler refuses " + src.describe() + " -> " + dst.describe());
}

Converter::~Converter() { audio_resampler_destroy(resampler_); }

Converter::Output Converter::convert(const void* data, size_t bytes) {
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  const uint8_t* input[1] = {static_cast<const uint8_t*>(data)};
  int32_t out_bytes = 0;
  if (!audio_resampler_resample(resampler_, planes, &out_bytes, input,
                                static_cast<uint32_t>(bytes)))
    throw Error("the resampler failed (run with --verbose for the library's log)");
  return {planes[0], out_bytes > 0 ? static_cast<size_t>(out_bytes) : 0};
}

size_t Converter::max_output_bytes(const StreamFormat& dst, const StreamFormat& src,
                                   size_t src_frames) {
  // The engine may hold a filter's length of earlier input; 256 frames is
  // well above the default filter's.
  const uint64_t frames = (static_cast<uint64_t>(src_frames) + 256) * dst.rate / src.rate + 1;
  return static_cast<size_t>(frames) * dst.frame_bytes();
}

}  // namespace amix
