// convert: one file through the resampler, block by block.
#include <chrono>
#include <cstdio>
#include <vector>

#include "amix/converter.h"
#include "amix/output_file.h"
#include "amix/pipelines.h"
#include "amix/progress.h"
#include "amix/sound_file.h"

namespace amix {

RunStats convert_file(const std::string& in, const std::string& out,
                      const ConvertSettings& settings, const Globals& globals) {
  const auto start = std::chrono::steady_clock::now();
  check_output_path(out, {in});
  SoundReader reader(in);
  const StreamFormat src = reader.stream_format();
  StreamFormat dst = src;
  if (settings.rate != 0) dst.rate = settings.rate;
  if (settings.layout != nullptr) dst.layout = settings.layout;
  if (settings.pcm_format != 0) dst.pcm_format = settings.pcm_format;

  // Without --bits the file keeps its own sample type where the output
  // container can hold it (24-bit stays 24-bit, double stays double).
  int subtype = 0;
  if (settings.pcm_format == 0)
    subtype = subtype_if_storable(out, dst.channels(), reader.sf_format() & SF_FORMAT_SUBMASK);

  Converter converter(dst, src);
  SoundWriter writer(out, dst, subtype);
  Progress progress(globals, "convert " + in, reader.frames());
  std::vector<uint8_t> block(static_cast<size_t>(kInputBlockFrames) * src.frame_bytes());
  int64_t frames_in = 0;
  for (;;) {
    const int64_t got = reader.read(block.data(), kInputBlockFrames, src.pcm_format);
    if (got == 0) break;
    frames_in += got;
    const Converter::Output o = converter.convert(block.data(), got * src.frame_bytes());
    writer.write(o.data, o.bytes);
    progress.update(frames_in);
  }
  return writer.commit(frames_in, start);
}

void print_summary(const std::string& out, const RunStats& stats) {
  std::printf("%s: %lld frames, %s, %.3f s, %.0fx real time\n", out.c_str(),
              static_cast<long long>(stats.frames_out), stats.output.describe().c_str(),
              stats.seconds_out, stats.speed());
}

}  // namespace amix
