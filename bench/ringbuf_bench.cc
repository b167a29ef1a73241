// Ring buffer throughput: one write and one read of the same chunk size per
// iteration through a 576000-byte ring buffer (the blocking resampler's
// size), beside the least the job can cost: a memcpy of the chunk into a
// flat buffer of that size and a memcpy back out ("memcpy").
//
// Both variants place their chunks alike: one after the other, going round
// a 576001-byte storage, so every copy lands at a different alignment from
// lap to lap.  The ring buffer's chunks are split at the end of its storage
// once a lap; every run goes round many times.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tavrin_amix/rbuf.h"

namespace {

constexpr int32_t kCapacity = 576000;

enum class Variant { lib, memcpy };

uint8_t pattern(int64_t position) { return uint8_t(position % 251); }

// Streams chunks of a counting pattern through the ring buffer for three
// laps of its storage and checks that they come out intact and in order.
bool self_check(int32_t chunk) {
  rbuf* rb = rbuf_create(kCapacity);
  std::vector<uint8_t> in(static_cast<size_t>(chunk)), out(static_cast<size_t>(chunk));
  bool ok = rb != nullptr;
  for (int64_t done = 0; ok && done < 3 * int64_t(kCapacity); done += chunk) {
    for (int32_t k = 0; k < chunk; ++k) in[size_t(k)] = pattern(done + k);
    ok = rbuf_write(rb, in.data(), chunk) == chunk && rbuf_read(rb, out.data(), chunk) == chunk &&
         in == out;
  }
  rbuf_destroy(rb);
  return ok;
}

void BM_WriteRead(benchmark::State& state, Variant variant, int32_t chunk) {
  if (!self_check(chunk)) {
    state.SkipWithError("ring buffer lost or reordered bytes");
    return;
  }
  benchmark::DoNotOptimize(chunk);  // a run-time size for both variants
  std::vector<uint8_t> src(static_cast<size_t>(chunk), 0x5A), dst(static_cast<size_t>(chunk));
  std::vector<uint8_t> flat(static_cast<size_t>(kCapacity) + 1);
  rbuf* rb = rbuf_create(kCapacity);
  int32_t offset = 0;
  for (auto _ : state) {
    if (variant == Variant::lib) {
      rbuf_write(rb, src.data(), chunk);
      rbuf_read(rb, dst.data(), chunk);
    } else {
      std::memcpy(flat.data() + offset, src.data(), size_t(chunk));
      std::memcpy(dst.data(), flat.data() + offset, size_t(chunk));
      offset += chunk;  // as the ring buffer's positions go round its storage
      if (offset > kCapacity + 1 - chunk) offset -= kCapacity + 1 - chunk;
    }
    benchmark::DoNotOptimize(dst.data());
    benchmark::DoNotOptimize(flat.data());
    benchmark::ClobberMemory();
  }
  if (variant == Variant::lib && rbuf_used(rb) != 0) {
    state.SkipWithError("ring buffer fell out of step");
  }
  rbuf_destroy(rb);
  state.SetBytesProcessed(state.iterations() * int64_t(chunk) * 2);
}

const bool registered = [] {
  for (int32_t chunk : {64, 1024, 4096}) {
    const std::string base = "write_read/" + std::to_string(chunk);
    benchmark::RegisterBenchmark((base + "/lib").c_str(), BM_WriteRead, Variant::lib, chunk);
    benchmark::RegisterBenchmark((base + "/memcpy").c_str(), BM_WriteRead, Variant::memcpy, chunk);
  }
  return true;
}();

}  // namespace
