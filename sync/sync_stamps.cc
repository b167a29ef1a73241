// The stamps of the blocking resampler's queued audio (see sync_stamps.h).

#include "sync/sync_stamps.h"

#include <cstdint>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace amix::sync {
namespace {

constexpr int64_t kMicroseconds = 1000000;
// Differences below this are the same clock; from it on, a jump.
constexpr uint64_t kJumpUs = 1000;
constexpr int32_t kSlots = kPendingAnchors + 1;

// `frames` at `rate` in microseconds, rounded to the nearest.
int64_t duration_us(int64_t frames, int64_t rate) {
  return av_rescale_rnd(frames, kMicroseconds, rate, AV_ROUND_NEAR_INF);
}

// a + b - c on the 64-bit circle: stamps are the caller's values, which may
// lie anywhere, and the result must not overflow (it wraps instead).
int64_t offset(int64_t a, int64_t b, int64_t c) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b) -
                              static_cast<uint64_t>(c));
}

}  // namespace
}  // namespace amix::sync

using amix::sync::Anchor;
using amix::sync::BlockStart;

void sync_audio_stamps::setup(int32_t src, int32_t src_channels, int32_t dst,
                              int32_t dst_channels) {
  src_rate = src;
  dst_rate = dst;
  src_frame_bytes = 2 * int64_t{src_channels};
  dst_frame_bytes = 2 * int64_t{dst_channels};
}

void sync_audio_stamps::note_write(int64_t stamp, int64_t frames) {
  using namespace amix::sync;
  if (!stream_open) {
    stream_open = true;
    stream_frames = 0;
    record({queued, queued, stamp, 0});
  } else {
    const Anchor& newest = slot(count - 1);
    const int64_t source_us = duration_us(stream_frames, src_rate);
    const int64_t expected = offset(newest.stamp, source_us, newest.source_us);
    const uint64_t drift = static_cast<uint64_t>(stamp) - static_cast<uint64_t>(expected);
    if (drift + (kJumpUs - 1) > 2 * (kJumpUs - 1)) {  // |drift| >= 1 ms
      const int64_t first_out = av_rescale_rnd(stream_frames, dst_rate, src_rate, AV_ROUND_UP);
      record({newest.origin + first_out * dst_frame_bytes, newest.origin, stamp, source_us});
    }
  }
  stream_frames += frames;
}

// The newest anchor is always kept: a new one at the same position takes
// its place, and so does one that finds every pending slot taken.
void sync_audio_stamps::record(const Anchor& anchor) {
  if (count > 0) {
    Anchor& newest = slot(count - 1);
    if (newest.at == anchor.at || count == amix::sync::kSlots) {
      newest = anchor;
      return;
    }
  }
  slot(count++) = anchor;
}

// Drops the anchors that no block can follow any more: all before the last
// one at or before the read position.
void sync_audio_stamps::settle() {
  while (count >= 2 && slot(1).at <= taken) {
    first = (first + 1) % amix::sync::kSlots;
    --count;
  }
}

BlockStart sync_audio_stamps::take(int32_t bytes) {
  settle();
  const BlockStart start{taken, slot(0)};
  taken += bytes;
  settle();
  return start;
}

int64_t sync_audio_stamps::stamp_of(const BlockStart& start) const {
  using namespace amix::sync;
  const int64_t frame = (start.at - start.anchor.origin) / dst_frame_bytes;
  return offset(start.anchor.stamp, duration_us(frame, dst_rate), start.anchor.source_us);
}
