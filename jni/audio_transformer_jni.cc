// Native methods of
// com.ostrel.vasko.nimbo.kalvent.transcoder.audio.AudioTransformer: PCM
// conversion through the resampler, handles passed as longs.

#include <jni.h>

#include <cstring>

#include "common/log.h"
#include "jni/jni_util.h"
#include "tavrin_amix/audio_resampler.h"

using amix::jni::direct_region;
using amix::jni::from_jlong;
using amix::jni::to_jlong;

namespace {

int32_t format_of_bits(jint bits) {
  return bits == 8 ? PCM_FORMAT_U8 : bits == 32 ? PCM_FORMAT_S32 : PCM_FORMAT_S16;
}

jint refuse() {
  AMIX_LOGE("resample failed.\n");
  return -1;
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_init(
    JNIEnv*, jclass, jint src_rate, jint src_speakers, jint src_bits, jint dst_rate,
    jint dst_speakers, jint dst_bits) {
  const audio_desc src = {static_cast<uint32_t>(src_rate), format_of_bits(src_bits), src_speakers};
  const audio_desc dst = {static_cast<uint32_t>(dst_rate), format_of_bits(dst_bits), dst_speakers};
  AMIX_LOGI(
      "src: samples_per_sec = %d, format = %d, speakers = %d  dst: samples_per_sec = %d, "
      "format = %d, speakers = %d",
      src_rate, src.format, src.speakers, dst_rate, dst.format, dst.speakers);
  audio_resampler* resampler = audio_resampler_create(&dst, &src);
  if (resampler == nullptr) {
    AMIX_LOGE("Create resampler failed.\n");
    return -1;
  }
  return to_jlong(resampler);
}

JNIEXPORT jint JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_resample(
    JNIEnv* env, jclass, jlong handle, jobject input_buffer, jint input_offset, jint input_size,
    jobject output_buffer, jint output_offset, jint /*output_size: informational only*/) {
  auto* resampler = from_jlong<audio_resampler>(handle);
  if (resampler == nullptr) return refuse();
  const uint8_t* input = direct_region(env, input_buffer, input_offset, input_size);
  if (input == nullptr) {
    AMIX_LOGE("resample input buffer refused: offset %d, size %d", input_offset, input_size);
    return refuse();
  }
  uint8_t* output = direct_region(env, output_buffer, output_offset, 0);
  if (output == nullptr) {
    AMIX_LOGE("resample output buffer refused: offset %d", output_offset);
    return refuse();
  }
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  int32_t converted = 0;
  const uint8_t* inputs[1] = {input};
  if (!audio_resampler_resample(resampler, planes, &converted, inputs,
                                static_cast<uint32_t>(input_size))) {
    return refuse();
  }
  const jlong room = env->GetDirectBufferCapacity(output_buffer) - output_offset;
  if (converted > room) {
    AMIX_LOGE("resample output buffer too small: %d bytes converted, room for %lld", converted,
              static_cast<long long>(room));
    return refuse();
  }
  if (converted > 0) std::memcpy(output, planes[0], static_cast<size_t>(converted));
  return converted;
}

JNIEXPORT void JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_destroy(JNIEnv*, jclass,
                                                                              jlong handle) {
  audio_resampler_destroy(from_jlong<audio_resampler>(handle));
}

}  // extern "C"
