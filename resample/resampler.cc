// The resampler: byte counts in, plane pointers into an owned block out, with
// libswresample doing the conversion.

#include <algorithm>
#include <cstdint>
#include <iterator>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/version.h>
}

#include "common/alloc.h"
#include "common/engine_seam.h"
#include "common/log.h"
#include "resample/audio_format.h"
#include "resample/resampler_impl.h"
#include "resample/s16_convert.h"

// swr_alloc_set_opts2 and the channel-layout records arrived together; an
// older engine takes the 64-bit masks directly.
#define AMIX_SWR_HAS_LAYOUT_RECORDS (LIBSWRESAMPLE_VERSION_INT >= AV_VERSION_INT(4, 5, 100))

namespace amix {
namespace {

constexpr uint32_t kMaxRate = INT32_MAX;

// The engine's anti-alias filter grows with the downsampling ratio, and for
// coprime rates it keeps 1024 phases of it: about 130 KB per unit of ratio,
// so 2147483647 -> 96000 Hz would take 1.5 GB and twenty seconds before the
// engine gave up.  Steeper reductions than this are refused outright.  The
// presets refuse increases as steep too: soxr gives its output in whole
// blocks, and at 8000 -> 2147483647 Hz one stream's end took 4 GB and forty
// seconds; libswresample's longer fallback filter cannot be built there.
constexpr uint64_t kMaxRatio = 256;

bool desc_usable(const audio_desc* desc) {
  return desc != nullptr && desc->samples_per_sec >= 1 && desc->samples_per_sec <= kMaxRate &&
         pcm_codes_valid(*desc);
}

bool ratio_usable(const audio_desc& dst, const audio_desc& src, int32_t quality) {
  return src.samples_per_sec <= kMaxRatio * dst.samples_per_sec &&
         (quality == AUDIO_RESAMPLE_QUALITY_DEFAULT ||
          dst.samples_per_sec <= kMaxRatio * src.samples_per_sec);
}

void configure(audio_resampler& r, const audio_desc& dst, const audio_desc& src) {
  r.input_rate = src.samples_per_sec;
  r.input_layout = pcm_speakers_layout(static_cast<uint32_t>(src.speakers));
  r.input_format = pcm_format_engine(static_cast<uint32_t>(src.format));
  r.output_layout = pcm_speakers_layout(static_cast<uint32_t>(dst.speakers));
  r.output_channels = pcm_speakers_channels(static_cast<uint32_t>(dst.speakers));
  r.output_rate = dst.samples_per_sec;
  r.output_format = pcm_format_engine(static_cast<uint32_t>(dst.format));
  r.engine_format = r.output_format;
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
    rc = swr_alloc_set_opts2(&context, &out_layout, r.engine_format, out_rate, &in_layout,
                             r.input_format, in_rate, 0, nullptr);
  }
  av_channel_layout_uninit(&out_layout);
  av_channel_layout_uninit(&in_layout);
  if (rc < 0) swr_free(&context);
  return context;
#else
  return swr_alloc_set_opts(nullptr, static_cast<int64_t>(r.output_layout), r.engine_format,
                            out_rate, static_cast<int64_t>(r.input_layout), r.input_format, in_rate,
                            0, nullptr);
#endif
}

// swr_init's result; an allocation the seam refuses counts as ENOMEM.
int init_engine(SwrContext* context) {
  return alloc_permitted() ? swr_init(context) : AVERROR(ENOMEM);
}

// What each preset asks of the engine beyond its defaults.  soxr, reached
// through libswresample, at its precision in bits; where libswresample has
// no soxr, its own filter: taps at the lower rate, Kaiser window and
// cutoff (a fraction of the lower Nyquist).
struct Preset {
  double soxr_precision;
  int filter_size;
  double kaiser_beta;
  double cutoff;
};
constexpr Preset kPresets[] = {
    {0, 32, 9, 0.97},        // DEFAULT: the engine's defaults, no option set
    {20, 128, 12, 0.94},     // HIGH
    {28, 256, 14, 0.96},     // BEST
};

bool quality_valid(int32_t quality) {
  return quality >= AUDIO_RESAMPLE_QUALITY_DEFAULT && quality <= AUDIO_RESAMPLE_QUALITY_BEST;
}

// The presets take float from the engine where the destination is 16-bit,
// and convert it in hand_back.
void choose_engine_format(audio_resampler& r) {
  if (r.quality == AUDIO_RESAMPLE_QUALITY_DEFAULT) return;
  if (r.output_format == AV_SAMPLE_FMT_S16) r.engine_format = AV_SAMPLE_FMT_FLT;
  if (r.output_format == AV_SAMPLE_FMT_S16P) r.engine_format = AV_SAMPLE_FMT_FLTP;
}

bool converts_output(const audio_resampler& r) { return r.engine_format != r.output_format; }

// Converts the first `frames` frames of the engine's float block into the
// output block, plane by plane (s16_convert.h).
void convert_to_s16(audio_resampler& r, int32_t frames) {
  const bool planar = av_sample_fmt_is_planar(r.output_format) != 0;
  const size_t samples = size_t(frames) * (planar ? 1 : r.output_channels);
  for (uint32_t p = 0; p < r.output_plane_count; ++p) {
    floats_to_s16(reinterpret_cast<const float*>(r.engine_planes[p]), samples,
                  reinterpret_cast<int16_t*>(r.output_planes[p]));
  }
}

// Formats of 16 bits or fewer on both sides would make the engine work in
// 16-bit samples (the native filter) or dither its 16-bit output with a
// seed from the clock (soxr): both presets convert in float instead.
bool set_float_inside(SwrContext* context, const audio_resampler& r) {
  if (av_get_bytes_per_sample(r.input_format) > 2 || av_get_bytes_per_sample(r.output_format) > 2)
    return true;
  return av_opt_set_sample_fmt(context, "internal_sample_fmt", AV_SAMPLE_FMT_FLTP, 0) >= 0;
}

// The native filter of the preset.  libswresample takes the cutoff
// relative to the destination's Nyquist and silently caps it at the
// source's, so a rising rate scales it by src / dst.
bool set_native_filter(SwrContext* context, const audio_resampler& r) {
  const Preset& p = kPresets[r.quality];
  const double rise = std::min(1.0, double(r.input_rate) / double(r.output_rate));
  return av_opt_set(context, "resampler", "swr", 0) >= 0 &&
         av_opt_set_int(context, "filter_size", p.filter_size, 0) >= 0 &&
         av_opt_set_double(context, "kaiser_beta", p.kaiser_beta, 0) >= 0 &&
         av_opt_set_double(context, "cutoff", p.cutoff * rise, 0) >= 0;
}

// Starts the engine for the record's preset: soxr where libswresample
// offers it, its own filter where it refuses soxr.  swr_init's result.
int start_engine(audio_resampler& r) {
  if (r.quality == AUDIO_RESAMPLE_QUALITY_DEFAULT) return init_engine(r.context);
  if (!set_float_inside(r.context, r)) return AVERROR(EINVAL);
  const bool soxr_set =
      soxr_offered() && av_opt_set(r.context, "resampler", "soxr", 0) >= 0 &&
      av_opt_set_double(r.context, "precision", kPresets[r.quality].soxr_precision, 0) >= 0;
  if (soxr_set) {
    const int rc = init_engine(r.context);
    // Out of memory is a failure of its own, not a missing engine.
    if (rc == 0 || rc == AVERROR(ENOMEM)) {
      r.soxr = rc == 0;
      return rc;
    }
  }
  return set_native_filter(r.context, r) ? init_engine(r.context) : AVERROR(EINVAL);
}

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

// The capacity a block grows to when `needed` frames do not fit.  soxr
// holds back a varying part of its output for its filter blocks, so what a
// call needs drifts by some frames from call to call; half as much again
// keeps that drift from growing the block, once the stream's largest calls
// have been seen.  libswresample's own filter gets exactly what it needs.
int32_t room_for(const audio_resampler& r, int32_t needed) {
  if (!r.soxr) return needed;
  return static_cast<int32_t>(std::min<int64_t>(int64_t{needed} * 3 / 2, INT32_MAX - kOutputSlack));
}

}  // namespace

