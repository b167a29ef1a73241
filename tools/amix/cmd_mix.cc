#include <cstdio>

#include "amix/commands.h"
#include "amix/levels.h"
#include "amix/output_file.h"
#include "amix/pipelines.h"
#include "amix/plot.h"

namespace amix {
namespace {

const char kHelp[] =
    "Usage: amix mix IN... -o OUT [--volume V1,V2,...] [--block BYTES]\n"
    "                [--rate HZ] [--layout L] [--plot PNG] [--summary]\n"
    "Mix the inputs into OUT (16-bit).  Each input is converted to the common\n"
    "rate and layout (the first input's unless given) as 16-bit samples,\n"
    "queued in a ring buffer, and the queues are mixed block by block by the\n"
    "multi-track mixer, whose master gain carries from block to block.\n"
    "\n"
    "  -o, --output OUT       the mixed file (required)\n"
    "  -V, --volume V1,...    one factor per input, 0 to 16 (default 1 each)\n"
    "  -B, --block BYTES      bytes per mixed block, even (default 4096)\n"
    "  -r, --rate HZ          common sample rate, 1000 to 768000\n"
    "  -l, --layout L         common layout: mono|stereo|2.1|quad|4.1|5.1|\n"
    "                         5.1-back|7.1|7.1-wide|3.0\n"
    "  -p, --plot PNG         also draw the waveform and block peaks\n"
    "  -s, --summary          no line per block, only the summary\n"
    "  -q, --quiet            no progress on the terminal\n"
    "  -v, --verbose          show the library's log lines\n"
    "  -h, --help             this help\n"
    "\n"
    "Prints each block's start time and peak level, marked 'limited' when the\n"
    "plain sum of the volume-scaled tracks left the 16-bit range and the\n"
    "master gain brought it back.  Shorter inputs are padded with silence,\n"
    "with a note for each.\n";

enum { kOutput = 'o', kVolume = 'V', kBlock = 'B', kRate = 'r', kLayout = 'l', kPlot = 'p',
       kSummary = 's' };

}  // namespace

int run_mix(int argc, char** argv, Globals& globals) {
  MixSettings settings;
  std::string out, plot_path;
  bool summary_only = false;
  bool help = false;
  const auto inputs = parse_command(
      argc, argv, "o:V:B:r:l:p:s",
      {{"output", true, kOutput},
       {"volume", true, kVolume},
       {"block", true, kBlock},
       {"rate", true, kRate},
       {"layout", true, kLayout},
       {"plot", true, kPlot},
       {"summary", false, kSummary}},
      1, static_cast<size_t>(argc), globals, kHelp, &help, [&](int c, const char* value) {
        switch (c) {
          case kOutput: out = value; break;
          case kVolume: settings.volumes = parse_volumes("--volume", value); break;
          case kBlock: settings.block_bytes = parse_block_bytes("--block", value); break;
          case kRate: settings.rate = parse_rate("--rate", value); break;
          case kLayout: settings.layout = &layout_by_name("--layout", value); break;
          case kPlot: plot_path = value; break;
          case kSummary: summary_only = true; break;
        }
      });
  if (help) return 0;
  if (out.empty()) throw UsageError("mix: missing -o OUT (see 'amix mix --help')");
  if (!plot_path.empty()) {
    if (plot_path == out) throw UsageError("mix: --plot and -o name the same file");
    check_output_path(plot_path, inputs);
  }

  WaveformPlot plot;
  auto on_block = [&](const MixBlock& b) {
    if (summary_only) return;
    if (b.index == 0) std::printf("block      start        peak\n");
    std::printf("%5lld  %8.3f s  %s%s\n", static_cast<long long>(b.index), b.start_seconds,
                format_dbfs(to_dbfs(b.peak)).c_str(), b.limited ? "  limited" : "");
  };
  const MixResult result =
      mix_files(inputs, out, settings, globals, on_block, plot_path.empty() ? nullptr : &plot);
  if (!plot_path.empty()) plot.write_png(plot_path, plot_title(out, result));
  for (const std::string& note : result.notes) std::fprintf(stderr, "amix: note: %s\n", note.c_str());
  std::printf("%s: %lld frames, %s, %.3f s, %lld blocks, %lld limited, peak %s, %.0fx real time\n",
              out.c_str(), static_cast<long long>(result.stats.frames_out),
              result.stats.output.describe().c_str(), result.stats.seconds_out,
              static_cast<long long>(result.blocks), static_cast<long long>(result.limited_blocks),
              format_dbfs(to_dbfs(result.peak)).c_str(), result.stats.speed());
  return 0;
}

}  // namespace amix
