// The blocking resampler on one thread: life cycle, argument checks, the end
// of a stream, and the log lines of each.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "common/alloc.h"
#include "tests/support/log_capture.h"
#include "tests/sync/sync_test_util.h"

namespace {

using namespace amix_test;

const std::vector<LogLine> kReleaseLines = {
    info("sync audio resampler release +"), info("sync audio resampler interrupt +"),
    info("sync audio resampler interrupt -"), info("sync audio resampler released !")};

std::vector<LogLine> then_released(LogLine first) {
  std::vector<LogLine> v = {first};
  v.insert(v.end(), kReleaseLines.begin(), kReleaseLines.end());
  return v;
}

Sync make_44k_to_48k() {
  return Sync(sync_audio_resampler_create(44100, PCM_SPEAKERS_STEREO, 48000, PCM_SPEAKERS_STEREO,
                                          4096));
}

// What a new object that never fails makes of `in` as one stream.
std::vector<uint8_t> unfailed_44k_to_48k(const std::vector<uint8_t>& in) {
  Sync clean = make_44k_to_48k();
  EXPECT_EQ(sync_audio_resampler_write(clean.get(), in.data(), int32_t(in.size()), 1, 1), 0);
  return read_to_end(clean.get());
}

TEST(SyncLifecycle, CreateAndReleaseLogTheirLines) {
  LogCapture log;
  sync_audio_resampler* s =
      sync_audio_resampler_create(44100, PCM_SPEAKERS_MONO, 48000, PCM_SPEAKERS_STEREO, 4096);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->block_size, 4096);
  EXPECT_EQ(sync_audio_resampler_release(s), 0);
  EXPECT_EQ(log.lines(), then_released(info("sync audio resampler created: 44100/48000, 1/2")));
}

