// The blocking resampler's two sides: write (producer) and read (consumer).
//
// Wait rules, each re-tested after every wake-up:
//   producer: waits while not interrupted and a whole block is queued;
//   consumer: waits while not interrupted, not at the end of the stream and
//             less than a whole block is queued.
// The two exclude each other, so at most one thread waits at a time and one
// signal wakes it.  Each side signals after a change that can release the
// other: a write that leaves a whole block queued (or an end, or a full
// queue), a read that leaves less than a whole block.  A change that cannot
// release the waiting side wakes nobody, so that writes smaller than a
// block, and the bursts of a filter that gives its output out in blocks,
// do not wake the consumer only for it to wait again.

#include <pthread.h>

#include <cstdint>
#include <cstring>

#include "common/log.h"
#include "sync/sync_impl.h"
#include "sync/sync_stamps.h"
#include "tavrin_amix/sync_audio_resampler.h"

namespace amix::sync {
namespace {

// What one write hands to the queue: a run inside the resampler's output
// block, valid until its next call (only this producer makes calls).
struct Converted {
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = 0;
};

// Converts the write's whole frames.  False after logging the failure.
bool convert(sync_audio_resampler& s, const void* data, int32_t len, Converted* out) {
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
  return true;
}

// Ends the stream in the resampler: the frames it still owes.  False after
// logging the failure.
bool drain(sync_audio_resampler& s, Converted* out) {
  if (!audio_resampler_drain(s.resampler, out->planes, &out->bytes)) {
    AMIX_LOGE("sync audio resampler resample failed !");
    return false;
  }
  return true;
}

// Appends all `n` bytes at `bytes`: waits by the producer's rule (unless the
// write `waited` already, for bytes before these), stores what fits, and
// while some are left (the queue is full) wakes the consumer and waits
// again.  Once interrupted nothing waits and the rest is dropped.
void append_all(sync_audio_resampler& s, Locked& locked, const uint8_t* bytes, int32_t n,
                bool waited = false) {
  for (;; waited = false) {
    while (!waited && !s.interrupted && rbuf_used(s.ring) >= s.block_size) {
      locked.wait(Side::kProducer);
    }
    const int32_t stored = rbuf_write(s.ring, bytes, n);
    s.stamps->note_queued(stored);
    n -= stored;
    if (n == 0 || s.interrupted) return;
    bytes += stored;
    locked.signal();
  }
}

// Queues a write's own converted bytes.  They lift an earlier end before
// they go in, so that the consumer waits for whole blocks again while this
// write waits for room, instead of taking a short block out of the middle
// of the next stream.
void queue_write(sync_audio_resampler& s, const Converted& out, int64_t stamp, int64_t frames) {
  Locked locked(s);
  s.end_of_stream = 0;
  s.stamps->note_write(stamp, frames);
  append_all(s, locked, out.planes[0], out.bytes);
  s.last_stamp = stamp;
  // Only a whole block can release the consumer.
  if (rbuf_used(s.ring) >= s.block_size) locked.signal();
}

// Queues the end of the stream after its last bytes.  The end is recorded
// only once they are in, so that the consumer never sees it while part of
// the stream is still outside the queue.  The tail belongs to the write that
// `waited` already when that write carried bytes of its own.
void queue_end(sync_audio_resampler& s, const Converted& tail, int64_t stamp, bool waited) {
  Locked locked(s);
  append_all(s, locked, tail.planes[0], tail.bytes, waited);
  s.stamps->note_end();
  s.last_stamp = stamp;
  s.end_of_stream = 1;
  locked.signal();
}

// The consumer's side of read and read_stamped.
int32_t read_block(sync_audio_resampler* s, void* dst, int32_t len, int64_t* stamp) {
  if (s == nullptr || dst == nullptr || len <= 0 || len < s->block_size) {
    AMIX_LOGE("sync audio resampler read not inited or invalid params %d !",
              dst == nullptr ? 1 : 0);
    return -1;
  }
  const int32_t block = s->block_size;
  int32_t n = 0;
  BlockStart start{};
  {
    Locked locked(*s);
    while (!s->interrupted && !s->end_of_stream && rbuf_used(s->ring) < block) {
      locked.wait(Side::kConsumer);
    }
    n = rbuf_read(s->ring, dst, block);
    if (n > 0) start = s->stamps->take(n);
    // Only room below a whole block can release the producer.
    if (rbuf_used(s->ring) < block) locked.signal();
  }
  if (n <= 0) {
    AMIX_LOGE("sync audio resampler read failed: %d", n);
    return n;
  }
  // The caller always receives a whole block: zeros after the real bytes.
  std::memset(static_cast<uint8_t*>(dst) + n, 0, static_cast<size_t>(block - n));
  if (stamp != nullptr) *stamp = s->stamps->stamp_of(start);
  return n;
}

}  // namespace
}  // namespace amix::sync

extern "C" {

int sync_audio_resampler_write(sync_audio_resampler* s, const void* data, int32_t len,
                               int64_t stamp, int32_t end_of_stream) {
  if (s == nullptr || data == nullptr || (len <= 0 && end_of_stream == 0)) {
    AMIX_LOGE("sync audio resampler write not inited or invalid params !");
    return -1;
  }
  if (len > 0) {
    amix::sync::Converted out;
    if (!amix::sync::convert(*s, data, len, &out)) return -1;
    amix::sync::queue_write(*s, out, stamp, len / s->stamps->src_frame_bytes);
  }
  if (end_of_stream == 0) return 0;
  // The stream's last bytes are queued: the resampler's block is free for
  // the frames it still owes.
  amix::sync::Converted tail;
  if (!amix::sync::drain(*s, &tail)) return -1;
  amix::sync::queue_end(*s, tail, stamp, len > 0);
  return 0;
}

int32_t sync_audio_resampler_read(sync_audio_resampler* s, void* dst, int32_t len) {
  return amix::sync::read_block(s, dst, len, nullptr);
}

int32_t sync_audio_resampler_read_stamped(sync_audio_resampler* s, void* dst, int32_t len,
                                          int64_t* stamp) {
  return amix::sync::read_block(s, dst, len, stamp);
}

}  // extern "C"
