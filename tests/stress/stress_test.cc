// Many objects on many threads at once.  Each worker drives its own mixers
// (all three sample types and the multi-track mixer), resamplers, ring
// buffers and a blocking resampler with a producer and a consumer thread of
// its own, for a bounded time.  Workers share nothing but read-only
// expectations computed before they start, so hidden shared state, a lock
// taken across objects or a race in the engine's set-up shows as a wrong
// byte, a sanitizer report, or the watchdog firing.
//
// Everything is checked exactly: identity conversions and blocking-resampler
// streams against the counting pattern, a rate conversion and every mix
// against results computed beforehand on one thread, ring buffers against
// their model.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "mix/reference.h"
#include "tavrin_amix/audio_mixer.h"
#include "tavrin_amix/audio_resampler.h"
#include "tavrin_amix/multi_audio_mixer.h"
#include "tests/mix/mix_test_util.h"
#include "tests/ringbuf/rbuf_model.h"
#include "tests/sync/sync_test_util.h"

namespace {

using namespace amix_test;
using Clock = std::chrono::steady_clock;

constexpr int kWorkers = 4;

// A failure seen on a worker thread, reported by the test's own thread.
struct Failure {
  std::string what;
  void set(const std::string& w) {
    if (what.empty()) what = w;
  }
};

// ---- Mixers ---------------------------------------------------------------

// One mix call with what it must give: the output and the tracks as scaled.
template <typename T>
struct MixCall {
  std::vector<std::vector<T>> tracks;
  std::vector<float> volumes;
  std::vector<std::vector<T>> scaled;
  std::vector<T> out;
};

// Calls on one mixer, loud enough that the gain drops and recovers, so that
// each result depends on every call before it.
template <typename T>
struct MixScript {
  int32_t count = 0;
  std::vector<MixCall<T>> calls;
};

template <typename T>
std::vector<T*> pointers(std::vector<std::vector<T>>& tracks) {
  std::vector<T*> p;
  for (auto& t : tracks) p.push_back(t.data());
  return p;
}

template <typename T>
MixScript<T> make_script(uint32_t seed, int32_t count) {
  std::mt19937 rng(seed);
  MixScript<T> script;
  script.count = count;
  audio_mixer* oracle = audio_mixer_create(2 * count);  // room for `count` sums
  const float kVolumes[] = {1.0f, 0.5f, 1.7f, 0.25f, 3.0f};
  for (int k = 0; k < 8; ++k) {
    MixCall<T> c;
    const int n = 2 + int(rng() % 3);
    for (int t = 0; t < n; ++t) {
      std::vector<T> track(static_cast<size_t>(count));
      for (T& v : track) v = T(rng());
      c.tracks.push_back(track);
      c.volumes.push_back(kVolumes[rng() % 5]);
    }
    c.scaled = c.tracks;
    c.out.resize(size_t(count));
    amix::ref::mix(oracle, pointers(c.scaled).data(), c.volumes.data(), count, n, c.out.data());
    script.calls.push_back(std::move(c));
  }
  audio_mixer_destroy(oracle);
  return script;
}

// Replays `script` through `mix(tracks, volumes, n, out)` on a fresh mixer.
template <typename T, typename Mix>
void replay(const MixScript<T>& script, Mix mix, Failure& failure) {
  for (const MixCall<T>& c : script.calls) {
    std::vector<std::vector<T>> tracks = c.tracks;
    std::vector<T> out(size_t(script.count));
    if (!mix(pointers(tracks).data(), c.volumes.data(), int32_t(tracks.size()), out.data())) {
      return failure.set("a mix was refused");
    }
    if (out != c.out || tracks != c.scaled) return failure.set("a mix gave other samples");
  }
}

template <typename T>
void replay_mixer(const MixScript<T>& script, Failure& failure) {
  const Mixer m = make_mixer(2 * script.count);
  if (m == nullptr) return failure.set("audio_mixer_create");
  replay(script, [&](T* const* t, const float* v, int32_t n, T* out) {
    return lib_mix(m.get(), t, v, script.count, n, out);
  }, failure);
}

// The multi-track mixer runs the same adaptive mixer: the 16-bit script
// gives the same blocks.
void replay_multi_mixer(const MixScript<int16_t>& script, Failure& failure) {
  multi_audio_mixer* m = multi_audio_mixer_create(2 * script.count);
  if (m == nullptr) return failure.set("multi_audio_mixer_create");
  replay(script, [&](int16_t* const* t, const float* v, int32_t n, int16_t* out) {
    if (multi_audio_mixer_mix(m, t, v, n) != 0) return false;
    std::copy_n(m->out_block, script.count, out);
    return true;
  }, failure);
  multi_audio_mixer_release(m);
}

// ---- Resamplers -------------------------------------------------------------

struct Identity {
  audio_desc desc;
  uint32_t frame;  // bytes
};

const Identity kIdentities[] = {
    {{8000, PCM_FORMAT_U8, PCM_SPEAKERS_MONO}, 1},
    {{48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO}, 4},
    {{44100, PCM_FORMAT_S32, PCM_SPEAKERS_QUAD}, 16},
    {{22050, PCM_FORMAT_FLOAT, PCM_SPEAKERS_SURROUND}, 12},
};

// Calls of random sizes through an identity conversion: each hands back the
// whole frames of its input, byte for byte.
void identity_run(std::mt19937& rng, const Identity& id, int calls, Failure& failure) {
  audio_resampler* r = audio_resampler_create(&id.desc, &id.desc);
  if (r == nullptr) return failure.set("audio_resampler_create (identity)");
  uint64_t at = 0;
  std::vector<uint8_t> in;
  for (int k = 0; k < calls && failure.what.empty(); ++k) {
    in.resize(rng() % 4096);
    for (size_t i = 0; i < in.size(); ++i) in[i] = pattern_byte(at + i);
    const uint8_t* input[RESAMPLER_MAX_PLANES] = {in.data()};
    uint8_t* out[RESAMPLER_MAX_PLANES] = {};
    int32_t n = -1;
    const size_t whole = in.size() / id.frame * id.frame;
    if (!audio_resampler_resample(r, out, &n, input, uint32_t(in.size()))) {
      failure.set("identity conversion refused");
    } else if (size_t(n) != whole || (n > 0 && pattern_match(out[0], whole, at) != whole)) {
      failure.set("identity conversion changed the stream");
    }
    at += whole;  // a dropped partial frame comes again with the next call
  }
  audio_resampler_destroy(r);
}

// A rate change: the blocks that one thread alone got beforehand.
struct RateScript {
  audio_desc src{44100, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO};
  audio_desc dst{48000, PCM_FORMAT_S16, PCM_SPEAKERS_MONO};
  std::vector<std::vector<uint8_t>> inputs, outputs;
};

// Feeds `inputs` to a new resampler; collects each call's output.
bool convert_all(const RateScript& s, std::vector<std::vector<uint8_t>>* outputs) {
  audio_resampler* r = audio_resampler_create(&s.dst, &s.src);
  if (r == nullptr) return false;
  bool ok = true;
  for (const auto& in : s.inputs) {
    const uint8_t* input[RESAMPLER_MAX_PLANES] = {in.data()};
    uint8_t* out[RESAMPLER_MAX_PLANES] = {};
    int32_t n = 0;
    if (!audio_resampler_resample(r, out, &n, input, uint32_t(in.size()))) {
      ok = false;
      break;
    }
    outputs->emplace_back(out[0], out[0] + n);
  }
  audio_resampler_destroy(r);
  return ok;
}

RateScript make_rate_script(uint32_t seed, int calls) {
  std::mt19937 rng(seed);
  RateScript s;
  for (int k = 0; k < calls; ++k) {
    std::vector<uint8_t> in((1 + rng() % 1024) * 4);
    for (uint8_t& b : in) b = uint8_t(rng());
    s.inputs.push_back(std::move(in));
  }
  EXPECT_TRUE(convert_all(s, &s.outputs));
  return s;
}

void replay_rate(const RateScript& s, Failure& failure) {
  std::vector<std::vector<uint8_t>> outputs;
  if (!convert_all(s, &outputs)) return failure.set("rate conversion refused");
  if (outputs != s.outputs) failure.set("rate conversion differs from the one-thread run");
}

// ---- Ring buffers -----------------------------------------------------------

void ring_run(std::mt19937& rng, int steps, Failure& failure) {
  auto pick = picker(rng);
  const int32_t cap_a = pick_capacity(pick), cap_b = pick_capacity(pick);
  RbufHarness h(cap_a, cap_b);
  if (!h.created()) return failure.set("rbuf_create");
  for (int i = 0; i < steps; ++i) {
    const char* bad = h.apply(pick_step(pick, h));
    if (bad != nullptr) return failure.set(std::string("ring buffer: ") + bad);
  }
}

// ---- Blocking resamplers ----------------------------------------------------

// One stream through a new identity object: this thread produces counting
// pattern frames in writes of random sizes until `frames` are written or,
// past a quarter of them, the time is up, then ends the stream; a consumer
// thread reads it whole.
// Returns the bytes that went through.
uint64_t stream_run(std::mt19937& rng, int32_t block, uint32_t frames, Clock::time_point until,
                    Failure& failure) {
  Sync s = make_identity(block);
  if (s == nullptr) {
    failure.set("sync_audio_resampler_create");
    return 0;
  }
  Delivery seen;
  std::thread consumer([&] {
    seen = read_pattern(s.get(), block);
    // Lets the producer return, also when this stream ended too early.
    sync_audio_resampler_interrupt(s.get());
  });
  uint32_t sent = 0;
  std::vector<uint8_t> buf;
  bool ended = false;
  while (!ended) {
    const uint32_t n = std::min<uint32_t>(1 + rng() % 2048, frames - sent);
    buf = pattern(sent, n);
    sent += n;
    ended = sent == frames || (sent >= frames / 4 && Clock::now() >= until);
    if (sync_audio_resampler_write(s.get(), buf.data(), int32_t(buf.size()), sent, ended) != 0) {
      failure.set("a blocking write failed");
      sync_audio_resampler_interrupt(s.get());  // lets the consumer return
      break;
    }
  }
  consumer.join();
  const uint64_t written = uint64_t(sent) * kFrameBytes;
  if (seen.last != 0) failure.set("the stream did not end with 0");
  if (seen.bytes != written || seen.pattern_run != written) {
    failure.set("a stream lost or changed bytes");
  }
  if (seen.short_blocks != (written % uint64_t(block) != 0 ? 1 : 0) || !seen.padding_zero) {
    failure.set("a stream's last block was not padded once with zeros");
  }
  return written;
}

// ---- The workers ------------------------------------------------------------

struct Shared {
  MixScript<uint8_t> mix8;
  MixScript<int16_t> mix16;
  MixScript<int32_t> mix32;
  RateScript rate;
};

struct Tally {
  Failure failure;
  long mix_scripts = 0, resampler_runs = 0, ring_runs = 0, streams = 0;
  uint64_t stream_bytes = 0;
};

struct Sizes {
  int identity_calls, ring_steps;
  uint32_t stream_frames;
};

// The worker's own thread: mixers, resamplers and ring buffers in turn.
void objects_loop(uint32_t seed, const Shared& shared, const Sizes& sizes, Clock::time_point until,
                  Tally& tally) {
  std::mt19937 rng(seed);
  do {
    replay_mixer(shared.mix8, tally.failure);
    replay_mixer(shared.mix16, tally.failure);
    replay_mixer(shared.mix32, tally.failure);
    replay_multi_mixer(shared.mix16, tally.failure);
    ++tally.mix_scripts;
    identity_run(rng, kIdentities[rng() % std::size(kIdentities)], sizes.identity_calls,
                 tally.failure);
    replay_rate(shared.rate, tally.failure);
    ++tally.resampler_runs;
    ring_run(rng, sizes.ring_steps, tally.failure);
    ++tally.ring_runs;
  } while (Clock::now() < until && tally.failure.what.empty());
}

// The worker's producer thread: one stream after another, with block sizes
// that split frames as well as whole ones.
void streams_loop(uint32_t seed, const Sizes& sizes, Clock::time_point until, Tally& tally) {
  static const int32_t kBlocks[] = {4096, 4098, 6, 1000, 17, 8192};
  std::mt19937 rng(seed);
  do {
    tally.stream_bytes += stream_run(rng, kBlocks[rng() % std::size(kBlocks)],
                                     sizes.stream_frames, until, tally.failure);
    ++tally.streams;
  } while (Clock::now() < until && tally.failure.what.empty());
}

TEST(Stress, ManyObjectsOnManyThreads) {
  const bool valgrind = under_valgrind();
  const Sizes sizes = valgrind ? Sizes{4, 50, 19200} : Sizes{24, 300, 48000};
  const auto seconds = std::chrono::milliseconds(valgrind ? 1000 : 1500);
  const Shared shared{make_script<uint8_t>(1, 301), make_script<int16_t>(2, 480),
                      make_script<int32_t>(3, 257), make_rate_script(4, valgrind ? 4 : 24)};
  ASSERT_FALSE(shared.rate.outputs.empty());

  const auto start = Clock::now();
  const auto until = start + seconds;
  std::vector<Tally> tallies(kWorkers);
  std::vector<Tally> stream_tallies(kWorkers);
  std::vector<std::thread> threads;
  for (int w = 0; w < kWorkers; ++w) {
    threads.emplace_back(objects_loop, 100 + w, std::cref(shared), std::cref(sizes), until,
                         std::ref(tallies[size_t(w)]));
    threads.emplace_back(streams_loop, 200 + w, std::cref(sizes), until,
                         std::ref(stream_tallies[size_t(w)]));
  }
  for (std::thread& t : threads) t.join();
  const double took = std::chrono::duration<double>(Clock::now() - start).count();

  Tally total;
  for (int w = 0; w < kWorkers; ++w) {
    const Tally& a = tallies[size_t(w)];
    const Tally& b = stream_tallies[size_t(w)];
    EXPECT_EQ(a.failure.what, "") << "worker " << w;
    EXPECT_EQ(b.failure.what, "") << "worker " << w << " streams";
    EXPECT_GT(a.mix_scripts, 0);
    EXPECT_GT(b.streams, 0);
    total.mix_scripts += a.mix_scripts;
    total.resampler_runs += a.resampler_runs;
    total.ring_runs += a.ring_runs;
    total.streams += b.streams;
    total.stream_bytes += b.stream_bytes;
  }
  std::printf("%d workers for %.2f s: %ld mix scripts, %ld resampler runs, %ld ring buffer runs, "
              "%ld streams (%llu bytes)\n",
              kWorkers, took, total.mix_scripts, total.resampler_runs, total.ring_runs,
              total.streams, static_cast<unsigned long long>(total.stream_bytes));
}

}  // namespace
