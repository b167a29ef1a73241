// Ring buffer to ring buffer transfer, straight from one storage into the
// other: the destination's free space is at most two runs, and each run is
// filled from the source with at most two copies.

#include <algorithm>
#include <cstdint>

#include "ringbuf/rbuf_impl.h"
#include "tavrin_amix/rbuf.h"

namespace {

using amix::ring::advance;
using amix::ring::copy_out;
using amix::ring::recount;

// Appends the oldest min(len, src used, dst available) bytes of `src` to
// `dst`; `src` gives them up when `take` is set.  `src` and `dst` may be the
// same ring buffer: held and free bytes never overlap.
int32_t transfer(rbuf* src, rbuf* dst, int32_t len, bool take) {
  if (src == nullptr || dst == nullptr || len <= 0) return 0;
  const int32_t n = std::min({len, dst->available, src->used});
  const int32_t tail = dst->storage_size - dst->write_index;
  const int32_t first = std::min(n, tail);
  const int32_t from = src->read_index;
  copy_out(*src, from, dst->storage + dst->write_index, first);
  copy_out(*src, advance(*src, from, first), dst->storage, n - first);
  dst->write_index = advance(*dst, dst->write_index, n);
  recount(*dst);
  if (take) {
    src->read_index = advance(*src, from, n);
    recount(*src);
  }
  return n;
}

}  // namespace

extern "C" {

int32_t rbuf_move(rbuf* src, rbuf* dst, int32_t len) { return transfer(src, dst, len, true); }

int32_t rbuf_copy(const rbuf* src, rbuf* dst, int32_t len) {
  // The source is only read when `take` is false.
  return transfer(const_cast<rbuf*>(src), dst, len, false);
}

}  // extern "C"
