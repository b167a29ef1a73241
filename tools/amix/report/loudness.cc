#include "amix/report/loudness.h"

#include <ebur128.h>
extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "amix/base/error.h"

namespace amix {
namespace {

constexpr double kAbsoluteGate = -70.0;    // LUFS
constexpr double kIntegratedGate = -10.0;  // LU below the mean of the blocks
constexpr double kRangeGate = -20.0;       // LU below the mean of the short-term values
constexpr int kTruePeakRate = 192000;
// libebur128 designs its K-weighting filter for the rate it is given; its
// shelf (+4 dB from about 1.7 kHz) lies near or past the Nyquist frequency
// of lower rates, which are weighed at kTruePeakRate instead.
constexpr int kMinWeighingRate = 8000;
constexpr int kStepsPerBlock = 4;       // 400 ms
constexpr int kStepsPerShortTerm = 30;  // 3 s
constexpr double kInfinity = std::numeric_limits<double>::infinity();

double lufs_of(double energy) {
  return energy > 0 ? -0.691 + 10.0 * std::log10(energy) : -kInfinity;
}
double energy_of(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }

// The channels of a WAVE_FORMAT_EXTENSIBLE mask that BS.1770 weighs by
// 1.41: the back, side and top-back speakers (as ffmpeg weighs them).
constexpr uint32_t kSurroundBits = 0x10 | 0x20 | 0x100 | 0x200 | 0x400 | 0x8000 | 0x10000 | 0x20000;
constexpr uint32_t kLfeBit = 0x8;

// libebur128's name for a channel of `layout` at `index`: it reads only
// the weight (0, 1 or 1.41) from it.
int channel_role(const Layout* layout, int index) {
  if (layout == nullptr) return EBUR128_CENTER;
  uint32_t bit = 0;
  for (uint32_t mask = layout->mask; index >= 0; --index, mask &= mask - 1)
    bit = mask & ~(mask - 1);
  if (bit == kLfeBit) return EBUR128_UNUSED;
  return (bit & kSurroundBits) != 0 ? EBUR128_LEFT_SURROUND : EBUR128_CENTER;
}

// The mean energy of the `energies` at or above `gate` LUFS, and how many
// there are.
double gated_mean(const std::vector<double>& energies, double gate, size_t* count) {
  const double floor = energy_of(gate);
  double sum = 0;
  *count = 0;
  for (double e : energies)
    if (e >= floor) sum += e, ++*count;
  return *count > 0 ? sum / static_cast<double>(*count) : 0.0;
}

}  // namespace

bool Loudness::silent() const { return std::isinf(integrated); }

double LoudnessBlocks::integrated(double gain_db) const {
  const double scale = std::pow(10.0, gain_db / 10.0);
  std::vector<double> scaled(energies_);
  for (double& e : scaled) e *= scale;
  size_t count = 0;
  const double mean = gated_mean(scaled, kAbsoluteGate, &count);
  if (count == 0) return -kInfinity;
  const double relative = std::max(kAbsoluteGate, lufs_of(mean) + kIntegratedGate);
  return lufs_of(gated_mean(scaled, relative, &count));
}

double loudness_range(std::vector<double> short_term) {
  size_t count = 0;
  const double mean = gated_mean(short_term, kAbsoluteGate, &count);
  if (count == 0) return 0.0;
  const double gate = energy_of(std::max(kAbsoluteGate, lufs_of(mean) + kRangeGate));
  short_term.erase(
      std::remove_if(short_term.begin(), short_term.end(), [gate](double e) { return e < gate; }),
      short_term.end());
  std::sort(short_term.begin(), short_term.end());
  // Nearest rank, as ffmpeg counts it: the value of rank round(p n), 1-based.
  const auto rank = [&](double p) {
    const size_t r = static_cast<size_t>(p * static_cast<double>(short_term.size()) + 0.5);
    return short_term[std::clamp<size_t>(r, 1, short_term.size()) - 1];
  };
  return lufs_of(rank(0.95)) - lufs_of(rank(0.10));
}

std::string format_lufs(double lufs) {
  if (std::isinf(lufs) && lufs < 0) return "silent";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f LUFS", lufs);
  return buf;
}

std::string format_dbtp(double dbtp) {
  if (std::isinf(dbtp) && dbtp < 0) return "silent";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f dBTP", dbtp);
  return buf;
}

// The largest magnitude of the signal at kTruePeakRate, and of its samples.
class LoudnessMeter::TruePeak {
 public:
  // `on_output` (if set) sees the resampled signal as it is made.
  using Output = std::function<void(const float*, int64_t frames)>;
  TruePeak(int rate, int channels, Output on_output)
      : channels_(channels), on_output_(std::move(on_output)) {
    if (rate >= kTruePeakRate) return;  // the samples themselves
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    const int rc = swr_alloc_set_opts2(&swr_, &layout, AV_SAMPLE_FMT_FLT, kTruePeakRate, &layout,
                                       AV_SAMPLE_FMT_FLT, rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (rc < 0 || swr_init(swr_) < 0) {
      swr_free(&swr_);
      throw Error("cannot set up the true-peak resampler for " + std::to_string(rate) + " Hz");
    }
  }
  ~TruePeak() { swr_free(&swr_); }

  void add(const float* samples, int64_t frames) {
    // The samples count too: the resampler's filter does not pass exactly
    // through them, and a true peak below the sample peak would let a gain
    // up to the ceiling clip.
    scan(samples, static_cast<size_t>(frames) * channels_);
    if (swr_ == nullptr) return;
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
    convert(in, static_cast<int>(frames));
  }

  // The peak, as a linear magnitude, once the resampler's tail is out.
  double finish() {
    if (swr_ != nullptr) convert(nullptr, 0);
    return peak_;
  }

 private:
  void convert(const uint8_t** in, int frames) {
    for (;;) {
      const int room = std::max(swr_get_out_samples(swr_, frames), 256);
      out_.resize(static_cast<size_t>(room) * channels_);
      uint8_t* out[1] = {reinterpret_cast<uint8_t*>(out_.data())};
      const int got = swr_convert(swr_, out, room, in, frames);
      if (got < 0) throw Error("the true-peak resampler failed");
      scan(out_.data(), static_cast<size_t>(got) * channels_);
      if (on_output_) on_output_(out_.data(), got);
      // Fed input goes in at once; only a drain (no input) needs more calls.
      if (in != nullptr || got == 0) return;
    }
  }

  // The samples are finite: their magnitudes order as their bit patterns
  // do, and integer maxima in eight lanes vectorise where a float maximum
  // may not.
  void scan(const float* samples, size_t count) {
    constexpr size_t kLanes = 8;
    int32_t lanes[kLanes] = {};
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
      int32_t bits[kLanes];
      std::memcpy(bits, samples + i, sizeof bits);
      for (size_t k = 0; k < kLanes; ++k) lanes[k] = std::max(lanes[k], bits[k] & 0x7FFFFFFF);
    }
    for (; i < count; ++i) {
      int32_t bits;
      std::memcpy(&bits, &samples[i], sizeof bits);
      lanes[0] = std::max(lanes[0], bits & 0x7FFFFFFF);
    }
    const int32_t peak = *std::max_element(lanes, lanes + kLanes);
    float magnitude;
    std::memcpy(&magnitude, &peak, sizeof magnitude);
    peak_ = std::max(peak_, static_cast<double>(magnitude));
  }

