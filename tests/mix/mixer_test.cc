#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "common/alloc.h"
#include "tavrin_amix/audio_mixer.h"
#include "tavrin_amix/multi_audio_mixer.h"
#include "tests/mix/mix_test_util.h"

namespace {

using amix_test::gain_of;
using amix_test::lib_mix;
using amix_test::lib_mix_ramp;
using amix_test::lib_scale_ramp;
using amix_test::make_mixer;
using amix_test::mix16;
using amix_test::Mixer;
using amix_test::same_bits;

TEST(MixerCreate, CapacityRulesAndAllocationFailures) {
  Mixer dflt = make_mixer(0);
  ASSERT_NE(dflt, nullptr);
  EXPECT_EQ(dflt->capacity, 1920);
  EXPECT_EQ(gain_of(dflt.get()), 1.0f);
  EXPECT_EQ(audio_mixer_last_gain(dflt.get()), 1.0f);
  EXPECT_EQ(audio_mixer_last_gain(nullptr), -1.0f);
  EXPECT_EQ(audio_mixer_create(-1), nullptr);
  audio_mixer_destroy(nullptr);
  for (long n = 1; n <= 2; ++n) {  // the record, its sums
    amix_fault_fail_at(n);
    EXPECT_EQ(audio_mixer_create(64), nullptr) << "allocation " << n;
  }
  amix_fault_fail_at(0);
}

// 30 tracks of 4096 samples at volume 0.8 and an output, through `call`
// with 1, 2 and 30 tracks; whether every call succeeded.
template <typename T, typename Call>
bool call_with_track_counts(Call call) {
  std::vector<std::vector<T>> data(30, std::vector<T>(4096, T(100)));
  std::vector<T*> tracks;
  for (auto& d : data) tracks.push_back(d.data());
  std::vector<float> volumes(30, 0.8f);
  std::vector<T> out(4096);
  bool ok = true;
  for (int32_t k : {1, 2, 30}) ok = ok && call(tracks.data(), volumes.data(), k, out.data());
  return ok;
}

TEST(MixerCalls, AllocateNothing) {
  Mixer m = make_mixer(8192);
  multi_audio_mixer* multi = multi_audio_mixer_create(8192);
  amix_fault_fail_at(0);
  const auto scale_and_mix = [&](auto sample) {
    using T = decltype(sample);
    return call_with_track_counts<T>([&](T** tracks, const float* volumes, int32_t k, T* out) {
      amix_test::lib_scale(out, 4096, 0.5f);
      return lib_mix(m.get(), tracks, volumes, 4096, k, out);
    });
  };
  EXPECT_TRUE(scale_and_mix(uint8_t{}));
  EXPECT_TRUE(scale_and_mix(int16_t{}));
  EXPECT_TRUE(scale_and_mix(int32_t{}));
  EXPECT_TRUE(scale_and_mix(float{}));
  EXPECT_TRUE(call_with_track_counts<int16_t>(
      [&](int16_t** tracks, const float* volumes, int32_t k, int16_t*) {
        return multi_audio_mixer_mix(multi, tracks, volumes, k) == 0;
      }));
  EXPECT_EQ(amix_fault_sites_reached(), 0);
  multi_audio_mixer_release(multi);
}

// Every refusal of the variant for T leaves the tracks, the output and the
// gain as they were.
template <typename T>
void expect_refusals_change_nothing() {
  Mixer m = make_mixer(8);  // 4 samples per multi-track call
  m->gain = 0.75f;
  m->last_gain = 0.5f;
  std::vector<T> a = {10, 20, 30, 40, 50}, b = a, out(5, T(7));  // floats: 0.5 would clamp
  T* tracks[] = {a.data(), b.data()};
  T* first_missing[] = {nullptr, b.data()};
  const float volumes[] = {0.5f, 0.5f};
  const std::vector<T> a0 = a, out0 = out;

  EXPECT_FALSE(lib_mix(nullptr, tracks, volumes, 4, 2, out.data()));
  EXPECT_FALSE(lib_mix(m.get(), tracks, volumes, 0, 2, out.data()));
  EXPECT_FALSE(lib_mix(m.get(), tracks, volumes, 4, 0, out.data()));
  EXPECT_FALSE(lib_mix(m.get(), tracks, volumes, 4, 2, static_cast<T*>(nullptr)));
  EXPECT_FALSE(lib_mix(m.get(), first_missing, volumes, 4, 2, out.data()));
  EXPECT_FALSE(lib_mix(m.get(), nullptr, volumes, 4, 2, out.data()));
  EXPECT_FALSE(lib_mix(m.get(), tracks, nullptr, 4, 2, out.data()));
  // Negative counts are faults too, not successes.
  EXPECT_FALSE(lib_mix(m.get(), tracks, volumes, -1, 1, out.data()));
  EXPECT_FALSE(lib_mix(m.get(), tracks, volumes, -1, 2, out.data()));
  EXPECT_FALSE(lib_mix(m.get(), tracks, volumes, 4, -3, out.data()));
  // More samples than the scratch space holds: refused before any scaling.
  EXPECT_FALSE(lib_mix(m.get(), tracks, volumes, 5, 2, out.data()));

  // The ramped mix refuses the same, plus a bad block shape and volumes
  // that are not finite (or whose difference is not), on any track.
  const float to[] = {0.25f, 0.25f}, nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // Track 0 or 1 with a volume, or a difference of volumes, not finite.
  const float bad_from[][2] = {{nan, 0.5f}, {0.5f, -inf}, {-3e38f, 0.5f}};
  const float bad_to[][2] = {{0.25f, 0.25f}, {0.25f, 0.25f}, {3e38f, 0.25f}};
  EXPECT_FALSE(lib_mix_ramp(nullptr, tracks, volumes, to, 2, 2, 2, out.data()));
  EXPECT_FALSE(lib_mix_ramp(m.get(), first_missing, volumes, to, 2, 2, 2, out.data()));
  EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, volumes, nullptr, 2, 2, 2, out.data()));
  EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, nullptr, to, 2, 2, 2, out.data()));
  EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, volumes, to, 2, 2, 0, out.data()));
  EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, volumes, to, 5, 1, 2, out.data()));  // capacity
  for (int32_t channels : {0, -1, 33}) {
    EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, volumes, to, 1, channels, 1, out.data()));
  }
  for (int32_t frames : {0, -2, 1 << 30}) {  // 2^30 stereo frames: past INT32_MAX samples
    EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, volumes, to, frames, 2, 1, out.data()));
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, bad_from[i], bad_to[i], 2, 2, 2, out.data()));
    EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, bad_to[i], bad_from[i], 2, 2, 2, out.data()));
    if (i != 1) {
      EXPECT_FALSE(lib_mix_ramp(m.get(), tracks, bad_from[i], bad_to[i], 1, 1, 1, out.data()));
    }
  }
  std::vector<T> scaled = a;
  for (float from : {nan, inf, -3e38f}) lib_scale_ramp(scaled.data(), 2, 2, from, 3e38f);
  lib_scale_ramp(scaled.data(), 4, 0, 0.5f, 0.25f);
  lib_scale_ramp(scaled.data(), 0, 4, 0.5f, 0.25f);
  lib_scale_ramp(static_cast<T*>(nullptr), 4, 1, 0.5f, 0.25f);
  EXPECT_TRUE(same_bits(scaled, a0));

  EXPECT_TRUE(same_bits(a, a0));
  EXPECT_TRUE(same_bits(b, a0));
  EXPECT_TRUE(same_bits(out, out0));
  EXPECT_EQ(gain_of(m.get()), 0.75f);
  EXPECT_EQ(audio_mixer_last_gain(m.get()), 0.5f);

  // The volumes of a missing track are not read.
  T* second_missing[] = {a.data(), nullptr};
  const float nan_second[] = {1.0f, nan};
  EXPECT_TRUE(lib_mix_ramp(m.get(), second_missing, nan_second, nan_second, 1, 4, 2, out.data()));

  // The limit binds only the multi-track path.
  EXPECT_TRUE(lib_mix(m.get(), tracks, volumes, 5, 1, out.data()));
}

