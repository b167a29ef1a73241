#include "amix/report/time_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace amix {
namespace {

// Steps a reader counts in: decimal below ten seconds, then the clock's.
double step_for(double seconds, int max_ticks) {
  static const double kClock[] = {10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 18000};
  const double wanted = seconds / std::max(1, max_ticks - 1);
  for (double decade = 1e-3; decade < 10; decade *= 10)
    for (double m : {1.0, 2.0, 5.0})
      if (m * decade >= wanted) return m * decade;
  for (double s : kClock)
    if (s >= wanted) return s;
  return 3600 * std::ceil(wanted / 3600);
}

std::string label_for(double t, double step, double total) {
  char buf[32];
  const long whole = std::lround(t);
  if (total >= 3600) {
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  } else if (total >= 60) {
    std::snprintf(buf, sizeof buf, "%ld:%02ld", whole / 60, whole % 60);
  } else {
    const int decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : step >= 0.01 ? 2 : 3;
    std::snprintf(buf, sizeof buf, "%.*f s", decimals, t);
  }
  return buf;
}

}  // namespace

std::vector<TimeTick> time_ticks(double seconds, int max_ticks) {
  std::vector<TimeTick> ticks;
  if (!(seconds > 0) || max_ticks < 2) return ticks;
  const double step = step_for(seconds, max_ticks);
  for (int i = 0;; ++i) {
    const double t = i * step;
    if (t > seconds * (1 + 1e-9)) break;
    ticks.push_back({t, label_for(t, step, seconds)});
  }
  return ticks;
}

}  // namespace amix
