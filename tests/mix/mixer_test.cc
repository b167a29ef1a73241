#include <cstdint>
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
using amix_test::Mixer;
using amix_test::same_bits;

// Mixes two 16-bit tracks at unity on `m` and returns the output.
std::vector<int16_t> mix2(audio_mixer* m, std::vector<int16_t> a, std::vector<int16_t> b) {
  int16_t* tracks[] = {a.data(), b.data()};
  const float volumes[] = {1.0f, 1.0f};
  std::vector<int16_t> out(a.size());
  EXPECT_TRUE(audio_mixer_mix_int16(m, tracks, volumes, int32_t(a.size()), 2, out.data()));
  return out;
}

TEST(MixerCreate, CapacityRules) {
  Mixer dflt = make_mixer(0);
  ASSERT_NE(dflt, nullptr);
  EXPECT_EQ(dflt->capacity, 1920);
  EXPECT_EQ(gain_of(dflt.get()), 1.0f);
  EXPECT_EQ(audio_mixer_last_gain(dflt.get()), 1.0f);
  EXPECT_EQ(audio_mixer_last_gain(nullptr), -1.0f);
  EXPECT_EQ(audio_mixer_create(-1), nullptr);
  audio_mixer_destroy(nullptr);
}

TEST(MixerCreate, EachAllocationFailureGivesNull) {
  for (long n = 1; n <= 2; ++n) {
    amix_fault_fail_at(n);
    EXPECT_EQ(audio_mixer_create(64), nullptr) << "allocation " << n;
  }
  amix_fault_fail_at(0);
}

// 30 tracks of 4096 samples at volume 0.8 through every variant with 1, 2
// and 30 tracks; returns whether all calls succeeded.
template <typename T, typename Mix>
bool mix_all_track_counts(audio_mixer* m, Mix mix) {
  std::vector<std::vector<T>> data(30, std::vector<T>(4096, T(100)));
  std::vector<T*> tracks;
  for (auto& d : data) tracks.push_back(d.data());
  std::vector<float> volumes(30, 0.8f);
  std::vector<T> out(4096);
  bool ok = true;
  for (int32_t k : {1, 2, 30}) ok = ok && mix(m, tracks.data(), volumes.data(), 4096, k, out.data());
  return ok;
}

