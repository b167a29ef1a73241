#include "amix/pipelines/block_mixer.h"

#include <cmath>
#include <type_traits>

#include "tavrin_amix/audio_resampler.h"
#include "tavrin_amix/multi_audio_mixer.h"
#include "amix/base/error.h"
#include "amix/base/types.h"

namespace amix {
namespace {

constexpr char kRefused[] = "the mixer failed (run with --verbose for the library's log)";

// Whether a sum of the tracks' samples, in `Sum`, lies outside [low, high]
// at any of `samples` positions; for float, a sum that is not finite counts
// as 0, as in the mixer.
template <typename T, typename Sum>
bool leaves(const std::vector<uint8_t*>& tracks, size_t samples, Sum low, Sum high) {
  bool out = false;
  for (size_t i = 0; i < samples; ++i) {
    Sum sum = 0;
    for (const uint8_t* track : tracks) sum += reinterpret_cast<const T*>(track)[i];
    if (std::is_floating_point<Sum>::value && !std::isfinite(static_cast<double>(sum))) continue;
    out = out || sum > high || sum < low;
  }
  return out;
}

}  // namespace

BlockMixer::BlockMixer(int pcm_format, int32_t block_bytes, const std::vector<uint8_t*>& tracks)
    : pcm_format_(pcm_format),
      samples_(block_bytes / static_cast<int32_t>(pcm_sample_bytes(pcm_format))),
      tracks_(tracks),
      unity_(tracks.size(), 1.0f) {
  for (uint8_t* t : tracks) {
    s16_.push_back(reinterpret_cast<int16_t*>(t));
    s32_.push_back(reinterpret_cast<int32_t*>(t));
    f32_.push_back(reinterpret_cast<float*>(t));
  }
  if (pcm_format == PCM_FORMAT_S16) {
    multi_ = multi_audio_mixer_create(block_bytes);
    if (multi_ == nullptr) throw Error("the multi-track mixer cannot be created");
    return;
  }
  // Its scratch space holds capacity / 2 samples.
  mixer_ = audio_mixer_create(2 * samples_);
  if (mixer_ == nullptr) throw Error("the mixer cannot be created");
  out_.resize(static_cast<size_t>(block_bytes));
}

BlockMixer::~BlockMixer() {
  multi_audio_mixer_release(multi_);
  audio_mixer_destroy(mixer_);
}

const void* BlockMixer::mix() {
  const auto n = static_cast<int32_t>(tracks_.size());
  bool ok = false;
  switch (pcm_format_) {
    case PCM_FORMAT_S16:
      ok = multi_audio_mixer_mix(multi_, s16_.data(),
                                 unity_.data(), n) == 0;
      if (ok) return multi_->out_block;
      break;
    case PCM_FORMAT_S32:
      ok = audio_mixer_mix_int32(mixer_, s32_.data(),
                                 unity_.data(), samples_, n,
                                 reinterpret_cast<int32_t*>(out_.data()));
      break;
    default:
      ok = audio_mixer_mix_float(mixer_, f32_.data(),
                                 unity_.data(), samples_, n, reinterpret_cast<float*>(out_.data()));
  }
  if (!ok) throw Error(kRefused);
  return out_.data();
}

double BlockMixer::last_gain() const {
  return multi_ != nullptr ? multi_audio_mixer_last_gain(multi_) : audio_mixer_last_gain(mixer_);
}

bool BlockMixer::sum_leaves_range(size_t samples) const {
  switch (pcm_format_) {
    case PCM_FORMAT_S16:
      return leaves<int16_t, int32_t>(tracks_, samples, INT16_MIN, INT16_MAX);
    case PCM_FORMAT_S32:
      return leaves<int32_t, int64_t>(tracks_, samples, INT32_MIN, INT32_MAX);
    default:
      return leaves<float, double>(tracks_, samples, -1.0, 1.0);
  }
}

}  // namespace amix
