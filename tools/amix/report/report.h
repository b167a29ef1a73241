// The reports a command prints (tables, summaries, info): on standard
// output, or on standard error while standard output carries audio.  A
// reader that closes standard output early (amix ... | head) costs no output
// file: the reports stop and the work goes on.
#pragma once

#include <string>

namespace amix {

struct OutputTarget;
struct RunStats;

// Reports go to standard error from now on (OUT is standard output).
void reports_to_stderr();
// printf to the report stream; nothing once that stream has failed.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Flushes the reports written so far (before an error line on stderr).
void flush_reports();
// Flushes the reports.  Returns 0 when all were written or their reader
// closed standard output (EPIPE); else prints why and returns kExitFailure.
int finish_reports();

// "OUT: 48000 frames, 48000 Hz stereo 16-bit, 0:00:01.000, 900x real time", with
// "DETAIL, " before the speed when given, and "; NOTE" when the stats carry
// one.  Nothing with -q.
void print_summary(const OutputTarget& out, const RunStats& stats,
                   const std::string& detail = "");

}  // namespace amix
