// Native methods of com.ostrel.vasko.nimbo.kalvent.process.audio.MultiAudioMixer:
// up to 30 signed 16-bit tracks mixed into one block, at fixed volumes or
// along volume ramps, returned in a new byte[] or copied to a direct buffer
// (whose addresses the Java class looks up once and passes back); the
// handle lives in the object's long field "mMixerId".

#include <jni.h>

#include <cstring>

#include "jni/jni_util.h"
#include "tavrin_amix/multi_audio_mixer.h"

using amix::jni::field_handle;
using amix::jni::from_jlong;
using amix::jni::set_field_handle;
using amix::jni::to_jlong;

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

// The tracks and volumes of one call, taken from the Java arrays.
struct Call {
  multi_audio_mixer* mixer = nullptr;
  jsize n = 0;
  int16_t* tracks[kMaxTracks];
  float from[kMaxTracks];
  float to[kMaxTracks];
};

// Fills `call` for the receiver's mixer: the track addresses and the
// volumes (`to` is NULL for a mix at fixed volumes).  False, with nothing to
// mix, when there is no mixer, an array is missing, there are more than 30
// tracks, fewer volumes than tracks or volume arrays of different lengths,
// or a direct track is shorter than one block.
bool gather(JNIEnv* env, jobject self, jobjectArray tracks, jfloatArray from, jfloatArray to,
            bool ramped, Call& call) {
  call.mixer = field_handle<multi_audio_mixer>(env, self, kField);
  if (call.mixer == nullptr || call.mixer->mixer == nullptr || tracks == nullptr ||
      from == nullptr || (ramped && to == nullptr)) {
    return false;
  }
  call.n = env->GetArrayLength(tracks);
  const jsize volumes = env->GetArrayLength(from);
  if (call.n > kMaxTracks || volumes < call.n) return false;
  if (ramped && env->GetArrayLength(to) != volumes) return false;
  if (!collect_tracks(env, tracks, call.n, call.mixer->block_size, call.tracks)) return false;
  env->GetFloatArrayRegion(from, 0, call.n, call.from);
  if (ramped) env->GetFloatArrayRegion(to, 0, call.n, call.to);
  return true;
}

// The mixed block as a new byte[], or NULL (a failed allocation leaves the
// VM's OutOfMemoryError pending).
jbyteArray block_array(JNIEnv* env, const multi_audio_mixer* mixer) {
  jbyteArray block = env->NewByteArray(mixer->block_size);
  if (block == nullptr) return nullptr;
  env->SetByteArrayRegion(block, 0, mixer->block_size,
                          reinterpret_cast<const jbyte*>(mixer->out_block));
  return block;
}

// The mixed block copied to `out`; its byte count.
jint copy_block(const multi_audio_mixer* mixer, uint8_t* out) {
  std::memcpy(out, mixer->out_block, static_cast<size_t>(mixer->block_size));
  return mixer->block_size;
}

int mix_call(const Call& call) {
  return multi_audio_mixer_mix(call.mixer, call.tracks, call.from, call.n);
}
int mix_ramp_call(const Call& call, jint channels) {
  return multi_audio_mixer_mix_ramp(call.mixer, call.tracks, call.from, call.to, call.n,
                                    channels);
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
  Call call;
  if (!gather(env, self, tracks, volumes, nullptr, false, call) || mix_call(call) != 0) {
    return nullptr;
  }
  return block_array(env, call.mixer);
}

JNIEXPORT jbyteArray JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_mixRamp(
    JNIEnv* env, jobject self, jobjectArray tracks, jfloatArray volumes_from,
    jfloatArray volumes_to, jint channels) {
  Call call;
  if (!gather(env, self, tracks, volumes_from, volumes_to, true, call) ||
      mix_ramp_call(call, channels) != 0) {
    return nullptr;
  }
  return block_array(env, call.mixer);
}

JNIEXPORT jlong JNICALL Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_address(
    JNIEnv* env, jclass, jlong handle, jobject buffer) {
  const auto* mixer = from_jlong<multi_audio_mixer>(handle);
  if (mixer == nullptr) return -1;
  void* address = env->GetDirectBufferAddress(buffer);
  if (address == nullptr) return 0;
  return env->GetDirectBufferCapacity(buffer) < mixer->block_size ? -1 : to_jlong(address);
}

JNIEXPORT jint JNICALL Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_mixAt(
    JNIEnv* env, jclass, jlong handle, jlongArray tracks, jint count, jfloatArray volumes_from,
    jfloatArray volumes_to, jint channels, jlong out) {
  Call call;
  call.mixer = from_jlong<multi_audio_mixer>(handle);
  auto* into = from_jlong<uint8_t>(out);
  if (call.mixer == nullptr || call.mixer->mixer == nullptr || into == nullptr || count < 0 ||
      count > kMaxTracks) {
    return -1;
  }
  call.n = count;
  jlong addresses[kMaxTracks];
  env->GetLongArrayRegion(tracks, 0, count, addresses);
  for (jsize i = 0; i < count; ++i) call.tracks[i] = from_jlong<int16_t>(addresses[i]);
  env->GetFloatArrayRegion(volumes_from, 0, count, call.from);
  if (volumes_to != nullptr) env->GetFloatArrayRegion(volumes_to, 0, count, call.to);
  const int mixed = volumes_to != nullptr ? mix_ramp_call(call, channels) : mix_call(call);
  return mixed == 0 ? copy_block(call.mixer, into) : -1;
}

JNIEXPORT jfloat JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_lastGain(JNIEnv* env,
                                                                           jobject self) {
  return multi_audio_mixer_last_gain(field_handle<multi_audio_mixer>(env, self, kField));
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
