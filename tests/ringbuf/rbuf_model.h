// A plain model of the ring buffer (a deque with the two overflow policies)
// and a harness that applies one operation to two ring buffers and to their
// models, then compares every result, every byte delivered, the counts and
// the held bytes.  Shared by the differential test and the fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <iterator>
#include <random>
#include <vector>

#include "ringbuf/rbuf_impl.h"
#include "tavrin_amix/rbuf.h"

namespace amix_test {

class RbufModel {
 public:
  explicit RbufModel(int32_t capacity)
      : capacity_(capacity == 0 ? RBUF_DEFAULT_CAPACITY : capacity) {}

  int32_t write(const uint8_t* src, int32_t len) {
    if (src == nullptr || len <= 0) return 0;
    if (mode_ == RBUF_MODE_OVERWRITE) {
      bytes_.insert(bytes_.end(), src, src + len);
      drop(int32_t(bytes_.size()) - capacity_);
      return len;
    }
    const int32_t n = std::min(len, available());
    bytes_.insert(bytes_.end(), src, src + n);
    return n;
  }
  int32_t read(uint8_t* dst, int32_t len) {
    if (dst == nullptr || len <= 0) return 0;
    const int32_t n = std::min(len, used());
    std::copy_n(bytes_.begin(), n, dst);
    drop(n);
    return n;
  }
  void skip(int32_t count) { drop(count); }
  int32_t find(int32_t byte) const {
    const auto it = std::find(bytes_.begin(), bytes_.end(), uint8_t(byte));
    return it == bytes_.end() ? -1 : int32_t(it - bytes_.begin());
  }
  int32_t read_until(int32_t delim, uint8_t* dst, int32_t dst_len) {
    if (dst == nullptr || dst_len <= 0) return 0;
    const int32_t limit = std::min(dst_len, used());
    int32_t scanned = 0;
    while (scanned < limit) {
      const uint8_t b = bytes_[size_t(scanned++)];
      if (b == uint8_t(delim)) break;
      *dst++ = b;
    }
    drop(scanned);
    return scanned;
  }
  static int32_t transfer(RbufModel& src, RbufModel& dst, int32_t len, bool take) {
    if (len <= 0) return 0;
    const int32_t n = std::min({len, src.used(), dst.available()});
    // Through a copy: `src` and `dst` may be the same model.
    const std::vector<uint8_t> moved(src.bytes_.begin(), src.bytes_.begin() + n);
    dst.bytes_.insert(dst.bytes_.end(), moved.begin(), moved.end());
    if (take) src.drop(n);
    return n;
  }
  void clear() { bytes_.clear(); }
  void set_mode(int32_t mode) { mode_ = mode; }

  int32_t mode() const { return mode_; }
  int32_t used() const { return int32_t(bytes_.size()); }
  int32_t available() const { return capacity_ - used(); }
  int32_t capacity() const { return capacity_; }
  const std::deque<uint8_t>& bytes() const { return bytes_; }

 private:
  void drop(int32_t count) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + std::clamp(count, 0, used()));
  }

  std::deque<uint8_t> bytes_;
  int32_t capacity_;
  int32_t mode_ = RBUF_MODE_TRUNCATE;
};

enum class RbufOp { write, read, skip, find, read_until, move, copy, clear, set_mode, count };

struct RbufStep {
  RbufOp op = RbufOp::write;
  int ring = 0;   // 0 or 1: the ring operated on (the source of a transfer)
  int other = 0;  // the destination of a transfer; may equal `ring`
  int32_t len = 0;
  // find / read_until: low 8 bits are the byte; with bit 8 set, the byte held
  // at offset (value >> 9) % used is taken instead, so that matches are
  // common.  set_mode: the mode.
  int32_t value = 0;
  bool null_arg = false;  // a NULL buffer (or, without one, a NULL handle)
};

