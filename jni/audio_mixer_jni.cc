// Native methods of com.ostrel.vasko.nimbo.kalvent.transcoder.audio.AudioMixer:
// two tracks mixed by the adaptive-gain mixer (integer samples of a given
// bit depth, or float samples), handles passed as longs.

#include <jni.h>

#include "common/log.h"
#include "jni/jni_util.h"
#include "tavrin_amix/audio_mixer.h"

using amix::jni::direct_region;
using amix::jni::from_jlong;
using amix::jni::to_jlong;

namespace {

// The mixer and the three buffer regions of one call; all set, or ok() is
// false.
struct TwoTracks {
  audio_mixer* mixer;
  uint8_t* t1;
  float v1;
  uint8_t* t2;
  float v2;
  uint8_t* out;
  jint size;

  bool ok() const { return mixer != nullptr && t1 != nullptr && t2 != nullptr && out != nullptr; }

  template <typename T, typename Mix>
  jboolean mix(Mix mix_fn) const {
    T* tracks[2] = {reinterpret_cast<T*>(t1), reinterpret_cast<T*>(t2)};
    const float volumes[2] = {v1, v2};
    const auto count = static_cast<int32_t>(size / static_cast<jint>(sizeof(T)));
    return mix_fn(mixer, tracks, volumes, count, 2, reinterpret_cast<T*>(out)) ? JNI_TRUE
                                                                                : JNI_FALSE;
  }
};

TwoTracks two_tracks(JNIEnv* env, jlong handle, jobject track1, jint track1_offset,
                     jfloat track1_volume, jobject track2, jint track2_offset,
                     jfloat track2_volume, jobject output, jint output_offset, jint size) {
  return {from_jlong<audio_mixer>(handle),
          direct_region(env, track1, track1_offset, size),
          track1_volume,
          direct_region(env, track2, track2_offset, size),
          track2_volume,
          direct_region(env, output, output_offset, size),
          size};
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_init(JNIEnv*, jclass,
                                                                     jint capacity) {
  audio_mixer* mixer = audio_mixer_create(capacity > 1023 ? capacity : 1024);
  if (mixer == nullptr) {
    AMIX_LOGE("Create audio mixer failed.\n");
    return -1;
  }
  return to_jlong(mixer);
}

JNIEXPORT jboolean JNICALL Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_mix(
    JNIEnv* env, jclass, jlong handle, jobject track1, jint track1_offset, jfloat track1_volume,
    jobject track2, jint track2_offset, jfloat track2_volume, jobject output, jint output_offset,
    jint bits_per_sample, jint size) {
  const TwoTracks call = two_tracks(env, handle, track1, track1_offset, track1_volume, track2,
                                   track2_offset, track2_volume, output, output_offset, size);
  if (!call.ok()) return JNI_FALSE;
  switch (bits_per_sample) {
    case 8: return call.mix<uint8_t>(audio_mixer_mix_uint8);
    case 16: return call.mix<int16_t>(audio_mixer_mix_int16);
    case 32: return call.mix<int32_t>(audio_mixer_mix_int32);
    default: return JNI_FALSE;
  }
}

JNIEXPORT jboolean JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_mixFloat(
    JNIEnv* env, jclass, jlong handle, jobject track1, jint track1_offset, jfloat track1_volume,
    jobject track2, jint track2_offset, jfloat track2_volume, jobject output, jint output_offset,
    jint size) {
  const TwoTracks call = two_tracks(env, handle, track1, track1_offset, track1_volume, track2,
                                   track2_offset, track2_volume, output, output_offset, size);
  return call.ok() ? call.mix<float>(audio_mixer_mix_float) : JNI_FALSE;
}

JNIEXPORT void JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_destroy(JNIEnv*, jclass,
                                                                        jlong handle) {
  audio_mixer_destroy(from_jlong<audio_mixer>(handle));
}

}  // extern "C"
