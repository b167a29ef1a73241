// The labelled ticks of a time axis, readable from a tenth of a second to
// hours of audio.
#pragma once

#include <string>
#include <vector>

namespace amix {

struct TimeTick {
  double seconds;
  std::string label;  // "0.25 s", "12 s", "1:30", "1:00:00"
};

// Ticks at 0 and every step up to `seconds` (at most `max_ticks` of them),
// the step the smallest of 1, 2 and 5 times a power of ten seconds (and 15
// and 30 seconds, and whole minutes and hours in 1, 2, 5, 10, 15, 30
// steps) that keeps within `max_ticks`.  Labels are seconds below a minute
// of audio, else m:ss, or h:mm:ss from an hour on.
std::vector<TimeTick> time_ticks(double seconds, int max_ticks);

}  // namespace amix
