// Block stamps: each block read with sync_audio_resampler_read_stamped
// carries the time of its first frame, from the stamps of the writes.  A
// producer and a consumer thread, except where the test needs the queue to
// fill up first.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/sync/sync_test_util.h"

namespace {

using namespace amix_test;

constexpr int32_t kBlock = 4096;

// Part of a stream whose stamps advance with its frames from `stamp` on;
// the first write of every segment but the stream's first is a jump.
struct Segment {
  uint32_t frames;
  int64_t stamp;
};
using Stream = std::vector<Segment>;

struct Block {
  int64_t at;  // bytes of the streams before it
  int32_t bytes;
  int64_t stamp;
};

int64_t rounded_us(int64_t frames, int64_t rate) { return (2 * frames * 1000000 + rate) / (2 * rate); }

class StampRun {
 public:
  StampRun(int32_t src, int32_t dst, std::vector<Stream> streams,
           int32_t quality = AUDIO_RESAMPLE_QUALITY_DEFAULT)
      : src_(src), dst_(dst), quality_(quality), streams_(std::move(streams)) {}

  // The producer writes every stream in random sizes of 1 to `max_write`
  // frames, each write stamped by its segment, and ends each stream; the
  // consumer reads every block, alternating the stamped and the plain read.
  // A side that stops on a failed check interrupts the object, so that the
  // other one returns too.  Then every stamped block must carry its first
  // frame's time within one destination frame period.
  void run(uint32_t seed, uint32_t max_write) {
    Sync s(sync_audio_resampler_create_quality(src_, PCM_SPEAKERS_STEREO, dst_, PCM_SPEAKERS_STEREO,
                                               kBlock, quality_));
    ASSERT_NE(s, nullptr);
    std::atomic<bool> produced{false};
    Task consumer(s.get(), [&] {
      if (!consume(s.get(), produced)) sync_audio_resampler_interrupt(s.get());
    });
    if (!produce(s.get(), seed, max_write)) sync_audio_resampler_interrupt(s.get());
    produced = true;
    consumer.finish();
    check();
  }

 private:
  void check() const {
    int stamped = 0;
    for (const Block& b : blocks_) {
      if (b.stamp == kUnstamped) continue;
      ++stamped;
      const double expected = expected_stamp(b.at);
      ASSERT_LE(std::fabs(double(b.stamp) - expected), 1e6 / dst_)
          << "block at byte " << b.at << ": " << b.stamp << " for " << expected;
    }
    EXPECT_GT(stamped, 0);
  }

  static constexpr int64_t kUnstamped = INT64_MIN;

  // False after a failed write.
  bool produce(sync_audio_resampler* s, uint32_t seed, uint32_t max_write) {
    std::mt19937 rng(seed);
    const std::vector<uint8_t> data = pattern(0, max_write);
    for (const Stream& stream : streams_) {
      for (size_t k = 0; k < stream.size(); ++k) {
        const Segment& seg = stream[k];
        for (uint32_t at = 0; at < seg.frames;) {
          const uint32_t n = std::min(seg.frames - at, 1 + uint32_t(rng() % max_write));
          const bool last = k + 1 == stream.size() && at + n == seg.frames;
          const int64_t stamp = seg.stamp + rounded_us(at, src_);
          const int32_t bytes = int32_t(n) * kFrameBytes;
          if (sync_audio_resampler_write(s, data.data(), bytes, stamp, last) != 0) {
            ADD_FAILURE() << "a write failed";
            return false;
          }
          at += n;
        }
      }
    }
    return true;
  }

