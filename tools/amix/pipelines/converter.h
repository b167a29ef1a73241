// The library's resampler behind a small owner, and an input file through
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "amix/base/types.h"

struct audio_resampler;

namespace amix {

class ChannelMap;
class SoundReader;

// Why the library refuses a conversion from `src_rate` to `dst_rate` at
// `quality` (" (the library refuses reductions steeper than 256:1)"), or
// "".
std::string rate_refusal(int src_rate, int dst_rate, int quality);

// "default", "high", "best": the names of the audio_resample_quality
// presets, as --quality takes them.
const char* quality_name(int quality);

// "resampled from 44100 Hz at high quality (soxr)", "resampled from 22050
// and 32000 Hz ..."; "" when `source_rates` (the inputs' rates that differ
// from the output's) is empty.
std::string resampling_note(std::vector<int> source_rates, int quality, const char* engine);

class Converter {
 public:
  // At `quality` (an audio_resample_quality).  Throws Error when the
  // library refuses the pair of formats.
  Converter(const StreamFormat& dst, const StreamFormat& src, int quality);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  struct Output {
    const uint8_t* data;  // the resampler's own block: valid until the next call
    size_t bytes;
  };
  // Converts the whole frames among `bytes` bytes of interleaved source
  // samples.  The engine holds back a few frames for its filter until
  // drain() ends the stream.
  Output convert(const void* data, size_t bytes);
  // Ends the stream: the frames still owed, so that n source frames give
  // round(n * dst rate / src rate) frames in all.
  Output drain();
  // "soxr" or "swr".
  const char* engine() const;

 private:
  audio_resampler* resampler_;
};

// One input file through its own resampler, `block_frames` frames at a
// time, until the file ends.  The resampler's output does not depend on how
// its input is cut into blocks.
class ConvertedInput {
 public:
  // Converts `reader`'s stream_format() to `dst` at `quality`, through
  // `map` when given (which must outlive this); throws Error as Converter,
  // UsageError as ChannelMap::format_of.
  ConvertedInput(std::unique_ptr<SoundReader> reader, const StreamFormat& dst, int quality,
                 int64_t block_frames, const ChannelMap* map = nullptr);
  ~ConvertedInput();

  // The next converted bytes (none while the engine fills its filter).
  // False once the input has ended and its stream is finished.
  bool next(Converter::Output* out);
  bool ended() const { return ended_; }
  SoundReader& reader() { return *reader_; }
  const SoundReader& reader() const { return *reader_; }
  // What the resampler takes: the file's samples, after the map.
  const StreamFormat& format() const { return src_; }
  const Converter& converter() const { return converter_; }

 private:
  // The input's end: the one place where its stream finishes.  Returns the
  // frames that the resampler still owed, which make the stream exactly as
  // long as the input.
  Converter::Output finish();

  std::unique_ptr<SoundReader> reader_;
  const ChannelMap* map_;
  StreamFormat src_;
  Converter converter_;
  int64_t block_frames_;
  std::vector<uint8_t> block_;   // one input block in the file's format
  std::vector<uint8_t> mapped_;  // the block through the map
  bool ended_ = false;
};

}  // namespace amix
