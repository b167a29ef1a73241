// Long streams between a producer and a consumer thread: random write sizes
// of the counting pattern, ends and interrupts at random points.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/sync/sync_test_util.h"

namespace {

using namespace amix_test;

struct Plan {
  uint32_t seed;
  int32_t block;
  uint32_t frames;          // the whole stream, in source frames
  uint32_t max_write = 4096;  // frames; some writes are far larger (see below)
  bool big_writes = false;  // now and then a write larger than the queue's free space
  int producer_interrupts_at = -1;  // write index, or -1
  int consumer_interrupts_at = -1;  // read index, or -1
};

// What the consumer saw, and the bytes the producer wrote before any
// interrupt.
struct Seen : Delivery {
  uint64_t written_first = 0;
};

// The producer's writes: random sizes, the last one carrying the end of the
// stream or followed by an announcement of it.  Returns the bytes written
// before it raised an interrupt (all of them when it raised none).
uint64_t produce(sync_audio_resampler* s, const Plan& plan) {
  std::mt19937 rng(plan.seed);
  std::vector<uint8_t> buf;
  uint32_t sent = 0;
  uint64_t written_first = uint64_t(plan.frames) * kFrameBytes;
  for (int k = 0; sent < plan.frames; ++k) {
    if (k == plan.producer_interrupts_at) {
      written_first = uint64_t(sent) * kFrameBytes;
      sync_audio_resampler_interrupt(s);
    }
    uint32_t n = 1 + rng() % plan.max_write;
    if (plan.big_writes && rng() % 64 == 0) n = 150000 + rng() % 50000;  // > 576000 bytes
    n = std::min(n, plan.frames - sent);
    buf = pattern(sent, n);
    sent += n;
    const bool last = sent == plan.frames;
    const bool end_here = last && rng() % 2 == 0;
    EXPECT_EQ(sync_audio_resampler_write(s, buf.data(), int32_t(buf.size()), k, end_here), 0);
    if (last && !end_here) {
      EXPECT_EQ(sync_audio_resampler_write(s, buf.data(), 0, k, 1), 0);
    }
  }
  return written_first;
}

// The consumer interrupts the object once it has its 0, so that a producer
// never stays blocked behind a consumer that stopped too early.
Seen run(sync_audio_resampler* s, const Plan& plan) {
  Seen seen;
  Task consumer(s, [&] {
    static_cast<Delivery&>(seen) = read_pattern(s, plan.block, plan.consumer_interrupts_at);
    sync_audio_resampler_interrupt(s);
  });
  const uint64_t written_first = produce(s, plan);
  consumer.finish();
  seen.written_first = written_first;
  return seen;
}

uint32_t scaled(double frames) { return uint32_t(std::max(48000.0, frames * run_scale())); }

// Minutes of audio through an identity conversion come out byte for byte:
// nothing lost, nothing repeated, whole blocks until the one padded last
// block.  Blocks of odd sizes split frames; the largest block is the queue.
TEST(SyncStream, IdentityStreamsArriveByteForByte) {
  const Plan plans[] = {
      {1, 4096, scaled(48000.0 * 120), 4096, true},
      {2, 4098, scaled(48000.0 * 20), 3000, true},
      {3, SYNC_AUDIO_RESAMPLER_QUEUE_BYTES, scaled(48000.0 * 20), 20000, true},
      {4, 6, scaled(48000.0 * 0.5), 300},
  };
  for (const Plan& plan : plans) {
    SCOPED_TRACE("block " + std::to_string(plan.block));
    Sync s = make_identity(plan.block);
    const Seen seen = run(s.get(), plan);
    const uint64_t total = uint64_t(plan.frames) * kFrameBytes;
    EXPECT_EQ(seen.bytes, total);
    EXPECT_EQ(seen.pattern_run, total);
    EXPECT_EQ(seen.short_blocks, total % uint64_t(plan.block) != 0 ? 1 : 0);
    EXPECT_TRUE(seen.padding_zero);
  }
}

// An interrupt at a random point, raised by either side: both threads
// return, and everything written before it arrives in order.
TEST(SyncStream, RandomInterruptsLetBothSidesReturn) {
  std::mt19937 rng(7);
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    Plan plan{seed, 4096, scaled(48000.0 * 3), 8192, seed % 3 == 0};
    // Before the stream's last write (or read): writes average 4096 frames,
    // reads take 1024.
    const int at = int(rng() % (plan.frames / 4096 / 2 + 1));
    (seed % 2 ? plan.producer_interrupts_at : plan.consumer_interrupts_at) = at;
    SCOPED_TRACE("seed " + std::to_string(seed) + ", interrupt at " + std::to_string(at));
    Sync s = make_identity(plan.block);
    const Seen seen = run(s.get(), plan);
    EXPECT_TRUE(seen.padding_zero);
    EXPECT_LE(seen.bytes, uint64_t(plan.frames) * kFrameBytes);
    if (plan.consumer_interrupts_at >= 0) {
      // Every block read before the interrupt was whole and in order.
      EXPECT_GE(seen.pattern_run, std::min<uint64_t>(seen.bytes, uint64_t(at) * 4096));
    } else {
      // The writes before it waited for room: all of them came through.
      EXPECT_GE(seen.pattern_run, seen.written_first);
    }
  }
}

