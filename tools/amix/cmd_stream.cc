#include "amix/commands.h"
#include "amix/pipelines.h"
#include "amix/report.h"

namespace amix {
namespace {

const char kHelp[] =
    "Usage: amix stream IN OUT [--rate HZ] [--layout L] [--block BYTES]\n"
    "                   [--type T]\n"
    "Convert IN to 16-bit OUT through the library's blocking resampler, the\n"
    "way the toolkit drives it: a producer thread writes 1024-frame input\n"
    "blocks and marks the last as the end of the stream, while a consumer\n"
    "thread reads blocks of BYTES until the end.\n"
    "\n"
    "  -r, --rate HZ      sample rate, 1000 to 768000\n"
    "  -l, --layout L     mono|stereo|2.1|quad|4.1|5.1|5.1-back|7.1|7.1-wide|3.0\n"
    "  -B, --block BYTES  bytes per read, even, 2 to 262144 (default 4096)\n"
    "  -t, --type T       OUT's type, as for convert\n"
    "  -q, --quiet        no progress on the terminal\n"
    "  -v, --verbose      show the library's log lines\n"
    "  -h, --help         this help\n"
    "\n"
    "For a 16-bit IN the result equals 'amix convert IN OUT --bits 16' with\n"
    "the same settings, frame for frame; both are exactly as long as IN.\n"
    "\n"
    "Limits: IN's rate and --rate from 1000 to 768000 Hz; the library\n"
    "refuses to reduce a rate by more than 256:1; the blocking resampler's\n"
    "queue holds 576000 bytes, which keeps a block to 262144.\n"
    "\n"
    "Examples:\n"
    "  amix stream take1.wav take1-stream.wav --rate 48000 --block 4096\n"
    "  amix stream voice.flac - --type au --rate 8000 --layout mono >voice.au\n";

enum { kRate = 'r', kLayout = 'l', kBlock = 'B', kType = 't' };

}  // namespace

int run_stream(int argc, char** argv, Globals& globals) {
  StreamSettings settings;
  std::string type;
  bool help = false;
  const auto files = parse_command(
      argc, argv, "r:l:B:t:",
      {{"rate", true, kRate}, {"layout", true, kLayout}, {"block", true, kBlock},
       {"type", true, kType}},
      2, 2, globals, kHelp, &help, [&](int c, const char* value) {
        if (c == kRate) settings.rate = parse_rate("--rate", value);
        if (c == kLayout) settings.layout = &layout_by_name("--layout", value);
        if (c == kBlock) settings.block_bytes = parse_block_bytes("--block", value);
        if (c == kType) type = value;
      });
  if (help) return 0;
  const OutputTarget out = output_target(files[1], type);
  if (out.is_stdout()) reports_to_stderr();
  print_summary(out, stream_file(files[0], out, settings, globals));
  return 0;
}

}  // namespace amix
