// The end of a stream: the frames the engine still holds, brought out by
// silence fed behind them and cut to the stream's exact length.

#include <algorithm>
#include <climits>
#include <cstdint>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "common/alloc.h"
#include "common/engine_seam.h"
#include "common/log.h"
#include "resample/resampler_impl.h"

namespace amix {
namespace {

// Rounds of silence before the drain stops feeding more: the first round
// covers the filter's reach behind the frames still owed, and each further
// round doubles the reach, should an engine need more.
constexpr int kSilenceRounds = 8;

// Frames the stream still owes: the exact length, floor(n * dst / src + 1/2),
// less the frames handed back so far.  False when that does not fit a
// 32-bit count.
bool frames_owed(const audio_resampler& r, int32_t* owed) {
  const int64_t length =
      av_rescale_rnd(r.stream_in_frames, r.output_rate, r.input_rate, AV_ROUND_NEAR_INF);
  if (length < 0) return false;  // INT64_MIN: the product overflowed
  // The engine gives a frame out only once its filter has the input past
  // it, so it never runs ahead of the exact length; 0 keeps that an
  // assumption that cannot underflow.
  const int64_t left = std::max<int64_t>(length - r.stream_out_frames, 0);
  if (left > INT32_MAX) return false;
  *owed = static_cast<int32_t>(left);
  return true;
}

// Source frames of silence for round `round` when `owed` frames are still
// to come: their span at the source rate plus the filter's reach.
int silence_for(const audio_resampler& r, int32_t owed, int round) {
  const int64_t span = av_rescale_rnd(owed, r.input_rate, r.output_rate, AV_ROUND_UP);
  return static_cast<int>(std::min<int64_t>(span + (filter_reach(r) << round), INT_MAX));
}

// Output room, in frames, for the round that feeds `silence` frames while
// `left` frames are still owed.  libswresample's own filter gives out all
// it can in any room, so the owed frames are room enough.  soxr takes no
// more input per call than the room asks for, and gives its output out in
// whole blocks of its filter: it gets room for the owed frames plus the
// silence's worth, so that it takes all the silence in one call.
int64_t round_room(const audio_resampler& r, int32_t left, int silence) {
  if (!r.soxr) return left;
  return left + av_rescale_rnd(silence, r.output_rate, r.input_rate, AV_ROUND_UP);
}

enum class Tail { taken, no_room, engine_failed };

// Feeds silence behind the stream and takes `owed` frames from the engine
// into the output block, growing the block where a round needs more room.
// A failure keeps what was done (the frames taken, the silence fed) for the
// next drain to go on from; once silence may be in the engine the stream is
// ending.  The silence left in the engine goes with its restart.
Tail take_tail(audio_resampler& r, int32_t owed, int* error) {
  const size_t sample_bytes =
      size_t(av_get_bytes_per_sample(r.engine_format)) *
      (av_sample_fmt_is_planar(r.engine_format) != 0 ? 1 : r.output_channels);
  const uint8_t* no_input[RESAMPLER_MAX_PLANES] = {};
  for (; r.tail_frames < owed && r.tail_round < kSilenceRounds; ++r.tail_round) {
    const int32_t left = owed - r.tail_frames;
    const int silence = silence_for(r, left, r.tail_round);
    const int64_t room = round_room(r, left, silence);
    if (r.tail_frames + room > INT32_MAX) return Tail::no_room;
    if (r.output_capacity < r.tail_frames + room &&
        !grow_output(r, static_cast<int32_t>(r.tail_frames + room), r.tail_frames)) {
      return Tail::no_room;
    }
    if (!r.tail_fed) {
      // The engine allocates to hold the silence.
      *error = !alloc_permitted() ? AVERROR(ENOMEM)
               : !engine_call_permitted() ? AVERROR_EXTERNAL
                                          : 0;
      if (*error != 0) return Tail::engine_failed;
      r.ending = true;
      *error = swr_inject_silence(r.context, silence);
      if (*error < 0) return Tail::engine_failed;
      r.tail_fed = true;
    }
    uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
    for (uint32_t i = 0; i < r.output_plane_count; ++i) {
      planes[i] = r.engine_planes[i] + size_t(r.tail_frames) * sample_bytes;
    }
    const int got = engine_call_permitted()
                        ? swr_convert(r.context, planes, static_cast<int>(room), no_input, 0)
                        : AVERROR_EXTERNAL;
    if (got < 0) {
      *error = got;
      return Tail::engine_failed;
    }
    r.tail_fed = false;
    r.tail_frames += std::min(got, left);  // frames past the stream are dropped
  }
  if (r.tail_frames < owed) {  // not seen with the engines' filters; the length holds all the same
    av_samples_set_silence(r.engine_planes, r.tail_frames, owed - r.tail_frames,
                           static_cast<int>(r.output_channels), r.engine_format);
  }
  return Tail::taken;
}

// Begins a new stream with no history.  An engine that only converts
// formats and layouts (equal rates) keeps none, and is left as it is.
void end_stream(audio_resampler& r) {
  if (r.input_rate != r.output_rate && (r.stream_in_frames > 0 || r.ending)) restart_engine(r);
  r.stream_in_frames = 0;
  r.stream_out_frames = 0;
  r.ending = false;
  r.tail_fed = false;
  r.tail_frames = 0;
  r.tail_round = 0;
}

}  // namespace
}  // namespace amix

extern "C" bool audio_resampler_drain(audio_resampler* r, uint8_t** output, int32_t* out_bytes) {
  if (r == nullptr || output == nullptr || out_bytes == nullptr) return false;
  int32_t owed = 0;
  if (!amix::engine_ready(*r) || !amix::frames_owed(*r, &owed)) return false;
  int error = 0;
  const amix::Tail tail = owed > 0 ? amix::take_tail(*r, owed, &error) : amix::Tail::taken;
  if (tail == amix::Tail::engine_failed) AMIX_LOGE("swr_convert failed: %d", error);
  if (tail != amix::Tail::taken) return false;
  amix::hand_back(*r, owed, output, out_bytes);
  amix::end_stream(*r);
  return true;
}