  // Reads every stream's blocks; false after a failed check.  A read of 0
  // between two streams is tried again until the next stream begins; once
  // the producer is done, a 0 means the streams came out short.
  bool consume(sync_audio_resampler* s, const std::atomic<bool>& produced) {
    int64_t total = 0;
    for (const Stream& stream : streams_) total += exact_length(frames_of(stream), src_, dst_) * kFrameBytes;
    std::vector<uint8_t> dst(kBlock);
    for (int64_t at = 0; at < total;) {
      int64_t stamp = kUnstamped;
      const bool stamped = blocks_.size() % 2 == 0;
      int32_t n = 0;
      bool finished = false;
      eventually([&] {
        finished = produced;
        n = stamped ? sync_audio_resampler_read_stamped(s, dst.data(), kBlock, &stamp)
                    : sync_audio_resampler_read(s, dst.data(), kBlock);
        return n != 0 || finished;
      });
      if (n <= 0) {
        ADD_FAILURE() << (n < 0 ? "a read failed" : finished ? "the streams came out short"
                                                             : "no next stream")
                      << " after " << at << " of " << total << " bytes";
        return false;
      }
      blocks_.push_back({at, n, stamp});
      at += n;
    }
    return true;
  }

  static int64_t frames_of(const Stream& stream) {
    int64_t n = 0;
    for (const Segment& seg : stream) n += seg.frames;
    return n;
  }

  // The model: the stream and the frame j that byte `at` belongs to, and the
  // last segment that began at or before j's time (a / src <= j / dst).
  double expected_stamp(int64_t at) const {
    for (const Stream& stream : streams_) {
      const int64_t bytes = exact_length(frames_of(stream), src_, dst_) * kFrameBytes;
      if (at >= bytes) {
        at -= bytes;
        continue;
      }
      const int64_t j = at / kFrameBytes;
      int64_t a = 0, first = 0;
      const Segment* current = &stream[0];
      for (const Segment& seg : stream) {
        if (first * dst_ <= j * src_) current = &seg, a = first;
        first += seg.frames;
      }
      return double(current->stamp) + (double(j) / dst_ - double(a) / src_) * 1e6;
    }
    ADD_FAILURE() << "byte " << at << " is past every stream";
    return 0;
  }

