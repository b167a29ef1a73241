// mix: every input brought to one format through its own resampler, with
// its volume and fades, placed on a timeline behind its lead-in silence,
// queued in a ring buffer, and mixed block by block by the library's mixer
// for the output's width.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tavrin_amix/audio_resampler.h"
#include "tavrin_amix/rbuf.h"
#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/io/encoding.h"
#include "amix/io/output_file.h"
#include "amix/io/pipe_io.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/block_mixer.h"
#include "amix/pipelines/converter.h"
#include "amix/pipelines/normalise.h"
#include "amix/pipelines/pipelines.h"
#include "amix/pipelines/quantise.h"
#include "amix/report/levels.h"
#include "amix/report/plot.h"
#include "amix/report/progress.h"

namespace amix {
namespace {

struct RingDeleter {
  void operator()(rbuf* r) const { rbuf_destroy(r); }
};

// The formats of a mix: the tracks are mixed as `mixed` samples (16-bit
// for outputs of 16 bits or fewer, 32-bit for 24 and 32, float for float),
// and the file stores `written.encoding`.
struct MixFormats {
  StreamFormat mixed;
  StreamFormat written;  // with the sample format that carries the encoding
};

// One input: its converted stream behind the silence that places it on the
// timeline, and the queue of both.  Positions count bytes of the queue.
struct Track {
  std::unique_ptr<ShapedInput> input;  // with its volume and fades
  // Where the input is wider than a 16-bit mix: its samples come as float
  // and are dithered to 16 bits here.
  std::unique_ptr<Quantiser> reduce;
  int input_format = 0;  // of the samples `input` gives
  std::unique_ptr<rbuf, RingDeleter> ring;
  std::vector<uint8_t> spill;  // converted bytes the queue had no room for
  size_t spilled = 0;          // of them, queued since
  int64_t lead_bytes = 0;      // silence before the input
  int64_t lead_queued = 0;
  int64_t audio_queued = 0;  // converted bytes, the spill's included
  int64_t taken = 0;         // bytes taken out of the queue

  // Queues silence, then converted blocks, until `want` bytes are queued or
  // the input ends.  `zeros` holds at least `want` zero bytes.
  // REQUIRES: the queue holds twice `want`.
  void fill(int32_t want, const std::vector<uint8_t>& zeros) {
    while (rbuf_used(ring.get()) < want) {
      const auto room = static_cast<size_t>(rbuf_available(ring.get()));
      if (lead_queued < lead_bytes) {
        const auto n = std::min<int64_t>(lead_bytes - lead_queued, want - rbuf_used(ring.get()));
        push(zeros.data(), static_cast<size_t>(n));
        lead_queued += n;
        continue;
      }
      if (spilled < spill.size()) {
        const size_t n = std::min(room, spill.size() - spilled);
        push(spill.data() + spilled, n);
        spilled += n;
        continue;
      }
      Converter::Output o;
      if (!input->next(&o)) break;
      if (reduce != nullptr) {
        const Quantiser::Bytes q = reduce->apply(o.data, o.bytes, input_format);
        o = {static_cast<const uint8_t*>(q.data), q.bytes};
      }
      const size_t n = std::min(room, o.bytes);
      push(o.data, n);
      spill.assign(o.data + n, o.data + o.bytes);
      spilled = 0;
      audio_queued += static_cast<int64_t>(o.bytes);
    }
  }

  bool ended() const { return input->ended() && spilled == spill.size(); }

  void push(const uint8_t* data, size_t bytes) {
    const int32_t len = static_cast<int32_t>(bytes);
    if (len > 0 && rbuf_write(ring.get(), data, len) != len)
      throw Error("internal: the queue of " + input->reader().name() + " overflowed");
  }

