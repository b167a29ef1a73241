#include "amix/commands/commands.h"
#include "amix/pipelines/pipelines.h"
#include "amix/report/report.h"

namespace amix {
namespace {

int run(int argc, char** argv) {
  ConvertSettings settings;
  std::string type;
  const std::vector<Option> options = {
      rate_option(&settings.out.rate, "sample rate, "),
      layout_option(&settings.out.layout, ""),
      {'b', "bits", "B", "8|16|24|32|float (8-bit is unsigned in WAV and W64)",
       [&](const std::string& v) { settings.out.bits = parse_bits("--bits", v); }},
      type_option(&type, "OUT's type: wav|w64|flac|aiff|aif|caf|au, for an OUT without that "
                         "extension or '-' (a pipe: wav|flac|au)"),
      loudness_option(&settings.loudness),
      true_peak_option(&settings.loudness),
      strict_option(&settings.read),
  };
  const auto files = parse_command(kConvertCommand, options, argc, argv);
  if (!files) return 0;
  check_loudness(settings.loudness, "convert");
  const OutputTarget out = output_target((*files)[1], type);
  if (out.is_stdout()) reports_to_stderr();
  print_summary(out, convert_file((*files)[0], out, settings));
  return 0;
}

}  // namespace

extern const Command kConvertCommand = {
    "convert", "IN OUT [options]", "through the resampler",
    "Convert IN through the library's resampler, 1024 frames at a time, and\n"
    "write OUT.  Settings not given keep IN's.\n",
    "Without --bits OUT keeps IN's encoding where its type holds it (24-bit\n"
    "stays 24-bit), or else gets the nearest one it holds (float in FLAC:\n"
    "24-bit); compressed inputs (MP3, Vorbis, Opus, ADPCM, ...) are written\n"
    "as 16-bit.  The summary line names such a change.  IN's layout comes\n"
    "from its channel map, or from its channel count: 1 mono, 2 stereo,\n"
    "3 3.0, 4 quad, 5 4.1, 6 5.1-back, 8 7.1.  WAV files of more than two\n"
    "channels carry their channel map (WAVE_FORMAT_EXTENSIBLE).  Text tags\n"
    "(title, artist, album, ...) go to OUT where its type holds them.\n"
    "\n"
    "With --loudness IN is read twice: first to measure OUT's loudness and\n"
    "true peak (as 'amix info' does), then to write OUT with one gain, put\n"
    "on before its samples are quantised (clipped, never wrapped).  Where\n"
    "the gain would take the true peak above --true-peak it stops there, and\n"
    "the summary says how far short of the target OUT stays.  Standard input\n"
    "is kept in a temporary file for the second reading.\n"
    "\n"
    "Limits: IN's rate and --rate from 1000 to 768000 Hz; the library\n"
    "refuses to reduce a rate by more than 256:1.  OUT is exactly as long\n"
    "as IN: n frames become n x rate / IN's rate frames, to the nearest.\n"
    "\n"
    "Examples:\n"
    "  amix convert take1.wav take1-48k.flac --rate 48000 --layout stereo\n"
    "  amix convert speech.mp3 speech.wav --loudness -16\n"
    "  ffmpeg -v error -i clip.mp4 -f wav - |\n"
    "    amix convert - - --type wav --rate 48000 | ffmpeg -i - clip.flac\n",
    2, 2, run};

}  // namespace amix
