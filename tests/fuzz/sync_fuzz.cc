// Call sequences on one blocking resampler, all on one thread, against a
// model of its queue.  The model decides which calls may be made: a write
// only while it cannot wait (less than a block queued and room for its
// output, or after an interrupt), a read only while it cannot wait (a whole
// block queued, the stream ended, or an interrupt).  A call that waited would
// hang the run, and the time-out reports it.
//
// With equal rates and layouts the conversion is an identity at every
// quality (the presets pass 16-bit samples through float losslessly), so
// the model holds the queued bytes themselves and every delivered byte is
// compared.
// With a rate change only the counts are checked: output in whole frames,
// within what the input can give, reads that take what was queued, and
// every ended stream exactly as long as its input at the destination rate.
// Each result, the zero padding, the bytes past the block, and the object's
// queue count, flags and stamp are checked after every call.  Stamps run on
// with the frames, jump, or take extreme values; half the reads are stamped
// reads, which leave the stamp alone when they deliver nothing.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "resample/audio_format.h"
#include "tavrin_amix/sync_audio_resampler.h"
#include "tests/fuzz/fuzz_input.h"

// Every create, interrupt and release logs; printing the lines would cost
// more than the calls themselves.
extern "C" int __android_log_print(int, const char*, const char*, ...) { return 0; }

namespace {

using amix_fuzz::Input;

constexpr int32_t kQueue = SYNC_AUDIO_RESAMPLER_QUEUE_BYTES;
// Source frames the engine may hold back for its filter: far more than the
// default filter keeps at the rate ratios picked below (at most 6), and than
// soxr keeps for the presets (7600 seen).
constexpr int64_t kHeldFrames = 1024;
constexpr int64_t kPresetHeldFrames = 16384;
constexpr uint8_t kUntouched = 0xA5;
constexpr int kMostRateEnds = 4;
constexpr int32_t kMostRateWrite = 1 << 16;

struct Config {
  int32_t src_rate, src_speakers, dst_rate, dst_speakers, block;
  int32_t quality = AUDIO_RESAMPLE_QUALITY_DEFAULT;
};

bool creatable(const Config& c) {
  auto speakers_ok = [](int32_t s) { return s >= 1 && s <= 10; };
  return c.block >= 1 && c.block <= kQueue && c.src_rate > 0 && c.dst_rate > 0 &&
         speakers_ok(c.src_speakers) && speakers_ok(c.dst_speakers) && c.quality >= 0 &&
         c.quality <= 2;
}

int32_t frame_bytes(int32_t speakers) {
  return 2 * int32_t(amix::pcm_speakers_channels(uint32_t(speakers)));
}

// Mostly small blocks, so that inputs reach the interesting states quickly
// and seldom fill the queue; now and then any size up to the queue.
int32_t pick_block(Input& in) {
  const int64_t kind = in.range(0, 31);
  if (kind == 0) return int32_t(in.range(1, kQueue));
  return int32_t(in.range(1, kind <= 4 ? 4096 : 64));
}

Config pick_config(Input& in) {
  const int64_t kind = in.range(0, 15);
  if (kind == 0) {
    // Arguments create must refuse, mixed with ones it takes.
    static const int32_t kRates[] = {INT32_MIN, -48000, -1, 0, 8000, 44100, 48000};
    static const int32_t kBlocks[] = {INT32_MIN, -1, 0, 1, 3, kQueue - 1, kQueue, kQueue + 1,
                                      INT32_MAX};
    auto rate = [&in] { return kRates[in.range(0, 6)]; };
    Config c;
    c.src_rate = rate();
    c.src_speakers = int32_t(in.range(-1, 11));
    c.dst_rate = rate();
    c.dst_speakers = int32_t(in.range(-1, 11));
    c.block = kBlocks[in.range(0, 8)];
    c.quality = int32_t(in.range(-1, 3));
    return c;
  }
  Config c;
  if (kind <= 3) {
    // A rate change: robustness, with counts checked only.
    static const int32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    c.src_rate = kRates[in.range(0, 6)];
    c.dst_rate = kRates[in.range(0, 6)];
    c.src_speakers = int32_t(in.range(1, 10));
    c.dst_speakers = int32_t(in.range(1, 2));
  } else {
    c.src_rate = c.dst_rate = int32_t(in.range(1, 96000));
    c.src_speakers = c.dst_speakers = int32_t(in.range(1, 10));
  }
  c.block = pick_block(in);
  c.quality = int32_t(in.range(0, 2));
  return c;
}

// The source of every write: a table of pseudo-random bytes, twice over, so
// that any run of up to kPeriod bytes is contiguous.  The period is no
// multiple of a frame, and a repeated or skipped run shows.
constexpr size_t kPeriod = (size_t(1) << 20) + 7;

const uint8_t* stream_at(uint64_t at) {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(2 * kPeriod);
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < kPeriod; ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      t[i] = t[i + kPeriod] = uint8_t(x);
    }
    return t;
  }();
  return table.data() + at % kPeriod;
}

