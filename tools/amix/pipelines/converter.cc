#include "amix/pipelines/converter.h"

#include <algorithm>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/channel_map.h"
#include "amix/pipelines/pipelines.h"

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

std::string rate_refusal(int src_rate, int dst_rate, int quality) {
  if (static_cast<int64_t>(src_rate) > 256 * static_cast<int64_t>(dst_rate))
    return " (the library refuses reductions steeper than 256:1)";
  if (quality != AUDIO_RESAMPLE_QUALITY_DEFAULT &&
      static_cast<int64_t>(dst_rate) > 256 * static_cast<int64_t>(src_rate))
    return std::string(" (the library refuses increases steeper than 256:1 at ") +
           quality_name(quality) + " quality; --quality default takes them)";
  return "";
}

const char* quality_name(int quality) {
  static const char* const kNames[] = {"default", "high", "best"};
  return quality >= 0 && quality <= 2 ? kNames[quality] : "?";
}

std::string resampling_note(std::vector<int> source_rates, int quality, const char* engine) {
  std::sort(source_rates.begin(), source_rates.end());
  source_rates.erase(std::unique(source_rates.begin(), source_rates.end()), source_rates.end());
  if (source_rates.empty()) return "";
  std::string rates;
  for (size_t i = 0; i < source_rates.size(); ++i)
    rates += (i == 0 ? "" : i + 1 == source_rates.size() ? " and " : ", ") +
             std::to_string(source_rates[i]);
  return "resampled from " + rates + " Hz at " + quality_name(quality) + " quality (" + engine +
         ")";
}

Converter::Converter(const StreamFormat& dst, const StreamFormat& src, int quality) {
  const audio_desc d = desc_of(dst);
  const audio_desc s = desc_of(src);
  resampler_ = audio_resampler_create_quality(&d, &s, quality);
  if (resampler_ == nullptr)
    throw Error("the resampler refuses " + src.describe() + " -> " + dst.describe() +
                rate_refusal(src.rate, dst.rate, quality));
}

Converter::~Converter() { audio_resampler_destroy(resampler_); }

const char* Converter::engine() const { return audio_resampler_engine_name(resampler_); }

Converter::Output Converter::convert(const void* data, size_t bytes) {
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  const uint8_t* input[1] = {static_cast<const uint8_t*>(data)};
  int32_t out_bytes = 0;
  if (!audio_resampler_resample(resampler_, planes, &out_bytes, input,
                                static_cast<uint32_t>(bytes)))
    throw Error("the resampler failed (run with --verbose for the library's log)");
  return {planes[0], out_bytes > 0 ? static_cast<size_t>(out_bytes) : 0};
}

Converter::Output Converter::drain() {
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  int32_t out_bytes = 0;
  if (!audio_resampler_drain(resampler_, planes, &out_bytes))
    throw Error("the resampler failed to end the stream (run with --verbose for the library's log)");
  return {planes[0], out_bytes > 0 ? static_cast<size_t>(out_bytes) : 0};
}

ConvertedInput::ConvertedInput(std::unique_ptr<SoundReader> reader, const StreamFormat& dst,
                               int quality, int64_t block_frames, const ChannelMap* map)
    : reader_(std::move(reader)),
      map_(map != nullptr && !map->empty() ? map : nullptr),
      src_(map_ != nullptr ? map_->format_of(*reader_) : reader_->stream_format()),
      converter_(dst, src_, quality),
      block_frames_(block_frames),
      block_(static_cast<size_t>(block_frames * reader_->channels()) *
             pcm_sample_bytes(src_.pcm_format)) {
  if (map_ != nullptr) mapped_.resize(static_cast<size_t>(block_frames) * src_.frame_bytes());
}

ConvertedInput::~ConvertedInput() = default;

bool ConvertedInput::next(Converter::Output* out) {
  if (ended_) return false;
  const int64_t got = reader_->read(block_.data(), block_frames_, src_.pcm_format);
  if (got == 0) {
    *out = finish();
    return out->bytes > 0;
  }
  const uint8_t* samples = block_.data();
  if (map_ != nullptr) {
    map_->apply(block_.data(), reader_->channels(), mapped_.data(), got, src_.pcm_format);
    samples = mapped_.data();
  }
  *out = converter_.convert(samples, static_cast<size_t>(got) * src_.frame_bytes());
  return true;
}

Converter::Output ConvertedInput::finish() {
  ended_ = true;
  return converter_.drain();
}

}  // namespace amix
