// The vector paths against the plain scalar reference, on every instruction
// set this CPU offers: scaling over every 8- and 16-bit value, awkward 32-bit
// and float values and a table of awkward factors, ramped scaling over a
// table of ramps and frame widths, and long random sequences of plain and
// ramped mix calls (gain carried between calls, missing tracks, aliased and
// overlapping buffers, NaN, infinite, subnormal and huge float samples).
// Float buffers are compared bit for bit (NaN included).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#if defined(__linux__) && defined(__arm__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

#include "hwy/targets.h"
#include "mix/reference.h"
#include "mix/sample_step.h"
#include "tavrin_amix/audio_mixer.h"
#include "tests/mix/mix_test_util.h"

namespace {

// The instruction sets to compare, as Highway reports them.  On 32-bit Arm,
// Highway finds NEON at run time only when its own build's baseline has it
// (as Android's armeabi-v7a does, where the NEON kernels run); a Linux
// armhf build would never pick them, so they are added here whenever the
// CPU has NEON.
std::vector<int64_t> targets_under_test() {
  std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
#if HWY_ARCH_ARM_V7 && defined(__linux__)
  const bool listed = std::find(targets.begin(), targets.end(), HWY_NEON) != targets.end();
  if ((HWY_TARGETS & HWY_NEON) != 0 && !listed && (getauxval(AT_HWCAP) & HWCAP_NEON) != 0) {
    targets.push_back(HWY_NEON);
  }
#endif
  return targets;
}

template <typename F>
void for_each_target(F body) {
  static const std::vector<int64_t> targets = targets_under_test();
  for (int64_t target : targets) {
    hwy::SetSupportedTargetsForTest(target);
    SCOPED_TRACE(hwy::TargetName(target));
    body();
  }
  hwy::SetSupportedTargetsForTest(0);
}

const std::vector<float>& factor_table() {
  static const std::vector<float> table = {
      0.0f, -0.0f, 0.5f, 0.8f, 2.0f, -1.0f, -0.3f, 3.75f, 150.0f, -150.0f, 200.5f, 65537.0f,
      131071.5f, 1e6f, 1e10f,
      std::numeric_limits<float>::max(), std::numeric_limits<float>::infinity(),
      -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
      1e-40f, 1.0f, 0.999999f, std::nextafter(0.999999f, 0.0f), 1.000001f,
      std::nextafter(1.000001f, 2.0f), 0.999998f,
      // The edges of the windows where products cannot leave the sample
      // range (the kernels take a shorter path inside them).
      std::nextafter(-1.0f, 0.0f), -0.999999f, std::nextafter(0.999999f, 0.0f),
      std::nextafter(0.0f, -1.0f), std::nextafter(-1.0f, -2.0f)};
  return table;
}

using amix_test::same_bits;

template <typename T>
void expect_scale_matches(const std::vector<T>& input) {
  for (float f : factor_table()) {
    std::vector<T> fast = input, slow = input;
    amix_test::lib_scale(fast.data(), int32_t(fast.size()), f);
    amix::ref::scale(slow.data(), int32_t(slow.size()), f);
    ASSERT_TRUE(same_bits(fast, slow)) << "factor " << f;
  }
}

TEST(Differential, ScaleEveryValue) {
  std::vector<uint8_t> u8;
  for (int r = 0; r < 3; ++r)
    for (int v = 0; v < 256; ++v) u8.push_back(uint8_t(v));
  std::vector<int16_t> i16;
  for (int v = -32768; v <= 32767; ++v) i16.push_back(int16_t(v));
  i16.push_back(7);  // odd length: the tail too
  std::vector<int32_t> i32 = {0, 1, -1, 16777217, -16777217, 2147483647, -2147483647 - 1,
                              2147483520, 2147483584, 1 << 30};
  std::mt19937 rng(7);
  for (int i = 0; i < 5000; ++i) i32.push_back(int32_t(rng()));
  std::vector<float> f32 = amix_test::awkward_floats();
  for (int i = 0; i < 5000; ++i) {
    f32.push_back(std::uniform_real_distribution<float>(-2.0f, 2.0f)(rng));
    f32.push_back(amix_test::float_from_bits(uint32_t(rng())));
  }
  for_each_target([&] {
    expect_scale_matches(u8);
    expect_scale_matches(i16);
    expect_scale_matches(i32);
    expect_scale_matches(f32);
  });
}

// Ramps worth trying: across the unity window or inside it, through 0,
// negative, beyond 1 with saturation, flat ones (-0.0 too), ends beyond
// 2^126 or below 2^-100 (the kernels' scalar fallbacks), and refused ones.
const std::vector<std::pair<float, float>>& ramp_table() {
  using L = std::numeric_limits<float>;
  static const std::vector<std::pair<float, float>> table = {
      {0.0f, 1.0f}, {1.0f, 0.0f}, {0.5f, 1.5f}, {1.5f, 0.5f}, {-1.0f, 1.0f}, {1.0f, -1.0f},
      {2.0f, 0.5f}, {-0.3f, 3.75f}, {150.0f, -150.0f}, {65537.0f, 0.0f}, {1e10f, -1e10f},
      {0.999999f, 1.000001f}, {0.999998f, 1.000002f}, {1.000001f, 0.999999f},
      {0.8f, 0.8f}, {-0.0f, -0.0f}, {-0.0f, 0.0f}, {1.0f, 1.0f}, {0.999999f, 0.999999f},
      {2e38f, 1e38f}, {1e-40f, 1e-39f}, {0.0f, 1e-30f}, {3e-38f, -1e-38f},
      {-3e38f, 3e38f}, {L::quiet_NaN(), 1.0f}, {L::infinity(), 0.0f}};
  return table;
}

// Every ramp of the table and a few random ones, over frames of several
// widths, against the scalar reference; flat ones against the plain scale.
template <typename T>
void expect_ramps_match(const std::vector<T>& input, std::mt19937& rng) {
  std::vector<std::pair<float, float>> ramps = ramp_table();
  std::uniform_real_distribution<float> any(-3.0f, 3.0f);
  for (int r = 0; r < 8; ++r) ramps.emplace_back(any(rng), any(rng));
  for (const auto& [from, to] : ramps) {
    for (int32_t channels : {1, 2, 3, 7, 32}) {
      for (int32_t frames : {1, 5, 33, 130}) {
        const auto n = size_t(frames * channels);
        const size_t at = rng() % (input.size() - n);
        std::vector<T> fast(input.begin() + at, input.begin() + at + n), slow = fast;
        amix_test::lib_scale_ramp(fast.data(), frames, channels, from, to);
        amix::ref::scale_ramp(slow.data(), frames, channels, from, to);
        ASSERT_TRUE(same_bits(fast, slow))
            << from << " -> " << to << ", " << frames << " x " << channels;
        if (from != to) continue;
        std::vector<T> twin(input.begin() + at, input.begin() + at + n);
        amix_test::lib_scale(twin.data(), int32_t(n), from);
        ASSERT_TRUE(same_bits(fast, twin)) << "flat " << from << ", " << frames << " x " << channels;
      }
    }
  }
}

TEST(Differential, ScaleRamps) {
  std::mt19937 rng(8);
  std::vector<uint8_t> u8(5000);
  std::vector<int16_t> i16(5000);
  std::vector<int32_t> i32(5000);
  std::vector<float> f32 = amix_test::awkward_floats();
  for (size_t i = 0; i < 5000; ++i) {
    u8[i] = uint8_t(rng());
    i16[i] = int16_t(rng());
    i32[i] = i % 7 == 0 ? 2147483647 : int32_t(rng());
    f32.push_back(i % 3 == 0 ? amix_test::float_from_bits(uint32_t(rng()))
                             : std::uniform_real_distribution<float>(-1.5f, 1.5f)(rng));
  }
  for_each_target([&] {
    expect_ramps_match(u8, rng);
    expect_ramps_match(i16, rng);
    expect_ramps_match(i32, rng);
    expect_ramps_match(f32, rng);
  });
}

// One mixer and its buffers.  Tracks and the output are windows into one
// arena, so aliasing is reproduced exactly in a copy.
template <typename T>
struct MixCase {
  std::vector<T> arena;
  std::vector<std::ptrdiff_t> track_at;  // -1: missing track
  std::ptrdiff_t out_at = 0;
  std::vector<float> volumes;
  int32_t count = 0;
  // Ramped: `volumes` to `to` over frames x channels samples.
  std::vector<float> to;
  int32_t frames = 0, channels = 0;

