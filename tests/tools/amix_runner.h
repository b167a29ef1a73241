// Runs the built amix and makes and reads the sound files the tests need.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace amix_test {

struct Result {
  int status;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

struct RunOptions {
  std::string stdin_path = "/dev/null";
  // Standard output is a pipe whose reader has already gone.
  bool stdout_closed = false;
};

// Runs amix with `args`; stdout (unless closed) and stderr are captured.
Result run_amix(const std::vector<std::string>& args, const RunOptions& options = {});

// Runs `script` with sh -c, where $AMIX, $FFMPEG and $SOX name the tools
// (the last two empty when not installed); stdin is /dev/null, stdout and
// stderr are captured.
Result run_shell(const std::string& script);

// Whether ffmpeg and sox were found when the tests were configured.
bool have_ffmpeg();
bool have_sox();

// A fresh directory, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Names of the entries, sorted (hidden ones included).
  std::vector<std::string> entries() const;

 private:
  std::string dir_;
};

struct Sound {
  SF_INFO info = {};
  std::vector<int> channel_map;  // empty when the file has none
  std::vector<int16_t> s16;      // all samples, interleaved
  std::vector<double> f64;       // the same, normalised
  int64_t frames() const { return info.frames; }
};

// The bytes of a file.
std::string slurp(const std::string& path);

// Writes interleaved 16-bit samples; `format` is a full SF_FORMAT_* code.
void write_s16(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples,
               int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16);
// Writes normalised samples, stored as `format`.
void write_f64(const std::string& path, int rate, int channels, const std::vector<double>& samples,
               int format);
Sound read_sound(const std::string& path);

// amplitude * sin(2 pi freq t), 16-bit, same value on every channel.
std::vector<int16_t> sine_s16(int rate, int channels, double seconds, double freq,
                              double amplitude);

// A fresh directory for each test, and runs of amix whose exit status is
// checked.
class ToolTest : public ::testing::Test {
 protected:
  std::string p(const std::string& name) const { return dir.path(name); }
  // Runs amix; the test fails (and goes on) when it exits with other than
  // `status`.
  Result amix(const std::vector<std::string>& args, int status = 0,
              const RunOptions& options = {}) {
    Result r = run_amix(args, options);
    EXPECT_EQ(r.status, status) << r.err;
    return r;
  }
  // Runs `script` (as run_shell) in the test's directory; the test fails
  // (and goes on) when it exits with other than `status`.
  Result sh(const std::string& script, int status = 0) {
    Result r = run_shell("cd '" + dir.path(".") + "' || exit 99\n" + script);
    EXPECT_EQ(r.status, status) << script << "\n" << r.err;
    return r;
  }

  TempDir dir;
};

// The amplitude of a sine of `freq` Hz in `x` sampled at `rate` Hz: a
// single-bin DFT over all of `x`.
inline double sine_amplitude(const std::vector<double>& x, double freq, double rate) {
  double re = 0, im = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    re += x[i] * std::cos(2 * M_PI * freq * i / rate);
    im += x[i] * std::sin(2 * M_PI * freq * i / rate);
  }
  return 2 * std::hypot(re, im) / x.size();
}

inline double mean_square(const std::vector<double>& x) {
  double sum = 0;
  for (double v : x) sum += v * v;
  return sum / x.size();
}

// Frequency of channel `ch` from its zero crossings, over the middle of the
// signal (ends trimmed by 10%).
double measured_frequency(const Sound& s, int ch);
// RMS of channel `ch` in dBFS over the same middle part.
double measured_rms_dbfs(const Sound& s, int ch);
// The amplitude of a sine of `freq` Hz in channel `ch`, in dBFS (1.0 is
// 0 dBFS), over the same middle part: a single-bin DFT.
double tone_dbfs(const Sound& s, int ch, double freq);

}  // namespace amix_test
