// Measures a resampler's sound: stopband, passband, THD+N and lag, from
// tones of whole hertz sampled coherently (a whole number of periods in the
// window) and fitted by least squares, which reads levels down to about
// -150 dB where a windowed spectrum cannot.  Shared by the quality test and
// the resampling benchmark, which prints the figures beside the costs.
#pragma once

#include <cstdint>
#include <vector>

#include "tavrin_amix/audio_resampler.h"

namespace amix_test {

struct RatePair {
  uint32_t src, dst;
};

// The figures of one preset at one rate pair, in dB (lag in output frames).
struct Figures {
  double stopband;   // the loudest alias (reduction) or image (increase)
  double passband;   // the largest deviation from unity gain, as a magnitude
  double thdn;       // 1 kHz at -1 dBFS, float in and out
  double thdn_s16;   // the same, 16-bit in and out
  double lag;        // where the 1 kHz tone sits against k / dst_rate
};

// Runs `in` (mono float samples at pair.src) through a resampler of
// `quality`, float or 16-bit at both ends, fed in blocks of `block` frames
// and drained; the whole output as doubles at full scale 1.0.  Empty when
// the resampler cannot be made.
std::vector<double> convert(const RatePair& pair, int32_t quality, bool s16,
                            const std::vector<float>& in, int block = 4096);

// Every figure of `quality` at `pair`, on whichever engine the resampler
// takes (the tests can force the fallback through the engine seam).
Figures measure(const RatePair& pair, int32_t quality);

// The upper edge of the band that must pass: min(20 kHz, 0.9 x the lower
// Nyquist), in whole hundreds of hertz.
uint32_t passband_edge(const RatePair& pair);

}  // namespace amix_test
