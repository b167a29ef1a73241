// convert: one file through the resampler, block by block.
#include <chrono>
#include <memory>

#include "tavrin_amix/audio_resampler.h"
#include "amix/io/output_file.h"
#include "amix/io/pipe_io.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/converter.h"
#include "amix/pipelines/normalise.h"
#include "amix/pipelines/pipelines.h"
#include "amix/report/progress.h"

namespace amix {
namespace {

// The first pass of --loudness: the converted stream into the meter.
void measure(std::unique_ptr<SoundReader> reader, const StreamFormat& made,
             Normaliser& normaliser) {
  Progress progress("measure " + reader->name(), reader->frames());
  ConvertedInput input(std::move(reader), made, kInputBlockFrames);
  Converter::Output o;
  while (input.next(&o)) {
    normaliser.measure(o.data, o.bytes, made.pcm_format);
    progress.update(input.reader().frames_read());
  }
  normaliser.plan();
}

}  // namespace

RunStats convert_file(const std::string& in, const OutputTarget& out,
                      const ConvertSettings& settings) {
  const auto start = std::chrono::steady_clock::now();
  check_output_path(out.path, {in});
  StdinReplay replay(settings.loudness.on && in == "-");
  auto reader = std::make_unique<SoundReader>(in, settings.read);
  const StreamFormat src = reader->stream_format();
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

  // With --loudness the resampler makes float samples, and the gain goes
  // on before they are quantised.
  Normaliser normaliser(settings.loudness, dst);
  StreamFormat made = dst;
  if (normaliser.on()) {
    made.pcm_format = PCM_FORMAT_FLOAT;
    measure(std::move(reader), made, normaliser);
    replay.rewind();
    ReadOptions again = settings.read;
    again.repeated = true;
    reader = std::make_unique<SoundReader>(in, again);
  }

  Progress progress("convert " + reader->name(), reader->frames());
  ConvertedInput input(std::move(reader), made, kInputBlockFrames);
  SoundWriter writer(out, normaliser.written());
  carry_tags(input.reader(), writer);
  Converter::Output o;
  while (input.next(&o)) {
    const Normaliser::Bytes w = normaliser.apply(o.data, o.bytes, made.pcm_format);
    writer.write(w.data, w.bytes);
    progress.update(input.reader().frames_read());
  }
  RunStats stats = writer.commit(input.reader().frames_read(), start);
  stats.note = encoding.note;
  stats.loudness = normaliser.result();
  return stats;
}

}  // namespace amix
