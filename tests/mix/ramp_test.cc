// Volume ramps: worked values of the frame volume rule, and what ramps are
// for, fades without the zipper noise of volumes stepped block by block.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "tavrin_amix/audio_mixer.h"
#include "tests/mix/mix_test_util.h"

namespace {

using amix_test::same_bits;

constexpr int32_t kI32Min = std::numeric_limits<int32_t>::min();

// Values worked out by hand, with the volumes from + j x ((to - from) /
// frames), each operation rounded to single precision on its own.
TEST(Ramp, FrameVolumesWorkedValues) {
  // Stereo, 0 -> 1 over 4 frames: 0, 0.25, 0.5, 0.75 on both channels.
  std::vector<int16_t> s16 = {1000, -1000, 1000, -1000, 1000, -1000, 1000, -1000};
  audio_scale_int16_ramp(s16.data(), 4, 2, 0.0f, 1.0f);
  EXPECT_EQ(s16, (std::vector<int16_t>{0, 0, 250, -250, 500, -500, 750, -750}));

  // 2 -> 0: 2 and 1.5 saturate, 1.0 is unity (untouched), 0.5 halves.
  std::vector<uint8_t> u8 = {200, 200, 200, 200};
  audio_scale_uint8_ramp(u8.data(), 4, 1, 2.0f, 0.0f);
  EXPECT_EQ(u8, (std::vector<uint8_t>{255, 255, 200, 100}));

  // -1 -> 1: INT32_MAX goes through 2^31 to INT32_MIN; through 0.
  std::vector<int32_t> s32 = {2147483647, kI32Min, 5, 7};
  audio_scale_int32_ramp(s32.data(), 4, 1, -1.0f, 1.0f);
  EXPECT_EQ(s32, (std::vector<int32_t>{kI32Min, 1073741824, 0, 3}));

  // 0.1 -> 0.7 over 4 frames: 0.1, 0.25, 0.39999998, 0.55000001.  A fused
  // multiply-add would give 0.54999995 for the last frame, and 10.
  std::vector<int16_t> rounding = {20, 20, 20, 20};
  audio_scale_int16_ramp(rounding.data(), 4, 1, 0.1f, 0.7f);
  EXPECT_EQ(rounding, (std::vector<int16_t>{2, 5, 7, 11}));

  // A flat ramp is its volume in every frame, -0.0 included; floats clamp.
  std::vector<float> f = {0.5f, -0.5f, 0.25f, 3.0f};
  audio_scale_float_ramp(f.data(), 4, 1, -0.0f, -0.0f);
  EXPECT_TRUE(same_bits(f, {-0.0f, 0.0f, -0.0f, -0.0f}));
  std::vector<float> g = {0.5f, 0.5f, 0.5f, 0.5f};
  audio_scale_float_ramp(g.data(), 2, 2, 4.0f, 0.0f);
  EXPECT_TRUE(same_bits(g, {1.0f, 1.0f, 1.0f, 1.0f}));  // 4 and 2: clamped
}

// A fade of a full-scale 1 kHz tone at 48 kHz (stereo) from 1 to 0 over one
// second, done in blocks: stepped (each block at its start volume, what a
// fixed-volume mix gives) or ramped.  The figure is the RMS of the error
// against the ideal continuous fade, relative to the RMS of the unfaded
// tone, in dB.
template <typename T>
double fade_error_db(int32_t block, bool ramped) {
  constexpr int32_t kRate = 48000, kFrames = kRate, kChannels = 2;
  const double pi = std::acos(-1.0);
  std::vector<T> tone(size_t(kFrames) * kChannels);
  for (int32_t j = 0; j < kFrames; ++j) {
    const double x = std::sin(2 * pi * 1000.0 * j / kRate);
    for (int32_t c = 0; c < kChannels; ++c) {
      tone[size_t(j) * kChannels + c] =
          std::is_same_v<T, float> ? T(x) : T(std::lround(32767.0 * x));
    }
  }
  std::vector<T> faded = tone;
  const auto volume = [&](int32_t j) { return 1.0 - double(j) / kFrames; };
  for (int32_t at = 0; at < kFrames; at += block) {
    const int32_t frames = std::min(block, kFrames - at);
    T* p = faded.data() + size_t(at) * kChannels;
    const auto from = float(volume(at)), to = float(volume(at + frames));
    if (ramped) {
      amix_test::lib_scale_ramp(p, frames, kChannels, from, to);
    } else {
      amix_test::lib_scale(p, frames * kChannels, from);
    }
  }
  double error = 0, signal = 0;
  for (size_t i = 0; i < tone.size(); ++i) {
    const double ideal = double(tone[i]) * volume(int32_t(i / kChannels));
    error += (double(faded[i]) - ideal) * (double(faded[i]) - ideal);
    signal += double(tone[i]) * double(tone[i]);
  }
  return 10 * std::log10(error / signal);
}

TEST(Ramp, FadesHaveNoZipperNoise) {
  struct Row {
    double int16, floats;
  };
  for (int32_t block : {1024, 4096}) {
    const Row stepped = {fade_error_db<int16_t>(block, false), fade_error_db<float>(block, false)};
    const Row ramped = {fade_error_db<int16_t>(block, true), fade_error_db<float>(block, true)};
    std::printf("blocks of %d: stepped %.1f dB (int16) %.1f dB (float), ramped %.1f dB (int16) "
                "%.1f dB (float)\n",
                block, stepped.int16, stepped.floats, ramped.int16, ramped.floats);
    // Steps of 1/47 (1024 frames) or 1/12 (4096) of full scale.
    const double steps = block == 1024 ? -40.0 : -28.0;
    EXPECT_GT(stepped.int16, steps) << block;
    EXPECT_GT(stepped.floats, steps) << block;
    // Ramped: the int16 truncation's error (under one step, about 0.6 of
    // it in RMS: -92 dB), and for floats their rounding (-153 dB).
    EXPECT_LT(ramped.int16, -90.0) << block;
    EXPECT_LT(ramped.floats, -140.0) << block;
  }
}

}  // namespace
