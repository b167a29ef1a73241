// A one-line progress report on standard error, shown only when that is a
// terminal and -q was not given.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace amix {

class Progress {
 public:
  // `total` in any unit (frames, usually); 0 or less shows no percentage.
  Progress(std::string label, int64_t total);
  ~Progress();  // clears the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Redraws at most ten times a second.
  void update(int64_t done);

 private:
  bool enabled_;
  std::string label_;
  int64_t total_;
  std::chrono::steady_clock::time_point last_;
  bool drawn_ = false;
};

}  // namespace amix
