// The blocking resampler's two sides: write (producer) and read (consumer).
//
// Wait rules, each re-tested after every wake-up:
//   producer: waits while not interrupted and a whole block is queued;
//   consumer: waits while not interrupted, not at the end of the stream and
//             less than a whole block is queued.
// The two exclude each other, so at most one thread waits at a time and one
// signal after every change wakes it.

#include <pthread.h>

#include <cstdint>
#include <cstring>

#include "common/log.h"
#include "resample/resampler_impl.h"
#include "sync/sync_impl.h"
#include "tavrin_amix/sync_audio_resampler.h"

namespace amix::sync {
namespace {

// What one write hands to the queue: a run inside the resampler's output
// block, valid until its next call (only this producer makes calls).
struct Converted {
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = 0;
};

// Converts the write's whole frames and, at the end of a stream, the frames
// the resampler still holds behind them.  False after logging the failure.
bool convert(sync_audio_resampler& s, const void* data, int32_t len, bool end, Converted* out) {
  if (len > 0) {
    const uint8_t* input[1] = {static_cast<const uint8_t*>(data)};
    if (!audio_resampler_resample(s.resampler, out->planes, &out->bytes, input,
                                  static_cast<uint32_t>(len))) {
      AMIX_LOGE("sync audio resampler resample failed !");
      return false;
    }
    // No bytes yet is fine: the engine may hold a short write back.
    if (out->bytes < 0 || (out->bytes > 0 && out->planes[0] == nullptr)) {
      AMIX_LOGE("sync audio resampler resample failed: %d !", out->bytes);
      return false;
    }
  }
  if (end && !resampler_drain(s.resampler, out->bytes, out->planes, &out->bytes)) {
    AMIX_LOGE("sync audio resampler resample failed !");
    return false;
  }
  return true;
}

// Appends all `n` bytes at `bytes`: waits by the producer's rule, stores what
// fits, and while some are left (the queue is full) wakes the consumer and
// waits again.  Once interrupted nothing waits and the rest is dropped.
void append_all(sync_audio_resampler& s, Locked& locked, const uint8_t* bytes, int32_t n) {
  for (;;) {
    while (!s.interrupted && rbuf_used(s.ring) >= s.block_size) locked.wait();
    const int32_t stored = rbuf_write(s.ring, bytes, n);
    n -= stored;
    if (n == 0 || s.interrupted) return;
    bytes += stored;
    locked.signal();
  }
}

}  // namespace
}  // namespace amix::sync

extern "C" {

int sync_audio_resampler_write(sync_audio_resampler* s, const void* data, int32_t len,
                               int64_t stamp, int32_t end_of_stream) {
  if (s == nullptr || data == nullptr || s->resampler == nullptr ||
      (len <= 0 && end_of_stream == 0)) {
    AMIX_LOGE("sync audio resampler write not inited or invalid params !");
    return -1;
  }
  amix::sync::Converted out;
  if (!amix::sync::convert(*s, data, len, end_of_stream != 0, &out)) return -1;

  amix::sync::Locked locked(*s);
  // A write that goes on with the stream (or starts the next one) lifts an
  // earlier end before its bytes go in, so that the consumer waits for whole
  // blocks again while this write waits for room.  An end is recorded only
  // once the bytes are in, so that the consumer never sees it while part of
  // the last write is still outside the queue.
  if (end_of_stream == 0) s->end_of_stream = 0;
  amix::sync::append_all(*s, locked, out.planes[0], out.bytes);
  s->last_stamp = stamp;
  s->end_of_stream = end_of_stream;
  locked.signal();
  return 0;
}

int32_t sync_audio_resampler_read(sync_audio_resampler* s, void* dst, int32_t len) {
  if (s == nullptr || dst == nullptr || len <= 0 || s->resampler == nullptr ||
      len < s->block_size) {
    AMIX_LOGE("sync audio resampler read not inited or invalid params %d !",
              dst == nullptr ? 1 : 0);
    return -1;
  }
  const int32_t block = s->block_size;
  int32_t n = 0;
  {
    amix::sync::Locked locked(*s);
    while (!s->interrupted && !s->end_of_stream && rbuf_used(s->ring) < block) locked.wait();
    n = rbuf_read(s->ring, dst, block);
    locked.signal();
  }
  if (n <= 0) {
    AMIX_LOGE("sync audio resampler read failed: %d", n);
    return n;
  }
  // The caller always receives a whole block: zeros after the real bytes.
  std::memset(static_cast<uint8_t*>(dst) + n, 0, static_cast<size_t>(block - n));
  return n;
}

}  // extern "C"
