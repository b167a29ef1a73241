// mix: every input brought to one format through its own resampler, queued
// in a ring buffer, and mixed block by block by the multi-track mixer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tavrin_amix/audio_resampler.h"
#include "tavrin_amix/multi_audio_mixer.h"
#include "tavrin_amix/rbuf.h"
#include "amix/converter.h"
#include "amix/levels.h"
#include "amix/output_file.h"
#include "amix/pipelines.h"
#include "amix/plot.h"
#include "amix/progress.h"
#include "amix/sound_file.h"

namespace amix {
namespace {

struct RingDeleter {
  void operator()(rbuf* r) const { rbuf_destroy(r); }
};
struct MixerDeleter {
  void operator()(multi_audio_mixer* m) const { multi_audio_mixer_release(m); }
};

// One input: its file, its resampler and the queue of converted bytes.
struct Track {
  std::unique_ptr<SoundReader> reader;
  std::unique_ptr<Converter> converter;
  std::unique_ptr<rbuf, RingDeleter> ring;
  std::vector<uint8_t> block;  // one input block in the file's format
  StreamFormat format;
  bool ended = false;

  // Converts input blocks until `want` bytes are queued or the file ends.
  void fill(int32_t want) {
    while (!ended && rbuf_used(ring.get()) < want) {
      const int64_t got = reader->read(block.data(), kInputBlockFrames, format.pcm_format);
      if (got == 0) {
        ended = true;
        break;
      }
      const Converter::Output o = converter->convert(block.data(), got * format.frame_bytes());
      const int32_t len = static_cast<int32_t>(o.bytes);
      if (len > 0 && rbuf_write(ring.get(), o.data, len) != len)
        throw Error("internal: the queue of '" + reader->path() + "' overflowed");
    }
  }
};

// True when the plain sum of the (already scaled) tracks leaves the 16-bit
// range at any of the first `samples` positions.
bool sum_overflows(const std::vector<std::vector<int16_t>>& tracks, size_t samples) {
  for (size_t i = 0; i < samples; ++i) {
    int32_t sum = 0;
    for (const auto& t : tracks) sum += t[i];
    if (sum > INT16_MAX || sum < INT16_MIN) return true;
  }
  return false;
}

}  // namespace

MixResult mix_files(const std::vector<std::string>& inputs, const std::string& out,
                    const MixSettings& settings, const Globals& globals,
                    const std::function<void(const MixBlock&)>& on_block,
                    WaveformPlot* plot) {
  const auto start = std::chrono::steady_clock::now();
  if (!settings.volumes.empty() && settings.volumes.size() != inputs.size())
    throw UsageError("--volume: " + std::to_string(settings.volumes.size()) + " factors for " +
                     std::to_string(inputs.size()) + " inputs");
  check_output_path(out, inputs);

  std::vector<Track> tracks(inputs.size());
  int64_t longest_input = 0;
  double longest_seconds = 0;
  for (size_t i = 0; i < inputs.size(); ++i) {
    tracks[i].reader = std::make_unique<SoundReader>(inputs[i]);
    tracks[i].format = tracks[i].reader->stream_format();
    longest_input = std::max(longest_input, tracks[i].reader->frames());
    longest_seconds = std::max(longest_seconds, tracks[i].reader->seconds());
  }
  StreamFormat dst;
  dst.rate = settings.rate != 0 ? settings.rate : tracks[0].format.rate;
  dst.layout = settings.layout != nullptr ? settings.layout : tracks[0].format.layout;
  dst.pcm_format = PCM_FORMAT_S16;

  const int32_t block = settings.block_bytes;
  for (Track& t : tracks) {
    t.converter = std::make_unique<Converter>(dst, t.format);
    t.block.resize(static_cast<size_t>(kInputBlockFrames) * t.format.frame_bytes());
    // Room for a block short of full plus one converted input block.
    const size_t capacity = block + Converter::max_output_bytes(dst, t.format, kInputBlockFrames);
    t.ring.reset(rbuf_create(static_cast<int32_t>(capacity)));
    if (t.ring == nullptr) throw Error("out of memory for the queue of '" + t.reader->path() + "'");
  }
  std::unique_ptr<multi_audio_mixer, MixerDeleter> mixer(multi_audio_mixer_create(block));
  if (mixer == nullptr) throw Error("the multi-track mixer cannot be created");

  std::vector<float> volumes = settings.volumes;
  volumes.resize(inputs.size(), 1.0f);
  std::vector<std::vector<int16_t>> samples(inputs.size(),
                                            std::vector<int16_t>(static_cast<size_t>(block) / 2));
  std::vector<int16_t*> pointers;
  for (auto& s : samples) pointers.push_back(s.data());

  SoundWriter writer(out, dst);
  if (plot != nullptr) plot->start(dst.rate, dst.channels());
  Progress progress(globals, "mix", static_cast<int64_t>(longest_seconds * dst.rate));
  MixResult result;
  for (;;) {
    bool all_ended = true;
    int32_t real = 0;  // bytes of the longest track still running
    for (size_t i = 0; i < tracks.size(); ++i) {
      tracks[i].fill(block);
      all_ended = all_ended && tracks[i].ended;
      const int32_t n = rbuf_read(tracks[i].ring.get(), samples[i].data(), block);
      // A track that has ended plays silence.
      std::memset(reinterpret_cast<uint8_t*>(samples[i].data()) + n, 0,
                  static_cast<size_t>(block - n));
      real = std::max(real, n);
    }
    if (real == 0 && all_ended) break;

    if (multi_audio_mixer_mix(mixer.get(), pointers.data(), volumes.data(),
                              static_cast<int32_t>(pointers.size())) != 0)
      throw Error("the multi-track mixer failed (run with --verbose for the library's log)");
    const size_t real_samples = static_cast<size_t>(real) / 2;
    MixBlock b;
    b.index = result.blocks;
    b.start_seconds = static_cast<double>(writer.frames_written()) / dst.rate;
    b.peak = peak_of(mixer->out_block, real_samples);
    b.limited = sum_overflows(samples, real_samples);
    writer.write(mixer->out_block, static_cast<size_t>(real));
    if (plot != nullptr) plot->add(mixer->out_block, real_samples, b);
    if (on_block) on_block(b);
    result.blocks++;
    result.limited_blocks += b.limited ? 1 : 0;
    result.peak = std::max(result.peak, b.peak);
    progress.update(writer.frames_written());
  }

  // Inputs shorter than the longest by more than half a millisecond.
  for (const Track& t : tracks) {
    const double seconds = t.reader->seconds();
    if (longest_seconds - seconds < 0.0005) continue;
    char note[512];
    std::snprintf(note, sizeof note, "'%s' (%.3f s) is shorter than the longest input (%.3f s): "
                  "padded with silence", t.reader->path().c_str(), seconds, longest_seconds);
    result.notes.push_back(note);
  }

  result.stats = writer.commit(longest_input, start);
  return result;
}

}  // namespace amix
