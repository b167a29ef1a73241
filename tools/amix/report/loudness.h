// Loudness after ITU-R BS.1770 and EBU R128, measured as ffmpeg's ebur128
// filter measures it (with peak=true):
// - integrated loudness in LUFS: 400 ms blocks every 100 ms, gated at
//   -70 LUFS and 10 LU below the mean of the blocks above that;
// - loudness range in LU (EBU Tech 3342): the 10th to the 95th percentile
//   of the 3 s short-term values, taken every 100 ms from the first full
//   3 s, gated at -70 LUFS and 20 LU below their mean;
// - true peak in dBTP: the largest magnitude of the signal resampled to
//   192 kHz (by libswresample's default filter, as ffmpeg does), or of its
//   samples where the filter reads lower; at 192 kHz and above, of the
//   samples themselves.
// libebur128 does the K-weighting and gives each 100 ms's energy; the
// blocks, gates and percentiles are computed here.  Rates below 8000 Hz are
// weighed after the true peak's resampling to 192 kHz (the filter's shelf
// is near or past their Nyquist frequency).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "amix/base/types.h"

namespace amix {

struct Loudness {
  double integrated;  // LUFS; -infinity when no block passes the gates
  double range;       // LU; 0 for less than 3 s
  double true_peak;   // dBTP; -infinity for digital silence
  bool silent() const;
};

// The 400 ms blocks of a programme, from which its integrated loudness at
// any gain follows: the gates keep other blocks as the gain moves them.
class LoudnessBlocks {
 public:
  void add(double energy) { energies_.push_back(energy); }
  // The integrated loudness of the programme scaled by `gain_db`.
  double integrated(double gain_db = 0.0) const;

 private:
  std::vector<double> energies_;  // weighted mean squares
};

class LoudnessMeter {
 public:
  // `layout` weighs the channels (LFE 0, surround and back speakers 1.41,
  // the others 1); nullptr: all 1.  Throws Error when libebur128 or
  // libswresample cannot be set up.
  LoudnessMeter(int rate, int channels, const Layout* layout);
  ~LoudnessMeter();
  LoudnessMeter(const LoudnessMeter&) = delete;
  LoudnessMeter& operator=(const LoudnessMeter&) = delete;

  // Interleaved normalised samples (full scale 1.0); NaN and infinite ones
  // count as 0.
  void add(const float* samples, int64_t frames);
  // The figures of everything added; the true peak's resampler is drained,
  // so nothing may be added after it.
  Loudness finish();
  const LoudnessBlocks& blocks() const { return blocks_; }

 private:
  class TruePeak;
  // Feeds whole and partial 100 ms steps to libebur128.
  void add_finite(const float* samples, int64_t frames);
  void end_step();

  struct State;
  std::unique_ptr<State> state_;
  std::unique_ptr<TruePeak> true_peak_;
  int channels_;
  bool weigh_oversampled_;  // the K-weighting runs on the true peak's 192 kHz
  int64_t step_frames_;     // 100 ms
  int64_t step_fill_ = 0;
  std::vector<double> steps_;  // energies of the last 30 steps, a ring
  int64_t step_count_ = 0;
  LoudnessBlocks blocks_;
  std::vector<double> short_term_;  // 3 s energies
  std::vector<float> clean_;        // a block with its non-finite samples zeroed
};

// Loudness range (LU) of 3 s short-term energies.
double loudness_range(std::vector<double> short_term);

// "-23.0 LUFS", "7.4 LU", "-1.0 dBTP"; "silent" for -infinity.
std::string format_lufs(double lufs);
std::string format_dbtp(double dbtp);

}  // namespace amix
