#include <cstdio>
#include <vector>

#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/commands/commands.h"
#include "amix/io/sound_file.h"
#include "amix/report/levels.h"
#include "amix/report/progress.h"
#include "amix/report/report.h"

namespace amix {
namespace {

const char kAbout[] =
    "Print each file's container and encoding, rate, channels and layout,\n"
    "frames, duration, its peak and RMS level in dBFS, and its text tags.\n"
    "'-' reads standard input.\n";

const char kDetails[] =
    "NaN and infinite samples (of float files) are counted on a line of\n"
    "their own and left out of peak and RMS.  A file that is damaged or\n"
    "ends before its header says is warned about on stderr and measured as\n"
    "far as it decodes.  A file that cannot be read (or with --strict, such\n"
    "a file) is reported and skipped; the exit status is then 1.\n"
    "\n"
    "Limits: none of its own; a rate outside 1000 to 768000 Hz, which the\n"
    "other commands refuse, is marked.\n"
    "\n"
    "Examples:\n"
    "  amix info take1.wav\n"
    "  amix info *.flac\n"
    "  ffmpeg -v error -i clip.mp4 -f wav - | amix info -\n";

std::string rate_line(int rate) {
  std::string line = std::to_string(rate) + " Hz";
  if (rate < kMinRate || rate > kMaxRate)
    line += " (outside " + std::to_string(kMinRate) + " to " + std::to_string(kMaxRate) +
            " Hz: convert, mix and stream refuse it)";
  return line;
}

// The report of one file, built in full before anything is printed.
std::string info_report(const std::string& path, const ReadOptions& read) {
  SoundReader file(path, read);
  LevelMeter meter;
  std::vector<float> block(static_cast<size_t>(4096 * file.channels()));
  Progress progress("info " + file.name(), file.frames());
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
                "  rate      %s\n"
                "  channels  %d (%s)\n"
                "  samples   %s\n"
                "  frames    %lld\n"
                "  duration  %s\n"
                "  peak      %s\n"
                "  rms       %s\n",
                path == "-" ? "standard input" : path.c_str(), file.describe_format().c_str(),
                rate_line(file.rate()).c_str(), file.channels(),
                layout != nullptr ? layout->name : "no layout the library knows",
                encoding_name(file.encoding()).c_str(), static_cast<long long>(done),
                format_clock_time(static_cast<double>(done) / file.rate()).c_str(), format_dbfs(meter.peak_dbfs()).c_str(),
                format_dbfs(meter.rms_dbfs()).c_str());
  std::string text = buf;
  for (const Tag& t : file.tags()) {
    std::snprintf(buf, sizeof buf, "  %-9s %s\n", t.name, t.value.c_str());
    text += buf;
  }
  if (meter.non_finite() > 0)
    text += "  nan/inf   " + std::to_string(meter.non_finite()) +
              " samples, left out of peak and rms\n";
  return text;
}

int run(int argc, char** argv) {
  ReadOptions read;
  const auto files = parse_command(kInfoCommand, {strict_option(&read)}, argc, argv);
  if (!files) return 0;
  int status = 0;
  bool shown = false;
  for (const std::string& file : *files) {
    try {
      const std::string text = info_report(file, read);
      // A blank line between the reports of consecutive files.
      report("%s%s", shown ? "\n" : "", text.c_str());
      shown = true;
    } catch (const Error& e) {
      flush_reports();
      error_line(e.what());
      status = e.code();
    }
  }
  return status;
}

}  // namespace

extern const Command kInfoCommand = {
    "info", "FILE... [options]", "format, length and levels of each file", kAbout, kDetails, 1,
    SIZE_MAX, run};

}  // namespace amix
