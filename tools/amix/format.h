// A PCM stream as the library sees it: rate, sample format and layout.
#pragma once

#include <cstddef>
#include <string>

#include "amix/layouts.h"

namespace amix {

// Bytes of one sample of the library's interleaved PCM_FORMAT_* codes
// (U8, S16, S32, FLOAT); 0 for others.
size_t pcm_sample_bytes(int pcm_format);

// "8-bit unsigned", "16-bit", "32-bit", "float".
const char* pcm_format_name(int pcm_format);

// --bits: "8" -> U8, "16" -> S16, "32" -> S32, "float" -> FLOAT; throws
// UsageError otherwise.
int parse_bits(const std::string& option, const std::string& value);

struct StreamFormat {
  int rate = 0;
  int pcm_format = 0;  // interleaved PCM_FORMAT_* code
  const Layout* layout = nullptr;

  int channels() const { return layout->channels; }
  size_t frame_bytes() const { return pcm_sample_bytes(pcm_format) * layout->channels; }
  // "48000 Hz stereo 16-bit"
  std::string describe() const;
};

}  // namespace amix
