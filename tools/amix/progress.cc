#include "amix/progress.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "amix/cli.h"

namespace amix {
namespace {
std::atomic<bool> g_line_drawn{false};
}  // namespace

void clear_progress_line() {
  if (g_line_drawn.exchange(false)) std::fprintf(stderr, "\r\033[K");
}

Progress::Progress(const Globals& globals, std::string label, int64_t total)
    : enabled_(!globals.quiet && isatty(STDERR_FILENO) == 1),
      label_(std::move(label)),
      total_(total),
      last_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  if (drawn_) clear_progress_line();
}

void Progress::update(int64_t done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  if (total_ > 0) {
    const int percent = static_cast<int>(done * 100 / total_);
    std::fprintf(stderr, "\r\033[K%s %3d%%", label_.c_str(), percent > 100 ? 100 : percent);
  } else {
    std::fprintf(stderr, "\r\033[K%s %lld", label_.c_str(), static_cast<long long>(done));
  }
  std::fflush(stderr);
  g_line_drawn = true;
}

}  // namespace amix
