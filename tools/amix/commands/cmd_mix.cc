#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/commands/commands.h"
#include "amix/io/output_file.h"
#include "amix/pipelines/pipelines.h"
#include "amix/report/levels.h"
#include "amix/report/plot.h"
#include "amix/report/report.h"

namespace amix {
namespace {

const char kAbout[] =
    "Mix the inputs into OUT (16-bit unless --bits says otherwise).  Each\n"
    "input is converted to the common rate (at --quality, as for convert)\n"
    "and layout (the first input's unless given), placed on a timeline at\n"
    "its start time with silence before it, and queued in a ring buffer;\n"
    "the queues are mixed in blocks of --limiter-block by the library's\n"
    "mixer for OUT's width, its master gain carrying from block to block.\n";

const char kDetails[] =
    "Each input plays at its --volume, faded in over its first --fade-in and\n"
    "out over its last --fade-out: linear ramps from and to silence, of\n"
    "which the lower wins where they overlap.  A fade-out ends on the\n"
    "input's last frame wherever that lies (its frames wait in memory until\n"
    "the input ends).  The volumes and fades go on through the library's\n"
    "volume ramps, each stretch of an input starting at the volume where the\n"
    "last one ended: no volume change has steps.\n"
    "\n"
    "OUT of 16 bits or fewer is mixed as 16-bit samples by the multi-track\n"
    "mixer (8-bit is dithered from them); 24- and 32-bit OUT as 32-bit\n"
    "samples (24-bit is rounded from them), float OUT as float, each by the\n"
    "adaptive-gain mixer of that width.  Inputs wider than a 16-bit mix\n"
    "(24-bit, 32-bit, float, lossy) are brought to 16 bits with TPDF dither\n"
    "after their volume and fades, as convert dithers (--dither none: plain\n"
    "rounding by the resampler).\n"
    "\n"
    "The master gain is the mix's limiter.  When the plain sum of the\n"
    "volume-scaled tracks would leave full scale in a block, the gain\n"
    "drops at once so that the block's peak just fits; after every block it\n"
    "recovers 1/32 of its distance to 1.  The block thus sets the release:\n"
    "63% of the way back takes 32 blocks, 0.63 s at the default 20 ms,\n"
    "0.16 s at 5 ms, 3.2 s at 100 ms.  OUT's bytes depend on the common rate\n"
    "and the block's length in time, never on --buffer.\n"
    "\n"
    "With --table, prints a line per block: its start on the timeline, its\n"
    "peak, the master gain its sums were multiplied by (as the mixer reports\n"
    "it), 'limited' when the plain sum left full scale, and the inputs that\n"
    "sound in it; then the summary, with the lowest master gain.  The plot\n"
    "draws the waveform with each block's peak and the limited blocks, the\n"
    "master gain beside it, and a lane for each input on the timeline.\n"
    "Each input lasts exactly its own length at the common rate; one that\n"
    "ends before the mix is padded with silence, with a note on stderr.\n"
    "\n"
    "With --loudness the inputs are mixed twice: the first mix is measured\n"
    "(as 'amix info' measures a file), the second written with one gain, as\n"
    "for convert: the mixer's samples take it in floating point and return\n"
    "to OUT's width, with TPDF dither at 16 bits or fewer (--dither none:\n"
    "plain rounding).  The table, the plot and the peak show what is\n"
    "written.\n"
    "\n"
    "Limits: the inputs' rates and --rate from 1000 to 768000 Hz; the\n"
    "library refuses to change a rate by more than 256:1 (at default\n"
    "quality it takes greater increases); --limiter-block from 5 to 100\n"
    "ms; fades up to 10:00.  Standard input ('-') is one input at the\n"
    "most.\n"
    "\n"
    "Examples:\n"
    "  amix mix voice.wav music.wav -o mixed.wav --volume 1,0.5 --plot mixed.png\n"
    "  amix mix intro.wav talk.flac -o show.wav --at 0,2.5 --volume -6dB,1 \\\n"
    "    --fade-in 0,0.5 --fade-out 3,0.5 --table\n"
    "  amix mix a.wav b.wav -o - --type wav --bits 24 | ffmpeg -i - mixed.flac\n";

// "1-3,5" for inputs 0, 1, 2 and 4; "-" for none.
std::string input_list(const std::vector<int>& inputs) {
  std::string list;
  for (size_t i = 0; i < inputs.size();) {
    size_t j = i;
    while (j + 1 < inputs.size() && inputs[j + 1] == inputs[j] + 1) ++j;
    list += (list.empty() ? "" : ",") + std::to_string(inputs[i] + 1);
    if (j > i) list += (j == i + 1 ? "," : "-") + std::to_string(inputs[j] + 1);
    i = j + 1;
  }
  return list.empty() ? "-" : list;
}

void print_block(const MixBlock& b) {
  if (b.index == 0) report("block        start          peak   gain  limited  inputs\n");
  report("%5lld  %11s  %12s  %5.3f  %-7s  %s\n", static_cast<long long>(b.index),
         format_clock_time(b.start_seconds).c_str(), format_dbfs(to_dbfs(b.peak)).c_str(), b.gain,
         b.limited ? "limited" : "", input_list(b.inputs).c_str());
}

int run(int argc, char** argv) {
  MixSettings settings;
  std::string out_path, type, plot_path;
  bool table = false;
  const std::vector<Option> options = {
      {'o', "output", "OUT", "the mixed file (required)",
       [&](const std::string& v) { out_path = v; }},
      {'V', "volume", "V1,...",
       "one volume per input: a factor from 0 to 16 or a level in dB up to +24 (default 1 "
       "each; -6dB is 0.501)",
       [&](const std::string& v) { settings.volumes = parse_levels("--volume", v); }},
      {'a', "at", "T1,...",
       "one start time per input, up to 24:00:00 (default 0 each), to the nearest frame; "
       "times as for convert",
       [&](const std::string& v) { settings.starts = parse_starts("--at", v); }},
      {0, "fade-in", "T1,...",
       "one fade-in per input, up to 10:00 (default 0 each): over its first T, from silence "
       "to its volume",
       [&](const std::string& v) { settings.fade_in = parse_fades("--fade-in", v); }},
      {0, "fade-out", "T1,...",
       "one fade-out per input, up to 10:00 (default 0 each): over its last T, to silence",
       [&](const std::string& v) { settings.fade_out = parse_fades("--fade-out", v); }},
      {'L', "limiter-block", "MS",
       "the limiter's block, 5 to 100 ms (default 20), rounded to whole frames; it sets "
       "the limiter's release (see below)",
       [&](const std::string& v) {
         settings.limiter_block_ms = parse_decimal("--limiter-block", v, kMinLimiterBlockMs,
                                                   kMaxLimiterBlockMs, "a block length", " ms");
       }},
      {0, "buffer", "FRAMES",
       "frames read from each input at a time, 16 to 65536 (default 1024); OUT does not "
       "depend on it",
       [&](const std::string& v) {
         settings.buffer_frames = parse_integer("--buffer", v, 16, 65536, "a frame count", "");
       }},
      rate_option(&settings.out.rate, "common sample rate, "),
      quality_option(&settings.out.quality),
      {'b', "bits", "B", "OUT's samples: 8|16|24|32|float (default 16; see below)",
       [&](const std::string& v) { settings.out.bits = parse_bits("--bits", v); }},
      layout_option(&settings.out.layout, "common layout: "),
      type_option(&type, "OUT's type, as for convert"),
      {'p', "plot", "PNG", "also draw the mix into PNG (a name ending in .png)",
       [&](const std::string& v) { plot_path = v; }},
      {'T', "table", nullptr, "print a line per block before the summary",
       [&](const std::string&) { table = true; }},
      loudness_option(&settings.loudness),
      true_peak_option(&settings.loudness),
      dither_option(&settings.dither),
      strict_option(&settings.read),
  };
  const auto parsed = parse_command(kMixCommand, options, argc, argv);
  if (!parsed) return 0;
  check_loudness(settings.loudness, "mix");
  const std::vector<std::string>& inputs = *parsed;
  if (out_path.empty()) throw UsageError("mix: missing -o OUT (see 'amix mix --help')");
  if (!plot_path.empty()) {
    check_plot_name(plot_path);
    if (plot_path == out_path) throw UsageError("mix: --plot and -o name the same file");
  }
  const OutputTarget out = output_target(out_path, type);
  if (out.is_stdout()) reports_to_stderr();
  // The picture's file is made before the mix, so that a path it cannot
  // take fails at once.
  std::unique_ptr<TempFile> png;
  if (!plot_path.empty()) {
    check_output_path(plot_path, inputs);
    png = std::make_unique<TempFile>(plot_path);
  }

  WaveformPlot plot;
  const MixResult result =
      mix_files(inputs, out, settings, table ? print_block : nullptr, png ? &plot : nullptr);
  if (png) plot.write_png(*png, plot_title(out_path, result), result.inputs);
  for (const std::string& n : result.notes) note(n);
  char gain[64];
  std::snprintf(gain, sizeof gain, "master gain down to %.3f, ", result.lowest_gain);
  print_summary(out, result.stats,
                std::to_string(result.blocks) + " blocks, " +
                    std::to_string(result.limited_blocks) + " limited, " + gain + "peak " +
                    format_dbfs(to_dbfs(result.peak)));
  return 0;
}

}  // namespace

extern const Command kMixCommand = {
    "mix", "IN... -o OUT [options]", "through the multi-track mixer, on a timeline", kAbout,
    kDetails, 1, SIZE_MAX, run};

}  // namespace amix