  // Takes up to `block` bytes into `dst`, zero-filled behind the end.
  // Returns the bytes taken; `*sounds` tells whether any of the input's own
  // audio is among them.
  int32_t take(uint8_t* dst, int32_t block, bool* sounds) {
    const int32_t n = rbuf_read(ring.get(), dst, block);
    std::memset(dst + n, 0, static_cast<size_t>(block - n));
    *sounds = n > 0 && taken + n > lead_bytes && taken < lead_bytes + audio_queued;
    taken += n;
    return n;
  }
};

MixFormats mix_formats(const SoundReader& first, const MixSettings& settings,
                       const OutputTarget& out) {
  MixFormats f;
  const StreamFormat in = first.stream_format();
  f.written.rate = settings.out.rate != 0 ? settings.out.rate : in.rate;
  f.written.layout = settings.out.layout != nullptr ? settings.out.layout : in.layout;
  const int bits = settings.out.bits != 0 ? settings.out.bits : SF_FORMAT_PCM_16;
  f.written.encoding = chosen_encoding(*out.container, f.written.channels(), bits).sf_subtype;
  f.written.pcm_format = quantised_format(f.written.encoding);
  f.mixed = f.written;
  f.mixed.encoding = 0;
  if (f.mixed.pcm_format == PCM_FORMAT_U8) f.mixed.pcm_format = PCM_FORMAT_S16;
  return f;
}

std::vector<Track> open_tracks(const std::vector<std::string>& inputs,
                               const MixSettings& settings, const OutputTarget& out,
                               MixFormats* formats, int32_t* block_bytes) {
  std::vector<std::unique_ptr<SoundReader>> readers;
  for (const std::string& in : inputs)
    readers.push_back(std::make_unique<SoundReader>(in, settings.read));
  *formats = mix_formats(*readers[0], settings, out);
  const StreamFormat& mixed = formats->mixed;
  *block_bytes = static_cast<int32_t>(limiter_block_frames(settings.limiter_block_ms, mixed.rate) *
                                      static_cast<int64_t>(mixed.frame_bytes()));

  std::vector<Track> tracks(inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) {
    Track& t = tracks[i];
    const auto nth = [&](const std::vector<double>& list) { return list.empty() ? 0.0 : list[i]; };
    const double volume = settings.volumes.empty() ? 1.0 : settings.volumes[i];
    // Inputs wider than a 16-bit mix are dithered down (after their volume
    // and fades, in float); the others come in the mix's own samples.
    StreamFormat made = mixed;
    if (settings.dither == Dither::kTpdf &&
        reduces_precision(readers[i]->pcm_format(), mixed.pcm_format, false)) {
      made.pcm_format = PCM_FORMAT_FLOAT;
      t.reduce = std::make_unique<Quantiser>(SF_FORMAT_PCM_16, true, i + 1);
    }
    t.input_format = made.pcm_format;
    t.input = std::make_unique<ShapedInput>(
        std::make_unique<ConvertedInput>(std::move(readers[i]), made, settings.out.quality,
                                         settings.buffer_frames),
        made, volume, Fades{nth(settings.fade_in), nth(settings.fade_out)});
    t.lead_bytes = std::llround(nth(settings.starts) * mixed.rate) *
                   static_cast<int64_t>(mixed.frame_bytes());
    t.ring.reset(rbuf_create(2 * *block_bytes));
    if (t.ring == nullptr) throw Error("out of memory for the queue of " + inputs[i]);
  }
  return tracks;
}

void check_settings(const std::vector<std::string>& inputs, const MixSettings& settings) {
  const auto counts = [&](const char* option, size_t n, const char* what) {
    if (n != 0 && n != inputs.size())
      throw UsageError(std::string(option) + ": " + std::to_string(n) + " " + what + " for " +
                       std::to_string(inputs.size()) + " inputs");
  };
  counts("--volume", settings.volumes.size(), "volumes");
  counts("--at", settings.starts.size(), "start times");
  counts("--fade-in", settings.fade_in.size(), "durations");
  counts("--fade-out", settings.fade_out.size(), "durations");
  if (std::count(inputs.begin(), inputs.end(), "-") > 1)
    throw UsageError("mix: standard input ('-') can be read only once");
}

// The frames of the timeline as far as the inputs' headers tell.
int64_t timeline_frames(const std::vector<Track>& tracks, const StreamFormat& dst) {
  int64_t frames = 0;
  for (const Track& t : tracks)
    frames = std::max(frames, t.lead_bytes / static_cast<int64_t>(dst.frame_bytes()) +
                                  static_cast<int64_t>(t.input->reader().seconds() * dst.rate));
  return frames;
}

// Where each input sat on the timeline, and a note for each that ended
// before the mix did.
void place_inputs(const std::vector<Track>& tracks, const StreamFormat& dst, MixResult* result) {
  const double mix_end = result->stats.seconds_out;
  for (const Track& t : tracks) {
    const SoundReader& r = t.input->reader();
    const double start = static_cast<double>(t.lead_bytes / dst.frame_bytes()) / dst.rate;
    const double end = start + static_cast<double>(r.frames_read()) / r.rate();
    result->inputs.push_back({r.path(), start, end});
    result->stats.frames_in = std::max(result->stats.frames_in, r.frames_read());
    if (mix_end - end < 0.0005) continue;
    char note[512];
    std::snprintf(note, sizeof note, "%s ends at %s, the mix at %s: padded with silence",
                  r.name().c_str(), format_clock_time(end).c_str(),
                  format_clock_time(mix_end).c_str());
    result->notes.push_back(note);
  }
}

// Mixes `tracks` block by block until every input has ended.  `emit` gets
// each mixed block: its samples, its length in bytes (the last may be
// short), what the limiter did in it (all but its peak), and the frames
// mixed so far.
using MixEmit = std::function<void(const void*, int32_t, MixBlock&, int64_t)>;
void mix_blocks(std::vector<Track>& tracks, const StreamFormat& mixed, int32_t block,
                const MixEmit& emit) {
  std::vector<std::vector<uint8_t>> samples(tracks.size(),
                                            std::vector<uint8_t>(static_cast<size_t>(block)));
  std::vector<uint8_t*> pointers;
  for (auto& s : samples) pointers.push_back(s.data());
  BlockMixer mixer(mixed.pcm_format, block, pointers);
  const std::vector<uint8_t> zeros(static_cast<size_t>(block));
  const size_t sample_bytes = pcm_sample_bytes(mixed.pcm_format);

  int64_t frames = 0;
  for (int64_t index = 0;; ++index) {
    bool all_ended = true;
    int32_t real = 0;  // bytes of the longest track still running
    MixBlock b;
    b.peak = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
      tracks[i].fill(block, zeros);
      all_ended = all_ended && tracks[i].ended();
      bool sounds = false;
      real = std::max(real, tracks[i].take(samples[i].data(), block, &sounds));
      if (sounds) b.inputs.push_back(static_cast<int>(i));
    }
    if (real == 0 && all_ended) break;

    const void* out = mixer.mix();
    b.index = index;
    b.start_seconds = static_cast<double>(frames) / mixed.rate;
    b.gain = mixer.last_gain();
    b.limited = mixer.sum_leaves_range(static_cast<size_t>(real) / sample_bytes);
    frames += real / static_cast<int32_t>(mixed.frame_bytes());
    emit(out, real, b, frames);
  }
}

}  // namespace

