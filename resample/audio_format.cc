#include "resample/audio_format.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace amix {
namespace {

constexpr uint32_t kFormatCount = 9;     // codes 0..8
constexpr uint32_t kSpeakersCount = 11;  // codes 0..10

struct FormatRow {
  AVSampleFormat engine;
  uint32_t sample_bytes;
  bool planar;
};

constexpr FormatRow kFormats[kFormatCount] = {
    {AV_SAMPLE_FMT_S16, 0, false},  // PCM_FORMAT_NONE
    {AV_SAMPLE_FMT_U8, 1, false},   // PCM_FORMAT_U8
    {AV_SAMPLE_FMT_S16, 2, false},  // PCM_FORMAT_S16
    {AV_SAMPLE_FMT_S32, 4, false},  // PCM_FORMAT_S32
    {AV_SAMPLE_FMT_FLT, 4, false},  // PCM_FORMAT_FLOAT
    {AV_SAMPLE_FMT_U8P, 1, true},   // PCM_FORMAT_U8_PLANAR
    {AV_SAMPLE_FMT_S16P, 2, true},  // PCM_FORMAT_S16_PLANAR
    {AV_SAMPLE_FMT_S32P, 4, true},  // PCM_FORMAT_S32_PLANAR
    {AV_SAMPLE_FMT_FLTP, 4, true},  // PCM_FORMAT_FLOAT_PLANAR
};
constexpr FormatRow kNoFormat = kFormats[PCM_FORMAT_NONE];

struct SpeakersRow {
  uint64_t mask;
  uint32_t channels;
};

constexpr SpeakersRow kSpeakers[kSpeakersCount] = {
    {0, 0},                               // PCM_SPEAKERS_NONE
    {AV_CH_LAYOUT_MONO, 1},               // PCM_SPEAKERS_MONO
    {AV_CH_LAYOUT_STEREO, 2},             // PCM_SPEAKERS_STEREO
    {AV_CH_LAYOUT_2_1, 3},                // PCM_SPEAKERS_2_1
    {AV_CH_LAYOUT_QUAD, 4},               // PCM_SPEAKERS_QUAD
    {AV_CH_LAYOUT_4POINT1, 5},            // PCM_SPEAKERS_4_1
    {AV_CH_LAYOUT_5POINT1, 6},            // PCM_SPEAKERS_5_1
    {AV_CH_LAYOUT_5POINT1_BACK, 6},       // PCM_SPEAKERS_5_1_BACK
    {AV_CH_LAYOUT_7POINT1, 8},            // PCM_SPEAKERS_7_1
    {AV_CH_LAYOUT_7POINT1_WIDE_BACK, 8},  // PCM_SPEAKERS_7_1_WIDE_BACK
    // Three channels, as many as the mask carries: the byte arithmetic must
    // match what the engine reads and writes.
    {AV_CH_LAYOUT_SURROUND, 3},  // PCM_SPEAKERS_SURROUND
};
constexpr SpeakersRow kNoSpeakers = kSpeakers[PCM_SPEAKERS_NONE];

const FormatRow& format_row(uint32_t format) {
  return format < kFormatCount ? kFormats[format] : kNoFormat;
}

const SpeakersRow& speakers_row(uint32_t speakers) {
  return speakers < kSpeakersCount ? kSpeakers[speakers] : kNoSpeakers;
}

}  // namespace

uint64_t pcm_speakers_layout(uint32_t speakers) { return speakers_row(speakers).mask; }

uint32_t pcm_speakers_channels(uint32_t speakers) { return speakers_row(speakers).channels; }

AVSampleFormat pcm_format_engine(uint32_t format) { return format_row(format).engine; }

uint32_t pcm_format_sample_bytes(uint32_t format) { return format_row(format).sample_bytes; }

uint32_t pcm_format_planes(uint32_t format, uint32_t channels) {
  return format_row(format).planar ? channels : 1;
}

uint32_t audio_desc_frame_bytes(const audio_desc& desc) {
  return pcm_format_sample_bytes(static_cast<uint32_t>(desc.format)) *
         pcm_speakers_channels(static_cast<uint32_t>(desc.speakers));
}

bool pcm_codes_valid(const audio_desc& desc) {
  const uint32_t format = static_cast<uint32_t>(desc.format);
  const uint32_t speakers = static_cast<uint32_t>(desc.speakers);
  return format >= PCM_FORMAT_U8 && format < kFormatCount && speakers >= PCM_SPEAKERS_MONO &&
         speakers < kSpeakersCount;
}

}  // namespace amix
