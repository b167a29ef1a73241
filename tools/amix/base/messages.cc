#include "amix/base/messages.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <vector>

namespace amix {
namespace {

std::atomic<bool> g_quiet{false};
std::atomic<bool> g_verbose{false};
std::atomic<bool> g_status_drawn{false};

struct ErrStream {
  int fd = -1;
  FILE* file = stderr;
};

// A copy of descriptor 2 made before any capture, or stderr itself when none
// can be made (then decoders are not captured).
const ErrStream& err() {
  static const ErrStream s = [] {
    ErrStream e;
    e.fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    FILE* f = e.fd >= 0 ? fdopen(e.fd, "w") : nullptr;
    if (f == nullptr) return ErrStream{};
    setvbuf(f, nullptr, _IONBF, 0);
    e.file = f;
    return e;
  }();
  return s;
}

struct Capture {
  int fd = -1;
  std::mutex mutex;
};

Capture& capture() {
  static Capture c;
  static std::once_flag once;
  std::call_once(once, [] {
    FILE* f = std::tmpfile();  // kept open for the life of the process
    if (f != nullptr && err().fd >= 0) c.fd = fileno(f);
  });
  return c;
}

// The bytes the capture holds, which it then forgets.
std::string drain(int fd) {
  const off_t size = lseek(fd, 0, SEEK_CUR);
  if (size <= 0) return "";
  std::string text(static_cast<size_t>(size), '\0');
  const ssize_t got = pread(fd, text.data(), text.size(), 0);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  lseek(fd, 0, SEEK_SET);
  // A capture that cannot shrink still works: it only grows.
  const int rc = ftruncate(fd, 0);
  (void)rc;
  return text;
}

void line(const std::string& text) {
  clear_status();
  std::fprintf(err_stream(), "amix: %s\n", text.c_str());
}

}  // namespace

void set_quiet(bool quiet) { g_quiet = quiet; }
void set_verbose(bool verbose) { g_verbose = verbose; }
bool quiet() { return g_quiet; }
bool verbose() { return g_verbose; }

FILE* err_stream() { return err().file; }

void error_line(const std::string& text) { line(text); }
void warn(const std::string& text) { line("warning: " + text); }
void note(const std::string& text) {
  if (!quiet()) line("note: " + text);
}

void draw_status(const std::string& text) {
  std::fprintf(err_stream(), "\r\033[K%s", text.c_str());
  g_status_drawn = true;
}

void clear_status() {
  if (g_status_drawn.exchange(false)) std::fprintf(err_stream(), "\r\033[K");
}

DecoderOutput::DecoderOutput() : lock_(capture().mutex) {
  active_ = capture().fd >= 0 && dup2(capture().fd, STDERR_FILENO) >= 0;
}

DecoderOutput::~DecoderOutput() {
  if (!active_) return;
  dup2(err().fd, STDERR_FILENO);
  const std::string text = drain(capture().fd);
  if (text.empty() || !verbose()) return;
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);)
    if (!l.empty()) line("decoder: " + l);
}

}  // namespace amix
