#include "amix/pipelines/channel_map.h"

#include <cstring>
#include <sstream>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"
#include "amix/io/layouts.h"
#include "amix/io/sound_file.h"

namespace amix {
namespace {

constexpr int kMaxChannels = 8;

}  // namespace

ChannelMap ChannelMap::parse(const std::string& option, const std::string& value) {
  ChannelMap map;
  map.option_ = option;
  const std::string expected = option + ": expected 1 to " + std::to_string(kMaxChannels) +
                               " comma-separated channel numbers (1 the first, 0 silence), got '";
  std::istringstream in(value);
  for (std::string item; std::getline(in, item, ',');) {
    if (item.empty() || item.size() > 3 || item.find_first_not_of("0123456789") != std::string::npos)
      throw UsageError(expected + item + "'");
    map.sources_.push_back(std::stoi(item) - 1);
  }
  if (map.sources_.empty() || map.channels() > kMaxChannels || value.back() == ',')
    throw UsageError(expected + value + "'");
  return map;
}

StreamFormat ChannelMap::format_of(const SoundReader& reader) const {
  for (int source : sources_)
    if (source >= reader.channels())
      throw UsageError(option_ + ": " + reader.name() + " has no channel " +
                       std::to_string(source + 1) + " (it has " +
                       std::to_string(reader.channels()) + ")");
  const Layout* layout = channels() == reader.channels() ? reader.layout() : nullptr;
  if (layout == nullptr) layout = layout_for_channels(channels());
  if (layout == nullptr)
    throw UsageError(option_ + ": " + std::to_string(channels()) +
                     " channels are not a layout the library knows (1-6 or 8 are)");
  return reader.stream_format(layout);
}

void ChannelMap::apply(const uint8_t* in, int in_channels, uint8_t* out, int64_t frames,
                       int pcm_format) const {
  const size_t size = pcm_sample_bytes(pcm_format);
  // 8-bit samples are unsigned: silence is 0x80.
  const uint8_t silence[4] = {0x80, 0, 0, 0};
  const uint8_t zero[4] = {0, 0, 0, 0};
  const uint8_t* quiet = pcm_format == PCM_FORMAT_U8 ? silence : zero;
  for (int64_t f = 0; f < frames; ++f) {
    const uint8_t* frame = in + static_cast<size_t>(f) * in_channels * size;
    for (int source : sources_) {
      std::memcpy(out, source < 0 ? quiet : frame + static_cast<size_t>(source) * size, size);
      out += size;
    }
  }
}

}  // namespace amix
