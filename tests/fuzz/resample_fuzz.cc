// The resampler over arbitrary descriptions (every code, out-of-range ones,
// odd rates), every quality (out-of-range ones too, and the presets on soxr
// or on their fallback filter) and arbitrary blocks, with streams ended by
// drains at any point:
// no crash, no sanitizer report, and every result consistent: whole output
// frames, planes inside the block handed back, refusals only where the
// contract allows them, and every drained stream exactly as long as its
// input at the destination rate.

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/engine_seam.h"
#include "resample/audio_format.h"
#include "tavrin_amix/audio_resampler.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using amix_fuzz::Input;

uint32_t pick_rate(Input& in) {
  static const uint32_t kRates[] = {0, 1, 7, 8000, 11025, 22050, 44100, 48000, 96000, 192000,
                                    2147483647u, 2147483648u, 4294967295u};
  const uint32_t choice = uint32_t(in.range(0, 15));
  if (choice < sizeof kRates / sizeof kRates[0]) return kRates[choice];
  return uint32_t(in.range(1000, 200000));  // odd rates
}

audio_desc pick_desc(Input& in) {
  audio_desc d;
  d.samples_per_sec = pick_rate(in);
  d.format = int32_t(in.range(-1, 9));
  d.speakers = int32_t(in.range(-1, 11));
  return d;
}

bool plausible(const audio_desc& d) {
  return amix::pcm_codes_valid(d) && d.samples_per_sec > 0 && d.samples_per_sec <= 2147483647u;
}

// Reads every byte of every plane, so the sanitizer sees any overrun.
uint32_t touch(uint8_t* const* planes, uint32_t count, int32_t bytes) {
  uint32_t sum = 0;
  for (uint32_t p = 0; p < count; ++p) {
    for (int32_t i = 0; i < bytes / int32_t(count); ++i) sum += planes[p][i];
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const audio_desc dst = pick_desc(in);
  const audio_desc src = pick_desc(in);
  const int32_t quality = int32_t(in.range(-1, 3));
  const uint64_t up = dst.samples_per_sec, down = src.samples_per_sec;
  // The fallback filter of a steep reduction takes seconds to build: only
  // up to 32:1 here.
  amix_fault_refuse_soxr(in.range(0, 1) == 1 && down <= 32 * up);
  audio_resampler* r = audio_resampler_create_quality(&dst, &src, quality);
  amix_fault_refuse_soxr(0);
  const bool steep = down > 256 * up || (quality > 0 && up > 256 * down);
  if (!plausible(dst) || !plausible(src) || steep || quality < 0 || quality > 2) {
    AMIX_FUZZ_CHECK(r == nullptr);
  }
  if (r == nullptr) return 0;

  const uint32_t src_frame = amix::audio_desc_frame_bytes(src);
  const uint32_t dst_frame = amix::audio_desc_frame_bytes(dst);
  const uint32_t src_channels = amix::pcm_speakers_channels(uint32_t(src.speakers));
  const uint32_t src_planes = amix::pcm_format_planes(uint32_t(src.format), src_channels);
  const uint32_t dst_planes =
      amix::pcm_format_planes(uint32_t(dst.format), amix::pcm_speakers_channels(uint32_t(dst.speakers)));
  volatile uint32_t sink = 0;
  // The current stream: whole source frames fed, frames handed back.
  int64_t fed = 0, handed = 0;
  auto check_output = [&](uint8_t* const* out, int32_t out_bytes) {
    AMIX_FUZZ_CHECK(out_bytes >= 0 && uint32_t(out_bytes) % dst_frame == 0);
    for (uint32_t p = 0; p < dst_planes; ++p) AMIX_FUZZ_CHECK(out_bytes == 0 || out[p] != nullptr);
    for (uint32_t p = dst_planes; p < RESAMPLER_MAX_PLANES; ++p) AMIX_FUZZ_CHECK(out[p] == nullptr);
    sink = sink + touch(out, dst_planes, out_bytes);
    handed += out_bytes / dst_frame;
  };
  for (int call = 0; call < 12 && !in.empty(); ++call) {
    uint8_t* out[RESAMPLER_MAX_PLANES] = {};
    int32_t out_bytes = -1;
    if (in.range(0, 3) == 0) {
      if (!audio_resampler_drain(r, out, &out_bytes)) {
        AMIX_FUZZ_CHECK(out_bytes == -1);  // untouched on failure
        continue;
      }
      check_output(out, out_bytes);
      const int64_t length = (2 * fed * dst.samples_per_sec + src.samples_per_sec) /
                             (2 * int64_t{src.samples_per_sec});
      AMIX_FUZZ_CHECK(handed == length);
      fed = handed = 0;
      continue;
    }
    // Keep the output of one call within a few million frames.
    const uint64_t max_frames = 4000000ull * src.samples_per_sec / dst.samples_per_sec;
    const uint32_t frames = uint32_t(in.range(0, int64_t(max_frames < 4096 ? max_frames : 4096)));
    const uint32_t in_bytes = frames * src_frame + uint32_t(in.range(0, src_frame - 1));
    std::vector<uint8_t> block(in_bytes + 1);
    for (auto& b : block) b = in.take<uint8_t>();
    const uint8_t* inputs[RESAMPLER_MAX_PLANES] = {};
    for (uint32_t p = 0; p < src_planes; ++p) inputs[p] = block.data() + p * (frames * src_frame / src_planes);
    if (!audio_resampler_resample(r, out, &out_bytes, inputs, in_bytes)) {
      AMIX_FUZZ_CHECK(out_bytes == -1);  // untouched on failure
      continue;
    }
    fed += frames;
    check_output(out, out_bytes);
  }
  audio_resampler_destroy(r);
  return 0;
}
