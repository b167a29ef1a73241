// The resampler: byte counts in, plane pointers into an owned block out, with
// libswresample doing the conversion.

#include <algorithm>
#include <cstdint>
#include <iterator>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libswresample/version.h>
}

#include "common/alloc.h"
#include "common/log.h"
#include "resample/audio_format.h"
#include "resample/resampler_impl.h"

// swr_alloc_set_opts2 and the channel-layout records arrived together; an
// older engine takes the 64-bit masks directly.
#define AMIX_SWR_HAS_LAYOUT_RECORDS (LIBSWRESAMPLE_VERSION_INT >= AV_VERSION_INT(4, 5, 100))

namespace amix {
namespace {

constexpr uint32_t kMaxRate = INT32_MAX;

// The engine's anti-alias filter grows with the downsampling ratio, and for
// coprime rates it keeps 1024 phases of it: about 130 KB per unit of ratio,
// so 2147483647 -> 96000 Hz would take 1.5 GB and twenty seconds before the
// engine gave up.  Steeper reductions than this are refused outright.
constexpr uint64_t kMaxDownsampling = 256;

bool desc_usable(const audio_desc* desc) {
  return desc != nullptr && desc->samples_per_sec >= 1 && desc->samples_per_sec <= kMaxRate &&
         pcm_codes_valid(*desc);
}

bool ratio_usable(const audio_desc& dst, const audio_desc& src) {
  return src.samples_per_sec <= kMaxDownsampling * dst.samples_per_sec;
}

void configure(audio_resampler& r, const audio_desc& dst, const audio_desc& src) {
  r.input_rate = src.samples_per_sec;
  r.input_layout = pcm_speakers_layout(static_cast<uint32_t>(src.speakers));
  r.input_format = pcm_format_engine(static_cast<uint32_t>(src.format));
  r.output_layout = pcm_speakers_layout(static_cast<uint32_t>(dst.speakers));
  r.output_channels = pcm_speakers_channels(static_cast<uint32_t>(dst.speakers));
  r.output_rate = dst.samples_per_sec;
  r.output_format = pcm_format_engine(static_cast<uint32_t>(dst.format));
  r.output_plane_count = pcm_format_planes(static_cast<uint32_t>(dst.format), r.output_channels);
  r.input_frame_bytes = audio_desc_frame_bytes(src);
  r.output_frame_bytes = audio_desc_frame_bytes(dst);
}

// The engine context for the record's configuration, with every other engine
// option at its default; NULL when the engine refuses it.
SwrContext* make_engine(const audio_resampler& r) {
  if (!alloc_permitted()) return nullptr;
  const int out_rate = static_cast<int>(r.output_rate);
  const int in_rate = static_cast<int>(r.input_rate);
#if AMIX_SWR_HAS_LAYOUT_RECORDS
  AVChannelLayout out_layout{}, in_layout{};
  SwrContext* context = nullptr;
  int rc = av_channel_layout_from_mask(&out_layout, r.output_layout);
  if (rc >= 0) rc = av_channel_layout_from_mask(&in_layout, r.input_layout);
  if (rc >= 0) {
    rc = swr_alloc_set_opts2(&context, &out_layout, r.output_format, out_rate, &in_layout,
                             r.input_format, in_rate, 0, nullptr);
  }
  av_channel_layout_uninit(&out_layout);
  av_channel_layout_uninit(&in_layout);
  if (rc < 0) swr_free(&context);
  return context;
#else
  return swr_alloc_set_opts(nullptr, static_cast<int64_t>(r.output_layout), r.output_format,
                            out_rate, static_cast<int64_t>(r.input_layout), r.input_format, in_rate,
                            0, nullptr);
#endif
}

bool init_engine(SwrContext* context) { return alloc_permitted() && swr_init(context) == 0; }

// Frames past the capacity in every plane of the output block.  The engine's
// resampling kernels may write a whole vector lane for a plane's last sample
// (x86: 4 bytes for a 16-bit one), past the room they were given, when they
// write straight into the caller's planes (planar output of the engine's own
// sample format); those bytes land here.
constexpr int32_t kOutputSlack = 16;

// Output room, in destination frames rounded up, for what the engine holds
// plus `in_frames`; false when that does not fit a 32-bit count.
bool frames_needed(const audio_resampler& r, uint32_t in_frames, int32_t* needed) {
  const int64_t held = swr_get_delay(r.context, r.input_rate) + int64_t{in_frames};
  const int64_t frames = av_rescale_rnd(held, r.output_rate, r.input_rate, AV_ROUND_UP);
  if (frames < 0 || frames > INT32_MAX) return false;  // the engine says INT64_MIN on overflow
  *needed = static_cast<int32_t>(frames);
  return true;
}

}  // namespace

bool engine_ready(audio_resampler& r) {
  if (r.engine_closed && init_engine(r.context)) r.engine_closed = false;
  return !r.engine_closed;
}

// swr_close leaves the context as swr_init found it, with its options, so
// that engine_ready can start it later.
void restart_engine(audio_resampler& r) {
  if (!init_engine(r.context)) {
    swr_close(r.context);
    r.engine_closed = true;
  }
}

bool grow_output(audio_resampler& r, int32_t frames) {
  const int channels = static_cast<int>(r.output_channels);
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  if (frames > INT32_MAX - kOutputSlack || !alloc_permitted() ||
      av_samples_alloc(planes, nullptr, channels, frames + kOutputSlack, r.output_format, 0) < 0) {
    return false;
  }
  av_freep(&r.output_planes[0]);
  std::copy(std::begin(planes), std::end(planes), r.output_planes);
  r.output_capacity = frames;
  return true;
}

void hand_back(audio_resampler& r, int32_t frames, uint8_t** output, int32_t* out_bytes) {
  std::copy_n(r.output_planes, r.output_plane_count, output);
  // The block's byte size fits an int (the engine's allocator checks), and
  // `frames` is at most its capacity.
  *out_bytes = frames * static_cast<int32_t>(r.output_frame_bytes);
  r.stream_out_frames += frames;
}

}  // namespace amix

