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

struct StreamFormat {
  int rate = 0;
  int pcm_format = 0;  // interleaved PCM_FORMAT_* code
  const Layout* layout = nullptr;
  // How a file stores the samples (an SF_FORMAT_* subtype, such as 24-bit
  // carried as S32); 0: the plain encoding of `pcm_format`.
  int encoding = 0;

  int channels() const { return layout->channels; }
  size_t frame_bytes() const { return pcm_sample_bytes(pcm_format) * layout->channels; }
  // "48000 Hz stereo 16-bit", "44100 Hz mono 24-bit"
  std::string describe() const;
};

}  // namespace amix
