// Deadlines for tests that wait on other threads or processes: a few
// seconds, stretched by AMIX_TEST_TIME_SCALE where everything runs many
// times slower (valgrind, the sanitizers, emulation; scripts/check.sh and
// the sanitizer and cross builds set it).
#pragma once

#include <chrono>
#include <cstdlib>
#include <thread>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

namespace amix_test {

// Whether the program runs under valgrind, where tests do less of their long
// runs.
inline bool under_valgrind() {
#ifdef RUNNING_ON_VALGRIND
  return RUNNING_ON_VALGRIND != 0;
#else
  return false;
#endif
}

// AMIX_TEST_TIME_SCALE, a factor of 1 or more; 1 when unset or unusable.
inline double time_scale() {
  const char* text = std::getenv("AMIX_TEST_TIME_SCALE");
  const double scale = text != nullptr ? std::atof(text) : 1.0;
  return scale >= 1.0 ? scale : 1.0;
}

// `limit` stretched by the time scale.
inline std::chrono::milliseconds scaled(std::chrono::milliseconds limit) {
  return std::chrono::milliseconds(static_cast<long long>(double(limit.count()) * time_scale()));
}

// How long a test waits for something that takes microseconds when all is
// well.
constexpr std::chrono::milliseconds kDeadline{3000};

// Tests `done` until it holds or `limit` (scaled) has passed; returns
// whether it held.  Between tests the caller's thread gives the others a
// millisecond: this polls state, it does not order threads.
template <typename Done>
bool eventually(Done done, std::chrono::milliseconds limit = kDeadline) {
  const auto until = std::chrono::steady_clock::now() + scaled(limit);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace amix_test
