#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "common/alloc.h"
#include "tavrin_amix/multi_audio_mixer.h"
#include "tests/support/log_capture.h"

namespace {

using amix_test::error;
using amix_test::info;
using amix_test::LogCapture;
using amix_test::LogLine;

TEST(MultiMixer, LifecycleAndLogLines) {
  LogCapture log;
  multi_audio_mixer* m = multi_audio_mixer_create(4096);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->block_size, 4096);
  std::vector<int16_t> a(2048, 1000), b(2048, -300);
  int16_t* tracks[] = {a.data(), b.data()};
  const float volumes[] = {1.0f, 1.0f};
  ASSERT_EQ(multi_audio_mixer_mix(m, tracks, volumes, 2), 0);
  for (int i = 0; i < 2048; ++i) ASSERT_EQ(m->out_block[i], 700) << i;
  EXPECT_EQ(multi_audio_mixer_release(m), 0);
  EXPECT_EQ(log.lines(), (std::vector<LogLine>{info("multi audio mixer created: 4096"),
                                               info("multi audio mixer released !")}));
}

// Refused mixes log and keep the previous block; a block of no samples
// refuses every mix; a negative size makes no mixer.
TEST(MultiMixer, RefusalsLogAndKeepThePreviousBlock) {
  multi_audio_mixer* m = multi_audio_mixer_create(8);
  ASSERT_NE(m, nullptr);
  std::vector<int16_t> a = {1, 2, 3, 4};
  int16_t* tracks[] = {a.data()};
  int16_t* missing[] = {nullptr};
  const float volumes[] = {1.0f};
  ASSERT_EQ(multi_audio_mixer_mix(m, tracks, volumes, 1), 0);
  LogCapture log;
  EXPECT_EQ(multi_audio_mixer_mix(m, tracks, volumes, 0), -1);
  EXPECT_EQ(multi_audio_mixer_mix(m, missing, volumes, 1), -1);
  EXPECT_EQ(std::vector<int16_t>(m->out_block, m->out_block + 4), a);
  multi_audio_mixer* zero = multi_audio_mixer_create(0);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(multi_audio_mixer_mix(zero, tracks, volumes, 1), -1);
  multi_audio_mixer_release(zero);
  EXPECT_EQ(multi_audio_mixer_create(-2), nullptr);
  EXPECT_EQ(log.lines(), (std::vector<LogLine>{error("audio_mixer_mix_int16 failed !"),
                                               error("audio_mixer_mix_int16 failed !"),
                                               info("multi audio mixer created: 0"),
                                               error("audio_mixer_mix_int16 failed !"),
                                               info("multi audio mixer released !"),
                                               error("audio_mixer_create failed !")}));
  multi_audio_mixer_release(m);
}

TEST(MultiMixer, OddBlockSizeEndsWithAZeroByte) {
  multi_audio_mixer* m = multi_audio_mixer_create(7);
  ASSERT_NE(m, nullptr);
  std::memset(m->out_block, 0xAB, 7);
  std::vector<int16_t> a = {10, 20, 30, 0x7F7F}, b = {1, 2, 3, 0x7F7F};
  int16_t* tracks[] = {a.data(), b.data()};
  const float volumes[] = {1.0f, 1.0f};
  ASSERT_EQ(multi_audio_mixer_mix(m, tracks, volumes, 2), 0);
  EXPECT_EQ(std::vector<int16_t>(m->out_block, m->out_block + 3), (std::vector<int16_t>{11, 22, 33}));
  EXPECT_EQ(reinterpret_cast<uint8_t*>(m->out_block)[6], 0);
  multi_audio_mixer_release(m);
}

