// Helpers shared by the blocking resampler's tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

#include "tavrin_amix/sync_audio_resampler.h"

namespace amix_test {

inline bool under_valgrind() {
#ifdef RUNNING_ON_VALGRIND
  return RUNNING_ON_VALGRIND != 0;
#else
  return false;
#endif
}

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

// Aborts the program when its scope is not left within `limit`, so that a
// deadlock fails the run instead of hanging it.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(60))
      : thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
            const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
            std::fprintf(stderr, "watchdog: %s.%s still waiting after %lld s: deadlock?\n",
                         test ? test->test_suite_name() : "?", test ? test->name() : "?",
                         static_cast<long long>(limit.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_one();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

// Gives a thread that should stay blocked time to return if it wrongly does.
inline void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

struct SyncDeleter {
  void operator()(sync_audio_resampler* s) const { sync_audio_resampler_release(s); }
};
using Sync = std::unique_ptr<sync_audio_resampler, SyncDeleter>;

// 48000 Hz stereo on both sides: the conversion is an identity.
inline Sync make_identity(int32_t block_size) {
  return Sync(sync_audio_resampler_create(48000, PCM_SPEAKERS_STEREO, 48000,
                                          PCM_SPEAKERS_STEREO, block_size));
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

}  // namespace amix_test