// With a rate change, a stream of n frames comes out as exactly
// floor(n * dst / src + 1/2) frames: the engine's held-back tail is not lost,
// at any quality.
TEST(SyncStream, ARateChangeDeliversTheExactLength) {
  struct Case {
    int32_t src, dst, quality = AUDIO_RESAMPLE_QUALITY_DEFAULT;
  };
  for (auto [src, dst, quality] : {Case{44100, 48000}, {48000, 44100}, {8000, 48000}, {48000, 8000},
                                   {44100, 48000, AUDIO_RESAMPLE_QUALITY_HIGH},
                                   {48000, 8000, AUDIO_RESAMPLE_QUALITY_BEST}}) {
    SCOPED_TRACE(std::to_string(src) + " -> " + std::to_string(dst) + ", quality " +
                 std::to_string(quality));
    Sync s(sync_audio_resampler_create_quality(src, PCM_SPEAKERS_STEREO, dst, PCM_SPEAKERS_STEREO,
                                               4096, quality));
    const Plan plan{uint32_t(src), 4096, scaled(src * 10.0) + 3, 2048};
    const Seen seen = run(s.get(), plan);
    EXPECT_EQ(seen.bytes, uint64_t(exact_length(plan.frames, src, dst)) * kFrameBytes);
  }
}

// Streams that follow one another through one object: each ends with its own
// padded block and 0, and a stream after an end comes out exactly as from a
// new object.
TEST(SyncStream, AStreamAfterAnEndStartsClean) {
  const std::vector<uint8_t> first = pattern(0, 30000), second = pattern(5, 22050);
  std::vector<std::vector<uint8_t>> outputs;
  Sync reused(sync_audio_resampler_create(44100, 2, 48000, 2, 4096));
  Sync fresh(sync_audio_resampler_create(44100, 2, 48000, 2, 4096));
  for (const auto* in : {&first, &second}) {
    // One write of the whole stream with its end: the queue takes it all.
    ASSERT_EQ(sync_audio_resampler_write(reused.get(), in->data(), int32_t(in->size()), 0, 1), 0);
    outputs.push_back(read_to_end(reused.get()));
    ASSERT_EQ(queued(reused.get()), 0);  // else the next write would wait for good
  }
  ASSERT_EQ(sync_audio_resampler_write(fresh.get(), second.data(), int32_t(second.size()), 0, 1),
            0);
  EXPECT_EQ(outputs[1], read_to_end(fresh.get()));
  EXPECT_EQ(outputs[1].size(), 24000u * kFrameBytes);
}

}  // namespace
