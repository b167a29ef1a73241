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

// Branch hint for the paths that a steady stream of reads and writes does
// not take (refusals, overflow, a copy split at the end of the storage).
#define AMIX_RING_RARELY(cond) __builtin_expect(!!(cond), 0)

// Out of line, so that the inline paths below stay free of calls they would
// have to save registers for: a copy of more than 64 bytes, and a copy made
// of two runs (at the end of the storage and from its start).  Both return
// the total count, so that callers can hand over to them as a tail call.
// REQUIRES: source and destination runs do not overlap.
int32_t copy_long(uint8_t* dst, const uint8_t* src, int32_t n);
int32_t copy_two(uint8_t* dst1, const uint8_t* src1, int32_t n1, uint8_t* dst2,
                 const uint8_t* src2, int32_t n2);

// Copies the first and the last `W` bytes of an `n`-byte run, W <= n <= 2W.
template <int32_t W>
inline void copy_ends(uint8_t* dst, const uint8_t* src, int32_t n) {
  std::memcpy(dst, src, W);
  std::memcpy(dst + n - W, src + n - W, W);
}

// One contiguous copy of `n` >= 0 bytes; returns n.  Runs of up to 64 bytes
// are copied inline with two overlapping fixed-size moves (plain loads and
// stores), since a library call would cost more than the copy at that size.
// REQUIRES: the two runs do not overlap.
inline int32_t copy_run(uint8_t* dst, const uint8_t* src, int32_t n) {
  if (n > 64) return copy_long(dst, src, n);
  if (n >= 32) {
    copy_ends<32>(dst, src, n);
  } else if (n >= 16) {
    copy_ends<16>(dst, src, n);
  } else if (n >= 8) {
    copy_ends<8>(dst, src, n);
  } else if (n >= 4) {
    copy_ends<4>(dst, src, n);
  } else if (n > 0) {
    dst[0] = src[0];
    dst[n / 2] = src[n / 2];
    dst[n - 1] = src[n - 1];
  }
  return n;
}

// Copies `n` stored bytes from position `at` on (continuing at position 0
// past the end) into `dst`; returns n.  REQUIRES: those n bytes are held.
inline int32_t copy_out(const rbuf& rb, int32_t at, uint8_t* dst, int32_t n) {
  const int32_t tail = rb.storage_size - at;
  if (!AMIX_RING_RARELY(n > tail)) return copy_run(dst, rb.storage + at, n);
  return copy_two(dst, rb.storage + at, tail, dst + tail, rb.storage, n - tail);
}

// Copies `n` bytes from `src` into the storage from position `at` on
// (continuing at position 0 past the end); returns n.
// REQUIRES: those n storage bytes are free.
inline int32_t copy_in(rbuf& rb, int32_t at, const uint8_t* src, int32_t n) {
  const int32_t tail = rb.storage_size - at;
  if (!AMIX_RING_RARELY(n > tail)) return copy_run(rb.storage + at, src, n);
  return copy_two(rb.storage + at, src, tail, rb.storage, src + tail, n - tail);
}

// Drops the oldest `count` held bytes (all of them when count >= used).
// REQUIRES: count >= 0.
inline void discard(rbuf& rb, int32_t count) {
  rb.read_index = count >= rb.used ? rb.write_index : advance(rb, rb.read_index, count);
  recount(rb);
}

}  // namespace amix::ring
