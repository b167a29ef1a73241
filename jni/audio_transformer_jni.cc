// Native methods of
// com.ostrel.vasko.nimbo.kalvent.transcoder.audio.AudioTransformer: PCM
// conversion through the resampler and the end of its streams, handles
// passed as longs.

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

// `op` names the call in its log lines: "resample" or "drain".
jint refuse(const char* op) {
  AMIX_LOGE("%s failed.\n", op);
  return -1;
}

// The output region at `offset`, or nullptr after logging.
uint8_t* output_at(JNIEnv* env, jobject buffer, jint offset, const char* op) {
  uint8_t* output = direct_region(env, buffer, offset, 0);
  if (output == nullptr) {
    AMIX_LOGE("%s output buffer refused: offset %d", op, offset);
    refuse(op);
  }
  return output;
}

// Copies the `count` converted bytes at `bytes` to `output`, the region at
// `offset` in `buffer`; the count, or -1 after logging when they do not fit.
jint deliver(JNIEnv* env, jobject buffer, jint offset, uint8_t* output, const uint8_t* bytes,
             int32_t count, const char* op) {
  const jlong room = env->GetDirectBufferCapacity(buffer) - offset;
  if (count > room) {
    AMIX_LOGE("%s output buffer too small: %d bytes converted, room for %lld", op, count,
              static_cast<long long>(room));
    return refuse(op);
  }
  if (count > 0) std::memcpy(output, bytes, static_cast<size_t>(count));
  return count;
}

// Both inits: the handle of a new resampler, or -1 after logging.
jlong create(jint src_rate, jint src_speakers, jint src_bits, jint dst_rate, jint dst_speakers,
             jint dst_bits, jint quality) {
  const audio_desc src = {static_cast<uint32_t>(src_rate), format_of_bits(src_bits), src_speakers};
  const audio_desc dst = {static_cast<uint32_t>(dst_rate), format_of_bits(dst_bits), dst_speakers};
  AMIX_LOGI(
      "src: samples_per_sec = %d, format = %d, speakers = %d  dst: samples_per_sec = %d, "
      "format = %d, speakers = %d",
      src_rate, src.format, src.speakers, dst_rate, dst.format, dst.speakers);
  audio_resampler* resampler = audio_resampler_create_quality(&dst, &src, quality);
  if (resampler == nullptr) {
    AMIX_LOGE("Create resampler failed.\n");
    return -1;
  }
  return to_jlong(resampler);
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_init(
    JNIEnv*, jclass, jint src_rate, jint src_speakers, jint src_bits, jint dst_rate,
    jint dst_speakers, jint dst_bits) {
  return create(src_rate, src_speakers, src_bits, dst_rate, dst_speakers, dst_bits,
                AUDIO_RESAMPLE_QUALITY_DEFAULT);
}

JNIEXPORT jlong JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_initQuality(
    JNIEnv*, jclass, jint src_rate, jint src_speakers, jint src_bits, jint dst_rate,
    jint dst_speakers, jint dst_bits, jint quality) {
  return create(src_rate, src_speakers, src_bits, dst_rate, dst_speakers, dst_bits, quality);
}

JNIEXPORT jint JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_resample(
    JNIEnv* env, jclass, jlong handle, jobject input_buffer, jint input_offset, jint input_size,
    jobject output_buffer, jint output_offset, jint /*output_size: informational only*/) {
  constexpr const char* kOp = "resample";
  auto* resampler = from_jlong<audio_resampler>(handle);
  if (resampler == nullptr) return refuse(kOp);
  const uint8_t* input = direct_region(env, input_buffer, input_offset, input_size);
  if (input == nullptr) {
    AMIX_LOGE("resample input buffer refused: offset %d, size %d", input_offset, input_size);
    return refuse(kOp);
  }
  uint8_t* output = output_at(env, output_buffer, output_offset, kOp);
  if (output == nullptr) return -1;
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  int32_t converted = 0;
  const uint8_t* inputs[1] = {input};
  if (!audio_resampler_resample(resampler, planes, &converted, inputs,
                                static_cast<uint32_t>(input_size))) {
    return refuse(kOp);
  }
  return deliver(env, output_buffer, output_offset, output, planes[0], converted, kOp);
}

JNIEXPORT jint JNICALL Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_drain(
    JNIEnv* env, jclass, jlong handle, jobject output_buffer, jint output_offset,
    jint /*output_size: informational only*/) {
  constexpr const char* kOp = "drain";
  auto* resampler = from_jlong<audio_resampler>(handle);
  if (resampler == nullptr) return refuse(kOp);
  uint8_t* output = output_at(env, output_buffer, output_offset, kOp);
  if (output == nullptr) return -1;
  uint8_t* planes[RESAMPLER_MAX_PLANES] = {};
  int32_t drained = 0;
  if (!audio_resampler_drain(resampler, planes, &drained)) return refuse(kOp);
  return deliver(env, output_buffer, output_offset, output, planes[0], drained, kOp);
}

JNIEXPORT void JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_destroy(JNIEnv*, jclass,
                                                                              jlong handle) {
  audio_resampler_destroy(from_jlong<audio_resampler>(handle));
}

}  // extern "C"
