#include "tests/resample/quality_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <numeric>
#include <vector>

namespace amix_test {
namespace {

// Every tone is a whole multiple of this many hertz, and so is every alias
// and image of it at rates that are multiples of it.
constexpr uint32_t kUnit = 50;
// Frames at the lower rate left out before the window (the filter's start)
// and after it.
constexpr int64_t kMargin = 512;
constexpr int64_t kLeastWindow = 8192;
constexpr double kThdnAmplitude = 0.8912509381337456;  // -1 dBFS

// sin and cos of 2 pi j / rate for every j: with whole-hertz tones the phase
// of sample k is (f * k) mod rate exactly, with no drift over long signals.
struct Table {
  std::vector<double> sin, cos;
};

const Table& table(uint32_t rate) {
  static std::map<uint32_t, Table> tables;
  Table& t = tables[rate];
  if (t.sin.empty()) {
    t.sin.resize(rate);
    t.cos.resize(rate);
    for (uint32_t j = 0; j < rate; ++j) {
      const long double angle = 2 * 3.14159265358979323846264338327950288L * j / rate;
      t.sin[j] = double(std::sin(angle));
      t.cos[j] = double(std::cos(angle));
    }
  }
  return t;
}

struct Tone {
  uint32_t hz;
  double amplitude;
};

// Tones sampled at `rate`, sin phase 0 at frame 0.
std::vector<float> tones(const std::vector<Tone>& list, uint32_t rate, int64_t frames) {
  const Table& t = table(rate);
  std::vector<float> v(size_t(frames), 0.0f);
  for (int64_t k = 0; k < frames; ++k) {
    double x = 0;
    for (const Tone& tone : list) x += tone.amplitude * t.sin[uint64_t(tone.hz) * k % rate];
    v[size_t(k)] = float(x);
  }
  return v;
}

// The analysis window at the destination rate: whole periods of every
// multiple of kUnit, past the filter's start.
struct Window {
  int64_t start, length;
};

Window window_for(const RatePair& pair) {
  const int64_t period = pair.dst / std::gcd(pair.dst, kUnit);
  const int64_t margin = kMargin * pair.dst / std::min(pair.src, pair.dst);
  return {margin, (kLeastWindow + period - 1) / period * period};
}

// Frames of input that cover the window and a margin after it.
int64_t input_frames(const RatePair& pair, const Window& w) {
  return (2 * w.start + w.length) * pair.src / pair.dst + 1;
}

// The least-squares fit of a tone of `hz` to `y` over the window: with
// coherent sampling sin, cos and the mean are orthogonal, so each
// coefficient is a plain projection.
struct Fit {
  double sin, cos;
  double amplitude() const { return std::hypot(sin, cos); }
};

Fit fit(const std::vector<double>& y, uint32_t rate, const Window& w, uint32_t hz) {
  const Table& t = table(rate);
  double a = 0, b = 0;
  for (int64_t k = w.start; k < w.start + w.length; ++k) {
    const uint64_t j = uint64_t(hz) * uint64_t(k) % rate;
    a += y[size_t(k)] * t.sin[j];
    b += y[size_t(k)] * t.cos[j];
  }
  return {a * 2 / double(w.length), b * 2 / double(w.length)};
}

double db(double ratio) { return 20 * std::log10(ratio); }

uint32_t round_to_unit(double hz) { return uint32_t(std::lround(hz / kUnit)) * kUnit; }

// The loudest alias of tones at 1.02 to 1.25 x the destination's Nyquist
// (those below the source's), or the loudest image of a tone at 0.98 x the
// source's Nyquist; relative to the tone.
double stopband(const RatePair& pair, int32_t quality, const Window& w) {
  std::vector<Tone> in;
  std::vector<uint32_t> leaks;
  if (pair.dst < pair.src) {
    for (double x : {1.02, 1.08, 1.15, 1.25}) {
      const uint32_t hz = round_to_unit(x * pair.dst / 2);
      if (2 * hz < pair.src) in.push_back({hz, 0.2}), leaks.push_back(pair.dst - hz);
    }
  } else {
    const uint32_t hz = uint32_t(0.98 * pair.src / 2) / kUnit * kUnit;
    in.push_back({hz, 0.5});
    for (uint32_t k = 1; k * pair.src - hz < pair.dst / 2; ++k) {
      leaks.push_back(k * pair.src - hz);
      if (k * pair.src + hz < pair.dst / 2) leaks.push_back(k * pair.src + hz);
    }
  }
  const std::vector<double> out =
      convert(pair, quality, false, tones(in, pair.src, input_frames(pair, w)));
  double worst = -400;
  for (uint32_t hz : leaks) {
    worst = std::max(worst, db(fit(out, pair.dst, w, hz).amplitude() / in.front().amplitude));
  }
  return worst;
}

double passband(const RatePair& pair, int32_t quality, const Window& w) {
  const uint32_t edge = passband_edge(pair);
  std::vector<Tone> in;
  for (double x : {0.0, 0.25, 0.5, 0.75, 0.9, 1.0}) {
    const uint32_t hz = std::max(kUnit * 2, round_to_unit(x * edge));
    if (in.empty() || in.back().hz != hz) in.push_back({hz, 0.1});
  }
  const std::vector<double> out =
      convert(pair, quality, false, tones(in, pair.src, input_frames(pair, w)));
  double worst = 0;
  for (const Tone& tone : in) {
    worst = std::max(worst, std::fabs(db(fit(out, pair.dst, w, tone.hz).amplitude() / tone.amplitude)));
  }
  return worst;
}

// THD+N of 1 kHz at -1 dBFS, and its lag in output frames.
void thdn(const RatePair& pair, int32_t quality, bool s16, const Window& w, Figures* f) {
  std::vector<float> in = tones({{1000, kThdnAmplitude}}, pair.src, input_frames(pair, w));
  if (s16) {
    for (float& x : in) x = float(std::lrint(double(x) * 32768)) / 32768;
  }
  const std::vector<double> out = convert(pair, quality, s16, in);
  const Fit tone = fit(out, pair.dst, w, 1000);
  const Table& t = table(pair.dst);
  double mean = 0;
  for (int64_t k = w.start; k < w.start + w.length; ++k) mean += out[size_t(k)];
  mean /= double(w.length);
  double residual = 0;
  for (int64_t k = w.start; k < w.start + w.length; ++k) {
    const uint64_t j = uint64_t(1000) * uint64_t(k) % pair.dst;
    const double e = out[size_t(k)] - tone.sin * t.sin[j] - tone.cos * t.cos[j] - mean;
    residual += e * e;
  }
  const double power = tone.amplitude() * tone.amplitude() / 2 * double(w.length);
  (s16 ? f->thdn_s16 : f->thdn) = 10 * std::log10(residual / power);
  // The tone's phase against sin(2 pi 1000 k / dst): its lag, in frames.
  if (!s16) f->lag = -std::atan2(tone.cos, tone.sin) * pair.dst / (2 * M_PI * 1000);
}

}  // namespace

uint32_t passband_edge(const RatePair& pair) {
  const double edge = std::min(20000.0, 0.9 * std::min(pair.src, pair.dst) / 2);
  return uint32_t(edge) / 100 * 100;
}

std::vector<double> convert(const RatePair& pair, int32_t quality, bool s16,
                            const std::vector<float>& in, int block) {
  const int32_t format = s16 ? PCM_FORMAT_S16 : PCM_FORMAT_FLOAT;
  const audio_desc src = {pair.src, format, PCM_SPEAKERS_MONO};
  const audio_desc dst = {pair.dst, format, PCM_SPEAKERS_MONO};
  audio_resampler* r = audio_resampler_create_quality(&dst, &src, quality);
  std::vector<double> out;
  if (r == nullptr) return out;
  std::vector<int16_t> in16;
  if (s16) {
    for (float x : in) in16.push_back(int16_t(std::lrint(double(x) * 32768)));
  }
  auto take = [&](const uint8_t* bytes, int32_t n) {
    for (int32_t i = 0; i < n; i += s16 ? 2 : 4) {
      if (s16) {
        int16_t v;
        std::memcpy(&v, bytes + i, 2);
        out.push_back(v / 32768.0);
      } else {
        float v;
        std::memcpy(&v, bytes + i, 4);
        out.push_back(v);
      }
    }
  };
  const size_t sample = s16 ? 2 : 4;
  const uint8_t* base = s16 ? reinterpret_cast<const uint8_t*>(in16.data())
                            : reinterpret_cast<const uint8_t*>(in.data());
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  int32_t bytes = 0;
  for (size_t at = 0; at < in.size(); at += size_t(block)) {
    const size_t n = std::min(in.size() - at, size_t(block));
    const uint8_t* input[1] = {base + at * sample};
    if (!audio_resampler_resample(r, planes, &bytes, input, uint32_t(n * sample))) break;
    take(planes[0], bytes);
  }
  if (audio_resampler_drain(r, planes, &bytes)) take(planes[0], bytes);
  audio_resampler_destroy(r);
  return out;
}

Figures measure(const RatePair& pair, int32_t quality) {
  const Window w = window_for(pair);
  Figures f{};
  f.stopband = stopband(pair, quality, w);
  f.passband = passband(pair, quality, w);
  thdn(pair, quality, false, w, &f);
  thdn(pair, quality, true, w, &f);
  return f;
}

}  // namespace amix_test
