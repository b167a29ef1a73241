// Native methods of
// com.ostrel.vasko.nimbo.kalvent.process.audio.SyncAudioResampler: the
// blocking resampler between a Java producer and a Java consumer; the handle
// lives in the object's long field "mResamplerId".

#include <jni.h>

#include "common/alloc.h"
#include "common/log.h"
#include "jni/jni_util.h"
#include "tavrin_amix/sync_audio_resampler.h"

using amix::jni::field_handle;
using amix::jni::set_field_handle;

namespace {

constexpr const char* kField = "mResamplerId";
constexpr const char* kStampField = "mBlockStamp";

sync_audio_resampler* handle_of(JNIEnv* env, jobject self) {
  return field_handle<sync_audio_resampler>(env, self, kField);
}

// The address of `output` when it can take a whole block, or nullptr after
// logging.
void* block_target(JNIEnv* env, sync_audio_resampler* s, jobject output) {
  void* address = output == nullptr ? nullptr : env->GetDirectBufferAddress(output);
  if (address == nullptr) {
    AMIX_LOGE("raw audio read data failed to get direct buffer !");
    return nullptr;
  }
  if (s->block_size > env->GetDirectBufferCapacity(output)) {
    AMIX_LOGE("raw audio read data failed, direct buffer capacity not enough !");
    return nullptr;
  }
  return address;
}

// Both inits: the object is created only for a receiver that holds none.
jboolean init_object(JNIEnv* env, jobject self, jint src_rate, jint src_speakers, jint dst_rate,
                     jint dst_speakers, jint block_size, jint quality) {
  if (!amix::jni::handle_field_free(env, self, kField, "sync audio resampler")) return JNI_FALSE;
  sync_audio_resampler* s = sync_audio_resampler_create_quality(
      src_rate, src_speakers, dst_rate, dst_speakers, block_size, quality);
  if (s == nullptr) return JNI_FALSE;
  if (!set_field_handle(env, self, kField, s)) {
    sync_audio_resampler_release(s);
    return JNI_FALSE;
  }
  return JNI_TRUE;
}

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_init(
    JNIEnv* env, jobject self, jint src_rate, jint src_speakers, jint dst_rate, jint dst_speakers,
    jint block_size) {
  return init_object(env, self, src_rate, src_speakers, dst_rate, dst_speakers, block_size,
                     AUDIO_RESAMPLE_QUALITY_DEFAULT);
}

JNIEXPORT jboolean JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_initQuality(
    JNIEnv* env, jobject self, jint src_rate, jint src_speakers, jint dst_rate, jint dst_speakers,
    jint block_size, jint quality) {
  return init_object(env, self, src_rate, src_speakers, dst_rate, dst_speakers, block_size,
                     quality);
}

JNIEXPORT jboolean JNICALL Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_write(
    JNIEnv* env, jobject self, jobject data, jint size, jlong stamp, jboolean end_of_stream) {
  sync_audio_resampler* s = handle_of(env, self);
  if (s == nullptr) return JNI_FALSE;
  void* address = data == nullptr ? nullptr : env->GetDirectBufferAddress(data);
  if (address == nullptr) {
    AMIX_LOGE("raw audio write data failed to get direct buffer !");
    return JNI_FALSE;
  }
  if (size < 0 || size > env->GetDirectBufferCapacity(data)) {
    AMIX_LOGE("raw audio write data size out of range: %d", size);
    return JNI_FALSE;
  }
  return sync_audio_resampler_write(s, address, size, stamp, end_of_stream ? 1 : 0) == 0
             ? JNI_TRUE
             : JNI_FALSE;
}

JNIEXPORT jint JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_read__Ljava_nio_ByteBuffer_2(
    JNIEnv* env, jobject self, jobject output) {
  sync_audio_resampler* s = handle_of(env, self);
  if (s == nullptr) return -1;
  void* address = block_target(env, s, output);
  if (address == nullptr) return -1;
  const int32_t n = sync_audio_resampler_read(s, address, s->block_size);
  return n > 0 ? n : -1;
}

JNIEXPORT jint JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_readStamped(JNIEnv* env,
                                                                                 jobject self,
                                                                                 jobject output) {
  sync_audio_resampler* s = handle_of(env, self);
  if (s == nullptr) return -1;
  // Looked up before the read, so that a missing field takes no block.
  const jfieldID stamp_field = amix::jni::long_field(env, self, kStampField);
  if (stamp_field == nullptr) return -1;
  void* address = block_target(env, s, output);
  if (address == nullptr) return -1;
  int64_t stamp = 0;
  const int32_t n = sync_audio_resampler_read_stamped(s, address, s->block_size, &stamp);
  if (n <= 0) return -1;
  env->SetLongField(self, stamp_field, static_cast<jlong>(stamp));
  return n;
}

JNIEXPORT jbyteArray JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_read__(JNIEnv* env,
                                                                            jobject self) {
  sync_audio_resampler* s = handle_of(env, self);
  if (s == nullptr) return nullptr;
  auto* scratch = static_cast<jbyte*>(amix::mem_malloc(static_cast<size_t>(s->block_size)));
  if (scratch == nullptr) return nullptr;
  const int32_t n = sync_audio_resampler_read(s, scratch, s->block_size);
  jbyteArray array = n > 0 ? env->NewByteArray(n) : nullptr;
  if (array != nullptr) env->SetByteArrayRegion(array, 0, n, scratch);
  amix::mem_free(scratch);
  return array;  // NULL also when the array could not be made (OutOfMemoryError pending)
}

JNIEXPORT void JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_interrupt(JNIEnv* env,
                                                                               jobject self) {
  sync_audio_resampler* s = handle_of(env, self);
  if (s != nullptr) sync_audio_resampler_interrupt(s);
}

JNIEXPORT jboolean JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_release(JNIEnv* env,
                                                                             jobject self) {
  sync_audio_resampler* s = handle_of(env, self);
  if (s == nullptr) return JNI_FALSE;
  sync_audio_resampler_release(s);
  set_field_handle(env, self, kField, nullptr);
  return JNI_TRUE;
}

}  // extern "C"