class RbufHarness {
 public:
  RbufHarness(int32_t capacity_a, int32_t capacity_b)
      : rings_{rbuf_create(capacity_a), rbuf_create(capacity_b)},
        models_{RbufModel(capacity_a), RbufModel(capacity_b)} {}
  ~RbufHarness() {
    rbuf_destroy(rings_[0]);
    rbuf_destroy(rings_[1]);
  }
  RbufHarness(const RbufHarness&) = delete;
  RbufHarness& operator=(const RbufHarness&) = delete;

  bool created() const { return rings_[0] != nullptr && rings_[1] != nullptr; }
  const rbuf& ring(int i) const { return *rings_[i]; }

  // Applies `s` to the ring buffers and the models; returns nullptr when they
  // agree, otherwise what differed.
  const char* apply(const RbufStep& s) {
    rbuf* rb = s.null_arg ? nullptr : rings_[s.ring];
    RbufModel& m = models_[s.ring];
    switch (s.op) {
      case RbufOp::write: return write(s);
      case RbufOp::read: return read(s);
      case RbufOp::read_until: return read_until(s);
      case RbufOp::move:
      case RbufOp::copy: return transfer(s);
      case RbufOp::find:
        if (rbuf_find(rb, pick_byte(s)) != (rb ? m.find(pick_byte(s)) : -1)) return "find";
        break;
      case RbufOp::skip:
        rbuf_skip(rb, s.len);
        if (rb) m.skip(s.len);
        break;
      case RbufOp::clear:
        rbuf_clear(rb);
        if (rb) m.clear();
        break;
      case RbufOp::set_mode:
        rbuf_set_mode(rb, s.value);
        if (rb) m.set_mode(s.value);
        break;
      case RbufOp::count:
        break;
    }
    return check_both();
  }

  // Compares the counts, the indices' invariants and the held bytes of ring i
  // with its model.
  const char* check(int i) const {
    const rbuf& rb = *rings_[i];
    const RbufModel& m = models_[i];
    if (rbuf_used(&rb) != m.used() || rbuf_available(&rb) != m.available()) return "counts";
    if (rbuf_size(&rb) != m.capacity() || rbuf_mode(&rb) != m.mode()) return "size or mode";
    if (rb.read_index < 0 || rb.read_index > rb.storage_size || rb.write_index < 0 ||
        rb.write_index > rb.storage_size) {
      return "index out of range";
    }
    const int32_t diff = rb.write_index - rb.read_index;
    if ((diff < 0 ? diff + rb.storage_size : diff) != rb.used) return "used vs indices";
    for (int32_t k = 0; k < rb.used; ++k) {
      if (rb.storage[(rb.read_index + k) % rb.storage_size] != m.bytes()[size_t(k)]) {
        return "held bytes";
      }
    }
    return nullptr;
  }

 private:
  const char* check_both() const {
    const char* bad = check(0);
    return bad != nullptr ? bad : check(1);
  }

  static constexpr uint8_t kUntouched = 0xA5;

  int32_t pick_byte(const RbufStep& s) const {
    const RbufModel& m = models_[s.ring];
    if ((s.value & 0x100) == 0 || m.used() == 0) return s.value & 0xFF;
    return m.bytes()[size_t(uint32_t(s.value) >> 9) % size_t(m.used())];
  }

  const char* write(const RbufStep& s) {
    std::vector<uint8_t> src(size_t(std::max(s.len, 0)));
    for (auto& b : src) b = next_byte_++;
    const uint8_t* p = s.null_arg ? nullptr : src.data();
    if (rbuf_write(rings_[s.ring], p, s.len) != models_[s.ring].write(p, s.len)) return "write";
    return check(s.ring);
  }

  const char* read(const RbufStep& s) {
    std::vector<uint8_t> got(size_t(std::max(s.len, 0)), kUntouched), want = got;
    const int32_t n = rbuf_read(rings_[s.ring], s.null_arg ? nullptr : got.data(), s.len);
    if (n != models_[s.ring].read(s.null_arg ? nullptr : want.data(), s.len)) return "read";
    if (got != want) return "bytes delivered";  // also past n: untouched
    return check(s.ring);
  }

