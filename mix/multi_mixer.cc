// Multi-track mixer: one adaptive-gain mixer plus an owned output block.

#include <cstdint>

#include "common/alloc.h"
#include "common/log.h"
#include "tavrin_amix/multi_audio_mixer.h"

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
  if (!audio_mixer_mix_int16(m->mixer, tracks, volumes, m->block_size / 2, track_count,
                             m->out_block)) {
    AMIX_LOGE("audio_mixer_mix_int16 failed !");
    return -1;
  }
  if (m->block_size % 2 != 0) {
    reinterpret_cast<uint8_t*>(m->out_block)[m->block_size - 1] = 0;
  }
  return 0;
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
