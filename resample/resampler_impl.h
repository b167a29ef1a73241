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
  int32_t output_capacity;  // frames the block holds for output; never decreases
  uint32_t output_channels;
  uint32_t output_rate;         // destination frames per second, 1..INT32_MAX
  uint32_t output_plane_count;  // 1 interleaved, output_channels planar
  uint32_t input_frame_bytes;   // > 0 for every created resampler
  uint32_t output_frame_bytes;  // over all channels and planes
  // The current stream (since creation or the last drain): whole source
  // frames fed, and frames handed back.  The drain makes them agree.
  int64_t stream_in_frames;
  int64_t stream_out_frames;
  bool engine_closed;  // its restart after a drain failed; the next call retries it
  int32_t quality;     // an audio_resample_quality, fixed at create
  bool soxr;           // the engine runs libsoxr; otherwise libswresample's own filter
  // What the engine writes, and where.  The presets convert float to 16-bit
  // output themselves (hand_back): libswresample's ARM vector conversion
  // rounds ties up where its scalar tail rounds them to even, so its bytes
  // would depend on where calls cut the stream.  Their engine then writes
  // float into a block of its own, as large as the output block; otherwise
  // engine_planes are the output block's planes.
  AVSampleFormat engine_format;
  uint8_t* engine_planes[RESAMPLER_MAX_PLANES];
  // A drain that failed after it had fed silence behind the stream: the
  // stream can only end now.  The tail frames it had taken sit at the start
  // of the output block, still owed; the silence fed stays in the engine.
  bool ending;
  bool tail_fed;        // the silence of round tail_round is in the engine
  int32_t tail_frames;  // tail frames taken so far
  int32_t tail_round;   // silence rounds completed so far
};

namespace amix {

// What the resampler and its drain share.

// Source frames of silence that reach past the engine's filter at the
// lower of the two rates, times the rate ratio: the first silence the drain
// feeds behind a stream.
int64_t filter_reach(const audio_resampler& r);

// Whether the engine is ready to convert, starting it first when its
// restart after a drain failed; false when it still cannot start.
bool engine_ready(audio_resampler& r);

// Starts the engine afresh: its history, held input and flush state go.  An
// engine that cannot start again is left closed (engine_closed).
void restart_engine(audio_resampler& r);

// Replaces the output block (and the engine's own block, where it has one)
// with one of `frames` frames and a little slack for the engine's vector
// stores, carrying over the first `keep` frames the engine wrote (every
// call hands back all that it produced, so only an unfinished drain keeps
// any).  The new blocks are made before the old ones go, so a failure
// changes nothing.
bool grow_output(audio_resampler& r, int32_t frames, int32_t keep = 0);

// Hands the caller the planes and the byte count of the first `frames`
// frames the engine wrote (converted into the output block where the engine
// writes float), and counts them into the stream.
void hand_back(audio_resampler& r, int32_t frames, uint8_t** output, int32_t* out_bytes);

}  // namespace amix