// Whether bytes [from, to) of `bytes` all hold `value` (memcmp rather than a
// loop: the fuzzer's comparison hooks make byte loops slow).
bool all_are(const uint8_t* bytes, int32_t from, int32_t to, uint8_t value) {
  if (from >= to) return true;
  return bytes[from] == value &&
         std::memcmp(bytes + from, bytes + from + 1, size_t(to - from - 1)) == 0;
}

class Session {
 public:
  Session(sync_audio_resampler* s, const Config& c)
      : s_(s),
        c_(c),
        identity_(c.src_rate == c.dst_rate && c.src_speakers == c.dst_speakers),
        src_frame_(frame_bytes(c.src_speakers)),
        dst_frame_(frame_bytes(c.dst_speakers)) {}

  void step(Input& in) {
    const int64_t op = in.range(0, 31);
    if (op < 14) {
      write(in);
    } else if (op < 28) {
      read(in);
    } else if (op == 28) {
      AMIX_FUZZ_CHECK(sync_audio_resampler_interrupt(s_) == 0);
      interrupted_ = true;
    } else {
      refused_calls(in);
    }
    check_state();
  }

  void finish() { AMIX_FUZZ_CHECK(sync_audio_resampler_release(s_) == 0); }

 private:
  // Output bytes a write of `len` bytes (and, at the end of a stream, the
  // engine's held frames) can add at most.
  int64_t output_bound(int32_t len) const {
    const int64_t frames = len > 0 ? len / src_frame_ : 0;
    if (identity_) return frames * dst_frame_;
    const int64_t held = c_.quality == 0 ? kHeldFrames : kPresetHeldFrames;
    const int64_t out_frames = (frames + held) * c_.dst_rate / c_.src_rate + 2;
    return out_frames * dst_frame_;
  }

  // The longest write whose output surely fits the free space; -1 when even
  // an empty one might not.
  int32_t longest_fitting(int32_t len) const {
    const int64_t room = kQueue - queued_;
    if (output_bound(0) > room) return -1;
    int32_t lo = 0, hi = std::max(len, 0);
    while (lo < hi) {  // the bound grows with the length
      const int32_t mid = lo + (hi - lo + 1) / 2;
      if (output_bound(mid) <= room) lo = mid; else hi = mid - 1;
    }
    return len < 0 ? len : lo;
  }

  // Write sizes: mostly around the block, some partial frames and refused
  // lengths, now and then large ones (which fit only after an interrupt).
  int32_t pick_length(Input& in) const {
    const int64_t kind = in.range(0, 63);
    if (kind == 0) return -int32_t(in.range(1, 100));
    if (kind == 1) return INT32_MIN;
    if (kind == 2) return int32_t(in.range(0, kQueue));
    if (kind <= 4) return int32_t(in.range(0, 16384));
    if (kind <= 20) return int32_t(in.range(0, 2 * src_frame_));
    return int32_t(in.range(0, std::min<int64_t>(2 * int64_t(c_.block) + src_frame_, 8192)));
  }

