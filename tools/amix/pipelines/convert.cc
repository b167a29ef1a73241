// convert: one file through the resampler, block by block.
#include <chrono>
#include <memory>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/messages.h"
#include "amix/io/output_file.h"
#include "amix/io/pipe_io.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/converter.h"
#include "amix/pipelines/normalise.h"
#include "amix/pipelines/pipelines.h"
#include "amix/pipelines/quantise.h"
#include "amix/report/progress.h"

namespace amix {
namespace {

// IN through the resampler, then --gain and the fades.
ShapedInput shaped(std::unique_ptr<SoundReader> reader, const StreamFormat& made,
                   const ConvertSettings& settings) {
  return ShapedInput(
      std::make_unique<ConvertedInput>(std::move(reader), made, settings.out.quality,
                                       kInputBlockFrames, &settings.map),
      made, settings.gain, settings.fades);
}

// The first pass of --loudness: what the second writes, before its gain,
// into the meter: the part of IN taken, through the map, and the padding.
void measure(std::unique_ptr<SoundReader> reader, const StreamFormat& made,
             const ConvertSettings& settings, Normaliser& normaliser) {
  Progress progress("measure " + reader->name(), reader->frames());
  ShapedInput input = shaped(std::move(reader), made, settings);
  normaliser.measure_silence(Padding::frames(settings.pad.before, made.rate));
  Converter::Output o;
  while (input.next(&o)) {
    normaliser.measure(o.data, o.bytes, made.pcm_format);
    progress.update(input.reader().frames_read());
  }
  normaliser.measure_silence(Padding::frames(settings.pad.after, made.rate));
  normaliser.plan();
}

}  // namespace

RunStats convert_file(const std::string& in, const OutputTarget& out,
                      const ConvertSettings& settings) {
  const auto start = std::chrono::steady_clock::now();
  check_output_path(out.path, {in});
  StdinReplay replay(settings.loudness.on && in == "-");
  auto reader = std::make_unique<SoundReader>(in, settings.read);
  const StreamFormat src =
      settings.map.empty() ? reader->stream_format() : settings.map.format_of(*reader);
  StreamFormat dst = src;
  if (settings.out.rate != 0) dst.rate = settings.out.rate;
  if (settings.out.layout != nullptr) dst.layout = settings.out.layout;
  // Without --bits the input's encoding stays where OUT's container holds
  // it (24-bit stays 24-bit), else the nearest one it holds.
  const EncodingChoice encoding =
      settings.out.bits != 0 ? chosen_encoding(*out.container, dst.channels(), settings.out.bits)
                         : nearest_encoding(*out.container, dst.channels(), src.encoding);
  dst.encoding = encoding.sf_subtype;
  dst.pcm_format = pcm_format_of(encoding.sf_subtype);
  // A gain, fades or dither need the resampler's samples in float: the
  // ramps of --gain and the fades (envelope.h), then one stage (quantise.h)
  // to put on the gain of --loudness, dither and round them to OUT's width.
  // All others leave the resampler as OUT's samples, rounded there.
  Normaliser normaliser(settings.loudness, dst);
  const bool shaping = settings.gain != 1.0f || settings.fades.in > 0 || settings.fades.out > 0;
  const bool in_float = normaliser.on() || shaping;
  const bool dither = settings.dither == Dither::kTpdf &&
                      reduces_precision(src.pcm_format, dst.pcm_format, in_float);
  const bool quantise = in_float || dither;
  Quantiser quantiser(dst.encoding, dither);
  StreamFormat made = dst;
  if (quantise) made.pcm_format = PCM_FORMAT_FLOAT;
  if (normaliser.on()) {
    measure(std::move(reader), made, settings, normaliser);
    quantiser.set_gain(normaliser.gain());
    replay.rewind();
    ReadOptions again = settings.read;
    again.repeated = true;
    reader = std::make_unique<SoundReader>(in, again);
  }

  Progress progress("convert " + reader->name(), reader->frames());
  ShapedInput input = shaped(std::move(reader), made, settings);
  SoundWriter writer(out, dst);  // dst.pcm_format is what the quantiser makes
  carry_tags(input.reader(), writer);
  writer.write_silence(Padding::frames(settings.pad.before, dst.rate));
  Converter::Output o;
  while (input.next(&o)) {
    if (quantise) {
      const Quantiser::Bytes q = quantiser.apply(o.data, o.bytes, made.pcm_format);
      writer.write(q.data, q.bytes);
    } else {
      writer.write(o.data, o.bytes);
    }
    progress.update(input.reader().frames_read());
  }
  writer.write_silence(Padding::frames(settings.pad.after, dst.rate));
  const std::string shortfall = input.reader().shortfall();
  if (!shortfall.empty()) note(shortfall);
  RunStats stats = writer.commit(input.reader().frames_read(), start);
  stats.note = encoding.note;
  if (dither) stats.add_note(kDitherNote);
  if (src.rate != dst.rate)
    stats.add_note(resampling_note({src.rate}, settings.out.quality, input.engine()));
  stats.loudness = normaliser.result();
  return stats;
}

}  // namespace amix
