#include <cstdio>
#include <memory>
#include <vector>

#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/commands/commands.h"
#include "amix/io/sound_file.h"
#include "amix/report/levels.h"
#include "amix/report/loudness.h"
#include "amix/report/progress.h"
#include "amix/report/report.h"

namespace amix {
namespace {

const char kAbout[] =
    "Print each file's container and encoding, rate, channels and layout,\n"
    "frames, duration, its peak and RMS level in dBFS, its loudness, and its\n"
    "text tags.  '-' reads standard input.\n";

const char kDetails[] =
    "Loudness follows ITU-R BS.1770 and EBU R128, as ffmpeg's ebur128 filter\n"
    "measures it with peak=true: integrated loudness in LUFS (gated at -70\n"
    "LUFS and 10 LU below), loudness range in LU (EBU Tech 3342: 3 s\n"
    "windows every 100 ms; 0 under 3 s), and true peak in dBTP (the signal\n"
    "resampled to 192 kHz).  LFE channels do not count; back and side\n"
    "channels weigh 1.41.  A file with nothing above -70 LUFS is 'silent'.\n"
    "\n"
    "NaN and infinite samples (of float files) are counted on a line of\n"
    "their own, left out of peak and RMS, and taken as 0 for loudness.  A\n"
    "file that is damaged or ends before its header says is warned about on\n"
    "stderr and measured as far as it decodes.  A file that cannot be read\n"
    "(or with --strict, such a file) is reported and skipped; the exit\n"
    "status is then 1.\n"
    "\n"
    "Limits: none of its own; a rate outside 1000 to 768000 Hz, which the\n"
    "other commands refuse, is marked, and its loudness not measured.\n"
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

std::string loudness_lines(const Loudness& l) {
  char range[32];
  std::snprintf(range, sizeof range, "%.1f LU", l.range);
  return "  loudness  " + format_lufs(l.integrated) + "\n" +
         "  range     " + (l.silent() ? std::string("silent") : range) + "\n" +
         "  true peak " + format_dbtp(l.true_peak) + "\n";
}

// The report of one file, built in full before anything is printed.
std::string info_report(const std::string& path, const ReadOptions& read) {
  SoundReader file(path, read);
  LevelMeter meter;
  // Loudness is measured at the rates the other commands take.
  std::unique_ptr<LoudnessMeter> loudness;
  if (file.rate() >= kMinRate && file.rate() <= kMaxRate)
    loudness = std::make_unique<LoudnessMeter>(file.rate(), file.channels(), file.layout());
  std::vector<float> block(static_cast<size_t>(4096 * file.channels()));
  Progress progress("info " + file.name(), file.frames());
  int64_t done = 0;
  for (;;) {
    const int64_t got = file.read_float(block.data(), 4096);
    if (got == 0) break;
    meter.add(block.data(), static_cast<size_t>(got * file.channels()));
    if (loudness) loudness->add(block.data(), got);
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
                "  rms       %s\n"
                "%s",
                path == "-" ? "standard input" : path.c_str(), file.describe_format().c_str(),
                rate_line(file.rate()).c_str(), file.channels(),
                layout != nullptr ? layout->name : "no layout the library knows",
                encoding_name(file.encoding()).c_str(), static_cast<long long>(done),
                format_clock_time(static_cast<double>(done) / file.rate()).c_str(),
                format_dbfs(meter.peak_dbfs()).c_str(), format_dbfs(meter.rms_dbfs()).c_str(),
                loudness ? loudness_lines(loudness->finish()).c_str() : "");
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
    "info", "FILE... [options]", "format, length, levels and loudness of each file", kAbout,
    kDetails, 1, SIZE_MAX, run};

}  // namespace amix