  // With `plain`, a ramped case runs as the plain mix of its frames at
  // `volumes`.
  bool run(audio_mixer* m, bool reference, bool plain = false) {
    std::vector<T*> tracks;
    for (auto at : track_at) tracks.push_back(at < 0 ? nullptr : arena.data() + at);
    T* out = arena.data() + out_at;
    const auto n = int32_t(tracks.size());
    const float* v = volumes.data();
    if (plain) return amix_test::lib_mix(m, tracks.data(), v, frames * channels, n, out);
    if (!to.empty() && reference) {
      return amix::ref::mix_ramp(m, tracks.data(), v, to.data(), frames, channels, n, out);
    }
    if (!to.empty()) {
      return amix_test::lib_mix_ramp(m, tracks.data(), v, to.data(), frames, channels, n, out);
    }
    if (reference) return amix::ref::mix(m, tracks.data(), v, count, n, out);
    return amix_test::lib_mix(m, tracks.data(), v, count, n, out);
  }

  // A ramped case the mixer takes whose every present track is flat.
  bool flat_and_valid() const {
    if (to.empty() || !amix::ramp_block_ok(frames, channels)) return false;
    for (size_t t = 0; t < to.size(); ++t) {
      if (track_at[t] < 0) continue;
      if (!amix::ramp_is_finite(volumes[t], to[t]) || volumes[t] != to[t]) return false;
    }
    return true;
  }
};

// Makes `c` a ramped case: frames of a few channel counts within its
// samples (sometimes none, or a refused count), and for each track an end
// volume: all flat a third of the time, else the start, a table factor, a
// random one or now and then NaN.
template <typename T>
void add_ramps(MixCase<T>& c, std::mt19937& rng) {
  const int32_t widths[] = {1, 2, 3, 5, 8, 32, 0, 33};
  c.channels = widths[rng() % (rng() % 8 == 0 ? 8 : 6)];
  if (c.count > 0 && c.channels > c.count && rng() % 4 != 0) c.channels = 1;
  c.frames = c.channels > 0 ? c.count / c.channels : c.count;
  const bool flat = rng() % 3 == 0;
  const auto& table = factor_table();
  for (float from : c.volumes) {
    const uint32_t pick = rng() % 40;
    c.to.push_back(flat || pick < 10 ? from
                   : pick < 25        ? table[rng() % table.size()]
                   : pick < 39 ? std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng)
                               : std::numeric_limits<float>::quiet_NaN());
  }
}

