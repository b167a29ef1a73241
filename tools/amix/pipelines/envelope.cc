#include "amix/pipelines/envelope.h"

#include <algorithm>
#include <cmath>

#include "tavrin_amix/audio_mixer.h"
#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"

namespace amix {

Envelope::Envelope(double volume, const Fades& fades, int rate)
    : volume_(volume),
      fade_in_(std::llround(fades.in * rate)),
      fade_out_(std::llround(fades.out * rate)),
      flat_(volume == 1.0 && fade_in_ == 0 && fade_out_ == 0) {}

double Envelope::at(int64_t f) const {
  double g = 1.0;
  if (f < fade_in_) g = static_cast<double>(f) / static_cast<double>(fade_in_);
  if (length_ >= 0 && f > length_ - fade_out_)
    g = std::min(g, static_cast<double>(length_ - f) / static_cast<double>(fade_out_));
  return volume_ * std::max(0.0, g);
}

void Envelope::apply(void* samples, int pcm_format, int channels, int64_t first,
                     int64_t frames) const {
  if (flat_ || frames <= 0) return;
  // The corners: where the fade-in ends, where the fade-out begins, and
  // the frames either side of where the two cross.
  std::vector<int64_t> cuts = {fade_in_};
  if (length_ >= 0 && fade_out_ > 0) {
    cuts.push_back(length_ - fade_out_);
    const double cross = static_cast<double>(length_) * static_cast<double>(fade_in_) /
                         static_cast<double>(fade_in_ + fade_out_);
    cuts.push_back(static_cast<int64_t>(std::floor(cross)));
    cuts.push_back(static_cast<int64_t>(std::ceil(cross)));
  }
  const int64_t end = first + frames;
  cuts.push_back(end);
  std::sort(cuts.begin(), cuts.end());

  const size_t frame_bytes = pcm_sample_bytes(pcm_format) * static_cast<size_t>(channels);
  int64_t from = first;
  for (int64_t to : cuts) {
    if (to <= from || to > end) continue;
    uint8_t* at_from = static_cast<uint8_t*>(samples) + static_cast<size_t>(from - first) * frame_bytes;
    const auto n = static_cast<int32_t>(to - from);
    const auto v0 = static_cast<float>(at(from)), v1 = static_cast<float>(at(to));
    switch (pcm_format) {
      case PCM_FORMAT_S16:
        audio_scale_int16_ramp(reinterpret_cast<int16_t*>(at_from), n, channels, v0, v1);
        break;
      case PCM_FORMAT_S32:
        audio_scale_int32_ramp(reinterpret_cast<int32_t*>(at_from), n, channels, v0, v1);
        break;
      case PCM_FORMAT_FLOAT:
        audio_scale_float_ramp(reinterpret_cast<float*>(at_from), n, channels, v0, v1);
        break;
      default:
        throw Error("internal: no volume ramp for " + std::string(pcm_format_name(pcm_format)));
    }
    from = to;
  }
}

ShapedInput::ShapedInput(std::unique_ptr<ConvertedInput> input, const StreamFormat& format,
                         double volume, const Fades& fades)
    : input_(std::move(input)),
      pcm_format_(format.pcm_format),
      channels_(format.channels()),
      frame_bytes_(format.frame_bytes()),
      envelope_(volume, fades, format.rate) {}

bool ShapedInput::next(Converter::Output* out) {
  if (envelope_.flat()) return input_->next(out);
  for (;;) {
    // The frames up to the next multiple of kRampFrames, once the fade-out
    // cannot begin before their end (or the input has ended): the ramps
    // then fall on the same frames however the converter cuts its output.
    const int64_t piece = (given_ / kRampFrames + 1) * kRampFrames - given_;
    const auto held = static_cast<int64_t>((held_.size() - start_) / frame_bytes_);
    int64_t frames = 0;
    if (input_->ended()) {
      frames = std::min(held, piece);
    } else if (received_ - envelope_.fade_out_frames() >= given_ + piece) {
      frames = piece;
    }
    if (frames > 0) {
      uint8_t* at = held_.data() + start_;
      envelope_.apply(at, pcm_format_, channels_, given_, frames);
      given_ += frames;
      start_ += static_cast<size_t>(frames) * frame_bytes_;
      *out = {at, static_cast<size_t>(frames) * frame_bytes_};
      return true;
    }
    if (input_->ended()) return false;
    if (start_ > 0 && start_ >= held_.size() / 2) {  // the given bytes go, now and then
      held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(start_));
      start_ = 0;
    }
    Converter::Output o;
    if (input_->next(&o)) {
      held_.insert(held_.end(), o.data, o.data + o.bytes);
      received_ += static_cast<int64_t>(o.bytes / frame_bytes_);
    }
    if (input_->ended()) envelope_.end_at(received_);
  }
}

}  // namespace amix
