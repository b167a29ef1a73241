// A channel map: which of the input's channels make up the output, in
// order.  "2" takes the second channel as mono, "2,1" swaps left and right,
// "1,1" doubles a mono channel into stereo, "1,0" puts it on the left with
// the right silent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "amix/base/types.h"

namespace amix {

class SoundReader;

class ChannelMap {
 public:
  // The identity: no map.
  ChannelMap() = default;
  // Comma-separated channel numbers of the input, 1 for its first, 0 for a
  // silent channel; 1 to 8 of them.  Throws UsageError naming `option` for
  // anything else.
  static ChannelMap parse(const std::string& option, const std::string& value);

  bool empty() const { return sources_.empty(); }
  int channels() const { return static_cast<int>(sources_.size()); }

  // The format of `reader`'s samples after the map: its rate and sample
  // format; the layout of the file when the map keeps its channel count,
  // else the layout of the count (1 mono, 2 stereo, 3 3.0, 4 quad, 5 4.1,
  // 6 5.1-back, 8 7.1).  The file's own layout need not be one the library
  // knows.  Throws UsageError naming `option_` when the map names a channel
  // the file lacks, or gives 7 channels.
  StreamFormat format_of(const SoundReader& reader) const;

  // Maps `frames` frames of `in_channels` interleaved samples of
  // `pcm_format` (a PCM_FORMAT_* code) into `out`, channels() per frame.
  // REQUIRES: every channel number is at most in_channels.
  void apply(const uint8_t* in, int in_channels, uint8_t* out, int64_t frames,
             int pcm_format) const;

 private:
  std::string option_;
  std::vector<int> sources_;  // per output channel: the input's, from 0; -1 silent
};

}  // namespace amix