int64_t limiter_block_frames(double ms, int rate) {
  return std::max<int64_t>(1, std::llround(ms * rate / 1000.0));
}

MixResult mix_files(const std::vector<std::string>& inputs, const OutputTarget& out,
                    const MixSettings& settings,
                    const std::function<void(const MixBlock&)>& on_block, WaveformPlot* plot) {
  const auto start = std::chrono::steady_clock::now();
  check_settings(inputs, settings);
  check_output_path(out.path, inputs);
  StdinReplay replay(settings.loudness.on &&
                     std::find(inputs.begin(), inputs.end(), "-") != inputs.end());
  MixFormats formats;
  int32_t block = 0;
  std::vector<Track> tracks = open_tracks(inputs, settings, out, &formats, &block);
  const StreamFormat& mixed = formats.mixed;
  const StreamFormat& written = formats.written;

  // With --loudness the mix runs twice: the first pass measures it, the
  // second puts the gain on the mixer's samples in float, which the
  // quantiser dithers (to 16 bits or fewer) and rounds to the output's
  // width.  Without it the quantiser only rounds 32-bit samples to 24
  // bits, and dithers 16-bit ones to 8.
  Normaliser normaliser(settings.loudness, mixed);
  const bool dither = settings.dither == Dither::kTpdf &&
                      reduces_precision(mixed.pcm_format, written.pcm_format, normaliser.on());
  const bool quantise = normaliser.on() || written.pcm_format != mixed.pcm_format ||
                        written.encoding == SF_FORMAT_PCM_24;
  Quantiser quantiser(written.encoding, dither);
  if (normaliser.on()) {
    Progress progress("measure the mix", timeline_frames(tracks, mixed));
    mix_blocks(tracks, mixed, block, [&](const void* m, int32_t bytes, MixBlock&, int64_t frames) {
      normaliser.measure(m, static_cast<size_t>(bytes), mixed.pcm_format);
      progress.update(frames);
    });
    normaliser.plan();
    quantiser.set_gain(normaliser.gain());
    replay.rewind();
    MixSettings again = settings;
    again.read.repeated = true;
    tracks = open_tracks(inputs, again, out, &formats, &block);
  }

  SoundWriter writer(out, written);
  if (plot != nullptr) plot->start(written.rate, written.channels());
  Progress progress("mix", timeline_frames(tracks, mixed));
  MixResult result;
  mix_blocks(tracks, mixed, block, [&](const void* m, int32_t bytes, MixBlock& b, int64_t frames) {
    Quantiser::Bytes w = {m, static_cast<size_t>(bytes)};
    if (quantise) w = quantiser.apply(m, static_cast<size_t>(bytes), mixed.pcm_format);
    const size_t samples = w.bytes / pcm_sample_bytes(written.pcm_format);
    b.peak = peak_of(w.data, samples, written.pcm_format);
    writer.write(w.data, w.bytes);
    if (plot != nullptr) plot->add(w.data, samples, written.pcm_format, b);
    if (on_block) on_block(b);
    result.blocks++;
    result.limited_blocks += b.limited ? 1 : 0;
    result.peak = std::max(result.peak, b.peak);
    result.lowest_gain = std::min(result.lowest_gain, b.gain);
    progress.update(frames);
  });
  result.stats = writer.commit(0, start);
  const bool reduced = std::any_of(tracks.begin(), tracks.end(),
                                   [](const Track& t) { return t.reduce != nullptr; });
  if (dither || reduced) result.stats.add_note(kDitherNote);
  std::vector<int> rates;
  const char* engine = "";
  for (const Track& t : tracks) {
    if (t.input->reader().rate() == mixed.rate) continue;
    rates.push_back(t.input->reader().rate());
    engine = t.input->engine();
  }
  if (!rates.empty()) result.stats.add_note(resampling_note(rates, settings.out.quality, engine));
  result.stats.loudness = normaliser.result();
  place_inputs(tracks, mixed, &result);
  return result;
}

}  // namespace amix
