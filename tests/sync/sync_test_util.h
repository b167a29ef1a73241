// Helpers shared by the blocking resampler's tests.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sync/sync_impl.h"
#include "tavrin_amix/sync_audio_resampler.h"
#include "tests/support/deadline.h"

namespace amix_test {

// How much of the long runs to do: all of it in an optimised build, less
// under the sanitizers (AMIX_TEST_SLOW, set by the build), and less still
// under valgrind, which runs one thread at a time.
inline double run_scale() {
  if (under_valgrind()) return 0.01;
#ifdef AMIX_TEST_SLOW
  return 0.1;
#else
  return 1.0;
#endif
}

struct SyncDeleter {
  void operator()(sync_audio_resampler* s) const { sync_audio_resampler_release(s); }
};
using Sync = std::unique_ptr<sync_audio_resampler, SyncDeleter>;

// 48000 Hz stereo on both sides: the conversion is an identity.
inline Sync make_identity(int32_t block_size) {
  return Sync(sync_audio_resampler_create(48000, PCM_SPEAKERS_STEREO, 48000,
                                          PCM_SPEAKERS_STEREO, block_size));
}

// Work on its own thread that may block in the object: a call, or one side
// of a stream.  Whatever ends the test, the thread is not left blocked:
// finish() waits for it up to a deadline and, past it, fails the test and
// interrupts the object, so that a blocked call returns; leaving the scope
// without finish() interrupts at once (a failed check left the test early).
// A thread that does not return even after the interrupt ends the program.
class Task {
 public:
  Task(sync_audio_resampler* s, std::function<void()> body)
      : s_(s), thread_([this, body = std::move(body)] {
          body();
          done_ = true;
        }) {}
  ~Task() {
    if (!thread_.joinable()) return;
    sync_audio_resampler_interrupt(s_);
    join();
  }
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  bool done() const { return done_; }

  // Waits for the thread to return; false, after a failure, when it had to
  // be interrupted.
  bool finish() {
    const bool in_time = eventually([this] { return done(); });
    if (!in_time) {
      ADD_FAILURE() << "a thread is still blocked after " << scaled(kDeadline).count()
                    << " ms: interrupting it";
      sync_audio_resampler_interrupt(s_);
    }
    join();
    return in_time;
  }

 private:
  void join() {
    if (!eventually([this] { return done(); })) {
      std::fprintf(stderr, "a thread stays blocked after an interrupt\n");
      std::abort();
    }
    thread_.join();
  }

  sync_audio_resampler* const s_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

constexpr int32_t kStillWaiting = -2;

// One read or write on its own thread; `result` is kStillWaiting until it
// returns.
struct Call {
  std::atomic<int32_t> result{kStillWaiting};
  Task task;
  Call(sync_audio_resampler* s, std::function<int32_t()> call)
      : task(s, [this, call = std::move(call)] { result = call(); }) {}
  int32_t get() {
    task.finish();
    return result;
  }
};

// Whether `call`, on `side` of `s`, is blocked: polled until that side has
// begun more than `waits` waits while the call is still out (true), or the
// call returned or the deadline passed (false).
inline bool blocked(sync_audio_resampler* s, amix::sync::Side side, int64_t waits,
                    const Call& call) {
  eventually([&] { return amix::sync::waits_begun(s, side) > waits || call.task.done(); });
  return amix::sync::waits_begun(s, side) > waits && !call.task.done();
}

// The bytes queued, read under the object's lock.
inline int32_t queued(sync_audio_resampler* s) {
  amix::sync::Locked locked(*s);
  return rbuf_used(s->ring);
}

// The counting pattern: stereo 16-bit frame k holds k as a 32-bit number, so
// a lost, repeated or reordered frame shows at once.
constexpr int32_t kFrameBytes = 4;

inline uint8_t pattern_byte(uint64_t at) {
  const auto frame = static_cast<uint32_t>(at / kFrameBytes);
  uint8_t bytes[kFrameBytes];
  std::memcpy(bytes, &frame, kFrameBytes);
  return bytes[at % kFrameBytes];
}

// Frames first .. first + count - 1 of the pattern.
inline std::vector<uint8_t> pattern(uint32_t first, uint32_t count) {
  std::vector<uint8_t> v(size_t(count) * kFrameBytes);
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t frame = first + k;
    std::memcpy(v.data() + size_t(k) * kFrameBytes, &frame, kFrameBytes);
  }
  return v;
}

// Length of the run at the start of `bytes` that matches the pattern from
// byte `at` on.
inline size_t pattern_match(const uint8_t* bytes, size_t n, uint64_t at) {
  size_t i = 0;
  while (i < n && bytes[i] == pattern_byte(at + i)) ++i;
  return i;
}

// floor(n * dst / src + 1/2), the frames a stream of n source frames comes
// out as.
inline int64_t exact_length(int64_t n, int64_t src, int64_t dst) {
  return (2 * n * dst + src) / (2 * src);
}

// Every byte a consumer reads in blocks of the object's size, until the
// first 0.
inline std::vector<uint8_t> read_to_end(sync_audio_resampler* s) {
  std::vector<uint8_t> got, dst(size_t(s->block_size));
  for (int32_t n; (n = sync_audio_resampler_read(s, dst.data(), s->block_size)) > 0;) {
    got.insert(got.end(), dst.begin(), dst.begin() + n);
  }
  return got;
}

// What a consumer saw of a stream of the counting pattern.
struct Delivery {
  uint64_t bytes = 0;        // real bytes delivered
  uint64_t pattern_run = 0;  // of them, the leading run that matches the pattern
  int short_blocks = 0;      // blocks with fewer than `block` real bytes
  bool padding_zero = true;  // the rest of each short block
  int32_t last = 0;          // the read that ended it
};

// Reads blocks of `block` bytes until a read gives 0 or -1, the destination
// filled with 0xAA before each; interrupts `s` before read `interrupt_at`.
inline Delivery read_pattern(sync_audio_resampler* s, int32_t block, int interrupt_at = -1) {
  Delivery seen;
  std::vector<uint8_t> dst(static_cast<size_t>(block));
  for (int k = 0;; ++k) {
    if (k == interrupt_at) sync_audio_resampler_interrupt(s);
    std::fill(dst.begin(), dst.end(), 0xAA);
    const int32_t n = seen.last = sync_audio_resampler_read(s, dst.data(), block);
    if (n <= 0) return seen;
    if (seen.pattern_run == seen.bytes) {
      seen.pattern_run += pattern_match(dst.data(), size_t(n), seen.bytes);
    }
    seen.bytes += uint64_t(n);
    if (n < block) {
      ++seen.short_blocks;
      seen.padding_zero &=
          std::all_of(dst.begin() + n, dst.end(), [](uint8_t b) { return b == 0; });
    }
  }
}

}  // namespace amix_test
