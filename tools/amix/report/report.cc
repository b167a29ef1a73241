#include "amix/report/report.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/base/types.h"
#include "amix/io/output_file.h"
#include "amix/report/loudness.h"

namespace amix {
namespace {

FILE* g_reports = stdout;
int g_errno = 0;  // of the first failed report

void check(int rc) {
  if (g_errno == 0 && (rc < 0 || std::ferror(g_reports))) g_errno = errno != 0 ? errno : EIO;
}

}  // namespace

void reports_to_stderr() { g_reports = err_stream(); }

void report(const char* format, ...) {
  if (g_errno != 0) return;
  if (g_reports != stdout) clear_status();
  va_list ap;
  va_start(ap, format);
  errno = 0;
  const int rc = std::vfprintf(g_reports, format, ap);
  va_end(ap);
  check(rc);
}

void flush_reports() {
  if (g_errno != 0) return;
  errno = 0;
  check(std::fflush(g_reports));
}

int finish_reports() {
  flush_reports();
  if (g_errno == 0 || g_errno == EPIPE) return 0;
  error_line(std::string("cannot write to ") +
             (g_reports == stdout ? "standard output" : "standard error") + ": " +
             std::strerror(g_errno));
  return kExitFailure;
}

namespace {

// What --loudness did, for the summary: "-23.0 LUFS (+4.20 dB, true peak
// -3.1 dBTP), ", and how far short of the target the ceiling held it.
std::string normalised_text(const Normalised& n) {
  if (n.silent) return "silent: no gain for --loudness, ";
  char text[256];
  const int length = std::snprintf(text, sizeof text, "%s (%+.2f dB, true peak %s)",
                                   format_lufs(n.lufs).c_str(), n.gain_db,
                                   format_dbtp(n.true_peak).c_str());
  if (n.limited)
    std::snprintf(text + length, sizeof text - length,
                  ": %.2f LU short of %s, held by the %s ceiling", n.target - n.lufs,
                  format_lufs(n.target).c_str(), format_dbtp(n.ceiling).c_str());
  return std::string(text) + ", ";
}

}  // namespace

void print_summary(const OutputTarget& out, const RunStats& stats, const std::string& detail) {
  if (quiet()) return;
  report("%s: %lld frames, %s, %s, %s%s%.0fx real time%s\n",
         out.is_stdout() ? "standard output" : out.path.c_str(),
         static_cast<long long>(stats.frames_out), stats.output.describe().c_str(),
         format_clock_time(stats.seconds_out).c_str(),
         detail.empty() ? "" : (detail + ", ").c_str(),
         stats.loudness.on ? normalised_text(stats.loudness).c_str() : "", stats.speed(),
         stats.note.empty() ? "" : ("; " + stats.note).c_str());
}

}  // namespace amix