template <typename T>
T random_sample(std::mt19937& rng, int style) {
  using L = std::numeric_limits<T>;
  if constexpr (std::is_same_v<T, float>) {
    const auto& awkward = amix_test::awkward_floats();
    switch (style) {
      case 0: return std::uniform_real_distribution<float>(-1.2f, 1.2f)(rng);
      case 1: return float(int(rng() % 81) - 40) / 64.0f;
      case 2: return awkward[rng() % awkward.size()];
      default: return amix_test::float_from_bits(uint32_t(rng()));
    }
  } else {
    switch (style) {
      case 0: return T(std::uniform_int_distribution<int64_t>(L::min(), L::max())(rng));
      case 1: return T(std::uniform_int_distribution<int>(0, 40)(rng));
      default: return rng() % 2 ? L::max() : L::min();
    }
  }
}

// Most samples of a case are of one style; floats sprinkle in awkward ones.
template <typename T>
T case_sample(std::mt19937& rng, int style) {
  if (std::is_same_v<T, float> && rng() % 64 == 0) return random_sample<T>(rng, 2);
  return random_sample<T>(rng, style);
}

template <typename T>
MixCase<T> random_case(std::mt19937& rng, int32_t capacity) {
  MixCase<T> c;
  const int32_t max_count = capacity / 2;
  const int pick = int(rng() % 20);
  c.count = pick == 0 ? int32_t(rng() % 3) - 1                     // 0 or negative
            : pick == 1 ? max_count + 1                             // over the limit
                        : 1 + int32_t(rng() % uint32_t(max_count));
  const int kpick = int(rng() % 20);
  const int32_t tracks = kpick == 0 ? 1 : kpick == 1 ? 70 : kpick == 2 ? -1 : 2 + int32_t(rng() % 39);
  const int32_t n = c.count > 0 ? c.count : 1;
  // 0 separate, 1 out inside a track, 2 out aliases, 3 duplicates, 4 overlap
  const int layout = int(rng() % 5);
  const std::ptrdiff_t step = layout == 4 ? 1 + std::ptrdiff_t(rng() % uint32_t(n)) : n;
  const int32_t k = tracks > 0 ? tracks : 1;
  c.arena.resize(size_t(k + 1) * size_t(n) + 8);
  const int style = int(rng() % (std::is_same_v<T, float> ? 4 : 3));
  for (auto& s : c.arena) s = case_sample<T>(rng, style);
  for (int32_t t = 0; t < k; ++t) {
    std::ptrdiff_t at = t * step;
    if (layout == 3 && t > 0 && rng() % 3 == 0) at = c.track_at[rng() % size_t(t)];
    if (t > 0 && at >= 0 && rng() % 5 == 0) at = -1;
    c.track_at.push_back(at);
    const auto& table = factor_table();
    c.volumes.push_back(rng() % 2 ? table[rng() % table.size()]
                                  : std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng));
  }
  c.out_at = layout == 2 ? c.track_at[rng() % size_t(k)] : std::ptrdiff_t(k) * n;
  if (c.out_at < 0) c.out_at = std::ptrdiff_t(k) * n;
  if (layout == 1) {  // starting a few samples into the first track
    c.out_at = std::min<std::ptrdiff_t>(1 + std::ptrdiff_t(rng() % uint32_t(n)),
                                        std::ptrdiff_t(c.arena.size()) - n);
  }
  return c;
}

