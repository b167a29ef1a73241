// Float samples through the mixer: the single- and multi-track paths,
// including the gain it shares with the integer variants.

#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "tavrin_amix/audio_mixer.h"
#include "tests/mix/mix_test_util.h"

namespace {

using amix_test::gain_of;
using amix_test::make_mixer;
using amix_test::mix16;
using amix_test::Mixer;
using amix_test::same_bits;
using L = std::numeric_limits<float>;

constexpr float kInf = L::infinity();
const float kNan = L::quiet_NaN();

// Mixes float tracks on `m`, all at `volume`; returns the output.
std::vector<float> mix(audio_mixer* m, std::vector<std::vector<float>*> tracks,
                       float volume = 1.0f) {
  std::vector<float*> ptrs;
  for (auto* t : tracks) ptrs.push_back(t->data());
  const std::vector<float> volumes(tracks.size(), volume);
  std::vector<float> out(tracks[0]->size());
  EXPECT_TRUE(audio_mixer_mix_float(m, ptrs.data(), volumes.data(), int32_t(out.size()),
                                    int32_t(ptrs.size()), out.data()));
  return out;
}

TEST(MixFloat, SingleTrackOutputIsFiniteAndClamped) {
  Mixer m = make_mixer();
  m->gain = 0.3f;
  std::vector<float> t = {1.5f, -kInf, kNan, 0.25f, 1e-40f, -2.0f, -0.0f};
  const std::vector<float> t0 = t;
  const std::vector<float> clean = {1.0f, 0.0f, 0.0f, 0.25f, 1e-40f, -1.0f, -0.0f};
  EXPECT_TRUE(same_bits(mix(m.get(), {&t}), clean));
  EXPECT_TRUE(same_bits(t, t0));  // unity: the track itself stays
  EXPECT_EQ(gain_of(m.get()), 1.0f);

  // Scaled: the track holds the float step's results, the output a copy.
  EXPECT_TRUE(
      same_bits(mix(m.get(), {&t}, 0.5f), {0.75f, -1.0f, 0.0f, 0.125f, 5e-41f, -1.0f, -0.0f}));
  EXPECT_TRUE(same_bits(t, {0.75f, -1.0f, 0.0f, 0.125f, 5e-41f, -1.0f, -0.0f}));
}

TEST(MixFloat, SumsInDoubleAndLimitsAtFullScale) {
  Mixer m = make_mixer();
  // Sums start from +0: -0 plus -0 gives +0.
  std::vector<float> a = {0.5f, -0.25f, 0.1f, -0.0f}, b = {0.25f, 0.25f, 0.2f, -0.0f};
  EXPECT_TRUE(same_bits(mix(m.get(), {&a, &b}),
                        {0.75f, 0.0f, static_cast<float>(double(0.1f) + double(0.2f)), 0.0f}));
  EXPECT_EQ(gain_of(m.get()), 1.0f);

  // Peak 1.6: the gain drops to 1 / 1.6 = 0.625 for this block, then
  // recovers by 1/32 of the rest.
  std::vector<float> c = {0.8f, -0.8f, 0.1f}, d = c;
  EXPECT_TRUE(same_bits(mix(m.get(), {&c, &d}), {1.0f, -1.0f, 0.125f}));
  EXPECT_EQ(gain_of(m.get()), 0.63671875f);
  // That gain is the 16-bit variant's too: 1000 x 0.63671875, truncated.
  EXPECT_EQ(mix16(m.get(), {1000}, {0}), std::vector<int16_t>{636});
  // A single-track float call restores exactly 1.0 for it.
  mix(m.get(), {&a});
  EXPECT_EQ(mix16(m.get(), {1000}, {234}), std::vector<int16_t>{1234});
}

TEST(MixFloat, NonFiniteSamples) {
  Mixer m = make_mixer();
  // At unity a NaN or infinity reaches the sum, which then counts as 0.
  std::vector<float> a = {kNan, kInf, 0.5f}, b = {0.25f, 0.25f, 0.25f};
  EXPECT_TRUE(same_bits(mix(m.get(), {&a, &b}), {0.0f, 0.0f, 0.75f}));
  EXPECT_EQ(gain_of(m.get()), 1.0f);

  // Scaled, they are 0 and full scale before the sum: peak 1.25, gain 0.8.
  std::vector<float> c = {kNan, kInf, -kInf}, e = {0.5f, 0.5f, 0.5f};
  EXPECT_TRUE(same_bits(mix(m.get(), {&c, &e}, 0.5f), {0.25f * 0.8f, 1.0f, -0.75f * 0.8f}));
}

TEST(MixFloat, HugeSumsStayInRange) {
  // Two full-range floats at unity: the sum exceeds the float range, the new
  // gain is subnormal, the output is full scale.
  Mixer m = make_mixer();
  std::vector<float> a = {L::max(), 0.5f}, b = {L::max(), 0.0f};
  const float gain = static_cast<float>(0.5 / double(L::max()));
  ASSERT_LT(gain, L::min());
  EXPECT_TRUE(same_bits(mix(m.get(), {&a, &b}), {1.0f, 0.5f * gain}));

  // 2^22 + 1 of them: 1 / peak underflows to a gain of 0, and infinity x 0
  // must still give a finite sample.
  Mixer z = make_mixer();
  std::vector<float> big = {L::max()};
  std::vector<float*> many((1 << 22) + 1, big.data());
  const std::vector<float> volumes(many.size(), 1.0f);
  float out = 5.0f;
  ASSERT_TRUE(audio_mixer_mix_float(z.get(), many.data(), volumes.data(), 1,
                                    int32_t(many.size()), &out));
  EXPECT_TRUE(same_bits(std::vector<float>{out}, {0.0f}));
  EXPECT_EQ(gain_of(z.get()), 0.03125f);  // 0, then one release step
}

// The gain a 16-bit call leaves is the float variant's too.
TEST(MixFloat, SharesTheGainWithTheIntegerVariants) {
  Mixer m = make_mixer();
  EXPECT_EQ(mix16(m.get(), {30000}, {30000}), std::vector<int16_t>{32766});
  EXPECT_EQ(gain_of(m.get()), 0.56030053f);
  // The float call tests the gain the 16-bit call left and releases it.
  std::vector<float> a = {0.5f}, b = {0.25f};
  EXPECT_TRUE(same_bits(mix(m.get(), {&a, &b}), {0.75f * 0.56030053f}));
  EXPECT_EQ(gain_of(m.get()), static_cast<float>(0.56030053f + (1.0 - 0.56030053f) / 32));

}

}  // namespace
