// A watchdog for the programs whose tests run threads: a test still running
// 10 s (times AMIX_TEST_TIME_SCALE) after it began is blocked for good, and
// the program ends there, naming it, instead of hanging until ctest's limit.
// Linked into a test program, it watches every test of it.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/deadline.h"

namespace {

constexpr std::chrono::milliseconds kTestLimit{10000};

class Watchdog : public ::testing::EmptyTestEventListener {
 public:
  void OnTestProgramStart(const ::testing::UnitTest&) override {
    thread_ = std::thread([this] { watch(); });
  }
  void OnTestProgramEnd(const ::testing::UnitTest&) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_one();
    thread_.join();
  }
  void OnTestStart(const ::testing::TestInfo& test) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      name_ = std::string(test.test_suite_name()) + "." + test.name();
      until_ = std::chrono::steady_clock::now() + limit_;
      armed_ = true;
    }
    changed_.notify_one();
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      armed_ = false;
    }
    changed_.notify_one();
  }

 private:
  void watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      if (!armed_) {
        changed_.wait(lock);
      } else if (changed_.wait_until(lock, until_) == std::cv_status::timeout && armed_ &&
                 std::chrono::steady_clock::now() >= until_) {
        std::fprintf(stderr, "[  FAILED  ] %s: still running after %.0f s (watchdog): blocked?\n",
                     name_.c_str(), double(limit_.count()) / 1000);
        std::fflush(stderr);
        std::abort();
      }
    }
  }

  const std::chrono::milliseconds limit_ = amix_test::scaled(kTestLimit);
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string name_;
  std::chrono::steady_clock::time_point until_;
  bool armed_ = false, stop_ = false;
  std::thread thread_;
};

// gtest owns the listener from here on.
[[maybe_unused]] const bool installed = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return true;
}();

}  // namespace
