// Hands whole frames to an encoder on a thread of its own, so that
// encoding (FLAC's costs about as much as all the rest of a mix) runs beside
// the work that makes the samples, on the machine's second core.  Frames
// are copied into chunks of about 64 KB; at most a few chunks wait, after
// which write() waits for the encoder.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace amix {

class BackgroundWriter {
 public:
  // Takes `frames` frames at `data`; returns "" when they were written,
  // else why not.  It runs on the writer's thread, one call at a time, and
  // is not called again once it has failed.
  using Sink = std::function<std::string(const uint8_t* data, int64_t frames)>;

  BackgroundWriter(Sink sink, size_t frame_bytes);
  // Stops the thread; frames not yet written are dropped.
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Queues `frames` frames.  Returns false once the sink has failed (see
  // failure()); those frames are then dropped.
  bool write(const uint8_t* data, int64_t frames);
  // Hands over what is queued and waits until the sink has taken it all.
  // Returns false when the sink failed.  No write() may follow.
  bool finish();
  // Why the sink failed.  REQUIRES: write() or finish() returned false.
  const std::string& failure() const { return failure_; }

 private:
  void run();
  // Queues the chunk being filled, waiting while the queue is full.
  // REQUIRES: `lock` holds mutex_.
  void hand_over(std::unique_lock<std::mutex>& lock);

  Sink sink_;
  size_t frame_bytes_;
  size_t chunk_bytes_;
  std::vector<uint8_t> filling_;  // the caller's chunk

  std::mutex mutex_;
  std::condition_variable changed_;       // a chunk queued, taken or written; a stop
  std::deque<std::vector<uint8_t>> queue_;  // full chunks, oldest first
  std::vector<std::vector<uint8_t>> spare_;  // written chunks, for reuse
  bool busy_ = false;     // the thread is writing a chunk
  bool stop_ = false;     // no more chunks will come
  bool failed_ = false;
  std::string failure_;
  std::thread thread_;
};

}  // namespace amix
