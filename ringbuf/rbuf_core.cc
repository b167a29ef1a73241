// Ring buffer life cycle, write, read, skip and the stored counts.

#include <cstdint>
#include <limits>

#include "common/alloc.h"
#include "ringbuf/rbuf_impl.h"
#include "tavrin_amix/rbuf.h"

namespace {

using amix::ring::copy_in;
using amix::ring::copy_out;
using amix::ring::recount;

// Overwriting write of at least `storage_size` bytes: only the last capacity
// bytes of `src` survive, stored from position 0; the buffer ends full.
int32_t keep_newest(rbuf* rb, const uint8_t* src, int32_t len) {
  const int32_t capacity = rb->storage_size - 1;
  std::memcpy(rb->storage, src + (len - capacity), size_t(capacity));
  rb->read_index = 0;
  rb->write_index = capacity;
  recount(*rb);
  return len;
}

// Overwriting write: makes room for `count` more bytes by dropping the
// oldest.  REQUIRES: 0 <= count <= used.
void drop_oldest(rbuf* rb, int32_t count) {
  rb->read_index += count;
  if (rb->read_index >= rb->storage_size) rb->read_index -= rb->storage_size;
}

}  // namespace

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
  if (rb == nullptr || src == nullptr || len <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(src);
  int32_t n = len;
  if (len >= rb->available) {
    if (rb->mode != RBUF_MODE_OVERWRITE) {
      n = rb->available;
    } else if (len >= rb->storage_size) {
      return keep_newest(rb, bytes, len);
    } else {
      drop_oldest(rb, len - rb->available);
    }
  }
  rb->write_index = copy_in(*rb, rb->write_index, bytes, n);
  recount(*rb);
  return n;  // in overwriting mode n is always len
}

int32_t rbuf_read(rbuf* rb, void* dst, int32_t len) {
  if (rb == nullptr || dst == nullptr || len <= 0) return 0;
  const int32_t n = len < rb->used ? len : rb->used;
  rb->read_index = copy_out(*rb, rb->read_index, static_cast<uint8_t*>(dst), n);
  recount(*rb);
  return n;
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
