#include "amix/commands/synth.h"
#include "amix/io/layouts.h"

#include <cmath>

#include "tavrin_amix/audio_resampler.h"
#include "amix/io/sound_file.h"

namespace amix {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// A 10 ms fade at both ends keeps the tracks free of clicks.
double fade(double t, double seconds) {
  const double edge = 0.01;
  return std::fmin(1.0, std::fmin(t / edge, (seconds - t) / edge));
}

size_t frames_of(const StreamFormat& f, double seconds) {
  return static_cast<size_t>(std::lround(seconds * f.rate));
}

void tone(const StreamFormat& f, double seconds, std::vector<float>& out) {
  const size_t n = frames_of(f, seconds);
  out.resize(n * f.channels());
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / f.rate;
    const float v = static_cast<float>(0.5 * fade(t, seconds) * std::sin(kTwoPi * 440.0 * t));
    for (int c = 0; c < f.channels(); ++c) out[i * f.channels() + c] = v;
  }
}

// C major: C4 and E4 on the left, E4 and G4 on the right.
void chord(const StreamFormat& f, double seconds, std::vector<float>& out) {
  const size_t n = frames_of(f, seconds);
  out.resize(n * 2);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / f.rate;
    const double g = 0.3 * fade(t, seconds);
    const double e = std::sin(kTwoPi * 329.63 * t);
    out[2 * i] = static_cast<float>(g * (std::sin(kTwoPi * 261.63 * t) + e));
    out[2 * i + 1] = static_cast<float>(g * (e + std::sin(kTwoPi * 392.00 * t)));
  }
}

// Exponential sweep from 100 Hz to 8 kHz.
void sweep(const StreamFormat& f, double seconds, std::vector<float>& out) {
  const size_t n = frames_of(f, seconds);
  out.resize(n);
  const double f0 = 100, f1 = 8000, k = std::log(f1 / f0);
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / f.rate;
    const double phase = kTwoPi * f0 * seconds / k * (std::exp(k * t / seconds) - 1.0);
    out[i] = static_cast<float>(0.5 * fade(t, seconds) * std::sin(phase));
  }
}

// Silence, then 0.6 s of a near full-scale 220 Hz tone on every channel.
void burst(const StreamFormat& f, double seconds, std::vector<float>& out) {
  const size_t n = frames_of(f, seconds);
  const int ch = f.channels();
  out.assign(n * ch, 0.0f);
  const double on = 1.0, off = 1.6;
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / f.rate;
    if (t < on || t >= off) continue;
    const double g = 0.95 * fade(t - on, off - on);
    for (int c = 0; c < ch; ++c)
      out[i * ch + c] = static_cast<float>(g * std::sin(kTwoPi * 220.0 * t + 0.3 * c));
  }
}

const Layout* named(const char* name) { return &layout_by_name("layout", name); }

}  // namespace

std::vector<SynthTrack> demo_tracks() {
  return {
      {"tone", {44100, PCM_FORMAT_S16, named("mono")}, 3.0, tone},
      {"chord", {48000, PCM_FORMAT_FLOAT, named("stereo")}, 4.0, chord},
      {"sweep", {22050, PCM_FORMAT_U8, named("mono")}, 3.5, sweep},
      {"burst", {32000, PCM_FORMAT_S32, named("5.1")}, 2.5, burst},
  };
}

void write_track(const SynthTrack& track, const std::string& path) {
  std::vector<float> samples;
  track.render(track.format, track.seconds, samples);
  // libsndfile turns the float samples into the file's own sample type.
  StreamFormat as_float = track.format;
  as_float.pcm_format = PCM_FORMAT_FLOAT;
  as_float.encoding = plain_encoding(track.format.pcm_format);
  SoundWriter writer(output_target(path, ""), as_float);
  writer.write(samples.data(), samples.size() * sizeof(float));
  writer.commit();
}

}  // namespace amix
