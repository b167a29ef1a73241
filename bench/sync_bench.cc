// Blocking resampler throughput: a producer writing 1024-frame blocks of
// 44100 Hz stereo, a consumer reading 4096-byte blocks at 48000 Hz stereo.
// Each iteration is one producer write; the producer is the benchmark's own
// thread, so in steady state an iteration lasts as long as the pair needs to
// move one write through.
//
//   lib     sync_audio_resampler_write / _read on two threads
//   stamped the same with sync_audio_resampler_read_stamped
//   high    the lib pair created at AUDIO_RESAMPLE_QUALITY_HIGH (soxr, whose
//   best    output comes in bursts), and at AUDIO_RESAMPLE_QUALITY_BEST
//   twin    the same two-thread protocol written here (one mutex, one
//           condition variable, the same wait rules, resample and copies)
//   single  one thread doing the resample and the copies alone
//
// Counters: `blocked` is the voluntary context switches of both threads per
// block read (every time either thread slept: condition-variable waits and
// contended locks); the twin also counts its condition-variable wake-ups
// (`cv_wakeups`).  The lib runs fail when a steady write or read reaches an
// allocation site.  On a shared machine, compare medians:
//   --benchmark_repetitions=12 --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/alloc.h"
#include "tavrin_amix/rbuf.h"
#include "tavrin_amix/sync_audio_resampler.h"

namespace {

constexpr int kSrcRate = 44100;
constexpr int kDstRate = 48000;
constexpr int kWriteFrames = 1024;
constexpr int32_t kWriteBytes = kWriteFrames * 4;  // s16 stereo
constexpr int32_t kBlock = 4096;
constexpr int kInputBlocks = 64;  // the input cycles through this many writes
constexpr int kWarmup = 8;        // writes before the timed loop

// A two-tone signal, so the filter works on something like music.
std::vector<int16_t> source() {
  std::vector<int16_t> v(size_t(kInputBlocks) * kWriteFrames * 2);
  for (size_t i = 0; i < v.size(); ++i) {
    const double t = double(i / 2) / kSrcRate;
    v[i] = int16_t(9000 * std::sin(2 * M_PI * 440 * t) + 6000 * std::sin(2 * M_PI * 3150 * t));
  }
  return v;
}

const uint8_t* write_at(const std::vector<int16_t>& in, int64_t i) {
  return reinterpret_cast<const uint8_t*>(in.data() + (i % kInputBlocks) * kWriteFrames * 2);
}

long voluntary_switches() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return u.ru_nvcsw;
}

// What a consumer thread did: blocks read and how often it slept.
struct ConsumerTally {
  int64_t blocks = 0;
  int64_t bytes = 0;
  long switches = 0;
};

// Runs `read_block` (returns the real bytes of one block, 0 at the end) on a
// consumer thread while the benchmark's thread writes through `write`, then
// ends the stream with `end` and reports the counters.
template <typename Write, typename Read, typename End>
void run_pair(benchmark::State& state, const std::vector<int16_t>& in, Write write,
              Read read_block, End end) {
  ConsumerTally tally;
  std::thread consumer([&] {
    std::vector<uint8_t> block(kBlock);
    const long start = voluntary_switches();
    for (int32_t n; (n = read_block(block.data())) > 0;) {
      ++tally.blocks;
      tally.bytes += n;
    }
    tally.switches = voluntary_switches() - start;
  });
  int64_t i = 0;
  for (; i < kWarmup; ++i) write(write_at(in, i));
  amix_fault_fail_at(0);  // counts allocation sites from here on
  const long start = voluntary_switches();
  for (auto _ : state) write(write_at(in, i++));
  const long producer_switches = voluntary_switches() - start;
  const long allocations = amix_fault_sites_reached();
  end();
  consumer.join();
  if (allocations != 0) state.SkipWithError("a steady write or read allocated");
  const int64_t expected = int64_t(double(i) * kWriteBytes * kDstRate / kSrcRate);
  if (std::llabs(tally.bytes - expected) > kBlock) state.SkipWithError("bytes went missing");
  state.counters["blocked"] = benchmark::Counter(
      double(producer_switches + tally.switches) / double(std::max<int64_t>(tally.blocks, 1)));
  state.SetItemsProcessed(state.iterations() * kWriteFrames);
}

// The library's pair; `stamped` reads with sync_audio_resampler_read_stamped
// and the producer stamps each write with its time.
void run_lib(benchmark::State& state, bool stamped,
             int32_t quality = AUDIO_RESAMPLE_QUALITY_DEFAULT) {
  const std::vector<int16_t> in = source();
  sync_audio_resampler* s = sync_audio_resampler_create_quality(
      kSrcRate, PCM_SPEAKERS_STEREO, kDstRate, PCM_SPEAKERS_STEREO, kBlock, quality);
  int64_t frames = 0, stamp = 0;
  run_pair(
      state, in,
      [s, &frames](const uint8_t* data) {
        sync_audio_resampler_write(s, data, kWriteBytes, frames * 1000000 / kSrcRate, 0);
        frames += kWriteFrames;
      },
      [s, stamped, &stamp](uint8_t* dst) {
        return stamped ? sync_audio_resampler_read_stamped(s, dst, kBlock, &stamp)
                       : sync_audio_resampler_read(s, dst, kBlock);
      },
      [s, &in] { sync_audio_resampler_write(s, write_at(in, 0), 0, 0, 1); });
  sync_audio_resampler_release(s);
  benchmark::DoNotOptimize(stamp);
}

