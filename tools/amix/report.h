// What the tool tells its user.  Reports (tables, summaries, info) go to
// standard output, or to standard error while standard output carries
// audio; notes and warnings go to standard error.  A reader that closes
// standard output early (amix ... | head) costs no output file: the reports
// stop and the work goes on.
#pragma once

#include <string>

namespace amix {

// Reports go to standard error from now on (OUT is standard output).
void reports_to_stderr();
// printf to the report stream; nothing once that stream has failed.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Flushes the reports written so far (before an error line on stderr).
void flush_reports();
// "amix: note: TEXT" and "amix: warning: TEXT" on standard error, on a line
// of their own.
void note(const std::string& text);
void warn(const std::string& text);
// Flushes the reports.  Returns 0 when all were written or their reader
// closed standard output (EPIPE); else prints why and returns kExitFailure.
int finish_reports();

}  // namespace amix
