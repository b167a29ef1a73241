// Native methods of com.ostrel.vasko.nimbo.kalvent.transcoder.audio.AudioMixer:
// two tracks mixed by the adaptive-gain mixer (integer samples of a given
// bit depth, or float samples; at fixed volumes or along volume ramps),
// handles passed as longs.

#include <jni.h>

#include "common/log.h"
#include "jni/jni_util.h"
#include "tavrin_amix/audio_mixer.h"

using amix::jni::direct_region;
using amix::jni::from_jlong;
using amix::jni::to_jlong;

namespace {

// The mixer and the three buffer regions of one call, with each track's
// volume ramp (from == to for the plain mixes); all set, or ok() is false.
struct TwoTracks {
  audio_mixer* mixer;
  uint8_t* t1;
  uint8_t* t2;
  uint8_t* out;
  jint size;
  float from[2];
  float to[2];

  bool ok() const { return mixer != nullptr && t1 != nullptr && t2 != nullptr && out != nullptr; }

  template <typename T>
  struct Tracks {
    T* tracks[2];
    T* out;
    int32_t samples;
  };
  template <typename T>
  Tracks<T> as() const {
    return {{reinterpret_cast<T*>(t1), reinterpret_cast<T*>(t2)},
            reinterpret_cast<T*>(out),
            static_cast<int32_t>(size / static_cast<jint>(sizeof(T)))};
  }

  template <typename T, typename Mix>
  jboolean mix(Mix mix_fn) const {
    Tracks<T> a = as<T>();
    return mix_fn(mixer, a.tracks, from, a.samples, 2, a.out) ? JNI_TRUE : JNI_FALSE;
  }

  // Whole frames of `channels` samples only: a block that does not divide
  // into them is refused, as the multi-track mixer refuses one.
  template <typename T, typename Mix>
  jboolean mix_ramp(Mix mix_fn, jint channels) const {
    Tracks<T> a = as<T>();
    if (channels < 1 || a.samples % channels != 0) return JNI_FALSE;
    return mix_fn(mixer, a.tracks, from, to, a.samples / channels, channels, 2, a.out) ? JNI_TRUE
                                                                                      : JNI_FALSE;
  }
};

TwoTracks two_tracks(JNIEnv* env, jlong handle, jobject track1, jint track1_offset,
                     jfloat track1_from, jfloat track1_to, jobject track2, jint track2_offset,
                     jfloat track2_from, jfloat track2_to, jobject output, jint output_offset,
                     jint size) {
  return {from_jlong<audio_mixer>(handle),
          direct_region(env, track1, track1_offset, size),
          direct_region(env, track2, track2_offset, size),
          direct_region(env, output, output_offset, size),
          size,
          {track1_from, track2_from},
          {track1_to, track2_to}};
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
  const TwoTracks call =
      two_tracks(env, handle, track1, track1_offset, track1_volume, track1_volume, track2,
                 track2_offset, track2_volume, track2_volume, output, output_offset, size);
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
  const TwoTracks call =
      two_tracks(env, handle, track1, track1_offset, track1_volume, track1_volume, track2,
                 track2_offset, track2_volume, track2_volume, output, output_offset, size);
  return call.ok() ? call.mix<float>(audio_mixer_mix_float) : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_mixRamp(
    JNIEnv* env, jclass, jlong handle, jobject track1, jint track1_offset, jfloat track1_from,
    jfloat track1_to, jobject track2, jint track2_offset, jfloat track2_from, jfloat track2_to,
    jobject output, jint output_offset, jint bits_per_sample, jint channels, jint size) {
  const TwoTracks call =
      two_tracks(env, handle, track1, track1_offset, track1_from, track1_to, track2,
                 track2_offset, track2_from, track2_to, output, output_offset, size);
  if (!call.ok()) return JNI_FALSE;
  switch (bits_per_sample) {
    case 8: return call.mix_ramp<uint8_t>(audio_mixer_mix_uint8_ramp, channels);
    case 16: return call.mix_ramp<int16_t>(audio_mixer_mix_int16_ramp, channels);
    case 32: return call.mix_ramp<int32_t>(audio_mixer_mix_int32_ramp, channels);
    default: return JNI_FALSE;
  }
}

JNIEXPORT jboolean JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_mixFloatRamp(
    JNIEnv* env, jclass, jlong handle, jobject track1, jint track1_offset, jfloat track1_from,
    jfloat track1_to, jobject track2, jint track2_offset, jfloat track2_from, jfloat track2_to,
    jobject output, jint output_offset, jint channels, jint size) {
  const TwoTracks call =
      two_tracks(env, handle, track1, track1_offset, track1_from, track1_to, track2,
                 track2_offset, track2_from, track2_to, output, output_offset, size);
  return call.ok() ? call.mix_ramp<float>(audio_mixer_mix_float_ramp, channels) : JNI_FALSE;
}

JNIEXPORT jfloat JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_lastGain(JNIEnv*, jclass,
                                                                         jlong handle) {
  return audio_mixer_last_gain(from_jlong<audio_mixer>(handle));
}

JNIEXPORT void JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_destroy(JNIEnv*, jclass,
                                                                        jlong handle) {
  audio_mixer_destroy(from_jlong<audio_mixer>(handle));
}

}  // extern "C"