int64_t filter_reach(const audio_resampler& r) {
  const int64_t ratio = (int64_t{r.input_rate} + r.output_rate - 1) / r.output_rate;
  return int64_t{kPresets[r.quality].filter_size} * std::max<int64_t>(ratio, 1);
}

bool engine_ready(audio_resampler& r) {
  if (r.engine_closed && init_engine(r.context) == 0) r.engine_closed = false;
  return !r.engine_closed;
}

// swr_close leaves the context as swr_init found it, with its options (the
// engine chosen at create among them), so that engine_ready can start it
// later.
void restart_engine(audio_resampler& r) {
  if (init_engine(r.context) != 0) {
    swr_close(r.context);
    r.engine_closed = true;
  }
}

bool grow_output(audio_resampler& r, int32_t frames, int32_t keep) {
  const int channels = static_cast<int>(r.output_channels);
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  uint8_t* engine[RESAMPLER_MAX_PLANES] = {};
  auto allocate = [&](uint8_t** block, AVSampleFormat format) {
    return alloc_permitted() &&
           av_samples_alloc(block, nullptr, channels, frames + kOutputSlack, format, 0) >= 0;
  };
  if (frames > INT32_MAX - kOutputSlack || !allocate(planes, r.output_format)) return false;
  if (!converts_output(r)) {
    std::copy(std::begin(planes), std::end(planes), engine);
  } else if (!allocate(engine, r.engine_format)) {
    av_freep(&planes[0]);
    return false;
  }
  if (keep > 0) av_samples_copy(engine, r.engine_planes, 0, 0, keep, channels, r.engine_format);
  av_freep(&r.output_planes[0]);
  if (converts_output(r)) av_freep(&r.engine_planes[0]);
  std::copy(std::begin(planes), std::end(planes), r.output_planes);
  std::copy(std::begin(engine), std::end(engine), r.engine_planes);
  r.output_capacity = frames;
  return true;
}

