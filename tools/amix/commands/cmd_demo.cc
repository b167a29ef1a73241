#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/commands/commands.h"
#include "amix/io/layouts.h"
#include "amix/commands/synth.h"
#include "amix/io/encoding.h"
#include "amix/io/output_file.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/pipelines.h"
#include "amix/report/plot.h"
#include "amix/report/report.h"

namespace amix {
namespace {

const char kAbout[] =
    "Synthesise a few tracks of different rates, layouts and sample formats\n"
    "(a 440 Hz mono tone at 44100 Hz 16-bit, a stereo chord at 48000 Hz\n"
    "float, a sweep at 22050 Hz 8-bit and a loud 5.1 burst at 32000 Hz\n"
    "32-bit), convert each to 48000 Hz stereo 16-bit, stream the tone through\n"
    "the blocking resampler and compare it with its conversion, mix all four,\n"
    "and draw the mix.  Writes WAV files and mix.png into DIR (default\n"
    "./amix-demo) and prints what it did and how fast.\n";

const char kDetails[] =
    "Limits: none of its own; it writes about 6 MB.\n"
    "\n"
    "Examples:\n"
    "  amix demo\n"
    "  amix demo /tmp/amix-demo\n";

struct Row {
  std::string step, file, format;
  double seconds, wall;
  std::string note;
};

// DIR itself, as mkdir makes it: its parent must exist.
void make_dir(const std::string& dir) {
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
    throw Error("cannot create directory '" + dir + "': " + std::strerror(errno));
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw Error("'" + dir + "' is not a directory");
}

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Frames at the start of `a` and `b` that are equal, and the frames of each.
struct Comparison {
  int64_t equal_frames, frames_a, frames_b;
};
Comparison compare_files(const std::string& a, const std::string& b) {
  SoundReader ra(a), rb(b);
  const int ch = ra.channels();
  std::vector<int16_t> ba(4096 * ch), bb(4096 * ch);
  Comparison c = {0, ra.frames(), rb.frames()};
  for (;;) {
    const int64_t na = ra.read(ba.data(), 4096, PCM_FORMAT_S16);
    const int64_t nb = rb.read(bb.data(), 4096, PCM_FORMAT_S16);
    const int64_t n = std::min(na, nb);
    for (int64_t f = 0; f < n; ++f) {
      if (std::memcmp(&ba[f * ch], &bb[f * ch], ch * sizeof(int16_t)) != 0) return c;
      ++c.equal_frames;
    }
    if (n < 4096) return c;
  }
}

void print_table(const std::vector<Row>& rows) {
  report("%-8s %-16s %-30s %11s %9s %7s\n", "step", "file", "format", "audio", "time",
              "speed");
  for (const Row& r : rows) {
    if (r.step.empty()) {
      report("%-8s %s\n", "", r.note.c_str());
      continue;
    }
    char speed[32] = "";
    if (r.wall > 0 && r.seconds > 0) std::snprintf(speed, sizeof speed, "%.0fx", r.seconds / r.wall);
    char time[32] = "";
    const std::string audio = r.seconds > 0 ? format_clock_time(r.seconds) : "";
    if (r.wall > 0) std::snprintf(time, sizeof time, "%.1f ms", r.wall * 1000.0);
    report("%-8s %-16s %-30s %11s %9s %7s\n", r.step.c_str(), r.file.c_str(),
                r.format.c_str(), audio.c_str(), time, speed);
    if (!r.note.empty()) report("%-8s %s\n", "", r.note.c_str());
  }
}

int run(int argc, char** argv) {
  const auto operands = parse_command(kDemoCommand, {}, argc, argv);
  if (!operands) return 0;
  std::string dir = operands->empty() ? "amix-demo" : (*operands)[0];
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  make_dir(dir);
  const auto path = [&](const std::string& name) { return dir + "/" + name; };
  const auto target = [&](const std::string& name) { return output_target(path(name), ""); };

  std::vector<Row> rows;
  const StreamFormat common = {48000, PCM_FORMAT_S16, &layout_by_name("layout", "stereo")};
  const std::vector<SynthTrack> tracks = demo_tracks();
  std::vector<std::string> sources;
  for (const SynthTrack& t : tracks) {
    const auto start = std::chrono::steady_clock::now();
    const std::string file = t.name + ".wav";
    write_track(t, path(file));
    sources.push_back(path(file));
    rows.push_back({"synth", file, t.format.describe(), t.seconds, since(start), ""});
  }

  ConvertSettings to_common;
  to_common.out.rate = common.rate;
  to_common.out.layout = common.layout;
  to_common.out.bits = plain_encoding(common.pcm_format);
  for (const SynthTrack& t : tracks) {
    const std::string file = t.name + "-48k.wav";
    const RunStats s = convert_file(path(t.name + ".wav"), target(file), to_common);
    rows.push_back({"convert", file, s.output.describe(), s.seconds_out, s.wall_seconds, ""});
  }

  StreamSettings streamed;
  streamed.out.rate = common.rate;
  streamed.out.layout = common.layout;
  const RunStats s = stream_file(sources[0], target("tone-stream.wav"), streamed);
  const Comparison c = compare_files(path("tone-48k.wav"), path("tone-stream.wav"));
  const bool stream_matches = c.equal_frames == c.frames_a && c.frames_b == c.frames_a;
  char note[200];
  if (stream_matches) {
    std::snprintf(note, sizeof note, "equals tone-48k.wav, all its %lld frames",
                  static_cast<long long>(c.frames_a));
  } else {
    std::snprintf(note, sizeof note,
                  "DIFFERS from tone-48k.wav (%lld of %lld frames equal, %lld in all)",
                  static_cast<long long>(c.equal_frames), static_cast<long long>(c.frames_a),
                  static_cast<long long>(c.frames_b));
  }
  rows.push_back({"stream", "tone-stream.wav", s.output.describe(), s.seconds_out,
                  s.wall_seconds, note});

  MixSettings mixed;
  mixed.out.rate = common.rate;
  mixed.out.layout = common.layout;
  mixed.volumes = {0.6f, 0.5f, 0.4f, 1.5f};
  WaveformPlot plot;
  TempFile png(path("mix.png"));
  const MixResult m = mix_files(sources, target("mix.wav"), mixed, nullptr, &plot);
  std::snprintf(note, sizeof note, "volumes 0.6,0.5,0.4,1.5; %lld blocks of %.0f ms, "
                "%lld limited; peak %.2f dBFS",
                static_cast<long long>(m.blocks), mixed.limiter_block_ms,
                static_cast<long long>(m.limited_blocks),
                20.0 * std::log10(std::max(m.peak, 1e-9)));
  rows.push_back({"mix", "mix.wav", m.stats.output.describe(), m.stats.seconds_out,
                  m.stats.wall_seconds, note});
  for (std::string n : m.notes) {
    // The notes name the inputs by path; the table names files in DIR.
    for (size_t at; (at = n.find(dir + "/")) != std::string::npos;) n.erase(at, dir.size() + 1);
    rows.push_back({"", "", "", 0, 0, "note: " + n});
  }

  const auto start = std::chrono::steady_clock::now();
  plot.write_png(png, plot_title("mix.wav", m), m.inputs);
  rows.push_back({"plot", "mix.png", "PNG, 1200 px wide", 0, since(start), ""});

  report("amix demo: files in %s/\n", dir.c_str());
  print_table(rows);
  return stream_matches ? 0 : kExitFailure;
}

}  // namespace

extern const Command kDemoCommand = {
    "demo", "[DIR]", "synthesise tracks, convert, stream, mix, plot", kAbout, kDetails, 0, 1,
    run};

}  // namespace amix
