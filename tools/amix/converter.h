// The library's resampler behind a small owner.
#pragma once

#include <cstddef>
#include <cstdint>

#include "amix/format.h"

struct audio_resampler;

namespace amix {

class Converter {
 public:
  // Throws Error when the library refuses the pair of formats.
  Converter(const StreamFormat& dst, const StreamFormat& src);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  struct Output {
    const uint8_t* data;  // the resampler's own block: valid until the next call
    size_t bytes;
  };
  // Converts the whole frames among `bytes` bytes of interleaved source
  // samples.  The engine holds back a few frames for its filter; the stream
  // comes out short by those at the end.
  Output convert(const void* data, size_t bytes);

  // The most bytes one call can produce for `src_frames` source frames.
  static size_t max_output_bytes(const StreamFormat& dst, const StreamFormat& src,
                                 size_t src_frames);

 private:
  audio_resampler* resampler_;
};

}  // namespace amix
