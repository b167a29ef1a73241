#include "tests/tools/amix_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/deadline.h"

extern char** environ;

namespace amix_test {
namespace {

// Samples of channel `ch` from 10% to 90% of the signal.
std::vector<double> middle(const Sound& s, int ch) {
  const int64_t n = s.frames();
  std::vector<double> out;
  for (int64_t f = n / 10; f < n - n / 10; ++f) out.push_back(s.f64[f * s.info.channels + ch]);
  return out;
}

// Longer than any run takes: one that hangs is killed, and its test fails
// on the status instead of waiting for ctest's limit.
constexpr std::chrono::milliseconds kRunLimit{15000};

// Spawns `argv` with stdin from `stdin_path`, stderr captured, and stdout
// captured or (`stdout_closed`) a pipe nobody reads.
Result spawn(std::vector<std::string> argv_s, const RunOptions& options) {
  const TempDir capture;
  const std::string out = capture.path("out"), err = capture.path("err");
  int pipe_fds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, options.stdin_path.c_str(), O_RDONLY, 0);
  if (options.stdout_closed) {
    if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    close(pipe_fds[0]);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (std::string& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (pipe_fds[1] >= 0) close(pipe_fds[1]);
  if (rc != 0) throw std::runtime_error("cannot start " + argv_s[0]);
  int status = 0;
  const bool ended = eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, kRunLimit);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  Result r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = slurp(out);
  r.err = slurp(err);
  if (!ended) {
    r.err += "(killed: still running after " + std::to_string(scaled(kRunLimit).count()) + " ms)\n";
  }
  return r;
}

}  // namespace

Result run_amix(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<std::string> argv = {AMIX_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn(argv, options);
}

Result run_shell(const std::string& script) {
  const std::string tools = "AMIX='" AMIX_EXE "' FFMPEG='" AMIX_FFMPEG "' SOX='" AMIX_SOX "'\n";
  return spawn({"/bin/sh", "-c", tools + script}, {});
}

bool have_ffmpeg() { return AMIX_FFMPEG[0] != '\0'; }
bool have_sox() { return AMIX_SOX[0] != '\0'; }

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "amix-test-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::vector<std::string> TempDir::entries() const {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {
template <typename T, typename Write>
void write_sound(const std::string& path, int rate, int channels, const std::vector<T>& samples,
                 int format, Write write) {
  SF_INFO info = {};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  write(f, samples.data(), static_cast<sf_count_t>(samples.size()));
  sf_close(f);
}
}  // namespace

void write_s16(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples,
               int format) {
  write_sound(path, rate, channels, samples, format, sf_write_short);
}

void write_f64(const std::string& path, int rate, int channels, const std::vector<double>& samples,
               int format) {
  write_sound(path, rate, channels, samples, format, sf_write_double);
}

Sound read_sound(const std::string& path) {
  Sound s;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &s.info);
  if (f == nullptr) throw std::runtime_error("cannot read " + path);
  std::vector<int> map(static_cast<size_t>(s.info.channels));
  if (sf_command(f, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                 static_cast<int>(map.size() * sizeof(int))) == SF_TRUE)
    s.channel_map = map;
  const size_t n = static_cast<size_t>(s.info.frames * s.info.channels);
  s.s16.resize(n);
  s.f64.resize(n);
  sf_read_short(f, s.s16.data(), static_cast<sf_count_t>(n));
  sf_seek(f, 0, SEEK_SET);
  sf_read_double(f, s.f64.data(), static_cast<sf_count_t>(n));
  sf_close(f);
  return s;
}

std::vector<int16_t> sine_s16(int rate, int channels, double seconds, double freq,
                              double amplitude) {
  const size_t frames = static_cast<size_t>(std::lround(seconds * rate));
  std::vector<int16_t> out(frames * channels);
  for (size_t i = 0; i < frames; ++i) {
    const double v = amplitude * 32767.0 * std::sin(2 * M_PI * freq * i / rate);
    for (int c = 0; c < channels; ++c) out[i * channels + c] = static_cast<int16_t>(std::lround(v));
  }
  return out;
}

double measured_frequency(const Sound& s, int ch) {
  const std::vector<double> x = middle(s, ch);
  // First and last upward zero crossing, interpolated between samples.
  double first = -1, last = -1;
  int cycles = -1;
  for (size_t i = 1; i < x.size(); ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) {
      const double at = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0) first = at;
      last = at;
      ++cycles;
    }
  }
  if (cycles <= 0) return 0;
  return cycles * s.info.samplerate / (last - first);
}

double measured_rms_dbfs(const Sound& s, int ch) {
  return 10 * std::log10(mean_square(middle(s, ch)));
}

double tone_dbfs(const Sound& s, int ch, double freq) {
  return 20 * std::log10(sine_amplitude(middle(s, ch), freq, s.info.samplerate));
}

}  // namespace amix_test