TEST(MixerRefusals, ChangeNothingInEveryVariant) {
  expect_refusals_change_nothing<uint8_t>();
  expect_refusals_change_nothing<int16_t>();
  expect_refusals_change_nothing<int32_t>();
  expect_refusals_change_nothing<float>();
}

TEST(MixerSingleTrack, ScalesCopiesAndResetsGain) {
  Mixer m = make_mixer();
  m->gain = 0.3f;
  m->last_gain = 0.3f;
  std::vector<int16_t> t = {1000, -3}, out(2);
  int16_t* tracks[] = {t.data()};
  const float volumes[] = {0.5f};
  ASSERT_TRUE(audio_mixer_mix_int16(m.get(), tracks, volumes, 2, 1, out.data()));
  EXPECT_EQ(t, (std::vector<int16_t>{500, -1}));
  EXPECT_EQ(out, t);
  EXPECT_EQ(gain_of(m.get()), 1.0f);
  EXPECT_EQ(audio_mixer_last_gain(m.get()), 1.0f);
}

// Mixes `tracks` at unity on `m`, each repeated over a long block (the vector
// body and its tail), and checks the output, repeated likewise, the gain
// left for the next call and, when given, the gain the sums were written at.
template <typename T>
void expect_mix(audio_mixer* m, const std::vector<std::vector<T>>& tracks,
                const std::vector<T>& out, float gain_after, float written_with = 0.0f) {
  std::vector<std::vector<T>> blocks;
  std::vector<T*> pointers;
  for (const auto& t : tracks) blocks.push_back(amix_test::repeated(t));
  for (auto& b : blocks) pointers.push_back(b.data());
  const std::vector<float> volumes(tracks.size(), 1.0f);
  std::vector<T> got(amix_test::kSpan);
  ASSERT_TRUE(lib_mix(m, pointers.data(), volumes.data(), int32_t(got.size()),
                      int32_t(pointers.size()), got.data()));
  EXPECT_TRUE(same_bits(got, amix_test::repeated(out)));
  EXPECT_EQ(gain_of(m), gain_after) << std::setprecision(17) << gain_of(m) << " for " << gain_after;
  if (written_with != 0.0f) {
    EXPECT_EQ(audio_mixer_last_gain(m), written_with);
  }
}

