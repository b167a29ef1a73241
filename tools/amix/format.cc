#include "amix/format.h"

#include "tavrin_amix/audio_resampler.h"
#include "amix/encoding.h"

namespace amix {

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

std::string StreamFormat::describe() const {
  return std::to_string(rate) + " Hz " + layout->name + " " +
         (encoding != 0 ? encoding_name(encoding) : std::string(pcm_format_name(pcm_format)));
}

}  // namespace amix