  void write(Input& in) {
    bool end = in.range(0, 5) == 0;
    int32_t len = pick_length(in);
    if (!identity_) {
      // Each end restarts the engine, which rebuilds its filter: a few ends
      // and moderate writes keep the runs fast.
      end = end && ends_ < kMostRateEnds;
      len = std::min(len, kMostRateWrite);
      ends_ += end;
    }
    if (!interrupted_) {
      // The producer would wait for the consumer: be the consumer instead.
      if (queued_ >= c_.block) return take_block(c_.block, false);
      len = longest_fitting(len);
      if (len == -1) return;
    }
    const int64_t stamp = pick_stamp(in, len);
    const uint8_t* data = stream_at(written_);
    if (len > 0) written_ += uint64_t(len);
    const int32_t before = rbuf_used(s_->ring);
    const int rc = sync_audio_resampler_write(s_, data, len, stamp, end ? 1 : 0);
    if (len <= 0 && !end) {
      AMIX_FUZZ_CHECK(rc == -1);
      return;
    }
    AMIX_FUZZ_CHECK(rc == 0);
    stamp_ = stamp;
    end_ = end;
    const int64_t added = int64_t(rbuf_used(s_->ring)) - before;
    if (identity_) {
      const int64_t whole = len > 0 ? int64_t(len) / src_frame_ * src_frame_ : 0;
      AMIX_FUZZ_CHECK(added == std::min<int64_t>(whole, kQueue - queued_));
      bytes_.insert(bytes_.end(), data, data + added);
    } else {
      // Whole frames, unless the queue filled up and cut the last one.
      const int64_t room = kQueue - queued_;
      AMIX_FUZZ_CHECK(added >= 0 && added <= std::min(output_bound(len), room));
      AMIX_FUZZ_CHECK(added % dst_frame_ == 0 || (interrupted_ && added == room));
    }
    queued_ += added;
    if (len > 0) stream_frames_ += len / src_frame_;
    stream_bytes_ += added;
    if (end) {
      // Nothing is dropped before an interrupt: the stream has its length.
      const int64_t length = (2 * stream_frames_ * c_.dst_rate + c_.src_rate) / (2 * c_.src_rate);
      AMIX_FUZZ_CHECK(interrupted_ || stream_bytes_ == length * dst_frame_);
      stream_frames_ = stream_bytes_ = 0;
    }
  }

  // The stamp of the next write: mostly the one that goes on from the last
  // write's frames, now and then a jump or an extreme value.
  int64_t pick_stamp(Input& in, int32_t len) {
    static const int64_t kExtremes[] = {INT64_MIN, INT64_MAX, -1, 0};
    const int64_t kind = in.range(0, 7);
    int64_t stamp = next_stamp_;
    if (kind == 0) stamp = kExtremes[in.range(0, 3)];
    if (kind == 1) stamp = int64_t(uint64_t(stamp) + uint64_t(in.range(-5000000, 5000000)));
    const int64_t frames = len > 0 ? len / src_frame_ : 0;
    next_stamp_ = int64_t(uint64_t(stamp) + uint64_t(frames * 1000000 / c_.src_rate));
    return stamp;
  }

  void read(Input& in) {
    // The consumer's wait.
    if (!interrupted_ && !end_ && queued_ < c_.block) return;
    take_block(c_.block + int32_t(in.range(0, 3)), in.range(0, 1) == 1);
  }