template <typename T>
void expect_fresh_mix(const std::vector<std::vector<T>>& tracks, const std::vector<T>& out,
                      float gain_after, float written_with = 0.0f) {
  SCOPED_TRACE(::testing::Message() << sizeof(T) << "-byte samples, first sum "
                                    << double(tracks[0][0]) + double(tracks[1][0]));
  Mixer m = make_mixer();
  expect_mix(m.get(), tracks, out, gain_after, written_with);
}

constexpr int32_t kI32Max = std::numeric_limits<int32_t>::max();

// The attack at the limit and just above it.  A block whose peak, in single
// precision times the gain, is not above the limit is written at the gain
// as it was; one above it at limit / peak, after which the gain moves 1/32
// of the way back to 1.  Worked out by hand, independently of the mixer.
TEST(MixerGain, AttackAtTheLimitAndJustAbove) {
  // 8-bit sums start from 0, not from a midpoint: 255 is the limit.
  expect_fresh_mix<uint8_t>({{200, 100}, {55, 100}}, {255, 200}, 1.0f);
  expect_fresh_mix<uint8_t>({{128}, {128}}, {255}, 0.9962158203125f);  // 255/256, released
  expect_fresh_mix<int16_t>({{32767, 1000}, {0, 234}}, {32767, 1234}, 1.0f);
  expect_fresh_mix<int16_t>({{-32768, 2}, {0, 0}}, {-32767, 1}, 0.9999704360961914f);
  // 32767 / 60000 = 0.5461166501045227, released to 0.5603005290031433.
  // The sums were written at 0.54611665, the gain before the release.
  expect_fresh_mix<int16_t>({{30000, -30000, 100}, {30000, -30000, 100}}, {32766, -32766, 109},
                            0.5603005290031433f, 0.54611665f);
  // 32-bit: the limit is INT32_MAX in single precision, 2^31, which every
  // sum up to 2^31 + 128 rounds to: INT32_MAX + 101 keeps the gain and
  // saturates.  2^24 + 1 loses its low bit on the way.
  expect_fresh_mix<int32_t>({{kI32Max, 16777217}, {101, 0}}, {kI32Max, 16777216}, 1.0f);
  // INT32_MAX + 130 rounds to 2^31 + 256: gain 2147483647 / 2147483777 =
  // 1 - 2^-24 in single precision; 2^30 comes out 64 lower.
  expect_fresh_mix<int32_t>({{kI32Max, 1 << 29}, {130, 1 << 29}}, {kI32Max, 1073741760},
                            0.99999994039535522f);
  // 2^32 - 2: gain exactly 0.5, released to 0.515625.
  expect_fresh_mix<int32_t>({{kI32Max, -5}, {kI32Max, 5}}, {kI32Max, 0}, 0.515625f);
  // Floats: the limit is 1.0, which 1 + 2^-24 rounds to (ties to even);
  // 1 + 2^-23 is above it: gain 1 - 2^-23, which the release cannot raise.
  const float half_up = std::nextafter(0.5f, 1.0f), half_up2 = std::nextafter(half_up, 1.0f);
  expect_fresh_mix<float>({{0.5f, 0.25f}, {half_up, 0.25f}}, {1.0f, 0.5f}, 1.0f);
  expect_fresh_mix<float>({{0.5f, 0.25f}, {half_up2, 0.25f}}, {1.0f, 0.5f * 0.99999988f},
                          0.99999988079071044921875f);
}

