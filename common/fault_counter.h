// The counter behind each fault-injection hook: counts the sites reached and
// makes the N-th one fail.  Used by the fault-injection build only.
#pragma once

#include <atomic>

namespace amix {

class FaultCounter {
 public:
  // Makes the N-th site counted from now fail (1 = the next one); 0 disables
  // it.  Resets the count.
  void fail_at(long n) {
    reached_.store(0);
    fail_at_.store(n);
  }
  long reached() const { return reached_.load(); }
  // Counts one site; false when it is the one that fails.
  bool permit() {
    const long site = reached_.fetch_add(1) + 1;
    const long fail_at = fail_at_.load();
    return fail_at == 0 || site != fail_at;
  }

 private:
  std::atomic<long> fail_at_{0};
  std::atomic<long> reached_{0};
};

}  // namespace amix