template <typename T>
std::string describe(const MixCase<T>& a, const MixCase<T>& b) {
  std::string d = "count " + std::to_string(a.count) + ", out at " + std::to_string(a.out_at) +
                  ", tracks at";
  for (size_t t = 0; t < a.track_at.size(); ++t) {
    d += " " + std::to_string(a.track_at[t]) + "(x" + std::to_string(a.volumes[t]) + ")";
  }
  for (size_t i = 0; i < a.arena.size(); ++i) {
    if (std::memcmp(&a.arena[i], &b.arena[i], sizeof(T)) != 0) {
      std::ostringstream o;
      o.precision(9);
      o << "\nfirst difference at " << i << ": " << +a.arena[i] << " vs reference "
        << +b.arena[i];
      d += o.str();
      break;
    }
  }
  return d;
}

// Plain or ramped mixes against the reference; a ramped call whose tracks
// are all flat also against the plain mix (its twin) on a mixer in the
// same state.
template <typename T>
void random_mix_sequences(uint32_t seed, bool ramped) {
  SCOPED_TRACE(::testing::Message() << (std::is_same_v<T, float> ? "float" : "integer")
                                    << " samples of " << sizeof(T) << " bytes, seed " << seed);
  std::mt19937 rng(seed);
  for (int sequence = 0; sequence < 12; ++sequence) {
    const int32_t capacity = 2 + int32_t(rng() % 600);
    const amix_test::Mixer fast = amix_test::make_mixer(capacity);
    const amix_test::Mixer slow = amix_test::make_mixer(capacity);
    const amix_test::Mixer twin = amix_test::make_mixer(capacity);
    ASSERT_TRUE(fast && slow && twin);
    for (int call = 0; call < 60; ++call) {
      SCOPED_TRACE(::testing::Message() << "sequence " << sequence << " call " << call);
      MixCase<T> a = random_case<T>(rng, capacity);
      if (ramped) add_ramps(a, rng);
      MixCase<T> b = a, c = a;
      twin->gain = fast->gain;
      twin->last_gain = fast->last_gain;
      const bool ok_fast = a.run(fast.get(), false);
      const bool ok_slow = b.run(slow.get(), true);
      ASSERT_EQ(ok_fast, ok_slow);
      ASSERT_TRUE(same_bits(a.arena, b.arena)) << describe(a, b);
      ASSERT_EQ(fast->gain, slow->gain);
      ASSERT_EQ(fast->last_gain, slow->last_gain);
      if (!a.flat_and_valid()) continue;
      ASSERT_EQ(c.run(twin.get(), false, true), ok_fast) << "twin";
      ASSERT_TRUE(same_bits(a.arena, c.arena)) << "twin\n" << describe(a, c);
      ASSERT_EQ(fast->gain, twin->gain) << "twin";
      ASSERT_EQ(fast->last_gain, twin->last_gain) << "twin";
    }
  }
}

