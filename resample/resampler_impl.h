// The resampler's record, shared by the resampler and the tests.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "tavrin_amix/audio_resampler.h"

struct audio_resampler {
  SwrContext* context;          // owned; made by create, freed by destroy
  uint32_t input_rate;          // source frames per second, 1..INT32_MAX
  uint64_t input_layout;        // as configured; not read after create
  AVSampleFormat input_format;  // as configured; not read after create
  // Entry 0 owns the one output block (NULL until the first call that needs
  // room); for planar output the later entries point into the same block.
  uint8_t* output_planes[RESAMPLER_MAX_PLANES];
  uint64_t output_layout;  // as configured; not read after create
  AVSampleFormat output_format;
  int32_t output_capacity;  // frames the block holds; never decreases
  uint32_t output_channels;
  uint32_t output_rate;         // destination frames per second, 1..INT32_MAX
  uint32_t output_plane_count;  // 1 interleaved, output_channels planar
  uint32_t input_frame_bytes;   // > 0 for every created resampler
  uint32_t output_frame_bytes;  // over all channels and planes
};

namespace amix {

// Ends a stream: converts, with no new input, the frames that the engine
// still holds back for its filter's look-ahead, into the output block right
// after its first `kept_bytes` bytes, then restarts the engine, so that input
// fed afterwards begins a new stream with no history.  The kept bytes (the
// output of the last audio_resampler_resample call, or part of it) stay as
// they are, also when the block has to grow to the engine's own bound for
// the held frames.  An engine that holds nothing (equal rates) is left as it
// is.
//
// On success `output` receives the plane pointers, as from
// audio_resampler_resample, and `out_bytes` the kept plus the drained bytes.
// Returns false, changing nothing, for NULL arguments, a negative
// `kept_bytes` or one beyond the block, a block that cannot grow, or an
// engine closed by a failed restart; false with the ERROR line
// "swr_convert failed: %d" when the engine fails to flush.  When only the
// restart fails the drained frames are still handed back, and the engine is
// left closed: every later conversion on it fails.
// REQUIRES: `kept_bytes` is at most the out_bytes of the last call.
bool resampler_drain(audio_resampler* r, int32_t kept_bytes, uint8_t** output,
                     int32_t* out_bytes);

}  // namespace amix
