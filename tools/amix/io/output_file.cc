#include "amix/io/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "amix/base/error.h"
#include "amix/io/pipe_io.h"

namespace amix {
namespace {

// Temporary files to remove when the tool is interrupted.  The signal
// handler only reads the table, with unlink, which is async-signal-safe.
constexpr int kSlots = 16;
constexpr size_t kPathMax = 4096;
char g_paths[kSlots][kPathMax];
std::atomic<bool> g_used[kSlots];

void on_fatal_signal(int sig) {
  for (int i = 0; i < kSlots; ++i)
    if (g_used[i].load()) unlink(g_paths[i]);
  signal(sig, SIG_DFL);
  raise(sig);
}

void install_handlers_once() {
  static bool installed = [] {
    // Only the user's own interrupts abandon an output.  A closed pipe
    // (SIGPIPE, ignored by main) fails the write to it instead.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction sa = {};
      sa.sa_handler = on_fatal_signal;
      sigemptyset(&sa.sa_mask);
      sigaction(sig, &sa, nullptr);
    }
    return true;
  }();
  (void)installed;
}

int register_path(const std::string& path) {
  if (path.size() >= kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) continue;
    std::memcpy(g_paths[i], path.c_str(), path.size() + 1);
    g_used[i].store(true);
    return i;
  }
  return -1;
}

std::string errno_text() { return std::strerror(errno); }

std::string dir_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The file `path` names once its symbolic links are followed, also when the
// last one points at a file not yet made.  Its directory holds the
// temporary file, so that the rename replaces the target, not the link.
std::string follow_links(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {  // as the kernel's limit, against loops
    char target[kPathMax];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return path;
    const std::string t(target, static_cast<size_t>(n));
    path = t[0] == '/' ? t : dir_of(path) + t;
  }
  return path;
}

std::string extension_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot + 1);
}

}  // namespace

std::string output_name(const std::string& path) {
  return path == "-" ? "standard output" : "'" + path + "'";
}

OutputTarget output_target(const std::string& path, const std::string& type) {
  OutputTarget t;
  t.path = path;
  const std::string name = type.empty() ? extension_of(path) : type;
  t.container = container_by_name(name);
  if (t.container == nullptr && !type.empty())
    throw UsageError("--type: expected " + container_names() + ", got '" + type + "'");
  if (t.container == nullptr && t.is_stdout())
    throw UsageError("OUT '-' is standard output: give its type with --type (" +
                     container_names(true) + ")");
  if (t.container == nullptr)
    throw UsageError("output '" + path + "': unsupported file type (use " + container_names() +
                     ", or --type)");
  if (!t.is_stdout()) return t;
  if (isatty(STDOUT_FILENO) == 1)
    throw Error("standard output is a terminal: redirect it, or name a file for OUT");
  if (!t.container->streams && !seekable_from_start(STDOUT_FILENO))
    throw Error(std::string("cannot stream ") + t.container->title +
                " to standard output, whose header needs the length (use --type " +
                container_names(true) + ")");
  return t;
}

void check_output_path(const std::string& out, const std::vector<std::string>& inputs) {
  struct stat o;
  if (out == "-" || stat(out.c_str(), &o) != 0) return;  // a new file cannot be an input
  if (S_ISDIR(o.st_mode)) throw Error("output '" + out + "' is a directory");
  for (const std::string& in : inputs) {
    struct stat i;
    if (stat(in.c_str(), &i) == 0 && i.st_dev == o.st_dev && i.st_ino == o.st_ino)
      throw Error("output '" + out + "' is the same file as input '" + in + "'");
  }
}

TempFile::TempFile(const std::string& final_path)
    : final_path_(final_path), target_(follow_links(final_path)) {
  const std::string dir = dir_of(target_);
  const std::string name = target_.substr(dir.size());
  if (name.empty()) throw Error("output '" + final_path + "' names no file");
  std::string templ = dir + "." + name + ".tmp-XXXXXX";
  install_handlers_once();
  fd_ = mkstemp(templ.data());
  if (fd_ < 0) throw Error("cannot create '" + final_path + "': " + errno_text());
  temp_path_ = templ;
  slot_ = register_path(temp_path_);
  // mkstemp makes the file private; give it the mode of the file it
  // replaces, or the one a plain create would.
  struct stat st;
  mode_t mode = 0;
  if (stat(target_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd_, mode);
}

TempFile::~TempFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_) unlink(temp_path_.c_str());
  if (slot_ >= 0) g_used[slot_].store(false);
}

int TempFile::release_fd() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void TempFile::commit() {
  if (fd_ >= 0) {
    const int rc = close(fd_);
    fd_ = -1;
    if (rc != 0) throw Error("cannot write '" + final_path_ + "': " + errno_text());
  }
  if (rename(temp_path_.c_str(), target_.c_str()) != 0)
    throw Error("cannot create '" + final_path_ + "': " + errno_text());
  committed_ = true;
}

}  // namespace amix
