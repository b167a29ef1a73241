#include "amix/commands.h"
#include "amix/encoding.h"
#include "amix/pipelines.h"
#include "amix/report.h"

namespace amix {
namespace {

const char kHelp[] =
    "Usage: amix convert IN OUT [--rate HZ] [--layout L] [--bits B] [--type T]\n"
    "Convert IN through the library's resampler, 1024 frames at a time, and\n"
    "write OUT.  Settings not given keep IN's.\n"
    "\n"
    "  -r, --rate HZ    sample rate, 1000 to 768000\n"
    "  -l, --layout L   mono|stereo|2.1|quad|4.1|5.1|5.1-back|7.1|7.1-wide|3.0\n"
    "  -b, --bits B     8|16|24|32|float (8-bit is unsigned in WAV and W64)\n"
    "  -t, --type T     OUT's type: wav|w64|flac|aiff|aif|caf|au, for an OUT\n"
    "                   without that extension or '-' (a pipe: wav|flac|au)\n"
    "  -q, --quiet      no progress on the terminal\n"
    "  -v, --verbose    show the library's log lines\n"
    "  -h, --help       this help\n"
    "\n"
    "Without --bits OUT keeps IN's encoding where its type holds it (24-bit\n"
    "stays 24-bit), or else gets the nearest one it holds (float in FLAC:\n"
    "24-bit); compressed inputs (MP3, Vorbis, Opus, ADPCM, ...) are written\n"
    "as 16-bit.  The summary line names such a change.  IN's layout comes\n"
    "from its channel map, or from its channel count: 1 mono, 2 stereo,\n"
    "3 3.0, 4 quad, 5 4.1, 6 5.1-back, 8 7.1.  WAV files of more than two\n"
    "channels carry their channel map (WAVE_FORMAT_EXTENSIBLE).\n"
    "\n"
    "Limits: IN's rate and --rate from 1000 to 768000 Hz; the library\n"
    "refuses to reduce a rate by more than 256:1.  OUT is exactly as long\n"
    "as IN: n frames become n x rate / IN's rate frames, to the nearest.\n"
    "\n"
    "Examples:\n"
    "  amix convert take1.wav take1-48k.flac --rate 48000 --layout stereo\n"
    "  amix convert speech.mp3 speech.wav\n"
    "  ffmpeg -v error -i clip.mp4 -f wav - |\n"
    "    amix convert - - --type wav --rate 48000 | ffmpeg -i - clip.flac\n";

enum { kRate = 'r', kLayout = 'l', kBits = 'b', kType = 't' };

}  // namespace

int run_convert(int argc, char** argv, Globals& globals) {
  ConvertSettings settings;
  std::string type;
  bool help = false;
  const auto files = parse_command(
      argc, argv, "r:l:b:t:",
      {{"rate", true, kRate}, {"layout", true, kLayout}, {"bits", true, kBits},
       {"type", true, kType}},
      2, 2, globals, kHelp, &help, [&](int c, const char* value) {
        if (c == kRate) settings.rate = parse_rate("--rate", value);
        if (c == kLayout) settings.layout = &layout_by_name("--layout", value);
        if (c == kBits) settings.bits = parse_bits("--bits", value);
        if (c == kType) type = value;
      });
  if (help) return 0;
  const OutputTarget out = output_target(files[1], type);
  if (out.is_stdout()) reports_to_stderr();
  print_summary(out, convert_file(files[0], out, settings, globals));
  return 0;
}

}  // namespace amix
