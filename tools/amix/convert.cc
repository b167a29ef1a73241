// convert: one file through the resampler, block by block.
#include <chrono>
#include <memory>

#include "amix/converter.h"
#include "amix/output_file.h"
#include "amix/pipelines.h"
#include "amix/progress.h"
#include "amix/report.h"
#include "amix/sound_file.h"

namespace amix {

RunStats convert_file(const std::string& in, const OutputTarget& out,
                      const ConvertSettings& settings, const Globals& globals) {
  const auto start = std::chrono::steady_clock::now();
  check_output_path(out.path, {in});
  auto reader = std::make_unique<SoundReader>(in);
  const StreamFormat src = reader->stream_format();
  StreamFormat dst = src;
  if (settings.rate != 0) dst.rate = settings.rate;
  if (settings.layout != nullptr) dst.layout = settings.layout;
  // Without --bits the input's encoding stays where OUT's container holds
  // it (24-bit stays 24-bit), else the nearest one it holds.
  const EncodingChoice encoding =
      settings.bits != 0 ? chosen_encoding(*out.container, dst.channels(), settings.bits)
                         : nearest_encoding(*out.container, dst.channels(), src.encoding);
  dst.encoding = encoding.sf_subtype;
  dst.pcm_format = pcm_format_of(encoding.sf_subtype);

  Progress progress(globals, "convert " + reader->name(), reader->frames());
  ConvertedInput input(std::move(reader), dst);
  SoundWriter writer(out, dst);
  Converter::Output o;
  while (input.next(&o)) {
    writer.write(o.data, o.bytes);
    progress.update(input.reader().frames_read());
  }
  RunStats stats = writer.commit(input.reader().frames_read(), start);
  stats.note = encoding.note;
  return stats;
}

void print_summary(const OutputTarget& out, const RunStats& stats, const std::string& detail) {
  report("%s: %lld frames, %s, %.3f s, %s%.0fx real time%s\n",
         out.is_stdout() ? "standard output" : out.path.c_str(),
         static_cast<long long>(stats.frames_out), stats.output.describe().c_str(),
         stats.seconds_out, detail.empty() ? "" : (detail + ", ").c_str(), stats.speed(),
         stats.note.empty() ? "" : ("; " + stats.note).c_str());
}

}  // namespace amix
