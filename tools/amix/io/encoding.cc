#include "amix/io/encoding.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"
#include "amix/base/types.h"

namespace amix {
namespace {

const Container kContainers[] = {
    {"wav", "WAV", SF_FORMAT_WAV, true},     {"w64", "W64", SF_FORMAT_W64, false},
    {"flac", "FLAC", SF_FORMAT_FLAC, true},  {"aiff", "AIFF", SF_FORMAT_AIFF, false},
    {"aif", "AIFF", SF_FORMAT_AIFF, false},  {"caf", "CAF", SF_FORMAT_CAF, false},
    {"au", "AU", SF_FORMAT_AU, true},
};

// The plain encodings, which a conversion keeps when it can; "8-bit" stands
// for either signedness.
const int kPlain[] = {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24,
                      SF_FORMAT_PCM_32, SF_FORMAT_FLOAT,  SF_FORMAT_DOUBLE};

// The encodings nearest to `input`, nearest first.
std::vector<int> nearest_first(int input) {
  switch (input) {
    case SF_FORMAT_PCM_S8: return {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16};
    case SF_FORMAT_PCM_U8: return {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_S8, SF_FORMAT_PCM_16};
    case SF_FORMAT_PCM_24:
      return {SF_FORMAT_PCM_24, SF_FORMAT_PCM_32, SF_FORMAT_FLOAT, SF_FORMAT_PCM_16};
    case SF_FORMAT_PCM_32:
      return {SF_FORMAT_PCM_32, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT, SF_FORMAT_PCM_16};
    case SF_FORMAT_FLOAT:
      return {SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32,
              SF_FORMAT_PCM_16};
    case SF_FORMAT_DOUBLE:
      return {SF_FORMAT_DOUBLE, SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32,
              SF_FORMAT_PCM_16};
    default:  // 16-bit, and the compressed encodings, which decode to it
      return {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32, SF_FORMAT_FLOAT};
  }
}

int first_held(const Container& c, int channels, const std::vector<int>& candidates) {
  for (int s : candidates)
    if (container_holds(c, channels, s)) return s;
  return 0;
}

// "8-bit, 16-bit and 24-bit"
std::string held_list(const Container& c, int channels) {
  std::vector<std::string> names;
  for (int s : kPlain) {
    if (s == SF_FORMAT_PCM_S8 ? first_held(c, channels, {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8}) != 0
                              : container_holds(c, channels, s))
      names.push_back(s == SF_FORMAT_PCM_S8 ? "8-bit" : encoding_name(s));
  }
  std::string list;
  for (size_t i = 0; i < names.size(); ++i)
    list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return list;
}

}  // namespace

const Container* container_by_name(const std::string& name) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const Container& c : kContainers)
    if (lower == c.name) return &c;
  return nullptr;
}

std::string container_names(bool streaming_only) {
  std::vector<const char*> names;
  for (const Container& c : kContainers)
    if (c.streams || !streaming_only) names.push_back(c.name);
  std::string list;
  for (size_t i = 0; i < names.size(); ++i)
    list += std::string(i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return list;
}

int sf_major_for(const Container& container, int channels) {
  return container.sf_major == SF_FORMAT_WAV && channels > 2 ? SF_FORMAT_WAVEX
                                                             : container.sf_major;
}

bool is_plain(int sf_subtype) {
  return sf_subtype == SF_FORMAT_PCM_U8 ||
         std::find(std::begin(kPlain), std::end(kPlain), sf_subtype) != std::end(kPlain);
}

int pcm_format_of(int sf_subtype) {
  switch (sf_subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_DPCM_8:
      return PCM_FORMAT_U8;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_DWVW_24:
    case SF_FORMAT_ALAC_24:
    case SF_FORMAT_ALAC_32:
    case SF_FORMAT_NMS_ADPCM_32:
      return PCM_FORMAT_S32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
      return PCM_FORMAT_FLOAT;
    default:  // 16-bit PCM and the codecs that decode to 16 bits or less
      return PCM_FORMAT_S16;
  }
}

int plain_encoding(int pcm_format) {
  switch (pcm_format) {
    case PCM_FORMAT_U8: return SF_FORMAT_PCM_S8;
    case PCM_FORMAT_S32: return SF_FORMAT_PCM_32;
    case PCM_FORMAT_FLOAT: return SF_FORMAT_FLOAT;
    default: return SF_FORMAT_PCM_16;
  }
}

bool container_holds(const Container& container, int channels, int sf_subtype) {
  SF_INFO probe = {};
  probe.channels = channels;
  probe.samplerate = 48000;
  probe.format = sf_major_for(container, channels) | sf_subtype;
  return sf_format_check(&probe) == SF_TRUE;
}

EncodingChoice chosen_encoding(const Container& container, int channels, int bits_subtype) {
  const bool eight = bits_subtype == SF_FORMAT_PCM_S8;
  const int s = eight ? first_held(container, channels, {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_U8})
                      : first_held(container, channels, {bits_subtype});
  if (s == 0)
    throw Error("cannot write " + (eight ? std::string("8-bit") : encoding_name(bits_subtype)) +
                " samples with " + std::to_string(channels) + " channels to " + container.title +
                ", which holds " + held_list(container, channels));
  return {s, ""};
}

EncodingChoice nearest_encoding(const Container& container, int channels, int input_subtype) {
  const int s = first_held(container, channels, nearest_first(input_subtype));
  if (s == 0)
    throw Error("cannot write " + std::to_string(channels) + " channels to " + container.title);
  // 8-bit samples change signedness with the container, not their values.
  if (s == input_subtype || (pcm_format_of(s) == PCM_FORMAT_U8 &&
                             pcm_format_of(input_subtype) == PCM_FORMAT_U8))
    return {s, ""};
  std::string note = "the input's " + encoding_name(input_subtype) + " stored as " +
                     encoding_name(s);
  if (is_plain(input_subtype)) note += ", the nearest " + std::string(container.title) + " holds";
  return {s, note};
}

}  // namespace amix