TEST(MixerCalls, AllocateNothing) {
  Mixer m = make_mixer(8192);
  multi_audio_mixer* multi = multi_audio_mixer_create(8192);
  std::vector<std::vector<int16_t>> data(30, std::vector<int16_t>(4096, 1000));
  std::vector<int16_t*> tracks;
  for (auto& d : data) tracks.push_back(d.data());
  std::vector<float> volumes(30, 0.8f);
  std::vector<int16_t> out(4096);
  std::vector<float> floats(4096, 0.5f);
  amix_fault_fail_at(0);
  for (int32_t k : {1, 2, 30}) {
    ASSERT_EQ(multi_audio_mixer_mix(multi, tracks.data(), volumes.data(), k), 0);
  }
  EXPECT_TRUE(mix_all_track_counts<uint8_t>(m.get(), audio_mixer_mix_uint8));
  EXPECT_TRUE(mix_all_track_counts<int16_t>(m.get(), audio_mixer_mix_int16));
  EXPECT_TRUE(mix_all_track_counts<int32_t>(m.get(), audio_mixer_mix_int32));
  EXPECT_TRUE(mix_all_track_counts<float>(m.get(), audio_mixer_mix_float));
  audio_scale_int16(out.data(), 4096, 0.5f);
  audio_scale_float(floats.data(), 4096, 0.5f);
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

TEST(MixerGain, WorkedExample16Bit) {
  Mixer m = make_mixer();
  EXPECT_EQ(mix2(m.get(), {30000, -30000, 100}, {30000, -30000, 100}),
            (std::vector<int16_t>{32766, -32766, 109}));
  EXPECT_EQ(gain_of(m.get()), 0.56030053f);
  EXPECT_EQ(audio_mixer_last_gain(m.get()), 0.54611665f);  // before the release

  Mixer fresh = make_mixer();
  EXPECT_EQ(mix2(fresh.get(), {1000}, {234}), std::vector<int16_t>{1234});
  EXPECT_EQ(gain_of(fresh.get()), 1.0f);
}

TEST(MixerGain, Unsigned8BitHasNoMidpoint) {
  Mixer m = make_mixer();
  std::vector<uint8_t> a(16, 128), b(16, 128), out(16);
  uint8_t* tracks[] = {a.data(), b.data()};
  const float volumes[] = {1.0f, 1.0f};
  ASSERT_TRUE(audio_mixer_mix_uint8(m.get(), tracks, volumes, 16, 2, out.data()));
  EXPECT_EQ(out, std::vector<uint8_t>(16, 255));
  EXPECT_EQ(gain_of(m.get()), 0.9962158203125f);

  Mixer fresh = make_mixer();
  a.assign(16, 100);
  b.assign(16, 100);
  ASSERT_TRUE(audio_mixer_mix_uint8(fresh.get(), tracks, volumes, 16, 2, out.data()));
  EXPECT_EQ(out, std::vector<uint8_t>(16, 200));
  EXPECT_EQ(gain_of(fresh.get()), 1.0f);
}

TEST(MixerGain, Int32LimitAndPrecision) {
  const float volumes[] = {1.0f, 1.0f};
  std::vector<int32_t> zero(1, 0), out(1);
  for (auto [in, expected] : {std::pair{2147483647, 2147483647}, std::pair{16777217, 16777216}}) {
    Mixer m = make_mixer();
    std::vector<int32_t> a = {in};
    int32_t* tracks[] = {a.data(), zero.data()};
    ASSERT_TRUE(audio_mixer_mix_int32(m.get(), tracks, volumes, 1, 2, out.data()));
    EXPECT_EQ(out[0], expected);
    EXPECT_EQ(gain_of(m.get()), 1.0f);  // equal to the limit is not above it
  }
  // A sum beyond 2^31 is limited; the loudest sample saturates at INT32_MAX.
  Mixer m = make_mixer();
  std::vector<int32_t> a = {2147483647, -5}, b = {2147483647, 5}, o(2);
  int32_t* tracks[] = {a.data(), b.data()};
  ASSERT_TRUE(audio_mixer_mix_int32(m.get(), tracks, volumes, 2, 2, o.data()));
  EXPECT_EQ(o, (std::vector<int32_t>{2147483647, 0}));
  EXPECT_LT(gain_of(m.get()), 1.0f);
}

TEST(MixerGain, ReleaseStallsJustBelowOne) {
  Mixer m = make_mixer();
  m->gain = 0.5f;
  int calls = 0;
  while (gain_of(m.get()) <= 0.99f) {
    mix2(m.get(), {0}, {0});
    ++calls;
  }
  EXPECT_EQ(calls, 124);
  for (int i = 0; i < 1000; ++i) mix2(m.get(), {0}, {0});
  EXPECT_EQ(gain_of(m.get()), 1.0f - 1.0f / 1048576.0f);
  EXPECT_EQ(mix2(m.get(), {1000, 1, 32767}, {0, 0, 0}), (std::vector<int16_t>{999, 0, 32766}));

  // A single-track call restores exactly 1.0.
  std::vector<int16_t> t = {1000}, out(1);
  int16_t* tracks[] = {t.data()};
  const float unity[] = {1.0f};
  ASSERT_TRUE(audio_mixer_mix_int16(m.get(), tracks, unity, 1, 1, out.data()));
  EXPECT_EQ(gain_of(m.get()), 1.0f);
  EXPECT_EQ(mix2(m.get(), {1000}, {0}), std::vector<int16_t>{1000});
}

TEST(MixerTracks, MissingLaterTrackKeepsTheMultiTrackPath) {
  Mixer m = make_mixer();
  std::vector<int16_t> a = {-32768, 32767}, out(2);
  int16_t* tracks[] = {a.data(), nullptr};
  const float volumes[] = {1.0f, std::numeric_limits<float>::quiet_NaN()};
  ASSERT_TRUE(audio_mixer_mix_int16(m.get(), tracks, volumes, 2, 2, out.data()));
  // Peak 32768 lowers the gain to 32767/32768: not a plain copy.
  EXPECT_EQ(out, (std::vector<int16_t>{-32767, 32766}));
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

TEST(MixerTracks, OutputMayBeATrack) {
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
  // A missing later float track is silent but keeps the multi-track path:
  // 0.9 x 0.8 alone is 0.72, below full scale.
  EXPECT_TRUE(same_bits(mix_into(2, fa, fb, volumes, true),
                        {0.9f * 0.8f, -0.7f * 0.8f, 0.125f * 0.8f, 0.3f * 0.8f}));
}

}  // namespace
