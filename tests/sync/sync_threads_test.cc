// The blocking resampler between real threads: who waits, and what wakes it.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/sync/sync_test_util.h"

namespace {

using namespace amix_test;

using amix::sync::Side;

constexpr int32_t kBlock = 4096;

// A read on its own thread, into `dst`.
struct Reader {
  std::vector<uint8_t> dst = std::vector<uint8_t>(kBlock, 0xAA);
  Call call;
  explicit Reader(sync_audio_resampler* s)
      : call(s, [this, s] { return sync_audio_resampler_read(s, dst.data(), kBlock); }) {}
};

// A write of `in` on its own thread.
Call write_call(sync_audio_resampler* s, const std::vector<uint8_t>& in) {
  return Call(s, [s, &in] {
    return sync_audio_resampler_write(s, in.data(), int32_t(in.size()), 0, 0);
  });
}

// A read waits on an empty queue, goes on waiting after a write of less
// than a block (which does not even wake it), and returns once a whole
// block is queued.
TEST(SyncThreads, AReadWaitsForAWholeBlock) {
  Sync s = make_identity(kBlock);
  const std::vector<uint8_t> in = pattern(0, 2000);
  Reader reader(s.get());
  ASSERT_TRUE(blocked(s.get(), Side::kConsumer, 0, reader.call));
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 4000, 0, 0), 0);
  ASSERT_FALSE(reader.call.task.done());
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data() + 4000, 4000, 0, 0), 0);
  ASSERT_EQ(reader.call.get(), kBlock);
  EXPECT_EQ(pattern_match(reader.dst.data(), kBlock, 0), size_t(kBlock));
  EXPECT_EQ(queued(s.get()), 8000 - kBlock);
}

TEST(SyncThreads, AWriteWaitsWhileAWholeBlockIsQueued) {
  Sync s = make_identity(kBlock);
  const std::vector<uint8_t> first = pattern(0, 1250), second = pattern(1250, 25);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), first.data(), 5000, 0, 0), 0);
  Call writer = write_call(s.get(), second);
  ASSERT_TRUE(blocked(s.get(), Side::kProducer, 0, writer));
  EXPECT_EQ(queued(s.get()), 5000);
  std::vector<uint8_t> out(kBlock);
  ASSERT_EQ(sync_audio_resampler_read(s.get(), out.data(), kBlock), kBlock);
  ASSERT_EQ(writer.get(), 0);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), first.data(), 0, 0, 1), 0);
  ASSERT_EQ(sync_audio_resampler_read(s.get(), out.data(), kBlock), 5000 - kBlock + 100);
  EXPECT_EQ(pattern_match(out.data(), 5000 - kBlock + 100, kBlock), size_t(5000 - kBlock + 100));
}

// A write larger than the queue's free space fills it, waits for the
// consumer and goes on: every byte arrives, in order, in whole blocks.  The
// same holds for the first write after an ended stream: while it waits for
// room the consumer waits for whole blocks again, instead of taking a short,
// zero-padded one out of the middle of the new stream.  An interrupt wakes
// the writer instead, with what fitted kept.
TEST(SyncThreads, AWriteLargerThanTheFreeSpaceWaitsForRoomOrAnInterrupt) {
  enum Case { kNewObject, kAfterEnd, kInterrupted };
  for (const Case c : {kNewObject, kAfterEnd, kInterrupted}) {
    SCOPED_TRACE(c == kNewObject ? "on a new object" : c == kAfterEnd ? "after an ended stream"
                                                                      : "interrupted");
    Sync s = make_identity(kBlock);
    std::vector<uint8_t> out(kBlock);
    if (c == kAfterEnd) {
      ASSERT_EQ(sync_audio_resampler_write(s.get(), out.data(), 1000, 0, 1), 0);
      ASSERT_EQ(sync_audio_resampler_read(s.get(), out.data(), kBlock), 1000);
      ASSERT_EQ(sync_audio_resampler_read(s.get(), out.data(), kBlock), 0);
    }
    const std::vector<uint8_t> in = pattern(0, 409600);  // 400 blocks
    Call writer = write_call(s.get(), in);
    ASSERT_TRUE(blocked(s.get(), Side::kProducer, 0, writer));
    ASSERT_EQ(queued(s.get()), SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
    if (c == kInterrupted) {
      ASSERT_EQ(sync_audio_resampler_interrupt(s.get()), 0);
      EXPECT_EQ(writer.get(), 0);
      EXPECT_EQ(queued(s.get()), SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
      continue;
    }
    size_t got = 0;
    while (got < in.size()) {
      const int32_t n = sync_audio_resampler_read(s.get(), out.data(), kBlock);
      ASSERT_EQ(n, kBlock) << "at " << got;
      ASSERT_EQ(pattern_match(out.data(), size_t(n), got), size_t(n)) << "at " << got;
      got += size_t(n);
    }
    EXPECT_EQ(writer.get(), 0);
    EXPECT_EQ(queued(s.get()), 0);
  }
}

// Interrupt wakes a waiting read (a waiting write: above); afterwards nothing
// waits, a write keeps what fits and drops the rest, and reads drain what is
// queued.
TEST(SyncThreads, InterruptWakesTheWaiterAndNothingWaitsAfterwards) {
  Sync s = make_identity(kBlock);
  const std::vector<uint8_t> in = pattern(0, 150000);  // 600000 bytes
  {
    ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 100, 0, 0), 0);
    Reader reader(s.get());
    ASSERT_TRUE(blocked(s.get(), Side::kConsumer, 0, reader.call));
    LogCapture log;
    ASSERT_EQ(sync_audio_resampler_interrupt(s.get()), 0);
    ASSERT_EQ(reader.call.get(), 100);
    EXPECT_EQ(pattern_match(reader.dst.data(), 100, 0), 100u);
    EXPECT_EQ(std::vector<uint8_t>(reader.dst.begin() + 100, reader.dst.end()),
              std::vector<uint8_t>(kBlock - 100, 0));
    EXPECT_EQ(log.lines(), (std::vector<LogLine>{info("sync audio resampler interrupt +"),
                                                 info("sync audio resampler interrupt -")}));
  }
  // Two writes that would each wait before an interrupt.
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 5000, 0, 0), 0);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data() + 5000, int32_t(in.size()) - 5000, 0, 0),
            0);
  EXPECT_EQ(queued(s.get()), SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
  std::vector<uint8_t> out(kBlock);
  int64_t total = 0;
  for (int32_t n; (n = sync_audio_resampler_read(s.get(), out.data(), kBlock)) > 0;) total += n;
  EXPECT_EQ(total, SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
}

}  // namespace
