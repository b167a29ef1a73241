// The stamps of the blocking resampler's queued audio: where each stream
// begins in the queue, and where its write stamps jump.
//
// Positions count the bytes ever queued before a point (the queue's own
// read position never wraps back).  A stream's output frame j sits at its
// origin + j frames; the write whose first source frame is a sits at the
// first output frame at or after the same time, ceil(a * dst / src).
//
// The blocks follow anchors: the start of each stream, and each write whose
// stamp is 1 ms or more away from the time that the newest anchor gives its
// first frame (a gap or a seek).  Smaller differences (rounding, jitter)
// are taken as the same clock.  A block starting at position p follows the
// last anchor at or before p: its stamp is that anchor's stamp plus the
// stream time from the anchor's first frame to the block's.
#pragma once

#include <cstdint>

#include "tavrin_amix/sync_audio_resampler.h"

namespace amix::sync {

// Anchors that may wait in the queue ahead of the one in use.
constexpr int32_t kPendingAnchors = 64;

struct Anchor {
  int64_t at;         // position of its first output frame
  int64_t origin;     // position of its stream's first output frame
  int64_t stamp;      // the stamp of the write it comes from
  int64_t source_us;  // stream time of that write's first frame, microseconds
};

// Where a block begins and the anchor it follows, taken under the lock.
struct BlockStart {
  int64_t at;
  Anchor anchor;
};

}  // namespace amix::sync

// The record; its fields are grouped by who touches them.
struct sync_audio_stamps {
  // Fixed at create.
  int64_t src_rate, dst_rate;
  int64_t src_frame_bytes, dst_frame_bytes;
  // The producer's own: the stream being written.
  bool stream_open;
  int64_t stream_frames;  // its source frames written so far
  // Under the object's lock.
  int64_t queued, taken;  // bytes ever queued, ever read
  amix::sync::Anchor anchors[amix::sync::kPendingAnchors + 1];  // a ring
  int32_t first, count;  // anchors[first] is the one in use

  void setup(int32_t src_rate, int32_t src_channels, int32_t dst_rate, int32_t dst_channels);

  // Producer, under the lock, before the write's bytes go in: anchors the
  // start of a stream or a jump, and counts `frames` source frames.
  void note_write(int64_t stamp, int64_t frames);
  void note_queued(int32_t bytes) { queued += bytes; }
  // Producer, under the lock: the stream has ended; the next write opens one.
  void note_end() { stream_open = false; }

  // Consumer, under the lock, for a read that took `bytes` > 0 bytes: where
  // its block began and the anchor it follows.
  amix::sync::BlockStart take(int32_t bytes);

  // The stamp of the frame holding byte `start.at`; any thread.
  int64_t stamp_of(const amix::sync::BlockStart& start) const;

 private:
  amix::sync::Anchor& slot(int32_t k) { return anchors[(first + k) % (amix::sync::kPendingAnchors + 1)]; }
  void record(const amix::sync::Anchor& anchor);
  void settle();
};