  const char* read_until(const RbufStep& s) {
    const int32_t delim = pick_byte(s);
    std::vector<uint8_t> got(size_t(std::max(s.len, 0)), kUntouched), want = got;
    const int32_t n =
        rbuf_read_until(rings_[s.ring], delim, s.null_arg ? nullptr : got.data(), s.len);
    if (n != models_[s.ring].read_until(delim, s.null_arg ? nullptr : want.data(), s.len)) {
      return "read_until";
    }
    if (got != want) return "bytes stored";  // also past them: untouched
    return check(s.ring);
  }

  const char* transfer(const RbufStep& s) {
    const bool take = s.op == RbufOp::move;
    rbuf* src = rings_[s.ring];
    rbuf* dst = s.null_arg ? nullptr : rings_[s.other];
    const int32_t n = take ? rbuf_move(src, dst, s.len) : rbuf_copy(src, dst, s.len);
    const int32_t want =
        dst ? RbufModel::transfer(models_[s.ring], models_[s.other], s.len, take) : 0;
    if (n != want) return take ? "move" : "copy";
    return check_both();
  }

  rbuf* rings_[2];
  RbufModel models_[2];
  uint8_t next_byte_ = 0;
};

// A `pick` that draws from `rng`.
inline auto picker(std::mt19937& rng) {
  return [&rng](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
  };
}

// Random or fuzz-driven choices: `pick(lo, hi)` returns a value in [lo, hi].
// Capacities are small (1 and 2 are common) and lengths lie near the
// boundaries where index arithmetic can slip: the capacity, the held and
// free counts, the distance from the operation's index to the end of the
// storage.
template <typename Pick>
int32_t pick_capacity(Pick& pick) {
  switch (pick(0, 7)) {
    case 0: return 1;
    case 1: return 2;
    case 2: return int32_t(pick(1, 300));
    case 3: return pick(0, 3) == 0 ? 0 : 97;  // 0 selects the default capacity
    default: return int32_t(pick(1, 16));
  }
}

template <typename Pick>
int32_t pick_len(Pick& pick, const rbuf& rb, int32_t at) {
  const auto near = [&](int32_t x) { return x + int32_t(pick(-1, 1)); };
  switch (pick(0, 7)) {
    case 0: return int32_t(pick(0, 3));
    case 1: return near(rb.storage_size - 1);
    case 2: return near(rb.storage_size - at);
    case 3: return near(rb.used);
    case 4: return near(rb.available);
    case 5: return pick(0, 3) == 0 ? int32_t(pick(-3, -1)) : near(rb.storage_size);
    default: return int32_t(pick(0, 2 * int64_t(rb.storage_size)));
  }
}

template <typename Pick>
RbufStep pick_step(Pick& pick, const RbufHarness& h) {
  static constexpr RbufOp kOps[] = {
      RbufOp::write, RbufOp::write, RbufOp::write, RbufOp::read,       RbufOp::read,
      RbufOp::skip,  RbufOp::find,  RbufOp::move,  RbufOp::read_until, RbufOp::copy,
      RbufOp::move,  RbufOp::clear, RbufOp::set_mode};
  RbufStep s;
  s.op = kOps[pick(0, int64_t(std::size(kOps)) - 1)];
  if (s.op == RbufOp::clear && pick(0, 3) != 0) s.op = RbufOp::write;  // clears are rarer
  s.ring = int(pick(0, 1));
  s.other = int(pick(0, 1));
  const rbuf& rb = h.ring(s.ring);
  s.len = pick_len(pick, rb, s.op == RbufOp::write ? rb.write_index : rb.read_index);
  s.value = int32_t(s.op == RbufOp::set_mode ? pick(-1, 2) : pick(0, (1 << 21) - 1));
  s.null_arg = pick(0, 31) == 0;
  return s;
}

}  // namespace amix_test
