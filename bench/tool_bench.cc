// The daily mix: two inputs of AMIX_BENCH_MINUTES minutes (default 30), the
// second 44.1 kHz (resampled) and placed 5 s in, mixed to a 48 kHz 16-bit
// stereo FLAC, amix with its picture of the mix, against ffmpeg's amix
// filter on the same generated inputs.  Each iteration runs the program
// once; the time is the wall clock of the run, and `cpu` its CPU time (user
// + system, all threads), in seconds.
//
//   lib     amix mix a.wav b.wav --at 0,5 --plot mix.png -o mix.flac
//   ffmpeg  ffmpeg -i a.wav -i b.wav, [1] adelay 5 s, amix (normalize=0:
//           the plain sum, as amix's), to 48 kHz 16-bit FLAC
//   ffmpeg_default  the same with ffmpeg's own choice of output (24-bit at
//           the filter's rate)
//
// AMIX_BENCH_AMIX names another amix to time (an older build, say).  On a
// shared machine, compare medians of interleaved runs:
//   bench_tool --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

// A music-like 16-bit stereo file: `noise` gives a tremolo of low-passed
// noise, else a sawtooth and a square, so that FLAC has work to do.
bool write_input(const std::string& path, int rate, double seconds, bool noise) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  const auto frames = static_cast<int64_t>(seconds * rate);
  std::vector<int16_t> block(2 * 4096);
  uint32_t lcg = 12345;
  double low = 0;
  for (int64_t done = 0; done < frames;) {
    const int64_t n = std::min<int64_t>(4096, frames - done);
    for (int64_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(done + i) / rate;
      double v;
      if (noise) {
        lcg = lcg * 1664525u + 1013904223u;
        low += 0.1 * ((lcg >> 8) / 8388608.0 - 1.0 - low);
        v = 2.5 * low * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t));
      } else {
        v = 0.15 * (2 * std::fmod(220 * t, 1.0) - 1) + 0.15 * (std::fmod(331 * t, 1.0) < 0.5 ? 1 : -1);
      }
      block[2 * i] = block[2 * i + 1] = static_cast<int16_t>(std::lround(v * 32767 * 0.8));
    }
    sf_writef_short(f, block.data(), n);
    done += n;
  }
  return sf_close(f) == 0;
}

class Inputs {
 public:
  Inputs() {
    const char* minutes = std::getenv("AMIX_BENCH_MINUTES");
    seconds_ = 60.0 * (minutes != nullptr ? std::atof(minutes) : 30.0);
    dir_ = (std::filesystem::temp_directory_path() / "amix-bench-XXXXXX").string();
    if (mkdtemp(dir_.data()) == nullptr) return;
    ok_ = write_input(path("a.wav"), 48000, seconds_, true) &&
          write_input(path("b.wav"), 44100, seconds_, false);
  }
  ~Inputs() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool ok() const { return ok_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
  double seconds_ = 0;
  bool ok_ = false;
};

const Inputs& inputs() {
  static const Inputs in;
  return in;
}

// Runs `argv` with its output thrown away; its wall time in seconds, and
// its CPU time in `*cpu`; a negative time when it failed.
double run(const std::vector<std::string>& args, double* cpu) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  rusage usage = {};
  wait4(pid, &status, 0, &usage);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  *cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? wall : -1;
}

void time_runs(benchmark::State& state, const std::vector<std::string>& args) {
  if (!inputs().ok()) {
    state.SkipWithError("cannot write the inputs");
    return;
  }
  if (args[0].empty()) {
    state.SkipWithError("ffmpeg is not installed");
    return;
  }
  double cpu_total = 0;
  for (auto _ : state) {
    double cpu = 0;
    const double wall = run(args, &cpu);
    if (wall < 0) {
      state.SkipWithError((args[0] + " failed").c_str());
      return;
    }
    state.SetIterationTime(wall);
    cpu_total += cpu;
  }
  state.counters["cpu"] = benchmark::Counter(cpu_total, benchmark::Counter::kAvgIterations);
}

void BM_amix(benchmark::State& state) {
  const Inputs& in = inputs();
  const char* exe = std::getenv("AMIX_BENCH_AMIX");
  time_runs(state, {exe != nullptr ? exe : AMIX_EXE, "-q", "mix", in.path("a.wav"), in.path("b.wav"), "--at", "0,5",
                    "--plot", in.path("amix.png"), "-o", in.path("amix.flac")});
}

std::vector<std::string> ffmpeg(const std::vector<std::string>& output) {
  const Inputs& in = inputs();
  std::vector<std::string> args = {AMIX_FFMPEG, "-v", "error", "-nostdin", "-y", "-i",
                                   in.path("a.wav"), "-i", in.path("b.wav"), "-filter_complex",
                                   "[1]adelay=5000:all=1[b];[0][b]amix=inputs=2:normalize=0"};
  args.insert(args.end(), output.begin(), output.end());
  return args;
}

void BM_ffmpeg(benchmark::State& state) {
  time_runs(state,
            ffmpeg({"-ar", "48000", "-sample_fmt", "s16", inputs().path("ffmpeg.flac")}));
}

void BM_ffmpeg_default(benchmark::State& state) {
  time_runs(state, ffmpeg({inputs().path("ffmpeg-default.flac")}));
}

}  // namespace

BENCHMARK(BM_amix)->Name("mix_to_flac/lib")->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ffmpeg)->Name("mix_to_flac/ffmpeg")->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ffmpeg_default)
    ->Name("mix_to_flac/ffmpeg_default")
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
