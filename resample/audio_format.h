// The code tables of audio_desc and their mapping onto the engine's
// terms (channel-layout masks, AVSampleFormat) and onto byte arithmetic.
// Pure functions of the codes.  Codes are taken as unsigned 32-bit values,
// so a negative code is simply out of range; an out-of-range code answers
// with the "none" row: mask 0, 0 channels, 0 bytes, 1 plane, and the engine's
// signed 16-bit format.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "tavrin_amix/audio_resampler.h"

namespace amix {

// The layout mask of a speakers code (codes 1..10; others give 0).
uint64_t pcm_speakers_layout(uint32_t speakers);

// The channel count of a speakers code (codes 0..10; others give 0).  It
// always equals the number of bits in the code's mask.
uint32_t pcm_speakers_channels(uint32_t speakers);

// The engine format of a format code (codes 1..8; others give S16).
AVSampleFormat pcm_format_engine(uint32_t format);

// Bytes per sample of one channel (codes 0..8; others give 0).
uint32_t pcm_format_sample_bytes(uint32_t format);

// Sample planes of a block: `channels` for the planar codes 5..8, else 1.
uint32_t pcm_format_planes(uint32_t format, uint32_t channels);

// Bytes of one frame over all channels and planes.
uint32_t audio_desc_frame_bytes(const audio_desc& desc);

// Whether the codes are ones the engine can be configured with: a format
// code of 1..8 and a speakers code of 1..10.
bool pcm_codes_valid(const audio_desc& desc);

}  // namespace amix
