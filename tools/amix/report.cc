#include "amix/report.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "amix/cli.h"
#include "amix/progress.h"

namespace amix {
namespace {

FILE* g_reports = stdout;
int g_errno = 0;  // of the first failed report

void check(int rc) {
  if (g_errno == 0 && (rc < 0 || std::ferror(g_reports))) g_errno = errno != 0 ? errno : EIO;
}

void line(const char* kind, const std::string& text) {
  flush_reports();
  clear_progress_line();
  std::fprintf(stderr, "amix: %s: %s\n", kind, text.c_str());
}

}  // namespace

void reports_to_stderr() { g_reports = stderr; }

void report(const char* format, ...) {
  if (g_errno != 0) return;
  if (g_reports == stderr) clear_progress_line();
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

void note(const std::string& text) { line("note", text); }
void warn(const std::string& text) { line("warning", text); }

int finish_reports() {
  flush_reports();
  if (g_errno == 0 || g_errno == EPIPE) return 0;
  std::fprintf(stderr, "amix: cannot write to %s: %s\n",
               g_reports == stdout ? "standard output" : "standard error", std::strerror(g_errno));
  return kExitFailure;
}

}  // namespace amix
