#include "amix/commands/commands.h"
#include "amix/pipelines/pipelines.h"
#include "amix/report/report.h"

namespace amix {
namespace {

int run(int argc, char** argv) {
  StreamSettings settings;
  std::string type;
  std::vector<Option> options = {
      rate_option(&settings.out.rate, "sample rate, "),
      quality_option(&settings.out.quality),
      layout_option(&settings.out.layout, ""),
      block_option(&settings.block_bytes, "bytes per read, even, 2 to 262144 (default 4096)"),
  };
  for (Option& o : trim_options(&settings.read)) options.push_back(std::move(o));
  options.push_back(pad_option(&settings.pad.before, &settings.pad.after));
  options.push_back(dither_option(&settings.dither));
  options.push_back(type_option(&type, "OUT's type, as for convert"));
  options.push_back(strict_option(&settings.read));
  const auto files = parse_command(kStreamCommand, options, argc, argv);
  if (!files) return 0;
  const OutputTarget out = output_target((*files)[1], type);
  if (out.is_stdout()) reports_to_stderr();
  print_summary(out, stream_file((*files)[0], out, settings));
  return 0;
}

}  // namespace

extern const Command kStreamCommand = {
    "stream", "IN OUT [options]", "through the blocking resampler, two threads",
    "Convert IN to 16-bit OUT through the library's blocking resampler, the\n"
    "way the toolkit drives it: a producer thread writes 1024-frame input\n"
    "blocks and marks the last as the end of the stream, while a consumer\n"
    "thread reads blocks of BYTES until the end.\n",
    "The blocking resampler takes 16-bit samples: wider ones (24-bit,\n"
    "32-bit, float, lossy) are reduced on the way in, with dither as for\n"
    "convert.  Times, --start, --duration, --pad and --quality as for\n"
    "convert.  For a 16-bit IN the result equals 'amix convert IN OUT --bits\n"
    "16' with the same settings, frame for frame and in length.\n"
    "\n"
    "Limits: IN's rate and --rate from 1000 to 768000 Hz; the library\n"
    "refuses to change a rate by more than 256:1 (at default quality it\n"
    "takes greater increases); the blocking resampler's queue holds 576000\n"
    "bytes, which keeps a block to 262144; times up to 24:00:00.\n"
    "\n"
    "Examples:\n"
    "  amix stream take1.wav take1-stream.wav --rate 48000 --block 4096\n"
    "  amix stream voice.flac - --type au --rate 8000 --layout mono >voice.au\n",
    2, 2, run};

}  // namespace amix
