#include <cstdio>

#include "amix/commands.h"
#include "amix/pipelines.h"

namespace amix {
namespace {

const char kHelp[] =
    "Usage: amix stream IN OUT [--rate HZ] [--layout L] [--block BYTES]\n"
    "Convert IN to 16-bit OUT through the library's blocking resampler, the\n"
    "way the toolkit drives it: a producer thread writes 1024-frame input\n"
    "blocks and marks the last as the end of the stream, while a consumer\n"
    "thread reads blocks of BYTES until the end.\n"
    "\n"
    "  -r, --rate HZ      sample rate, 1000 to 768000\n"
    "  -l, --layout L     mono|stereo|2.1|quad|4.1|5.1|5.1-back|7.1|7.1-wide|3.0\n"
    "  -B, --block BYTES  bytes per read, even (default 4096)\n"
    "  -q, --quiet        no progress on the terminal\n"
    "  -v, --verbose      show the library's log lines\n"
    "  -h, --help         this help\n"
    "\n"
    "For a 16-bit IN the result equals 'amix convert IN OUT --bits 16' with\n"
    "the same settings, apart from the very end.\n";

enum { kRate = 'r', kLayout = 'l', kBlock = 'B' };

}  // namespace

int run_stream(int argc, char** argv, Globals& globals) {
  StreamSettings settings;
  bool help = false;
  const auto files = parse_command(
      argc, argv, "r:l:B:",
      {{"rate", true, kRate}, {"layout", true, kLayout}, {"block", true, kBlock}}, 2, 2,
      globals, kHelp, &help, [&](int c, const char* value) {
        if (c == kRate) settings.rate = parse_rate("--rate", value);
        if (c == kLayout) settings.layout = &layout_by_name("--layout", value);
        if (c == kBlock) settings.block_bytes = parse_block_bytes("--block", value);
      });
  if (help) return 0;
  const RunStats stats = stream_file(files[0], files[1], settings, globals);
  print_summary(files[1], stats);
  return 0;
}

}  // namespace amix
