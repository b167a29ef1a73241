// Reads typed values from a fuzz input; past its end every read gives 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace amix_fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T take() {
    T v{};
    const size_t n = size_ - pos_ < sizeof(T) ? size_ - pos_ : sizeof(T);
    if (n > 0) std::memcpy(&v, data_ + pos_, n);
    pos_ += n;
    return v;
  }
  // A value in [lo, hi].
  int64_t range(int64_t lo, int64_t hi) {
    const uint64_t span = uint64_t(hi - lo) + 1;
    return lo + int64_t(take<uint32_t>() % span);
  }
  bool empty() const { return pos_ >= size_; }
  size_t left() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

#define AMIX_FUZZ_CHECK(cond) \
  do {                        \
    if (!(cond)) __builtin_trap(); \
  } while (0)

}  // namespace amix_fuzz
