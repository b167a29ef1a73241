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
#include "common/log.h"
#include "resample/resampler_impl.h"

namespace amix {
namespace {

// The engine's default filter spans 32 taps at the lower of the two rates;
// half of that must lie past a frame before the engine gives it out.  The
// silence of the first round covers the whole span, and each further round
// doubles it, should an engine need more.
constexpr int64_t kFilterTaps = 32;
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
  const int64_t ratio = (int64_t{r.input_rate} + r.output_rate - 1) / r.output_rate;
  const int64_t reach = (kFilterTaps * std::max<int64_t>(ratio, 1)) << round;
  return static_cast<int>(std::min<int64_t>(span + reach, INT_MAX));
}

// Feeds silence behind the stream and takes `owed` frames from the engine
// into the output block; 0, or the engine's error code.  The silence left in
// the engine goes with its restart.
int take_tail(audio_resampler& r, int32_t owed) {
  const size_t sample_bytes = r.output_frame_bytes / r.output_plane_count;
  const uint8_t* no_input[RESAMPLER_MAX_PLANES] = {};
  int32_t got = 0;
  for (int round = 0; got < owed && round < kSilenceRounds; ++round) {
    // The engine allocates to hold the silence.
    if (!alloc_permitted()) return AVERROR(ENOMEM);
    int rc = swr_inject_silence(r.context, silence_for(r, owed - got, round));
    if (rc < 0) return rc;
    uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
    for (uint32_t i = 0; i < r.output_plane_count; ++i) {
      planes[i] = r.output_planes[i] + size_t(got) * sample_bytes;
    }
    rc = swr_convert(r.context, planes, owed - got, no_input, 0);
    if (rc < 0) return rc;
    got += rc;
  }
  if (got < owed) {  // not seen with the engine's filters; the length holds all the same
    av_samples_set_silence(r.output_planes, got, owed - got,
                           static_cast<int>(r.output_channels), r.output_format);
  }
  return 0;
}

// Begins a new stream with no history.  An engine that only converts
// formats and layouts (equal rates) keeps none, and is left as it is.
void end_stream(audio_resampler& r) {
  if (r.input_rate != r.output_rate && r.stream_in_frames > 0) restart_engine(r);
  r.stream_in_frames = 0;
  r.stream_out_frames = 0;
}

}  // namespace
}  // namespace amix

extern "C" bool audio_resampler_drain(audio_resampler* r, uint8_t** output, int32_t* out_bytes) {
  if (r == nullptr || output == nullptr || out_bytes == nullptr) return false;
  int32_t owed = 0;
  if (!amix::engine_ready(*r) || !amix::frames_owed(*r, &owed)) return false;
  if (r->output_capacity < owed && !amix::grow_output(*r, owed)) return false;
  const int rc = owed > 0 ? amix::take_tail(*r, owed) : 0;
  if (rc < 0) {
    AMIX_LOGE("swr_convert failed: %d", rc);
    amix::end_stream(*r);
    return false;
  }
  amix::hand_back(*r, owed, output, out_bytes);
  amix::end_stream(*r);
  return true;
}
