// Times as amix reads and prints them.  It reads seconds ("90", "1.5") or
// clock times ("1:30", "0:01:30.250"), and prints every time and duration
// as h:mm:ss.fff ("0:01:30.250").
#pragma once

#include <string>

namespace amix {

// `text` as seconds: S[.fff], M:SS[.fff] or H:MM:SS[.fff], digits only
// (the leading field of any size, the later ones below 60).  False for
// anything else: signs, exponents, empty fields, "inf".
bool parse_clock_time(const std::string& text, double* seconds);

// `seconds` to the nearest millisecond, as h:mm:ss.fff: "0:00:01.500",
// "12:03:00.000"; a negative time has a leading '-'.
std::string format_clock_time(double seconds);

}  // namespace amix
