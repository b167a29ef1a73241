// Multi-track mixer: one adaptive-gain mixer plus an owned output block.

#include <cstdint>

#include "common/alloc.h"
#include "common/log.h"
#include "mix/sample_step.h"
#include "tavrin_amix/multi_audio_mixer.h"

namespace {

// The end of a mix into `out_block`: the failure line, or the odd last
// byte set to 0.
int finish_mix(multi_audio_mixer* m, bool mixed, const char* failure) {
  if (!mixed) {
    AMIX_LOGE("%s", failure);
    return -1;
  }
  if (m->block_size % 2 != 0) {
    reinterpret_cast<uint8_t*>(m->out_block)[m->block_size - 1] = 0;
  }
  return 0;
}

}  // namespace

extern "C" {

multi_audio_mixer* multi_audio_mixer_create(int32_t block_size) {
  auto* m = static_cast<multi_audio_mixer*>(amix::mem_calloc(1, sizeof(multi_audio_mixer)));
  if (m == nullptr) return nullptr;
  m->block_size = block_size;
  // The adaptive-gain mixer takes the block's byte count as its capacity:
  // exactly room for block_size / 2 sums.  It refuses a negative size.
  m->mixer = audio_mixer_create(block_size);
  if (m->mixer == nullptr) {
    AMIX_LOGE("audio_mixer_create failed !");
    amix::mem_free(m);
    return nullptr;
  }
  if (block_size > 0) {
    m->out_block = static_cast<int16_t*>(amix::mem_malloc(static_cast<size_t>(block_size)));
    if (m->out_block == nullptr) {
      AMIX_LOGE("multi audio mixer out block allocation failed: %d", block_size);
      audio_mixer_destroy(m->mixer);
      amix::mem_free(m);
      return nullptr;
    }
  }
  AMIX_LOGI("multi audio mixer created: %d", block_size);
  return m;
}

int multi_audio_mixer_mix(multi_audio_mixer* m, int16_t* const* tracks, const float* volumes,
                          int32_t track_count) {
  if (m == nullptr) return -1;
  return finish_mix(m,
                    audio_mixer_mix_int16(m->mixer, tracks, volumes, m->block_size / 2,
                                          track_count, m->out_block),
                    "audio_mixer_mix_int16 failed !");
}

int multi_audio_mixer_mix_ramp(multi_audio_mixer* m, int16_t* const* tracks,
                               const float* volumes_from, const float* volumes_to,
                               int32_t track_count, int32_t channels) {
  if (m == nullptr) return -1;
  const int32_t samples = m->block_size / 2;
  // A bad channel count goes on to the mixer, which refuses it.
  int32_t frames = samples;
  if (channels >= 1 && channels <= amix::kMaxRampChannels) {
    if (samples % channels != 0) {
      AMIX_LOGE("multi audio mixer block of %d samples is not whole frames of %d channels",
                samples, channels);
      return -1;
    }
    frames = samples / channels;
  }
  return finish_mix(m,
                    audio_mixer_mix_int16_ramp(m->mixer, tracks, volumes_from, volumes_to,
                                               frames, channels, track_count, m->out_block),
                    "audio_mixer_mix_int16_ramp failed !");
}

float multi_audio_mixer_last_gain(const multi_audio_mixer* m) {
  return m == nullptr ? -1.0f : audio_mixer_last_gain(m->mixer);
}

int multi_audio_mixer_release(multi_audio_mixer* m) {
  if (m == nullptr) return -1;
  if (m->mixer != nullptr) {
    audio_mixer_destroy(m->mixer);
    m->mixer = nullptr;
  }
  amix::mem_free(m->out_block);
  amix::mem_free(m);
  AMIX_LOGI("multi audio mixer released !");
  return 0;
}

}  // extern "C"
