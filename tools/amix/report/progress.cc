#include "amix/report/progress.h"

#include <unistd.h>

#include <cstdio>

#include "amix/base/messages.h"

namespace amix {

Progress::Progress(std::string label, int64_t total)
    : enabled_(!quiet() && isatty(STDERR_FILENO) == 1),
      label_(std::move(label)),
      total_(total),
      last_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  if (drawn_) clear_status();
}

void Progress::update(int64_t done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  char text[32];
  if (total_ > 0) {
    const int percent = static_cast<int>(done * 100 / total_);
    std::snprintf(text, sizeof text, " %3d%%", percent > 100 ? 100 : percent);
  } else {
    std::snprintf(text, sizeof text, " %lld", static_cast<long long>(done));
  }
  draw_status(label_ + text);
}

}  // namespace amix