TEST(SyncLifecycle, RefusedCreatesLogTheCauseThenTheReleaseLines) {
  struct Case {
    int32_t src_rate, src_speakers, block;
    LogLine line;
    int32_t quality = AUDIO_RESAMPLE_QUALITY_DEFAULT;
  };
  const Case cases[] = {
      {44100, 2, 0, error("sync audio resampler block size out of range: 0")},
      {44100, 2, -4, error("sync audio resampler block size out of range: -4")},
      {44100, 2, 576001, error("sync audio resampler block size out of range: 576001")},
      {0, 2, 4096, error("failed to create audio resampler")},
      {-44100, 2, 4096, error("failed to create audio resampler")},
      {44100, 11, 4096, error("failed to create audio resampler")},
      {44100, 2, 4096, error("sync audio resampler quality out of range: 3"), 3},
      {44100, 2, 4096, error("sync audio resampler quality out of range: -1"), -1},
      {44100, 2, 0, error("sync audio resampler block size out of range: 0"), 3},
      {0, 2, 4096, error("failed to create audio resampler"), AUDIO_RESAMPLE_QUALITY_BEST},
  };
  for (const Case& c : cases) {
    LogCapture log;
    EXPECT_EQ(sync_audio_resampler_create_quality(c.src_rate, c.src_speakers, 48000, 2, c.block,
                                                  c.quality),
              nullptr);
    EXPECT_EQ(log.lines(), then_released(c.line)) << c.line.message;
  }
  Sync largest = make_identity(SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
  EXPECT_NE(largest, nullptr);
}

// Every allocation of create may fail: NULL, the step's line and the release
// lines, nothing leaked (the sanitizer and valgrind runs check that part).
TEST(SyncLifecycle, EveryAllocationFailure) {
  const LogLine no_resampler = error("failed to create audio resampler");
  const LogLine no_ring = error("failed to create ring buffer !");
  const std::vector<std::vector<LogLine>> expected = {
      {},                                                                // the record
      then_released(no_resampler), then_released(no_resampler),          // resampler, engine
      then_released(no_resampler),                                       // engine init
      then_released(no_ring), then_released(no_ring)};                  // ring, its storage
  for (long n = 1; n <= long(expected.size()); ++n) {
    LogCapture log;
    amix_fault_fail_at(n);
    EXPECT_EQ(sync_audio_resampler_create(44100, 2, 48000, 2, 4096), nullptr) << "site " << n;
    amix_fault_fail_at(0);
    EXPECT_EQ(log.lines(), expected[n - 1]) << "site " << n;
  }
  amix_fault_fail_at(long(expected.size()) + 1);
  Sync s(sync_audio_resampler_create(44100, 2, 48000, 2, 4096));
  EXPECT_EQ(amix_fault_sites_reached(), long(expected.size()));
  amix_fault_fail_at(0);
  EXPECT_NE(s, nullptr);
}

TEST(SyncCalls, RefusedArgumentsLogAndReturnMinusOne) {
  Sync s = make_identity(4096);
  std::vector<uint8_t> buf(4096, 0xAA);
  LogCapture log;
  const LogLine bad_write = error("sync audio resampler write not inited or invalid params !");
  EXPECT_EQ(sync_audio_resampler_write(nullptr, buf.data(), 4, 0, 0), -1);
  EXPECT_EQ(sync_audio_resampler_write(s.get(), nullptr, 4, 0, 0), -1);
  EXPECT_EQ(sync_audio_resampler_write(s.get(), nullptr, 0, 0, 1), -1);
  EXPECT_EQ(sync_audio_resampler_write(s.get(), buf.data(), 0, 0, 0), -1);
  EXPECT_EQ(sync_audio_resampler_write(s.get(), buf.data(), -4, 0, 0), -1);
  EXPECT_EQ(sync_audio_resampler_read(nullptr, buf.data(), 4096), -1);
  EXPECT_EQ(sync_audio_resampler_read(s.get(), nullptr, 4096), -1);
  EXPECT_EQ(sync_audio_resampler_read(s.get(), buf.data(), 0), -1);
  EXPECT_EQ(sync_audio_resampler_read(s.get(), buf.data(), 4095), -1);  // below one block
  EXPECT_EQ(sync_audio_resampler_interrupt(nullptr), -1);
  EXPECT_EQ(sync_audio_resampler_release(nullptr), -1);
  const LogLine bad_read_0 = error("sync audio resampler read not inited or invalid params 0 !");
  const LogLine bad_read_1 = error("sync audio resampler read not inited or invalid params 1 !");
  const LogLine no_object = error("sync audio resampler write not inited !");
  EXPECT_EQ(log.lines(),
            (std::vector<LogLine>{bad_write, bad_write, bad_write, bad_write, bad_write, bad_read_0,
                                  bad_read_1, bad_read_0, bad_read_0,
                                  info("sync audio resampler interrupt +"), no_object,
                                  info("sync audio resampler release +"), no_object}));
  EXPECT_EQ(buf, std::vector<uint8_t>(4096, 0xAA));  // nothing written to the destination
  EXPECT_EQ(rbuf_used(s->ring), 0);
  EXPECT_EQ(s->end_of_stream, 0);
}

// The end of a stream with 1000 bytes queued: one padded block, then 0 with
// its line and the destination untouched.  A later write starts over.
TEST(SyncCalls, EndOfStreamGivesThePaddedRestThenZero) {
  Sync s = make_identity(4096);
  const std::vector<uint8_t> in = pattern(0, 1000);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 1000, 7, 1), 0);
  EXPECT_EQ(s->last_stamp, 7);
  std::vector<uint8_t> out(4096, 0xAA);
  LogCapture log;
  ASSERT_EQ(sync_audio_resampler_read(s.get(), out.data(), 4096), 1000);
  EXPECT_EQ(pattern_match(out.data(), 1000, 0), 1000u);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1000, out.end()), std::vector<uint8_t>(3096, 0));
  out.assign(4096, 0xAA);
  EXPECT_EQ(sync_audio_resampler_read(s.get(), out.data(), 8192), 0);
  EXPECT_EQ(out, std::vector<uint8_t>(4096, 0xAA));
  EXPECT_EQ(log.lines(), std::vector<LogLine>{error("sync audio resampler read failed: 0")});

  // An announcement alone (no bytes) is an end too; a write without the flag
  // clears it.
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 4000, 8, 0), 0);
  EXPECT_EQ(s->end_of_stream, 0);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 0, 9, 1), 0);
  EXPECT_EQ(s->last_stamp, 9);
  EXPECT_EQ(sync_audio_resampler_read(s.get(), out.data(), 4096), 4000);
}

// A write that the engine holds back whole succeeds and is not lost: its
// frames come out with the end of the stream.
TEST(SyncCalls, AWriteHeldBackWholeIsASuccess) {
  Sync s = make_44k_to_48k();
  const std::vector<uint8_t> in = pattern(0, 4410);
  LogCapture log;
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 8 * kFrameBytes, 3, 0), 0);
  EXPECT_EQ(rbuf_used(s->ring), 0);
  EXPECT_EQ(s->last_stamp, 3);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data() + 32, int32_t(in.size()) - 32, 4, 1), 0);
  EXPECT_EQ(rbuf_used(s->ring), 4800 * kFrameBytes);  // 0.1 s at 48000 Hz, all of it
  EXPECT_TRUE(log.lines().empty());
}

