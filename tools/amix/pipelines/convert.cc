// convert: one file through the resampler, block by block.
#include <chrono>
#include <memory>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/messages.h"
#include "amix/io/output_file.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/converter.h"
#include "amix/pipelines/pipelines.h"
#include "amix/report/progress.h"

namespace amix {

RunStats convert_file(const std::string& in, const OutputTarget& out,
                      const ConvertSettings& settings) {
  const auto start = std::chrono::steady_clock::now();
  check_output_path(out.path, {in});
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
  // Samples to be reduced leave the resampler as float, for the dither to
  // round; all others as OUT's samples, rounded by the resampler.
  const bool dither = settings.dither == Dither::kTpdf &&
                      reduces_precision(src.pcm_format, dst.pcm_format, false);
  StreamFormat converted = dst;
  if (dither) converted.pcm_format = PCM_FORMAT_FLOAT;

  Progress progress("convert " + reader->name(), reader->frames());
  ConvertedInput input(std::move(reader), converted, kInputBlockFrames, &settings.map);
  SoundWriter writer(out, dst);
  carry_tags(input.reader(), writer);
  writer.write_silence(Padding::frames(settings.pad.before, dst.rate));
  TpdfDither tpdf;
  Converter::Output o;
  while (input.next(&o)) {
    if (dither) {
      size_t bytes = 0;
      const uint8_t* q = tpdf.quantise(reinterpret_cast<const float*>(o.data),
                                       o.bytes / sizeof(float), dst.pcm_format, &bytes);
      writer.write(q, bytes);
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
  return stats;
}

}  // namespace amix