extern "C" {

audio_resampler* audio_resampler_create(const audio_desc* dst, const audio_desc* src) {
  if (!amix::desc_usable(dst) || !amix::desc_usable(src) || !amix::ratio_usable(*dst, *src)) {
    return nullptr;
  }
  auto* r = static_cast<audio_resampler*>(amix::mem_calloc(1, sizeof(audio_resampler)));
  if (r == nullptr) return nullptr;
  amix::configure(*r, *dst, *src);
  r->context = amix::make_engine(*r);
  if (r->context == nullptr || !amix::init_engine(r->context)) {
    audio_resampler_destroy(r);
    return nullptr;
  }
  return r;
}

void audio_resampler_destroy(audio_resampler* resampler) {
  if (resampler == nullptr) return;
  swr_free(&resampler->context);
  av_freep(&resampler->output_planes[0]);
  amix::mem_free(resampler);
}

bool audio_resampler_resample(audio_resampler* r, uint8_t** output, int32_t* out_bytes,
                              const uint8_t** input, uint32_t in_bytes) {
  if (r == nullptr || output == nullptr || out_bytes == nullptr || input == nullptr) return false;
  const uint32_t in_frames = in_bytes / r->input_frame_bytes;  // drops a partial frame
  if (in_frames > INT32_MAX || (in_frames > 0 && input[0] == nullptr)) return false;
  if (!amix::engine_ready(*r)) return false;
  int32_t needed = 0;
  if (!amix::frames_needed(*r, in_frames, &needed)) return false;
  if (r->output_capacity < needed && !amix::grow_output(*r, needed)) return false;

  // The whole capacity is offered, so the engine never keeps output back
  // for want of room.
  const int converted = swr_convert(r->context, r->output_planes, r->output_capacity, input,
                                    static_cast<int>(in_frames));
  if (converted < 0) {
    AMIX_LOGE("swr_convert failed: %d", converted);
    return false;
  }
  r->stream_in_frames += in_frames;
  amix::hand_back(*r, converted, output, out_bytes);
  return true;
}

}  // extern "C"
