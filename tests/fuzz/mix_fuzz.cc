// The scaling functions and the four mixers (8-, 16-, 32-bit and float),
// plain and ramped, against the scalar reference: every result, every buffer
// byte and the gains must match bit for bit.

#include <cstdint>
#include <cstring>
#include <vector>

#include "hwy/targets.h"
#include "mix/reference.h"
#include "tavrin_amix/audio_mixer.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/mix/mix_test_util.h"

namespace {

using amix_fuzz::Input;

using amix_test::lib_mix;
using amix_test::lib_mix_ramp;
using amix_test::lib_scale;
using amix_test::lib_scale_ramp;

// A volume: any float now and then, mostly one from -2 to 2 in steps of
// 1/128, where the ramps cross 0, 1 and the unity window on vector paths.
float volume(Input& in) {
  if (in.range(0, 3) == 0) return in.take<float>();
  return float(in.range(0, 512)) / 128.0f - 2.0f;
}

// One mixer of type T driven by the rest of the input: each step is a scale
// or a mix, plain or ramped across frames of 0..33 channels, over windows of
// one arena, so tracks and output may alias.
template <typename T>
void run(Input& in) {
  const int32_t capacity = int32_t(in.range(0, 512));
  audio_mixer* fast = audio_mixer_create(capacity);
  audio_mixer* slow = audio_mixer_create(capacity);
  AMIX_FUZZ_CHECK(fast && slow);
  std::vector<T> arena(size_t(in.range(1, 2048)));
  for (auto& s : arena) s = in.take<T>();
  while (!in.empty()) {
    std::vector<T> copy = arena;
    const int32_t count = int32_t(in.range(-2, int64_t(arena.size())));
    const int32_t span = count > 0 ? count : 0;
    const bool ramped = in.range(0, 1) == 1;
    const int32_t channels = ramped ? int32_t(in.range(0, 33)) : 1;
    const int32_t frames = channels > 0 ? count / channels : count;
    auto window = [&](bool allow_null) -> int64_t {
      if (allow_null && in.range(0, 7) == 0) return -1;
      return in.range(0, int64_t(arena.size()) - span);
    };
    if (in.range(0, 3) == 0) {
      const int64_t at = window(false);
      const float v = volume(in);
      if (ramped) {
        const float to = volume(in);
        lib_scale_ramp(arena.data() + at, frames, channels, v, to);
        amix::ref::scale_ramp(copy.data() + at, frames, channels, v, to);
      } else {
        lib_scale(arena.data() + at, count, v);
        amix::ref::scale(copy.data() + at, count, v);
      }
    } else {
      const int32_t k = int32_t(in.range(-1, 40));
      std::vector<T*> ta, tb;
      std::vector<float> vols, tos;
      for (int32_t t = 0; t < (k > 0 ? k : 0); ++t) {
        const int64_t at = window(t > 0);
        ta.push_back(at < 0 ? nullptr : arena.data() + at);
        tb.push_back(at < 0 ? nullptr : copy.data() + at);
        vols.push_back(volume(in));
        tos.push_back(in.range(0, 3) == 0 ? vols.back() : volume(in));
      }
      if (ta.empty()) {
        ta.push_back(nullptr);
        tb.push_back(nullptr);
        vols.push_back(1.0f);
        tos.push_back(1.0f);
      }
      const int64_t out_at = window(false);
      T* const out_a = arena.data() + out_at;
      T* const out_b = copy.data() + out_at;
      const bool a = ramped ? lib_mix_ramp(fast, ta.data(), vols.data(), tos.data(), frames,
                                           channels, k, out_a)
                            : lib_mix(fast, ta.data(), vols.data(), count, k, out_a);
      const bool b = ramped ? amix::ref::mix_ramp(slow, tb.data(), vols.data(), tos.data(), frames,
                                                  channels, k, out_b)
                            : amix::ref::mix(slow, tb.data(), vols.data(), count, k, out_b);
      AMIX_FUZZ_CHECK(a == b);
      AMIX_FUZZ_CHECK(std::memcmp(&fast->gain, &slow->gain, sizeof(float)) == 0);
      AMIX_FUZZ_CHECK(std::memcmp(&fast->last_gain, &slow->last_gain, sizeof(float)) == 0);
    }
    // Bytes, not values: float buffers may hold NaN.
    AMIX_FUZZ_CHECK(amix_test::same_bits(arena, copy));
  }
  audio_mixer_destroy(fast);
  audio_mixer_destroy(slow);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  // Any instruction set this CPU offers, not only the best one (the list is
  // taken before the first choice narrows it).
  static const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  hwy::SetSupportedTargetsForTest(targets[size_t(in.range(0, int64_t(targets.size()) - 1))]);
  switch (in.range(0, 3)) {
    case 0: run<uint8_t>(in); break;
    case 1: run<int16_t>(in); break;
    case 2: run<int32_t>(in); break;
    default: run<float>(in); break;
  }
  return 0;
}
