// Helpers shared by the mixing tests.
#pragma once

#include <cstdint>
#include <vector>

#include "mix/mixer_impl.h"
#include "tavrin_amix/audio_mixer.h"

namespace amix_test {

// Long enough to run the widest vector loop and its scalar tail.
constexpr std::size_t kSpan = 103;

// Repeats `pattern` over kSpan samples.
template <typename T>
std::vector<T> repeated(const std::vector<T>& pattern) {
  std::vector<T> v(kSpan);
  for (std::size_t i = 0; i < kSpan; ++i) v[i] = pattern[i % pattern.size()];
  return v;
}

inline float gain_of(const audio_mixer* m) { return m->gain; }

struct MixerDeleter {
  void operator()(audio_mixer* m) const { audio_mixer_destroy(m); }
};

}  // namespace amix_test