// The release is formed in double precision.  Below a gain of 0.5, 1 - gain
// is not exact in single precision, and a single-precision step would leave
// another gain after the fourth block below and another output after the
// fifth.  Worked out by hand, independently of the mixer.
TEST(MixerGain, ReleaseInDoublePrecisionStallsJustBelowOne) {
  Mixer loud = make_mixer();
  // Peak 2 x INT32_MAX + 600000042: gain 0.43871256709098816, then released.
  expect_mix<int32_t>(loud.get(), {{kI32Max}, {kI32Max}, {600000042}}, {kI32Max},
                      0.4562528133392334f);
  const struct {
    int32_t out;
    float gain_after;
  } quiet[] = {{489897728, 0.47324490547180176f},
               {508142848, 0.48970600962638855f},
               {525817824, 0.5056527256965637f},
               {542940480, 0.5211010575294495f}};
  for (const auto& block : quiet) {  // sums of 2^30: no attack
    expect_mix<int32_t>(loud.get(), {{1 << 29}, {1 << 29}, {0}}, {block.out}, block.gain_after);
  }

  Mixer m = make_mixer();
  m->gain = 0.5f;
  int calls = 0;
  while (gain_of(m.get()) <= 0.99f) {
    mix16(m.get(), {0}, {0});
    ++calls;
  }
  EXPECT_EQ(calls, 124);
  for (int i = 0; i < 1000; ++i) mix16(m.get(), {0}, {0});
  EXPECT_EQ(gain_of(m.get()), 1.0f - 1.0f / 1048576.0f);
  EXPECT_EQ(mix16(m.get(), {1000, 1, 32767}, {0, 0, 0}), (std::vector<int16_t>{999, 0, 32766}));

  // A single-track call restores exactly 1.0.
  std::vector<int16_t> t = {1000}, out(1);
  int16_t* tracks[] = {t.data()};
  const float unity[] = {1.0f};
  ASSERT_TRUE(audio_mixer_mix_int16(m.get(), tracks, unity, 1, 1, out.data()));
  EXPECT_EQ(gain_of(m.get()), 1.0f);
  EXPECT_EQ(mix16(m.get(), {1000}, {0}), std::vector<int16_t>{1000});
}

// Mixes a and b (missing with b_missing) at `volumes` on a fresh mixer, the
// output into a (which 0), into b (1) or separate (2); returns the output.
template <typename T>
std::vector<T> mix_into(int which, std::vector<T> a, std::vector<T> b, const float* volumes,
                        bool b_missing = false) {
  Mixer m = make_mixer();
  std::vector<T> separate(a.size());
  T* tracks[] = {a.data(), b_missing ? nullptr : b.data()};
  T* out = which == 0 ? a.data() : which == 1 ? b.data() : separate.data();
  EXPECT_TRUE(lib_mix(m.get(), tracks, volumes, int32_t(a.size()), 2, out));
  return std::vector<T>(out, out + a.size());
}

TEST(MixerTracks, OutputMayBeATrackAndLaterTracksMayBeMissing) {
  const float volumes[] = {0.8f, 1.5f};
  const std::vector<int16_t> a = {30000, -7, 12, 900}, b = {5000, 3, -12, 100};
  const std::vector<int16_t> expected = mix_into(2, a, b, volumes);
  EXPECT_EQ(mix_into(0, a, b, volumes), expected);
  EXPECT_EQ(mix_into(1, a, b, volumes), expected);

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> fa = {0.9f, -0.7f, 0.125f, 0.3f}, fb = {0.5f, 0.2f, -0.1f, nan};
  const std::vector<float> fexpected = mix_into(2, fa, fb, volumes);
  EXPECT_TRUE(same_bits(mix_into(0, fa, fb, volumes), fexpected));
  EXPECT_TRUE(same_bits(mix_into(1, fa, fb, volumes), fexpected));
  // A missing later track is silent, its volume unread, but keeps the
  // multi-track path: a peak of 32768 lowers the gain to 32767/32768 (not a
  // plain copy); 0.9 x 0.8 alone is 0.72, below full scale.
  const float nan_second[] = {1.0f, nan};
  EXPECT_EQ(mix_into<int16_t>(2, {-32768, 32767}, {0, 0}, nan_second, true),
            (std::vector<int16_t>{-32767, 32766}));
  EXPECT_TRUE(same_bits(mix_into(2, fa, fb, volumes, true),
                        {0.9f * 0.8f, -0.7f * 0.8f, 0.125f * 0.8f, 0.3f * 0.8f}));
}

}  // namespace
