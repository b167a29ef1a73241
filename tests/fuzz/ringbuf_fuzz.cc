// Two ring buffers and their deque models driven by the fuzz input: every
// operation, both overflow policies, transfers either way and onto the same
// ring buffer.  Any difference in a result, a byte delivered, a count or the
// held bytes aborts; so does an allocation after create.

#include <cstddef>
#include <cstdint>

#include "common/alloc.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/ringbuf/rbuf_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  amix_fuzz::Input in(data, size);
  auto pick = [&in](int64_t lo, int64_t hi) { return in.range(lo, hi); };
  const int32_t cap_a = amix_test::pick_capacity(pick);
  const int32_t cap_b = amix_test::pick_capacity(pick);
  amix_test::RbufHarness h(cap_a, cap_b);
  AMIX_FUZZ_CHECK(h.created());
  amix_fault_fail_at(0);
  while (!in.empty()) AMIX_FUZZ_CHECK(h.apply(amix_test::pick_step(pick, h)) == nullptr);
  AMIX_FUZZ_CHECK(amix_fault_sites_reached() == 0);
  return 0;
}
