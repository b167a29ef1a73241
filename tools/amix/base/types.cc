#include "amix/base/types.h"

#include <sndfile.h>

#include "tavrin_amix/audio_resampler.h"

namespace amix {
namespace {

struct Named {
  int sf_subtype;
  const char* name;
};
const Named kEncodings[] = {
    {SF_FORMAT_PCM_S8, "8-bit signed"},   {SF_FORMAT_PCM_U8, "8-bit unsigned"},
    {SF_FORMAT_PCM_16, "16-bit"},         {SF_FORMAT_PCM_24, "24-bit"},
    {SF_FORMAT_PCM_32, "32-bit"},         {SF_FORMAT_FLOAT, "float"},
    {SF_FORMAT_DOUBLE, "double"},         {SF_FORMAT_ULAW, "u-law"},
    {SF_FORMAT_ALAW, "A-law"},            {SF_FORMAT_IMA_ADPCM, "IMA ADPCM"},
    {SF_FORMAT_MS_ADPCM, "MS ADPCM"},     {SF_FORMAT_GSM610, "GSM 6.10"},
    {SF_FORMAT_VORBIS, "Vorbis"},         {SF_FORMAT_OPUS, "Opus"},
    {SF_FORMAT_MPEG_LAYER_I, "MP1"},      {SF_FORMAT_MPEG_LAYER_II, "MP2"},
    {SF_FORMAT_MPEG_LAYER_III, "MP3"},
};

}  // namespace

size_t pcm_sample_bytes(int pcm_format) {
  switch (pcm_format) {
    case PCM_FORMAT_U8: return 1;
    case PCM_FORMAT_S16: return 2;
    case PCM_FORMAT_S32:
    case PCM_FORMAT_FLOAT: return 4;
    default: return 0;
  }
}

const char* pcm_format_name(int pcm_format) {
  switch (pcm_format) {
    case PCM_FORMAT_U8: return "8-bit unsigned";
    case PCM_FORMAT_S16: return "16-bit";
    case PCM_FORMAT_S32: return "32-bit";
    case PCM_FORMAT_FLOAT: return "float";
    default: return "?";
  }
}

std::string sf_format_name(int format) {
  SF_FORMAT_INFO info = {};
  info.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr)
    return "unknown";
  return info.name;
}

std::string encoding_name(int sf_subtype) {
  for (const Named& n : kEncodings)
    if (n.sf_subtype == sf_subtype) return n.name;
  return sf_format_name(sf_subtype);
}

std::string StreamFormat::describe() const {
  return std::to_string(rate) + " Hz " + layout->name + " " +
         (encoding != 0 ? encoding_name(encoding) : std::string(pcm_format_name(pcm_format)));
}

}  // namespace amix
