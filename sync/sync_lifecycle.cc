// The blocking resampler's life: create, interrupt, release.

#include <pthread.h>

#include <cstdint>

#include "common/alloc.h"
#include "common/log.h"
#include "resample/audio_format.h"
#include "sync/sync_impl.h"
#include "sync/sync_stamps.h"
#include "tavrin_amix/sync_audio_resampler.h"

namespace amix::sync {
namespace {

// A zeroed record with its mutex and condition variable set up; NULL when
// either allocation or set-up fails.
sync_audio_resampler* allocate() {
  auto* whole = static_cast<Whole*>(mem_calloc(1, sizeof(Whole)));
  if (whole == nullptr) return nullptr;
  sync_audio_resampler* s = &whole->object;  // at the allocation's address
  s->stamps = &whole->stamps;
  int rc = pthread_mutex_init(&s->lock, nullptr);
  if (rc == 0) {
    rc = pthread_cond_init(&s->wakeup, nullptr);
    if (rc != 0) pthread_mutex_destroy(&s->lock);
  }
  if (rc != 0) {
    AMIX_LOGE("sync audio resampler lock init failed: %d", rc);
    mem_free(s);
    return nullptr;
  }
  return s;
}

audio_resampler* make_resampler(int32_t src_rate, int32_t src_speakers, int32_t dst_rate,
                                int32_t dst_speakers, int32_t quality) {
  // A negative rate turns into one beyond INT32_MAX, which the resampler
  // refuses.
  const audio_desc src = {static_cast<uint32_t>(src_rate), PCM_FORMAT_S16, src_speakers};
  const audio_desc dst = {static_cast<uint32_t>(dst_rate), PCM_FORMAT_S16, dst_speakers};
  return audio_resampler_create_quality(&dst, &src, quality);
}

// Builds what the object owns; false after logging the step that failed.
bool build(sync_audio_resampler& s, int32_t src_rate, int32_t src_speakers, int32_t dst_rate,
           int32_t dst_speakers, int32_t block_size, int32_t quality) {
  // Outside this range one side would wait for good: the consumer for a
  // block that cannot fit, or the producer on every write.
  if (block_size <= 0 || block_size > SYNC_AUDIO_RESAMPLER_QUEUE_BYTES) {
    AMIX_LOGE("sync audio resampler block size out of range: %d", block_size);
    return false;
  }
  if (quality < AUDIO_RESAMPLE_QUALITY_DEFAULT || quality > AUDIO_RESAMPLE_QUALITY_BEST) {
    AMIX_LOGE("sync audio resampler quality out of range: %d", quality);
    return false;
  }
  s.resampler = make_resampler(src_rate, src_speakers, dst_rate, dst_speakers, quality);
  if (s.resampler == nullptr) {
    AMIX_LOGE("failed to create audio resampler");
    return false;
  }
  s.ring = rbuf_create(SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
  if (s.ring == nullptr) {
    AMIX_LOGE("failed to create ring buffer !");
    return false;
  }
  // Held bytes are never overwritten; the writer appends only what fits.
  rbuf_set_mode(s.ring, RBUF_MODE_TRUNCATE);
  s.block_size = block_size;
  s.stamps->setup(src_rate, static_cast<int32_t>(pcm_speakers_channels(uint32_t(src_speakers))),
                  dst_rate, static_cast<int32_t>(pcm_speakers_channels(uint32_t(dst_speakers))));
  return true;
}

}  // namespace

int64_t waits_begun(sync_audio_resampler* s, Side side) {
  Locked locked(*s);
  return whole_of(*s).waits[static_cast<int>(side)];
}

}  // namespace amix::sync

extern "C" {

sync_audio_resampler* sync_audio_resampler_create_quality(int32_t src_samples_per_sec,
                                                          int32_t src_speakers,
                                                          int32_t dst_samples_per_sec,
                                                          int32_t dst_speakers, int32_t block_size,
                                                          int32_t quality) {
  sync_audio_resampler* s = amix::sync::allocate();
  if (s == nullptr) return nullptr;
  if (!amix::sync::build(*s, src_samples_per_sec, src_speakers, dst_samples_per_sec,
                         dst_speakers, block_size, quality)) {
    sync_audio_resampler_release(s);
    return nullptr;
  }
  AMIX_LOGI("sync audio resampler created: %d/%d, %d/%d", src_samples_per_sec,
            dst_samples_per_sec, src_speakers, dst_speakers);
  return s;
}

sync_audio_resampler* sync_audio_resampler_create(int32_t src_samples_per_sec,
                                                  int32_t src_speakers,
                                                  int32_t dst_samples_per_sec,
                                                  int32_t dst_speakers, int32_t block_size) {
  return sync_audio_resampler_create_quality(src_samples_per_sec, src_speakers,
                                             dst_samples_per_sec, dst_speakers, block_size,
                                             AUDIO_RESAMPLE_QUALITY_DEFAULT);
}

int sync_audio_resampler_interrupt(sync_audio_resampler* s) {
  AMIX_LOGI("sync audio resampler interrupt +");
  if (s == nullptr) {
    AMIX_LOGE("sync audio resampler write not inited !");
    return -1;
  }
  {
    amix::sync::Locked locked(*s);
    s->interrupted = 1;
    locked.signal();
  }
  AMIX_LOGI("sync audio resampler interrupt -");
  return 0;
}

int sync_audio_resampler_release(sync_audio_resampler* s) {
  AMIX_LOGI("sync audio resampler release +");
  if (s == nullptr) {
    AMIX_LOGE("sync audio resampler write not inited !");
    return -1;
  }
  sync_audio_resampler_interrupt(s);
  {
    amix::sync::Locked locked(*s);
    audio_resampler_destroy(s->resampler);
    s->resampler = nullptr;
    rbuf_destroy(s->ring);
    s->ring = nullptr;
  }
  pthread_cond_destroy(&s->wakeup);
  pthread_mutex_destroy(&s->lock);
  amix::mem_free(s);
  AMIX_LOGI("sync audio resampler released !");
  return 0;
}

}  // extern "C"