// Every sample type, plain and ramped, each from its own seed.
TEST(Differential, RandomMixes) {
  for_each_target([] {
    for (const bool ramped : {false, true}) {
      SCOPED_TRACE(ramped ? "ramped" : "plain");
      const uint32_t seed = ramped ? 10 : 0;
      random_mix_sequences<uint8_t>(seed + 1, ramped);
      random_mix_sequences<int16_t>(seed + 2, ramped);
      random_mix_sequences<int32_t>(seed + 3, ramped);
      random_mix_sequences<float>(seed + 4, ramped);
    }
  });
}

// 2^23 + 1 tracks of 32-bit samples: sums past 2^53, where going through
// double would round twice (the odd samples' sum would become 2^53 instead
// of 2^53 + 2^30) and their output would then be one float step too low.
// 32 samples, so that the vector paths (up to 2048-bit SVE) would see them.
TEST(Differential, Int32SumsPast2To53RoundOnce) {
  const int64_t sum1 = (int64_t{1} << 53) + (int64_t{1} << 29) + 1;
  ASSERT_NE(static_cast<float>(static_cast<double>(sum1)), static_cast<float>(sum1));
  constexpr int32_t kCount = 32;
  std::vector<int32_t> loud(kCount), rest(kCount);
  for (int32_t j = 0; j < kCount; j += 2) {
    loud[j] = 2147483647;  // the peak: about 2^54
    loud[j + 1] = int32_t(sum1 >> 23);
    rest[j + 1] = 1;
  }
  std::vector<int32_t*> tracks(size_t{1} << 23, loud.data());
  tracks.push_back(rest.data());
  const std::vector<float> volumes(tracks.size(), 1.0f);
  std::vector<int32_t> fast(kCount), slow(kCount);
  const amix_test::Mixer a = amix_test::make_mixer(2 * kCount);
  const amix_test::Mixer b = amix_test::make_mixer(2 * kCount);
  const auto k = int32_t(tracks.size());
  ASSERT_TRUE(audio_mixer_mix_int32(a.get(), tracks.data(), volumes.data(), kCount, k, fast.data()));
  ASSERT_TRUE(amix::ref::mix(b.get(), tracks.data(), volumes.data(), kCount, k, slow.data()));
  EXPECT_EQ(fast, slow);
  EXPECT_EQ(a->gain, b->gain);
}

}  // namespace
