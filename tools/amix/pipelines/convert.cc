// convert: one file through the resampler, block by block.
#include <chrono>
#include <memory>

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

  Progress progress("convert " + reader->name(), reader->frames());
  ConvertedInput input(std::move(reader), dst, kInputBlockFrames);
  SoundWriter writer(out, dst);
  carry_tags(input.reader(), writer);
  Converter::Output o;
  while (input.next(&o)) {
    writer.write(o.data, o.bytes);
    progress.update(input.reader().frames_read());
  }
  RunStats stats = writer.commit(input.reader().frames_read(), start);
  stats.note = encoding.note;
  return stats;
}

}  // namespace amix