  int channels_;
  Output on_output_;
  SwrContext* swr_ = nullptr;
  std::vector<float> out_;
  double peak_ = 0;
};

struct LoudnessMeter::State {
  ebur128_state* st;
  ~State() { ebur128_destroy(&st); }
};

LoudnessMeter::LoudnessMeter(int rate, int channels, const Layout* layout)
    : channels_(channels), weigh_oversampled_(rate < kMinWeighingRate), steps_(kStepsPerShortTerm) {
  const int weighing_rate = weigh_oversampled_ ? kTruePeakRate : rate;
  step_frames_ = weighing_rate / 10;
  ebur128_state* st = ebur128_init(static_cast<unsigned>(channels),
                                   static_cast<unsigned long>(weighing_rate), EBUR128_MODE_M);
  if (st == nullptr)
    throw Error("cannot measure loudness at " + std::to_string(rate) + " Hz with " +
                std::to_string(channels) + " channels");
  state_.reset(new State{st});
  for (int c = 0; c < channels; ++c)
    ebur128_set_channel(st, static_cast<unsigned>(c), channel_role(layout, c));
  TruePeak::Output weigh;
  if (weigh_oversampled_) weigh = [this](const float* s, int64_t frames) { add_finite(s, frames); };
  true_peak_ = std::make_unique<TruePeak>(rate, channels, std::move(weigh));
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const float* samples, int64_t frames) {
  const size_t count = static_cast<size_t>(frames) * channels_;
  size_t i = 0;
  while (i < count && std::isfinite(samples[i])) ++i;
  if (i < count) {
    clean_.assign(samples, samples + count);
    for (float& s : clean_)
      if (!std::isfinite(s)) s = 0.0f;
    samples = clean_.data();
  }
  true_peak_->add(samples, frames);
  if (!weigh_oversampled_) add_finite(samples, frames);
}

void LoudnessMeter::add_finite(const float* samples, int64_t frames) {
  while (frames > 0) {
    const int64_t n = std::min(frames, step_frames_ - step_fill_);
    if (ebur128_add_frames_float(state_->st, samples, static_cast<size_t>(n)) != EBUR128_SUCCESS)
      throw Error("out of memory measuring loudness");
    samples += n * channels_;
    frames -= n;
    step_fill_ += n;
    if (step_fill_ == step_frames_) end_step();
  }
}

void LoudnessMeter::end_step() {
  step_fill_ = 0;
  double lufs = 0;
  ebur128_loudness_window(state_->st, 100, &lufs);
  steps_[static_cast<size_t>(step_count_ % kStepsPerShortTerm)] =
      std::isinf(lufs) ? 0.0 : energy_of(lufs);
  ++step_count_;
  // The mean of the last `n` steps.
  const auto mean = [&](int n) {
    double sum = 0;
    for (int k = 0; k < n; ++k)
      sum += steps_[static_cast<size_t>((step_count_ - 1 - k) % kStepsPerShortTerm)];
    return sum / n;
  };
  if (step_count_ >= kStepsPerBlock) blocks_.add(mean(kStepsPerBlock));
  if (step_count_ >= kStepsPerShortTerm) short_term_.push_back(mean(kStepsPerShortTerm));
}

Loudness LoudnessMeter::finish() {
  // The resampler's tail first: it may still be weighed.
  const double peak = true_peak_->finish();
  Loudness l;
  l.integrated = blocks_.integrated();
  l.range = loudness_range(short_term_);
  l.true_peak = peak > 0 ? 20.0 * std::log10(peak) : -kInfinity;
  return l;
}

}  // namespace amix
