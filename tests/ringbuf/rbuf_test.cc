// The ring buffer's worked examples: both overflow policies at capacity 10,
// wrap-around, skip and clear, search and transfer across the end of the
// storage, refused calls, and allocation failures in create.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "common/alloc.h"
#include "ringbuf/rbuf_impl.h"
#include "tavrin_amix/rbuf.h"

namespace {

using Bytes = std::vector<uint8_t>;
struct RingDeleter {
  void operator()(rbuf* rb) const { rbuf_destroy(rb); }
};
using Ring = std::unique_ptr<rbuf, RingDeleter>;

Bytes iota(uint8_t from, int n) {
  Bytes b(size_t(n), 0);
  for (auto& x : b) x = from++;
  return b;
}

int32_t put(rbuf* rb, const Bytes& b) { return rbuf_write(rb, b.data(), int32_t(b.size())); }

Bytes take(rbuf* rb, int32_t len) {
  Bytes b(size_t(len), 0);
  b.resize(size_t(rbuf_read(rb, b.data(), len)));
  return b;
}

// A ring buffer whose read and write positions were moved to `at` (up to
// capacity + 1, the end of the storage), holding `content` from there on (so
// it wraps when it runs past the end).
Ring ring_at(int32_t capacity, int32_t at, const Bytes& content = {}) {
  Ring rb(rbuf_create(capacity));
  for (int32_t left = at; left > 0;) {
    const int32_t step = std::min(left, capacity);
    put(rb.get(), Bytes(size_t(step), 0));
    take(rb.get(), step);
    left -= step;
  }
  put(rb.get(), content);
  return rb;
}

TEST(RbufCreate, DefaultsAndLimits) {
  Ring rb(rbuf_create(0));
  ASSERT_NE(rb, nullptr);
  EXPECT_EQ(rbuf_size(rb.get()), 4096);
  EXPECT_EQ(rbuf_available(rb.get()), 4096);
  EXPECT_EQ(rbuf_used(rb.get()), 0);
  EXPECT_EQ(rbuf_mode(rb.get()), RBUF_MODE_TRUNCATE);
  EXPECT_EQ(rbuf_create(-1), nullptr);
  EXPECT_EQ(rbuf_create(std::numeric_limits<int32_t>::min()), nullptr);
  EXPECT_EQ(rbuf_create(std::numeric_limits<int32_t>::max()), nullptr);  // storage size overflows
}

TEST(RbufCreate, EveryAllocationFailureGivesNullWithoutLeak) {
  long n = 1;
  for (;; ++n) {
    amix_fault_fail_at(n);
    rbuf* rb = rbuf_create(16);
    const long reached = amix_fault_sites_reached();
    amix_fault_fail_at(0);
    if (reached < n) {  // every site passed: the object is whole
      ASSERT_NE(rb, nullptr);
      rbuf_destroy(rb);
      break;
    }
    EXPECT_EQ(rb, nullptr) << "allocation " << n;
  }
  EXPECT_EQ(n, 3);  // the record and its storage
}

TEST(RbufRefusals, NullHandleIsHarmless) {
  uint8_t b[4] = {1, 2, 3, 4};
  Ring other(rbuf_create(4));
  put(other.get(), {7, 8});
  rbuf_set_mode(nullptr, 1);
  rbuf_skip(nullptr, 3);
  rbuf_clear(nullptr);
  rbuf_destroy(nullptr);
  EXPECT_EQ(rbuf_mode(nullptr), 0);
  EXPECT_EQ(rbuf_write(nullptr, b, 4), 0);
  EXPECT_EQ(rbuf_read(nullptr, b, 4), 0);
  EXPECT_EQ(rbuf_used(nullptr), 0);
  EXPECT_EQ(rbuf_available(nullptr), 0);
  EXPECT_EQ(rbuf_size(nullptr), 0);
  EXPECT_EQ(rbuf_find(nullptr, 1), -1);
  EXPECT_EQ(rbuf_read_until(nullptr, 3, b, 4), 0);
  EXPECT_EQ(rbuf_move(nullptr, other.get(), 2), 0);
  EXPECT_EQ(rbuf_move(other.get(), nullptr, 2), 0);
  EXPECT_EQ(rbuf_copy(nullptr, other.get(), 2), 0);
  EXPECT_EQ(rbuf_copy(other.get(), nullptr, 2), 0);
  EXPECT_EQ(take(other.get(), 4), (Bytes{7, 8}));
}

TEST(RbufRefusals, BadLengthsAndBuffersChangeNothing) {
  Ring rb = ring_at(6, 4, {1, 2, 3, 4, 5});
  Ring empty(rbuf_create(6));
  uint8_t b[8] = {};
  rbuf_set_mode(rb.get(), RBUF_MODE_OVERWRITE);
  EXPECT_EQ(rbuf_write(rb.get(), b, 0), 0);
  EXPECT_EQ(rbuf_write(rb.get(), b, -3), 0);
  EXPECT_EQ(rbuf_write(rb.get(), nullptr, 3), 0);
  EXPECT_EQ(rbuf_read(rb.get(), b, -1), 0);
  EXPECT_EQ(rbuf_read(rb.get(), nullptr, 3), 0);
  rbuf_skip(rb.get(), -2);
  EXPECT_EQ(rbuf_read_until(rb.get(), 3, b, 0), 0);
  EXPECT_EQ(rbuf_read_until(rb.get(), 3, b, -1), 0);
  EXPECT_EQ(rbuf_read_until(rb.get(), 3, nullptr, 4), 0);
  EXPECT_EQ(rbuf_move(rb.get(), empty.get(), 0), 0);
  EXPECT_EQ(rbuf_copy(rb.get(), empty.get(), -5), 0);
  EXPECT_EQ(rbuf_move(empty.get(), rb.get(), 5), 0);  // empty source
  put(empty.get(), {9});
  put(rb.get(), {6});                                 // now full
  EXPECT_EQ(rbuf_move(empty.get(), rb.get(), 1), 0);  // full destination
  EXPECT_EQ(rbuf_used(empty.get()), 1);
  EXPECT_EQ(take(rb.get(), 8), iota(1, 6));
}

TEST(RbufTruncating, Capacity10) {
  Ring rb(rbuf_create(10));
  EXPECT_EQ(put(rb.get(), iota(1, 8)), 8);
  EXPECT_EQ(take(rb.get(), 5), iota(1, 5));
  EXPECT_EQ(put(rb.get(), iota(11, 8)), 7);
  EXPECT_EQ(rbuf_available(rb.get()), 0);
  EXPECT_EQ(put(rb.get(), {99}), 0);
  Bytes want = iota(6, 3);
  for (uint8_t x : iota(11, 7)) want.push_back(x);
  EXPECT_EQ(take(rb.get(), 100), want);
  EXPECT_EQ(take(rb.get(), 100), Bytes{});

  rbuf_set_mode(rb.get(), 7);  // anything but 1 truncates
  EXPECT_EQ(rbuf_mode(rb.get()), 7);
  EXPECT_EQ(put(rb.get(), iota(1, 12)), 10);
  EXPECT_EQ(take(rb.get(), 100), iota(1, 10));
}

TEST(RbufOverwriting, Capacity10) {
  Ring rb(rbuf_create(10));
  rbuf_set_mode(rb.get(), RBUF_MODE_OVERWRITE);
  EXPECT_EQ(put(rb.get(), iota(1, 16)), 16);
  EXPECT_EQ(take(rb.get(), 100), iota(7, 10));

  put(rb.get(), iota(1, 7));
  EXPECT_EQ(put(rb.get(), iota(11, 6)), 6);
  EXPECT_EQ(rbuf_available(rb.get()), 0);
  Bytes want = iota(4, 4);
  for (uint8_t x : iota(11, 6)) want.push_back(x);
  EXPECT_EQ(take(rb.get(), 100), want);

  rbuf_clear(rb.get());
  EXPECT_EQ(rbuf_mode(rb.get()), RBUF_MODE_OVERWRITE);
  EXPECT_EQ(rbuf_used(rb.get()), 0);
  EXPECT_EQ(rbuf_available(rb.get()), 10);
}

TEST(RbufWrap, SingleBytesAcrossTheEnd) {
  Ring rb(rbuf_create(10));
  EXPECT_EQ(put(rb.get(), iota(0, 10)), 10);
  EXPECT_EQ(take(rb.get(), 10), iota(0, 10));
  for (uint8_t i = 0; i < 30; ++i) {
    ASSERT_EQ(put(rb.get(), {i}), 1);
    ASSERT_EQ(take(rb.get(), 5), Bytes{i}) << int(i);
  }
  // Two bytes held, then read across the end of the storage.
  Ring split = ring_at(10, 10, {1, 2, 3});
  EXPECT_EQ(take(split.get(), 3), (Bytes{1, 2, 3}));
}

TEST(RbufSkip, DropsOldestBytes) {
  Ring rb = ring_at(8, 6, iota(1, 6));
  rbuf_skip(rb.get(), 3);  // crosses the end of the storage
  EXPECT_EQ(rbuf_used(rb.get()), 3);
  EXPECT_EQ(take(rb.get(), 10), iota(4, 3));
  put(rb.get(), iota(1, 4));
  rbuf_skip(rb.get(), 5);
  EXPECT_EQ(rbuf_used(rb.get()), 0);
  EXPECT_EQ(rbuf_available(rb.get()), 8);
}

TEST(RbufFind, OffsetsFromTheOldestByte) {
  Ring empty(rbuf_create(8));
  EXPECT_EQ(rbuf_find(empty.get(), 0), -1);
  Ring rb = ring_at(8, 6, {5, 6, 7, 8, 6});  // 5, 6 before the end, 7, 8, 6 after
  const rbuf before = *rb;
  EXPECT_EQ(rbuf_find(rb.get(), 5), 0);
  EXPECT_EQ(rbuf_find(rb.get(), 6), 1);
  EXPECT_EQ(rbuf_find(rb.get(), 8), 3);
  EXPECT_EQ(rbuf_find(rb.get(), 0x100 + 7), 2);  // only the low 8 bits count
  EXPECT_EQ(rbuf_find(rb.get(), 9), -1);
  EXPECT_EQ(rb->used, before.used);
  EXPECT_EQ(rb->read_index, before.read_index);
  EXPECT_EQ(rb->write_index, before.write_index);
}

class RbufReadUntil : public testing::TestWithParam<int32_t> {};  // start position

TEST_P(RbufReadUntil, SameResultWhereverTheBytesLie) {
  const int32_t at = GetParam();
  Bytes dst(10, 0xEE);
  Ring rb = ring_at(8, at, {1, 2, 9, 3, 4});
  EXPECT_EQ(rbuf_read_until(rb.get(), 9, dst.data(), 10), 3);
  EXPECT_EQ(dst, (Bytes{1, 2, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(take(rb.get(), 10), (Bytes{3, 4}));

  rb = ring_at(8, at, {9, 1});  // delimiter first: removed, nothing stored
  EXPECT_EQ(rbuf_read_until(rb.get(), 9, dst.data(), 10), 1);
  EXPECT_EQ(dst[0], 1);
  EXPECT_EQ(take(rb.get(), 10), Bytes{1});

  rb = ring_at(8, at, iota(1, 6));  // no delimiter, dst_len stops the scan
  EXPECT_EQ(rbuf_read_until(rb.get(), 9, dst.data(), 4), 4);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 4), iota(1, 4));
  EXPECT_EQ(take(rb.get(), 10), (Bytes{5, 6}));

  rb = ring_at(8, at, iota(1, 3));  // no delimiter, the held bytes stop it
  EXPECT_EQ(rbuf_read_until(rb.get(), 9, dst.data(), 10), 3);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 3), iota(1, 3));
  EXPECT_EQ(rbuf_used(rb.get()), 0);
}