void hand_back(audio_resampler& r, int32_t frames, uint8_t** output, int32_t* out_bytes) {
  if (converts_output(r)) convert_to_s16(r, frames);
  std::copy_n(r.output_planes, r.output_plane_count, output);
  // The block's byte size fits an int (the engine's allocator checks), and
  // `frames` is at most its capacity.
  *out_bytes = frames * static_cast<int32_t>(r.output_frame_bytes);
  r.stream_out_frames += frames;
}

}  // namespace amix

extern "C" {

audio_resampler* audio_resampler_create_quality(const audio_desc* dst, const audio_desc* src,
                                                int32_t quality) {
  if (!amix::quality_valid(quality) || !amix::desc_usable(dst) || !amix::desc_usable(src) ||
      !amix::ratio_usable(*dst, *src, quality)) {
    return nullptr;
  }
  auto* r = static_cast<audio_resampler*>(amix::mem_calloc(1, sizeof(audio_resampler)));
  if (r == nullptr) return nullptr;
  amix::configure(*r, *dst, *src);
  r->quality = quality;
  amix::choose_engine_format(*r);
  r->context = amix::make_engine(*r);
  if (r->context == nullptr || amix::start_engine(*r) != 0) {
    audio_resampler_destroy(r);
    return nullptr;
  }
  return r;
}

audio_resampler* audio_resampler_create(const audio_desc* dst, const audio_desc* src) {
  return audio_resampler_create_quality(dst, src, AUDIO_RESAMPLE_QUALITY_DEFAULT);
}

const char* audio_resampler_engine_name(const audio_resampler* resampler) {
  if (resampler == nullptr) return nullptr;
  return resampler->soxr ? "soxr" : "swr";
}

void audio_resampler_destroy(audio_resampler* resampler) {
  if (resampler == nullptr) return;
  swr_free(&resampler->context);
  if (amix::converts_output(*resampler)) av_freep(&resampler->engine_planes[0]);
  av_freep(&resampler->output_planes[0]);
  amix::mem_free(resampler);
}

bool audio_resampler_resample(audio_resampler* r, uint8_t** output, int32_t* out_bytes,
                              const uint8_t** input, uint32_t in_bytes) {
  if (r == nullptr || output == nullptr || out_bytes == nullptr || input == nullptr) return false;
  const uint32_t in_frames = in_bytes / r->input_frame_bytes;  // drops a partial frame
  if (in_frames > INT32_MAX || (in_frames > 0 && input[0] == nullptr)) return false;
  if (r->ending || !amix::engine_ready(*r)) return false;
  int32_t needed = 0;
  if (!amix::frames_needed(*r, in_frames, &needed)) return false;
  if (r->output_capacity < needed && !amix::grow_output(*r, amix::room_for(*r, needed))) return false;

  // The whole capacity is offered, so the engine never keeps output back
  // for want of room.
  const int converted =
      amix::engine_call_permitted()
          ? swr_convert(r->context, r->engine_planes, r->output_capacity, input,
                        static_cast<int>(in_frames))
          : AVERROR_EXTERNAL;
  if (converted < 0) {
    AMIX_LOGE("swr_convert failed: %d", converted);
    return false;
  }
  r->stream_in_frames += in_frames;
  amix::hand_back(*r, converted, output, out_bytes);
  return true;
}

}  // extern "C"