void BM_Lib(benchmark::State& state) { run_lib(state, false); }
void BM_LibStamped(benchmark::State& state) { run_lib(state, true); }
void BM_LibHigh(benchmark::State& state) { run_lib(state, false, AUDIO_RESAMPLE_QUALITY_HIGH); }
void BM_LibBest(benchmark::State& state) { run_lib(state, false, AUDIO_RESAMPLE_QUALITY_BEST); }

// The protocol written out plainly: resample outside the lock, producer
// waits while a whole block is queued, consumer waits for a whole block or
// the end, one notification after each side's turn.
class Twin {
 public:
  Twin() {
    const audio_desc src = {kSrcRate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
    const audio_desc dst = {kDstRate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
    resampler_ = audio_resampler_create(&dst, &src);
    queue_ = rbuf_create(SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
  }
  ~Twin() {
    audio_resampler_destroy(resampler_);
    rbuf_destroy(queue_);
  }

  void write(const uint8_t* data, int32_t len, bool end) {
    uint8_t* out[RESAMPLER_MAX_PLANES] = {};
    int32_t bytes = 0;
    const uint8_t* input[1] = {data};
    if (len > 0) audio_resampler_resample(resampler_, out, &bytes, input, uint32_t(len));
    std::unique_lock<std::mutex> lock(mutex_);
    while (rbuf_used(queue_) >= kBlock) {
      wakeup_.wait(lock);
      ++wakeups_;
    }
    rbuf_write(queue_, out[0], bytes);
    end_ = end;
    wakeup_.notify_one();
  }

  int32_t read(uint8_t* dst) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!end_ && rbuf_used(queue_) < kBlock) {
      wakeup_.wait(lock);
      ++wakeups_;
    }
    const int32_t n = rbuf_read(queue_, dst, kBlock);
    wakeup_.notify_one();
    lock.unlock();
    if (n > 0) std::memset(dst + n, 0, size_t(kBlock - n));
    return n;
  }

  long wakeups() const { return wakeups_; }

 private:
  audio_resampler* resampler_;
  rbuf* queue_;
  std::mutex mutex_;
  std::condition_variable wakeup_;
  bool end_ = false;
  long wakeups_ = 0;  // under mutex_
};

void BM_Twin(benchmark::State& state) {
  const std::vector<int16_t> in = source();
  Twin twin;
  int64_t blocks = 0;
  run_pair(
      state, in, [&twin](const uint8_t* data) { twin.write(data, kWriteBytes, false); },
      [&twin, &blocks](uint8_t* dst) {
        const int32_t n = twin.read(dst);
        blocks += n > 0;
        return n;
      },
      [&twin] { twin.write(nullptr, 0, true); });
  state.counters["cv_wakeups"] =
      benchmark::Counter(double(twin.wakeups()) / double(std::max<int64_t>(blocks, 1)));
}

void BM_Single(benchmark::State& state) {
  const std::vector<int16_t> in = source();
  const audio_desc src = {kSrcRate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
  const audio_desc dst = {kDstRate, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
  audio_resampler* r = audio_resampler_create(&dst, &src);
  rbuf* queue = rbuf_create(SYNC_AUDIO_RESAMPLER_QUEUE_BYTES);
  std::vector<uint8_t> block(kBlock);
  int64_t i = 0;
  for (auto _ : state) {
    uint8_t* out[RESAMPLER_MAX_PLANES] = {};
    int32_t bytes = 0;
    const uint8_t* input[1] = {write_at(in, i++)};
    audio_resampler_resample(r, out, &bytes, input, kWriteBytes);
    rbuf_write(queue, out[0], bytes);
    while (rbuf_used(queue) >= kBlock) rbuf_read(queue, block.data(), kBlock);
    benchmark::DoNotOptimize(block.data());
  }
  state.SetItemsProcessed(state.iterations() * kWriteFrames);
  rbuf_destroy(queue);
  audio_resampler_destroy(r);
}

const char* const kCase = "s16_stereo_44100_w1024_to_48000_r4096";

const bool registered = [] {
  const std::string base = kCase;
  benchmark::RegisterBenchmark((base + "/lib").c_str(), BM_Lib)->UseRealTime();
  benchmark::RegisterBenchmark((base + "/stamped").c_str(), BM_LibStamped)->UseRealTime();
  benchmark::RegisterBenchmark((base + "/high").c_str(), BM_LibHigh)->UseRealTime();
  benchmark::RegisterBenchmark((base + "/best").c_str(), BM_LibBest)->UseRealTime();
  benchmark::RegisterBenchmark((base + "/twin").c_str(), BM_Twin)->UseRealTime();
  benchmark::RegisterBenchmark((base + "/single").c_str(), BM_Single)->UseRealTime();
  return true;
}();

}  // namespace
