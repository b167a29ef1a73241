// The library's mixer for the mix's sample format: the multi-track mixer
// for 16-bit samples, the adaptive-gain mixer's 32-bit and float variants
// for wider outputs.  Each mixes whole blocks of the tracks at unity volume
// (the tracks come scaled, envelope.h), its master gain carrying from one
// block to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct audio_mixer;
struct multi_audio_mixer;

namespace amix {

class BlockMixer {
 public:
  // Mixes the blocks of `block_bytes` bytes in `tracks` (each holding one,
  // of `pcm_format`: S16, S32 or FLOAT).  Throws Error when the library
  // cannot make the mixer.
  BlockMixer(int pcm_format, int32_t block_bytes, const std::vector<uint8_t*>& tracks);
  ~BlockMixer();
  BlockMixer(const BlockMixer&) = delete;
  BlockMixer& operator=(const BlockMixer&) = delete;

  // Mixes the tracks' blocks; returns the mixed block, valid until the
  // next call.  The tracks are left as they were.  Throws Error when the
  // library refuses.
  const void* mix();
  // The gain that the last mix multiplied its sums by.
  double last_gain() const;
  // Whether the plain sum of the tracks leaves full scale (the sample
  // range; 1.0 for float) at any of the first `samples` positions, which
  // is when the mixer's gain must act.
  bool sum_leaves_range(size_t samples) const;

 private:
  int pcm_format_;
  int32_t samples_;
  std::vector<uint8_t*> tracks_;
  std::vector<int16_t*> s16_;  // the same, as the library takes them
  std::vector<int32_t*> s32_;
  std::vector<float*> f32_;
  std::vector<float> unity_;
  multi_audio_mixer* multi_ = nullptr;  // for S16
  audio_mixer* mixer_ = nullptr;        // for S32 and FLOAT
  std::vector<uint8_t> out_;
};

}  // namespace amix
