// Ring buffer life cycle, write, read, skip and the stored counts, and the
// out-of-line copies.

#include <cstdint>
#include <limits>

#include "common/alloc.h"
#include "ringbuf/rbuf_impl.h"
#include "tavrin_amix/rbuf.h"

namespace {

using amix::ring::copy_in;
using amix::ring::copy_out;
using amix::ring::recount;

// Stores `n` bytes at the write position; returns n.  The counts are brought
// up to date first, so that the copy can end the call.
// REQUIRES: n <= available.
inline int32_t append(rbuf* rb, const uint8_t* src, int32_t n) {
  const int32_t at = rb->write_index;
  rb->write_index = amix::ring::advance(*rb, at, n);
  recount(*rb);
  return copy_in(*rb, at, src, n);
}

// Removes `n` bytes from the read position into `dst`; returns n.
// REQUIRES: n <= used.
inline int32_t take(rbuf* rb, uint8_t* dst, int32_t n) {
  const int32_t at = rb->read_index;
  rb->read_index = amix::ring::advance(*rb, at, n);
  recount(*rb);
  return copy_out(*rb, at, dst, n);
}

// A write of `len` >= available bytes, under the overflow policy.
__attribute__((noinline)) int32_t write_overflowing(rbuf* rb, const uint8_t* src, int32_t len) {
  if (rb->mode != RBUF_MODE_OVERWRITE) return append(rb, src, rb->available);
  const int32_t capacity = rb->storage_size - 1;
  if (len > capacity) {
    // Only the newest capacity bytes of `src` survive, stored from position 0.
    std::memcpy(rb->storage, src + (len - capacity), size_t(capacity));
    rb->read_index = 0;
    rb->write_index = capacity;
    recount(*rb);
    return len;
  }
  // Drop the oldest bytes to make room (the read position folds to 0 when it
  // reaches the end); the write then fills the buffer.
  const int32_t drop = len - rb->available;
  const int32_t tail = rb->storage_size - rb->read_index;
  rb->read_index = drop < tail ? rb->read_index + drop : drop - tail;
  return append(rb, src, len);
}

}  // namespace

namespace amix::ring {

__attribute__((noinline)) int32_t copy_long(uint8_t* dst, const uint8_t* src, int32_t n) {
  std::memcpy(dst, src, size_t(n));
  return n;
}

__attribute__((noinline)) int32_t copy_two(uint8_t* dst1, const uint8_t* src1, int32_t n1,
                                           uint8_t* dst2, const uint8_t* src2, int32_t n2) {
  copy_run(dst1, src1, n1);
  copy_run(dst2, src2, n2);
  return n1 + n2;
}

}  // namespace amix::ring

extern "C" {

rbuf* rbuf_create(int32_t capacity) {
  if (capacity < 0 || capacity == std::numeric_limits<int32_t>::max()) return nullptr;
  auto* rb = static_cast<rbuf*>(amix::mem_calloc(1, sizeof(rbuf)));
  if (rb == nullptr) return nullptr;
  rb->storage_size = (capacity == 0 ? RBUF_DEFAULT_CAPACITY : capacity) + 1;
  rb->storage = static_cast<uint8_t*>(amix::mem_malloc(size_t(rb->storage_size)));
  if (rb->storage == nullptr) {
    amix::mem_free(rb);
    return nullptr;
  }
  rb->available = rb->storage_size - 1;
  return rb;
}

void rbuf_destroy(rbuf* rb) {
  if (rb == nullptr) return;
  amix::mem_free(rb->storage);
  amix::mem_free(rb);
}

void rbuf_set_mode(rbuf* rb, int32_t mode) {
  if (rb != nullptr) rb->mode = mode;
}

int32_t rbuf_mode(const rbuf* rb) { return rb != nullptr ? rb->mode : 0; }

int32_t rbuf_write(rbuf* rb, const void* src, int32_t len) {
  if (AMIX_RING_RARELY(rb == nullptr || src == nullptr || len <= 0)) return 0;
  const auto* bytes = static_cast<const uint8_t*>(src);
  if (AMIX_RING_RARELY(len >= rb->available)) return write_overflowing(rb, bytes, len);
  return append(rb, bytes, len);
}

int32_t rbuf_read(rbuf* rb, void* dst, int32_t len) {
  if (AMIX_RING_RARELY(rb == nullptr || dst == nullptr || len <= 0)) return 0;
  // A branch rather than a select, so that the copy does not wait for `used`.
  if (AMIX_RING_RARELY(len > rb->used)) return take(rb, static_cast<uint8_t*>(dst), rb->used);
  return take(rb, static_cast<uint8_t*>(dst), len);
}

void rbuf_skip(rbuf* rb, int32_t count) {
  if (rb != nullptr && count > 0) amix::ring::discard(*rb, count);
}

int32_t rbuf_used(const rbuf* rb) { return rb != nullptr ? rb->used : 0; }

int32_t rbuf_available(const rbuf* rb) { return rb != nullptr ? rb->available : 0; }

int32_t rbuf_size(const rbuf* rb) { return rb != nullptr ? rb->storage_size - 1 : 0; }

void rbuf_clear(rbuf* rb) {
  if (rb == nullptr) return;
  rb->write_index = 0;
  rb->read_index = 0;
  rb->used = 0;
  rb->available = rb->storage_size - 1;
}

}  // extern "C"
