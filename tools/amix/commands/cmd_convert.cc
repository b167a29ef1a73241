#include "amix/commands/commands.h"
#include "amix/pipelines/pipelines.h"
#include "amix/report/report.h"

namespace amix {
namespace {

int run(int argc, char** argv) {
  ConvertSettings settings;
  std::string type;
  std::vector<Option> options = {
      rate_option(&settings.out.rate, "sample rate, "),
      quality_option(&settings.out.quality),
      layout_option(&settings.out.layout, ""),
      {'b', "bits", "B", "8|16|24|32|float (8-bit is unsigned in WAV and W64)",
       [&](const std::string& v) { settings.out.bits = parse_bits("--bits", v); }},
      {'m', "map", "C1,...",
       "OUT's channels, each one of IN's by number: 1 its first, 0 silence (see below)",
       [&](const std::string& v) { settings.map = ChannelMap::parse("--map", v); }},
  };
  for (Option& o : trim_options(&settings.read)) options.push_back(std::move(o));
  options.push_back(pad_option(&settings.pad.before, &settings.pad.after));
  options.push_back(gain_option(&settings.gain));
  for (Option& o : fade_options(&settings.fades)) options.push_back(std::move(o));
  options.push_back(dither_option(&settings.dither));
  options.push_back(loudness_option(&settings.loudness));
  options.push_back(true_peak_option(&settings.loudness));
  options.push_back(type_option(&type, "OUT's type: wav|w64|flac|aiff|aif|caf|au, for an OUT "
                                       "without that extension or '-' (a pipe: wav|flac|au)"));
  options.push_back(strict_option(&settings.read));
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
    "A time T is seconds (90, 1.5) or [h:]mm:ss[.fff] (1:30, 0:01:30.250).\n"
    "--start and --duration round to the nearest frame of IN, --pad to the\n"
    "nearest frame of OUT; the padding is digital silence.  A part that\n"
    "runs past IN's end stops there, with a note.\n"
    "\n"
    "--map lists OUT's channels, each one of IN's by number: 2 takes the\n"
    "second as mono, 2,1 swaps left and right, 1,1 makes mono stereo, 1,0\n"
    "puts it on the left only.  The channels keep IN's layout when they are\n"
    "as many as IN's, else take the layout of their count (as above), which\n"
    "--layout may then convert.  The map picks channels and never mixes\n"
    "them: --layout mixes down.\n"
    "\n"
    "--gain scales OUT; --fade-in and --fade-out fade the part of IN taken\n"
    "in from silence and out to silence, as linear ramps (the lower wins\n"
    "where they overlap; the padding stays silent).  The fade-out ends on\n"
    "IN's last frame taken, also where the header cannot tell it (its frames\n"
    "wait in memory until then).  All three go on in floating point through\n"
    "the library's volume ramps, before the dither and the quantising.\n"
    "\n"
    "With --loudness IN is read twice: first to measure OUT as 'amix info'\n"
    "would (the part of IN taken, through --map, with the padding), then to\n"
    "write OUT with one gain, put on before its samples are dithered and\n"
    "quantised (clipped, never wrapped).  Where the gain would take the true\n"
    "peak above --true-peak it stops there, and the summary says how far\n"
    "short of the target OUT stays.  Standard input is kept in a temporary\n"
    "file for the second reading.\n"
    "\n"
    "--quality sets the resampler's filter where the rate changes.  high\n"
    "(the default) and best run libsoxr at 20 and 28 bits: aliases and\n"
    "images at -134 and -165 dB, flat to 20 kHz within 0.008 and 0.007 dB,\n"
    "THD+N -132 and -149 dB, at 1.2x-2.5x and 1.5x-3.2x the time of\n"
    "default.  default is libswresample's own filter, whose aliases near the\n"
    "Nyquist frequency reach -9 to -15 dB and which is down by up to 1 dB at\n"
    "20 kHz; it gives the same bytes as 'ffmpeg -ar'.  Where FFmpeg has no\n"
    "libsoxr, high and best run a longer filter of libswresample's (-119 and\n"
    "-140 dB).  The summary names the preset and the engine (soxr or swr).\n"
    "\n"
    "Samples reduced to 16 bits or fewer (24-bit, 32-bit, float and lossy\n"
    "IN written as 16- or 8-bit, 16-bit IN as 8-bit, and any IN given a\n"
    "gain or fades) are rounded with TPDF dither of +-1 LSB: the error\n"
    "becomes a steady, flat noise of 0.5 LSB RMS (-96 dBFS at 16 bits) that\n"
    "keeps sounds below one LSB audible instead of silent or distorted.\n"
    "The noise is a fixed sequence: the same IN gives the same bytes on\n"
    "every run.  --dither none rounds without it.  16-bit IN written as\n"
    "16-bit without a gain or fades is rounded by the resampler and never\n"
    "dithered.\n"
    "\n"
    "Limits: IN's rate and --rate from 1000 to 768000 Hz; the library\n"
    "refuses to change a rate by more than 256:1 (at default quality it\n"
    "takes greater increases); times up to 24:00:00.\n"
    "OUT is exactly as long as the part of IN converted, plus the padding:\n"
    "n frames become n x rate / IN's rate frames, to the nearest.\n"
    "\n"
    "Examples:\n"
    "  amix convert take1.wav take1-48k.flac --rate 48000 --layout stereo\n"
    "  amix convert talk.mp3 answer.wav -s 1:02.5 -d 20 --map 2 --loudness -16 \\\n"
    "    --fade-in 0.5 --fade-out 2\n"
    "  ffmpeg -v error -i clip.mp4 -f wav - |\n"
    "    amix convert - - --type wav --rate 48000 | ffmpeg -i - clip.flac\n",
    2, 2, run};

}  // namespace amix