  const int32_t src_, dst_, quality_;
  const std::vector<Stream> streams_;
  std::vector<Block> blocks_;
};

const std::pair<int32_t, int32_t> kRates[] = {{44100, 48000}, {48000, 44100}, {48000, 48000},
                                              {8000, 48000}, {48000, 8000}};

// A continuous stream in writes of random sizes: block k carries
// t0 + k * block_frames / dst_rate.  Three seconds of it; one where every
// step costs many times more.
TEST(SyncStamps, AContinuousStreamFollowsItsFirstStamp) {
  const uint32_t seconds = run_scale() < 1 ? 1 : 3;
  for (const auto& [src, dst] : kRates) {
    SCOPED_TRACE(std::to_string(src) + " -> " + std::to_string(dst));
    for (const uint32_t max_write : {7u, 4096u}) {
      StampRun run(src, dst, {{{uint32_t(src) * seconds + 11, 1234567890123}}});
      run.run(uint32_t(src) + max_write, max_write);
    }
  }
}

// A gap forwards and a seek backwards, each 1 ms or more away (here also
// at the smallest such jump), with plain stretches around them: the blocks
// whose first frame comes after a jump follow its stamps, the others the
// stamps before it.
TEST(SyncStamps, GapsAndSeeksAreFollowed) {
  for (const auto& [src, dst] : kRates) {
    SCOPED_TRACE(std::to_string(src) + " -> " + std::to_string(dst));
    const Stream stream = {{uint32_t(src) / 2, 0},
                           {uint32_t(src) / 3 + 5, 5000000},                  // a gap of 4.5 s
                           {uint32_t(src), -2000000},                         // a seek back
                           {uint32_t(src) / 4, -2000000 + 1000000 + 1000}};  // 1 ms late
    StampRun run(src, dst, {stream});
    run.run(3, 1500);
  }
}

// A new stream after an end carries its own stamps from its first block on
// (a block that begins with the last bytes of the stream before follows
// that stream).
TEST(SyncStamps, TheNextStreamCarriesItsOwnStamps) {
  for (const auto& [src, dst] : kRates) {
    SCOPED_TRACE(std::to_string(src) + " -> " + std::to_string(dst));
    StampRun run(src, dst,
                 {{{uint32_t(src) + 333, 10000000}}, {{uint32_t(src) / 2, 123}},
                  {{1, 99000000}}, {{uint32_t(src) / 5, -7}}});
    run.run(5, 3000);
  }
}

// soxr gives its output in bursts: the stamps, which follow stream
// positions, are as exact with the presets, across a gap and a new stream.
TEST(SyncStamps, PresetsKeepTheStampsWithinOneFrame) {
  for (const auto& [src, dst] : {std::pair{44100, 48000}, {48000, 8000}}) {
    for (const int32_t quality : {AUDIO_RESAMPLE_QUALITY_HIGH, AUDIO_RESAMPLE_QUALITY_BEST}) {
      SCOPED_TRACE(std::to_string(src) + " -> " + std::to_string(dst) + ", quality " +
                   std::to_string(quality));
      StampRun run(src, dst,
                   {{{uint32_t(src) * 2, 1234567}, {uint32_t(src) / 3, 9000000}},
                    {{uint32_t(src) / 2, 77}}},
                   quality);
      run.run(uint32_t(quality), 3000);
    }
  }
}

// One-frame writes, each a jump of 10 ms, pile up in an interrupted object
// (where nothing waits) far beyond the 64 that may wait.  The 64 waiting
// first are followed; each later one took the newest's place, so the blocks
// in between follow the last of the 63 before them; from the newest one on
// the stamps are right again.
TEST(SyncStamps, MoreJumpsThanTheRecordHoldsStayBounded) {
  Sync s = make_identity(400);  // 100 frames a block
  ASSERT_EQ(sync_audio_resampler_interrupt(s.get()), 0);
  const std::vector<uint8_t> data = pattern(0, 200);
  for (int64_t k = 0; k < 1000; ++k) {
    ASSERT_EQ(sync_audio_resampler_write(s.get(), data.data(), kFrameBytes, k * 10000, 0), 0);
  }
  // 200 frames that go on from the last jump.
  ASSERT_EQ(sync_audio_resampler_write(s.get(), data.data(), 200 * kFrameBytes,
                                       999 * 10000 + rounded_us(1, 48000), 0),
            0);
  std::vector<uint8_t> dst(400);
  for (int64_t block = 0; block < 12; ++block) {
    int64_t stamp = -1;
    ASSERT_EQ(sync_audio_resampler_read_stamped(s.get(), dst.data(), 400, &stamp), 400);
    const int64_t frame = block * 100;
    const int64_t jump = frame == 0 ? 0 : frame < 1000 ? 63 : 999;
    const double expected = double(jump) * 10000 + double(frame - jump) * 1e6 / 48000;
    EXPECT_LE(std::fabs(double(stamp) - expected), 1e6 / 48000) << "block " << block;
  }
}

// A read that returns 0 or -1 leaves the stamp alone; a NULL stamp is a
// plain read.
TEST(SyncStamps, OnlyADeliveredBlockSetsTheStamp) {
  Sync s = make_identity(kBlock);
  std::vector<uint8_t> dst(kBlock);
  int64_t stamp = 42;
  EXPECT_EQ(sync_audio_resampler_read_stamped(s.get(), dst.data(), kBlock - 1, &stamp), -1);
  const std::vector<uint8_t> data = pattern(0, 10);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), data.data(), 40, 7000, 1), 0);
  EXPECT_EQ(sync_audio_resampler_read_stamped(s.get(), dst.data(), kBlock, nullptr), 40);
  EXPECT_EQ(sync_audio_resampler_read_stamped(s.get(), dst.data(), kBlock, &stamp), 0);
  EXPECT_EQ(stamp, 42);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), data.data(), 40, 9000, 1), 0);
  EXPECT_EQ(sync_audio_resampler_read_stamped(s.get(), dst.data(), kBlock, &stamp), 40);
  EXPECT_EQ(stamp, 9000);
}

}  // namespace
