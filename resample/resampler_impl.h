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
