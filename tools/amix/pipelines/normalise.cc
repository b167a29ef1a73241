#include "amix/pipelines/normalise.h"

#include <algorithm>
#include <cmath>

#include "amix/pipelines/quantise.h"
#include "amix/report/loudness.h"

namespace amix {
namespace {

// The gain (dB) that brings `blocks` to `target` LUFS.  The gates keep
// other blocks as the gain moves them, so it is found by a few steps.
double gain_to(const LoudnessBlocks& blocks, double target) {
  double gain = target - blocks.integrated();
  for (int step = 0; step < 8; ++step) {
    const double error = target - blocks.integrated(gain);
    gain += error;
    if (std::fabs(error) < 1e-6) break;
  }
  return gain;
}

}  // namespace

Normaliser::Normaliser(const LoudnessTarget& target, const StreamFormat& out)
    : target_(target), channels_(out.channels()) {
  if (!target.on) return;
  meter_ = std::make_unique<LoudnessMeter>(out.rate, out.channels(), out.layout);
  result_.on = true;
  result_.target = target.lufs;
  result_.ceiling = target.ceiling;
}

Normaliser::~Normaliser() = default;

void Normaliser::measure(const void* data, size_t bytes, int pcm_format) {
  const size_t samples = bytes / pcm_sample_bytes(pcm_format);
  meter_->add(as_float(data, samples, pcm_format, &floats_),
              static_cast<int64_t>(samples / static_cast<size_t>(channels_)));
}

void Normaliser::measure_silence(int64_t frames) {
  const int64_t chunk = 4096;
  if (frames <= 0) return;
  const std::vector<float> zeros(static_cast<size_t>(std::min(frames, chunk) * channels_));
  for (int64_t left = frames; left > 0; left -= chunk)
    meter_->add(zeros.data(), std::min(left, chunk));
}

void Normaliser::plan() {
  const Loudness measured = meter_->finish();
  const std::unique_ptr<LoudnessMeter> meter = std::move(meter_);
  result_.silent = measured.silent();
  if (result_.silent) return;  // a gain of 1
  double gain_db = gain_to(meter->blocks(), target_.lufs);
  if (measured.true_peak + gain_db > target_.ceiling) {
    gain_db = target_.ceiling - measured.true_peak;
    result_.limited = true;
  }
  gain_ = std::pow(10.0, gain_db / 20.0);
  result_.gain_db = gain_db;
  result_.lufs = meter->blocks().integrated(gain_db);
  result_.true_peak = measured.true_peak + gain_db;
}

}  // namespace amix
