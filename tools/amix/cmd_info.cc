#include <cstdio>
#include <vector>

#include "amix/commands.h"
#include "amix/levels.h"
#include "amix/progress.h"
#include "amix/sound_file.h"

namespace amix {
namespace {

const char kHelp[] =
    "Usage: amix info FILE...\n"
    "Print each file's rate, channels and layout, sample format, frames,\n"
    "duration, and its peak and RMS level in dBFS.\n"
    "\n"
    "  -q, --quiet    no progress on the terminal\n"
    "  -v, --verbose  show the library's log lines\n"
    "  -h, --help     this help\n"
    "\n"
    "A file that cannot be read is reported and skipped; the exit status is\n"
    "then 1.\n";

// The report of one file, built in full before anything is printed.
std::string info_report(const std::string& path, const Globals& globals) {
  SoundReader file(path);
  LevelMeter meter;
  std::vector<float> block(static_cast<size_t>(4096 * file.channels()));
  Progress progress(globals, "info " + path, file.frames());
  int64_t done = 0;
  for (;;) {
    const int64_t got = file.read_float(block.data(), 4096);
    if (got == 0) break;
    meter.add(block.data(), static_cast<size_t>(got * file.channels()));
    done += got;
    progress.update(done);
  }
  const Layout* layout = file.layout();
  char buf[1024];
  std::snprintf(buf, sizeof buf,
                "%s\n"
                "  format    %s\n"
                "  rate      %d Hz\n"
                "  channels  %d (%s)\n"
                "  samples   %s\n"
                "  frames    %lld\n"
                "  duration  %.3f s\n"
                "  peak      %s\n"
                "  rms       %s\n",
                path.c_str(), file.describe_format().c_str(), file.rate(), file.channels(),
                layout != nullptr ? layout->name : "no layout the library knows",
                pcm_format_name(file.pcm_format()), static_cast<long long>(done),
                static_cast<double>(done) / file.rate(), format_dbfs(meter.peak_dbfs()).c_str(),
                format_dbfs(meter.rms_dbfs()).c_str());
  return buf;
}

}  // namespace

int run_info(int argc, char** argv, Globals& globals) {
  bool help = false;
  const auto files = parse_command(argc, argv, "", {}, 1, static_cast<size_t>(argc), globals,
                                   kHelp, &help, [](int, const char*) {});
  if (help) return 0;
  int status = 0;
  bool shown = false;
  for (const std::string& file : files) {
    try {
      const std::string report = info_report(file, globals);
      // A blank line between the reports of consecutive files.
      std::printf("%s%s", shown ? "\n" : "", report.c_str());
      shown = true;
    } catch (const Error& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "amix: %s\n", e.what());
      status = e.code();
    }
  }
  return status;
}

}  // namespace amix
