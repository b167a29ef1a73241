// Native methods of com.ostrel.vasko.nimbo.kalvent.process.audio.MultiAudioMixer:
// up to 30 signed 16-bit tracks mixed into one block; the handle lives in
// the object's long field "mMixerId".

#include <jni.h>

#include "jni/jni_util.h"
#include "tavrin_amix/multi_audio_mixer.h"

using amix::jni::field_handle;
using amix::jni::set_field_handle;

namespace {

constexpr const char* kField = "mMixerId";
constexpr jsize kMaxTracks = 30;

// Fills `tracks` with the direct addresses of the array's elements (NULL for
// a null or non-direct element).  False when a direct track is shorter than
// one block.
bool collect_tracks(JNIEnv* env, jobjectArray array, jsize n, jlong block_size,
                    int16_t** tracks) {
  for (jsize i = 0; i < n; ++i) {
    jobject element = env->GetObjectArrayElement(array, i);
    tracks[i] = nullptr;
    bool short_track = false;
    if (element != nullptr) {
      void* address = env->GetDirectBufferAddress(element);
      if (address != nullptr) {
        short_track = env->GetDirectBufferCapacity(element) < block_size;
        tracks[i] = static_cast<int16_t*>(address);
      }
      env->DeleteLocalRef(element);
    }
    if (short_track) return false;
  }
  return true;
}

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_init(JNIEnv* env, jobject self,
                                                                       jint block_size) {
  if (!amix::jni::handle_field_free(env, self, kField, "multi audio mixer")) return JNI_FALSE;
  multi_audio_mixer* mixer = multi_audio_mixer_create(block_size);
  if (mixer == nullptr) return JNI_FALSE;
  if (!set_field_handle(env, self, kField, mixer)) {
    multi_audio_mixer_release(mixer);
    return JNI_FALSE;
  }
  return JNI_TRUE;
}

JNIEXPORT jbyteArray JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_mix(JNIEnv* env, jobject self,
                                                                      jobjectArray tracks,
                                                                      jfloatArray volumes) {
  auto* mixer = field_handle<multi_audio_mixer>(env, self, kField);
  if (mixer == nullptr || mixer->mixer == nullptr || tracks == nullptr || volumes == nullptr) {
    return nullptr;
  }
  const jsize n = env->GetArrayLength(tracks);
  if (n > kMaxTracks || env->GetArrayLength(volumes) < n) return nullptr;
  int16_t* track_table[kMaxTracks];
  float volume_table[kMaxTracks];
  if (!collect_tracks(env, tracks, n, mixer->block_size, track_table)) return nullptr;
  env->GetFloatArrayRegion(volumes, 0, n, volume_table);
  if (multi_audio_mixer_mix(mixer, track_table, volume_table, n) != 0) return nullptr;
  jbyteArray block = env->NewByteArray(mixer->block_size);
  if (block == nullptr) return nullptr;  // OutOfMemoryError pending
  env->SetByteArrayRegion(block, 0, mixer->block_size,
                          reinterpret_cast<const jbyte*>(mixer->out_block));
  return block;
}

JNIEXPORT jboolean JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_release(JNIEnv* env,
                                                                          jobject self) {
  auto* mixer = field_handle<multi_audio_mixer>(env, self, kField);
  if (mixer == nullptr) return JNI_FALSE;
  multi_audio_mixer_release(mixer);
  set_field_handle(env, self, kField, nullptr);
  return JNI_TRUE;
}

}  // extern "C"
