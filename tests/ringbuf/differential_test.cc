// Long random sequences of every ring buffer operation, in both overflow
// modes, against the deque model (see rbuf_model.h for how capacities and
// lengths are chosen).

#include <cstdint>
#include <random>

#include <gtest/gtest.h>

#include "common/alloc.h"
#include "tests/ringbuf/rbuf_model.h"

namespace {

using amix_test::RbufHarness;
using amix_test::RbufStep;

TEST(RbufDifferential, RandomSequencesAgreeWithModel) {
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    auto pick = amix_test::picker(rng);
    const int32_t cap_a = amix_test::pick_capacity(pick), cap_b = amix_test::pick_capacity(pick);
    RbufHarness h(cap_a, cap_b);
    ASSERT_TRUE(h.created());
    amix_fault_fail_at(0);  // counts allocation sites from here on
    for (int i = 0; i < 1200; ++i) {
      const RbufStep s = amix_test::pick_step(pick, h);
      const char* bad = h.apply(s);
      ASSERT_EQ(bad, nullptr) << bad << ": seed " << seed << " step " << i << " op "
                              << int(s.op) << " ring " << s.ring << "->" << s.other << " len "
                              << s.len << " value " << s.value << " null " << s.null_arg
                              << " capacities " << cap_a << "," << cap_b;
    }
    EXPECT_EQ(amix_fault_sites_reached(), 0) << "allocation after create, seed " << seed;
  }
}

}  // namespace