// Streams as short as one frame, or shorter than the engine's filter, come
// out exactly as long as the rate ratio makes them, rounded to the nearest
// frame.
TEST(SyncCalls, ShortStreamsHaveTheExactLength) {
  Sync s = make_44k_to_48k();
  const std::vector<uint8_t> in = pattern(0, 100);
  for (const int32_t frames : {1, 2, 10, 11, 100}) {
    ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), frames * kFrameBytes, 0, 1), 0);
    EXPECT_EQ(read_to_end(s.get()).size(), size_t(exact_length(frames, 44100, 48000)) * kFrameBytes)
        << frames << " frames";
  }
}

// Once the resampler's block has grown to the stream's writes, neither side
// allocates.
TEST(SyncCalls, SteadyWritesAndReadsDoNotAllocate) {
  Sync s = make_44k_to_48k();
  const std::vector<uint8_t> in = pattern(0, 1024);
  std::vector<uint8_t> out(4096);
  auto step = [&] {
    ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), int32_t(in.size()), 0, 0), 0);
    while (rbuf_used(s->ring) >= 4096) {
      ASSERT_EQ(sync_audio_resampler_read(s.get(), out.data(), 4096), 4096);
    }
  };
  // A failed step ends the test: the next write would wait for good.
  for (int k = 0; k < 4; ++k) ASSERT_NO_FATAL_FAILURE(step());
  amix_fault_fail_at(0);
  for (int k = 0; k < 200; ++k) ASSERT_NO_FATAL_FAILURE(step());
  EXPECT_EQ(amix_fault_sites_reached(), 0);
}

// A write whose converter output block cannot grow (its allocation fails):
// -1 with the line, and the queue, the flag and the stamp as they were.  The
// refused growth consumes no input: the same write then goes through, and
// the stream comes out exactly as from an object that never failed.
TEST(SyncCalls, AWriteWhoseOutputCannotGrowFailsAndChangesNothing) {
  const std::vector<uint8_t> in = pattern(0, 1024 + 256);
  const uint8_t* second = in.data() + 256 * kFrameBytes;
  Sync s = make_44k_to_48k();
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 256 * kFrameBytes, 1, 0), 0);
  const int32_t queued = rbuf_used(s->ring);
  LogCapture log;
  amix_fault_fail_at(1);
  EXPECT_EQ(sync_audio_resampler_write(s.get(), second, 1024 * kFrameBytes, 2, 1), -1);
  EXPECT_EQ(amix_fault_sites_reached(), 1);
  amix_fault_fail_at(0);
  EXPECT_EQ(log.lines(), std::vector<LogLine>{error("sync audio resampler resample failed !")});
  EXPECT_EQ(rbuf_used(s->ring), queued);
  EXPECT_EQ(s->end_of_stream, 0);
  EXPECT_EQ(s->last_stamp, 1);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), second, 1024 * kFrameBytes, 2, 1), 0);
  EXPECT_EQ(read_to_end(s.get()), unfailed_44k_to_48k(in));
}

// An end whose drain fails (the engine cannot take the silence it is fed):
// -1 with the lines, the write's own bytes queued and its stamp stored, and
// the stream left open until an announced end ends it: with its whole tail,
// exactly as an object that never failed ends it.
TEST(SyncCalls, AFailedDrainLeavesTheStreamOpenUntilTheNextEnd) {
  const std::vector<uint8_t> in = pattern(0, 512 + 256);
  Sync s = make_44k_to_48k();
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 512 * kFrameBytes, 1, 0), 0);
  const int32_t queued = rbuf_used(s->ring);
  LogCapture log;
  // The conversion needs no room: the first site is the drain's, and the
  // engine reports AVERROR(ENOMEM).
  amix_fault_fail_at(1);
  EXPECT_EQ(sync_audio_resampler_write(s.get(), in.data() + 512 * kFrameBytes, 256 * kFrameBytes,
                                       2, 1),
            -1);
  amix_fault_fail_at(0);
  EXPECT_EQ(log.lines(),
            (std::vector<LogLine>{error("swr_convert failed: " + std::to_string(-ENOMEM)),
                                  error("sync audio resampler resample failed !")}));
  const int32_t with_write = rbuf_used(s->ring);
  EXPECT_GT(with_write, queued);
  EXPECT_EQ(s->end_of_stream, 0);
  EXPECT_EQ(s->last_stamp, 2);
  ASSERT_EQ(sync_audio_resampler_write(s.get(), in.data(), 0, 3, 1), 0);
  EXPECT_EQ(s->end_of_stream, 1);
  EXPECT_EQ(read_to_end(s.get()), unfailed_44k_to_48k(in));
}

}  // namespace
