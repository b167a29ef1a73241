// The ring buffer's record and the index arithmetic shared by its operations.
//
// Layout: `storage_size` = capacity + 1 bytes, of which one always stays
// empty, so equal read and write positions mean "empty".  The held bytes run
// from `read_index` up to (not including) `write_index`, wrapping at the end
// of the storage.  Either index may rest at `storage_size` after a copy that
// ends exactly at the end of the storage; every operation treats that value
// as position 0.  `used` and `available` are stored, and recomputed from the
// two indices by recount() after every change of an index.
#pragma once

#include <cstdint>
#include <cstring>

struct rbuf {
  uint8_t* storage;      // owned, `storage_size` bytes, never cleared
  int32_t storage_size;  // capacity + 1
  int32_t available;     // storage_size - 1 - used
  int32_t used;          // bytes held
  int32_t read_index;    // position of the oldest held byte, 0..storage_size
  int32_t write_index;   // position of the next byte stored, 0..storage_size
  int32_t mode;          // overflow policy as set; only 1 overwrites
};

namespace amix::ring {

inline void recount(rbuf& rb) {
  const int32_t diff = rb.write_index - rb.read_index;
  rb.used = diff < 0 ? diff + rb.storage_size : diff;
  rb.available = rb.storage_size - 1 - rb.used;
}

// `index` moved on by `n` bytes, continuing at position 0 past the end.
// REQUIRES: 0 <= index <= storage_size, 0 <= n < storage_size.
inline int32_t advance(const rbuf& rb, int32_t index, int32_t n) {
  const int32_t tail = rb.storage_size - index;
  return n <= tail ? index + n : n - tail;
}

// Copies `n` stored bytes from `index` on into `dst`; returns the index after
// them.  REQUIRES: the n bytes from `index` are held.
inline int32_t copy_out(const rbuf& rb, int32_t index, uint8_t* dst, int32_t n) {
  const int32_t tail = rb.storage_size - index;
  if (n <= tail) {
    std::memcpy(dst, rb.storage + index, size_t(n));
    return index + n;
  }
  std::memcpy(dst, rb.storage + index, size_t(tail));
  std::memcpy(dst + tail, rb.storage, size_t(n - tail));
  return n - tail;
}

// Copies `n` bytes from `src` into the storage from `index` on; returns the
// index after them.  REQUIRES: the n bytes from `index` are free.
inline int32_t copy_in(rbuf& rb, int32_t index, const uint8_t* src, int32_t n) {
  const int32_t tail = rb.storage_size - index;
  if (n <= tail) {
    std::memcpy(rb.storage + index, src, size_t(n));
    return index + n;
  }
  std::memcpy(rb.storage + index, src, size_t(tail));
  std::memcpy(rb.storage, src + tail, size_t(n - tail));
  return n - tail;
}

// Drops the oldest `count` held bytes (all of them when count >= used).
// REQUIRES: count >= 0.
inline void discard(rbuf& rb, int32_t count) {
  rb.read_index = count >= rb.used ? rb.write_index : advance(rb, rb.read_index, count);
  recount(rb);
}

}  // namespace amix::ring
