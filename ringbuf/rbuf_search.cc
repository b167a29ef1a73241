// Ring buffer search: find a byte, read up to a delimiter.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ringbuf/rbuf_impl.h"
#include "tavrin_amix/rbuf.h"

namespace {

// Offset of the first byte equal to `byte` among the oldest `limit` held
// bytes, or -1.  REQUIRES: 0 <= limit <= used.
int32_t find_first(const rbuf& rb, uint8_t byte, int32_t limit) {
  const int32_t tail = rb.storage_size - rb.read_index;
  const int32_t first = std::min(limit, tail);
  const uint8_t* start = rb.storage + rb.read_index;
  if (const void* hit = std::memchr(start, byte, size_t(first))) {
    return int32_t(static_cast<const uint8_t*>(hit) - start);
  }
  if (const void* hit = std::memchr(rb.storage, byte, size_t(limit - first))) {
    return first + int32_t(static_cast<const uint8_t*>(hit) - rb.storage);
  }
  return -1;
}

}  // namespace

extern "C" {

int32_t rbuf_find(const rbuf* rb, int32_t byte) {
  if (rb == nullptr) return -1;
  return find_first(*rb, uint8_t(byte), rb->used);
}

int32_t rbuf_read_until(rbuf* rb, int32_t delim, void* dst, int32_t dst_len) {
  if (rb == nullptr || dst == nullptr || dst_len <= 0) return 0;
  const int32_t limit = std::min(dst_len, rb->used);
  const int32_t hit = find_first(*rb, uint8_t(delim), limit);
  const int32_t stored = hit < 0 ? limit : hit;
  amix::ring::copy_out(*rb, rb->read_index, static_cast<uint8_t*>(dst), stored);
  const int32_t removed = hit < 0 ? stored : stored + 1;
  amix::ring::discard(*rb, removed);
  return removed;
}

}  // extern "C"