  // One read into a destination of `len` >= block bytes, checked against the
  // model.
  void take_block(int32_t len, bool stamped) {
    const int32_t block = c_.block;
    dst_.assign(size_t(len), kUntouched);
    constexpr int64_t kNoStamp = 0x5A5A5A5A5A5A5A5A;
    int64_t stamp = kNoStamp;
    const int32_t n = stamped ? sync_audio_resampler_read_stamped(s_, dst_.data(), len, &stamp)
                              : sync_audio_resampler_read(s_, dst_.data(), len);
    const int32_t expected = int32_t(std::min<int64_t>(block, queued_));
    AMIX_FUZZ_CHECK(n == expected);
    if (n == 0) {
      AMIX_FUZZ_CHECK(all_are(dst_.data(), 0, len, kUntouched));
      AMIX_FUZZ_CHECK(stamp == kNoStamp);
      return;
    }
    if (identity_) {
      AMIX_FUZZ_CHECK(std::memcmp(dst_.data(), bytes_.data() + head_, size_t(n)) == 0);
      head_ += size_t(n);
      if (head_ > bytes_.size() / 2) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + ptrdiff_t(head_));
        head_ = 0;
      }
    }
    AMIX_FUZZ_CHECK(all_are(dst_.data(), n, block, 0));
    AMIX_FUZZ_CHECK(all_are(dst_.data(), block, len, kUntouched));
    queued_ -= n;
  }

  // Calls the object must refuse without waiting or changing anything.
  void refused_calls(Input& in) {
    uint8_t byte = kUntouched;
    switch (in.range(0, 5)) {
      case 0:
        AMIX_FUZZ_CHECK(sync_audio_resampler_write(s_, nullptr, int32_t(in.range(0, 64)), 1, 1) ==
                        -1);
        break;
      case 1:
        AMIX_FUZZ_CHECK(sync_audio_resampler_write(nullptr, &byte, 1, 1, 1) == -1);
        break;
      case 2: {
        dst_.assign(size_t(c_.block), kUntouched);
        AMIX_FUZZ_CHECK(sync_audio_resampler_read(s_, nullptr, c_.block) == -1);
        const int32_t short_len = int32_t(in.range(INT32_MIN / 2, c_.block - 1));
        AMIX_FUZZ_CHECK(sync_audio_resampler_read(s_, dst_.data(), short_len) == -1);
        AMIX_FUZZ_CHECK(all_are(dst_.data(), 0, c_.block, kUntouched));
        break;
      }
      case 3:
        AMIX_FUZZ_CHECK(sync_audio_resampler_read(nullptr, &byte, 1) == -1);
        break;
      case 4:
        AMIX_FUZZ_CHECK(sync_audio_resampler_interrupt(nullptr) == -1);
        break;
      default:
        AMIX_FUZZ_CHECK(sync_audio_resampler_release(nullptr) == -1);
        break;
    }
    AMIX_FUZZ_CHECK(byte == kUntouched);
  }

  void check_state() const {
    AMIX_FUZZ_CHECK(rbuf_used(s_->ring) == queued_);
    AMIX_FUZZ_CHECK(!identity_ || int64_t(bytes_.size() - head_) == queued_);
    AMIX_FUZZ_CHECK(s_->end_of_stream == (end_ ? 1 : 0));
    AMIX_FUZZ_CHECK(s_->interrupted == (interrupted_ ? 1 : 0));
    AMIX_FUZZ_CHECK(s_->last_stamp == stamp_);
    AMIX_FUZZ_CHECK(s_->block_size == c_.block);
  }

  sync_audio_resampler* const s_;
  const Config c_;
  const bool identity_;
  const int32_t src_frame_, dst_frame_;
  // The model.
  int64_t queued_ = 0;
  std::vector<uint8_t> bytes_;  // identity only: the queued bytes, from head_ on
  size_t head_ = 0;
  bool end_ = false, interrupted_ = false;
  int64_t stamp_ = 0;
  int64_t stream_frames_ = 0, stream_bytes_ = 0;  // since the last end
  // Bookkeeping.
  int64_t next_stamp_ = 0;
  int ends_ = 0;
  uint64_t written_ = 0;
  std::vector<uint8_t> dst_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const Config c = pick_config(in);
  sync_audio_resampler* s = sync_audio_resampler_create_quality(
      c.src_rate, c.src_speakers, c.dst_rate, c.dst_speakers, c.block, c.quality);
  AMIX_FUZZ_CHECK((s != nullptr) == creatable(c));
  if (s == nullptr) return 0;
  Session session(s, c);
  for (int k = 0; k < 256 && !in.empty(); ++k) session.step(in);
  session.finish();
  return 0;
}
