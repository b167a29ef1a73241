// libswresample driven directly, configured from the engine's own constants:
// the oracle for the resampler's bytes and the baseline of its benchmark.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "tavrin_amix/audio_resampler.h"

namespace amix_test {

struct EngineSide {
  uint64_t mask;
  AVSampleFormat format;
  int rate;
};

// One side of a conversion, in the library's terms and in the engine's.
struct Side {
  audio_desc desc;
  EngineSide engine;
  int channels() const { return __builtin_popcountll(engine.mask); }
  int sample_bytes() const { return av_get_bytes_per_sample(engine.format); }
  bool planar() const { return av_sample_fmt_is_planar(engine.format) != 0; }
  int planes() const { return planar() ? channels() : 1; }
  int frame_bytes() const { return channels() * sample_bytes(); }
};

inline Side side(uint32_t rate, int32_t format, int32_t speakers, uint64_t mask,
                 AVSampleFormat engine) {
  return {{rate, format, speakers}, {mask, engine, int(rate)}};
}

class DirectEngine {
 public:
  // Room for `room` output frames per call.
  DirectEngine(EngineSide out, EngineSide in, int room) : room_(room) {
    AVChannelLayout out_layout{}, in_layout{};
    av_channel_layout_from_mask(&out_layout, out.mask);
    av_channel_layout_from_mask(&in_layout, in.mask);
    if (swr_alloc_set_opts2(&context_, &out_layout, out.format, out.rate, &in_layout, in.format,
                            in.rate, 0, nullptr) < 0 ||
        swr_init(context_) < 0) {
      swr_free(&context_);
    }
    av_samples_alloc(planes_, nullptr, out_layout.nb_channels, room, out.format, 0);
  }
  ~DirectEngine() {
    swr_free(&context_);
    av_freep(&planes_[0]);
  }
  DirectEngine(const DirectEngine&) = delete;
  DirectEngine& operator=(const DirectEngine&) = delete;

  bool ok() const { return context_ != nullptr && planes_[0] != nullptr; }
  // Converts `frames` input frames; returns the frames written to plane(i).
  int convert(const uint8_t** in, int frames) {
    return swr_convert(context_, planes_, room_, in, frames);
  }
  const uint8_t* plane(int i) const { return planes_[i]; }
  // Starts the engine afresh (a new stream); false when it cannot.
  bool restart() { return swr_init(context_) == 0; }

 private:
  SwrContext* context_ = nullptr;
  uint8_t* planes_[8] = {};
  int room_;
};

}  // namespace amix_test