// The gain a block leaves carries to the next, ramped or not; refusals and a
// null record change nothing, the null record silently.
TEST(MultiMixer, RampsGainAndRefusals) {
  multi_audio_mixer* m = multi_audio_mixer_create(8);  // two stereo frames
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(multi_audio_mixer_last_gain(m), 1.0f);
  std::vector<int16_t> a = {100, 100, 100, 100}, b = {30000, 30000, 30000, 30000};
  int16_t* tracks[] = {a.data(), b.data()};
  const float from[] = {1.0f, 0.0f}, to[] = {0.0f, 1.0f};
  LogCapture log;
  ASSERT_EQ(multi_audio_mixer_mix_ramp(m, tracks, from, to, 2, 2), 0);
  // a at 1.0 (untouched), then 0.5; b at 0, then 0.5.
  EXPECT_EQ(std::vector<int16_t>(m->out_block, m->out_block + 4),
            (std::vector<int16_t>{100, 100, 15050, 15050}));
  EXPECT_EQ(multi_audio_mixer_last_gain(m), 1.0f);
  // A loud block: the gain it was written with, before the release.
  std::vector<int16_t> c(4, 30000), d(4, 30000);
  int16_t* loud[] = {c.data(), d.data()};
  const float unity[] = {1.0f, 1.0f};
  ASSERT_EQ(multi_audio_mixer_mix_ramp(m, loud, unity, unity, 2, 4), 0);
  EXPECT_EQ(std::vector<int16_t>(m->out_block, m->out_block + 4), std::vector<int16_t>(4, 32766));
  EXPECT_EQ(multi_audio_mixer_last_gain(m), 0.54611665f);

  EXPECT_EQ(multi_audio_mixer_mix_ramp(m, tracks, from, to, 2, 3), -1);
  EXPECT_EQ(multi_audio_mixer_mix_ramp(m, tracks, from, to, 2, 0), -1);
  EXPECT_EQ(multi_audio_mixer_mix_ramp(nullptr, tracks, from, to, 2, 2), -1);
  EXPECT_EQ(multi_audio_mixer_mix(nullptr, nullptr, unity, 1), -1);
  EXPECT_EQ(multi_audio_mixer_release(nullptr), -1);
  EXPECT_EQ(multi_audio_mixer_last_gain(nullptr), -1.0f);
  EXPECT_EQ(multi_audio_mixer_last_gain(m), 0.54611665f);
  EXPECT_EQ(log.lines(),
            (std::vector<LogLine>{
                error("multi audio mixer block of 4 samples is not whole frames of 3 channels"),
                error("audio_mixer_mix_int16_ramp failed !")}));
  // The plain mix goes on at the released gain: 1000 x 0.56030053.
  std::vector<int16_t> e(4, 1000), f(4, 0);
  int16_t* quiet[] = {e.data(), f.data()};
  ASSERT_EQ(multi_audio_mixer_mix(m, quiet, unity, 2), 0);
  EXPECT_EQ(std::vector<int16_t>(m->out_block, m->out_block + 4), std::vector<int16_t>(4, 560));
  multi_audio_mixer_release(m);
}

// Every allocation of create may fail: NULL, the matching line, no leak
// (the sanitizer build checks the last part).
TEST(MultiMixer, AllocationFailures) {
  const std::vector<std::vector<LogLine>> expected = {
      {},                                                             // the record
      {error("audio_mixer_create failed !")},                         // the mixer
      {error("audio_mixer_create failed !")},                         // its sums
      {error("multi audio mixer out block allocation failed: 64")}};  // the block
  for (long n = 1; n <= long(expected.size()); ++n) {
    LogCapture log;
    amix_fault_fail_at(n);
    EXPECT_EQ(multi_audio_mixer_create(64), nullptr) << "allocation " << n;
    amix_fault_fail_at(0);
    EXPECT_EQ(log.lines(), expected[n - 1]) << "allocation " << n;
  }
  amix_fault_fail_at(long(expected.size()) + 1);
  multi_audio_mixer* m = multi_audio_mixer_create(64);
  EXPECT_EQ(amix_fault_sites_reached(), long(expected.size()));
  amix_fault_fail_at(0);
  ASSERT_NE(m, nullptr);
  multi_audio_mixer_release(m);
}

}  // namespace
