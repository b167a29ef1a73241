#include <cstdio>

#include "amix/commands.h"
#include "amix/pipelines.h"

namespace amix {
namespace {

const char kHelp[] =
    "Usage: amix convert IN OUT [--rate HZ] [--layout L] [--bits B]\n"
    "Convert IN through the library's resampler, 1024 frames at a time, and\n"
    "write OUT.  Settings not given keep IN's.\n"
    "\n"
    "  -r, --rate HZ    sample rate, 1000 to 768000\n"
    "  -l, --layout L   mono|stereo|2.1|quad|4.1|5.1|5.1-back|7.1|7.1-wide|3.0\n"
    "  -b, --bits B     8|16|32|float (8-bit WAV is unsigned)\n"
    "  -q, --quiet      no progress on the terminal\n"
    "  -v, --verbose    show the library's log lines\n"
    "  -h, --help       this help\n"
    "\n"
    "OUT's type follows its extension: .wav .w64 .flac .aiff .aif .caf .au.\n"
    "WAV files with more than two channels carry their channel map\n"
    "(WAVE_FORMAT_EXTENSIBLE).  IN's layout comes from its channel map, or\n"
    "from its channel count: 1 mono, 2 stereo, 3 3.0, 4 quad, 5 4.1,\n"
    "6 5.1-back, 8 7.1.  The resampler keeps its last few frames for its\n"
    "filter, so OUT may end a few milliseconds early.\n";

enum { kRate = 'r', kLayout = 'l', kBits = 'b' };

}  // namespace

int run_convert(int argc, char** argv, Globals& globals) {
  ConvertSettings settings;
  bool help = false;
  const auto files = parse_command(
      argc, argv, "r:l:b:",
      {{"rate", true, kRate}, {"layout", true, kLayout}, {"bits", true, kBits}}, 2, 2, globals,
      kHelp, &help, [&](int c, const char* value) {
        if (c == kRate) settings.rate = parse_rate("--rate", value);
        if (c == kLayout) settings.layout = &layout_by_name("--layout", value);
        if (c == kBits) settings.pcm_format = parse_bits("--bits", value);
      });
  if (help) return 0;
  const RunStats stats = convert_file(files[0], files[1], settings, globals);
  print_summary(files[1], stats);
  return 0;
}

}  // namespace amix