// 9 is the end of the storage, where both indices rest before they fold to 0.
INSTANTIATE_TEST_SUITE_P(Positions, RbufReadUntil, testing::Values(0, 3, 5, 7, 8, 9));

TEST(RbufTransfer, LimitedByTheDestination) {
  Ring src = ring_at(10, 0, iota(1, 8));
  Ring dst(rbuf_create(3));
  EXPECT_EQ(rbuf_copy(src.get(), dst.get(), 5), 3);
  EXPECT_EQ(rbuf_used(src.get()), 8);
  EXPECT_EQ(take(dst.get(), 10), iota(1, 3));
  rbuf_set_mode(dst.get(), RBUF_MODE_OVERWRITE);  // not consulted
  put(dst.get(), {42});
  EXPECT_EQ(rbuf_move(src.get(), dst.get(), 5), 2);
  EXPECT_EQ(take(dst.get(), 10), (Bytes{42, 1, 2}));
  EXPECT_EQ(take(src.get(), 10), iota(3, 6));
}

TEST(RbufTransfer, WrappedSourceIntoWrappedFreeSpace) {
  for (int32_t dst_at = 0; dst_at <= 7; ++dst_at) {
    for (bool take_bytes : {false, true}) {
      Ring src = ring_at(9, 7, iota(1, 8));  // runs past the end of the storage
      Ring dst = ring_at(7, dst_at, {100});
      const int32_t n = take_bytes ? rbuf_move(src.get(), dst.get(), 20)
                                   : rbuf_copy(src.get(), dst.get(), 20);
      ASSERT_EQ(n, 6);
      Bytes want = {100};
      for (uint8_t x : iota(1, 6)) want.push_back(x);
      EXPECT_EQ(take(dst.get(), 20), want) << dst_at;
      EXPECT_EQ(take(src.get(), 20), take_bytes ? iota(7, 2) : iota(1, 8)) << dst_at;
    }
  }
}

}  // namespace
