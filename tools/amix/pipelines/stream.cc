// stream: one file through the blocking resampler, as the toolkit drives
// it: a producer thread writes 1024-frame input blocks (the last one marked
// as the end of the stream), a consumer thread reads fixed-size blocks.
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "tavrin_amix/audio_resampler.h"
#include "tavrin_amix/sync_audio_resampler.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/io/output_file.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/converter.h"
#include "amix/pipelines/pipelines.h"
#include "amix/pipelines/quantise.h"
#include "amix/report/progress.h"

namespace amix {
namespace {

// The first failure of either thread; the other is stopped through the
// resampler's interrupt.
class Failure {
 public:
  void set(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (what_.empty()) what_ = what;
    failed_ = true;
  }
  bool failed() const { return failed_; }
  void rethrow() const {
    if (failed_) throw Error(what_);
  }

 private:
  std::mutex mutex_;
  std::string what_;
  std::atomic<bool> failed_{false};
};

}  // namespace

RunStats stream_file(const std::string& in, const OutputTarget& out,
                     const StreamSettings& settings) {
  const auto start = std::chrono::steady_clock::now();
  check_output_path(out.path, {in});
  SoundReader reader(in, settings.read);
  // Wider samples are reduced to 16 bits on the way in.
  const bool dither = settings.dither == Dither::kTpdf &&
                      reduces_precision(reader.pcm_format(), PCM_FORMAT_S16, false);
  StreamFormat src = reader.stream_format();
  src.pcm_format = PCM_FORMAT_S16;  // the blocking resampler takes 16-bit samples
  src.encoding = 0;
  StreamFormat dst = src;
  if (settings.out.rate != 0) dst.rate = settings.out.rate;
  if (settings.out.layout != nullptr) dst.layout = settings.out.layout;

  const size_t block = static_cast<size_t>(settings.block_bytes);

  sync_audio_resampler* sync = sync_audio_resampler_create_quality(
      src.rate, src.layout->code, dst.rate, dst.layout->code, static_cast<int32_t>(block),
      settings.out.quality);
  if (sync == nullptr)
    throw Error("the blocking resampler refuses " + src.describe() + " -> " + dst.describe() +
                rate_refusal(src.rate, dst.rate, settings.out.quality));
  struct Release {
    sync_audio_resampler* s;
    ~Release() { sync_audio_resampler_release(s); }
  } release{sync};

  SoundWriter writer(out, dst);
  carry_tags(reader, writer);
  writer.write_silence(Padding::frames(settings.pad.before, dst.rate));
  Failure failure;
  int64_t frames_in = 0;

  std::thread producer([&] {
    try {
      Progress progress("stream " + reader.name(), reader.frames());
      const size_t frame = src.frame_bytes();
      std::vector<uint8_t> now(kInputBlockFrames * frame), next(kInputBlockFrames * frame);
      std::vector<float> floats(dither ? kInputBlockFrames * src.channels() : 0);
      TpdfDither tpdf;
      const auto read = [&](std::vector<uint8_t>* block) {
        if (!dither) return reader.read(block->data(), kInputBlockFrames, PCM_FORMAT_S16);
        const int64_t got = reader.read_float(floats.data(), kInputBlockFrames);
        scale_and_quantise(floats.data(), static_cast<size_t>(got * src.channels()), 1.0,
                           SF_FORMAT_PCM_16, &tpdf, block->data());
        return got;
      };
      int64_t got = read(&now);
      for (;;) {
        // Read ahead one block to know whether this one is the last.
        const int64_t next_got = got > 0 ? read(&next) : 0;
        const bool last = next_got == 0;
        const int64_t stamp_us = frames_in * 1000000 / src.rate;
        if (failure.failed()) return;
        // An empty input still announces the end, with a write of 0 bytes.
        if (sync_audio_resampler_write(sync, now.data(), static_cast<int32_t>(got * frame),
                                       stamp_us, last ? 1 : 0) != 0)
          throw Error("the blocking resampler refused a block (run with --verbose for the "
                      "library's log)");
        frames_in += got;
        progress.update(frames_in);
        if (last) return;
        now.swap(next);
        got = next_got;
      }
    } catch (const Error& e) {
      failure.set(e.what());
      sync_audio_resampler_interrupt(sync);
    }
  });

  std::thread consumer([&] {
    try {
      std::vector<uint8_t> buffer(block);
      for (;;) {
        const int32_t n =
            sync_audio_resampler_read(sync, buffer.data(), static_cast<int32_t>(block));
        if (n < 0) throw Error("the blocking resampler failed to deliver a block");
        if (n == 0) return;  // the end of the stream, or an interrupt
        writer.write(buffer.data(), static_cast<size_t>(n));
      }
    } catch (const Error& e) {
      failure.set(e.what());
      sync_audio_resampler_interrupt(sync);
    }
  });

  producer.join();
  consumer.join();
  failure.rethrow();

  writer.write_silence(Padding::frames(settings.pad.after, dst.rate));
  const std::string shortfall = reader.shortfall();
  if (!shortfall.empty()) note(shortfall);
  RunStats stats = writer.commit(frames_in, start);
  if (dither) stats.add_note(kDitherNote);
  if (src.rate != dst.rate)
    stats.add_note(resampling_note({src.rate}, settings.out.quality,
                                   audio_resampler_engine_name(sync->resampler)));
  return stats;
}

}  // namespace amix
