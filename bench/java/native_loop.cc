// Native twins of the Java benchmark's loops: the same library calls the JNI
// methods make, on the same native object and the same direct buffers, timed
// without crossing into Java.  Whatever the two loops do differently is the
// cost of the Java face itself; memory placement and cache state are shared.

#include <jni.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tavrin_amix/multi_audio_mixer.h"
#include "tavrin_amix/sync_audio_resampler.h"

namespace {

template <typename T>
T* handle_of(JNIEnv* env, jobject self, const char* field) {
  jclass cls = env->GetObjectClass(self);
  const jlong value = env->GetLongField(self, env->GetFieldID(cls, field, "J"));
  env->DeleteLocalRef(cls);
  return reinterpret_cast<T*>(static_cast<uintptr_t>(value));
}

using clock_type = std::chrono::steady_clock;

jlong elapsed_ns(clock_type::time_point start) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(clock_type::now() - start).count();
}

}  // namespace

// `iterations` mixes of the Java object's mixer over the same tracks and
// volumes, each followed by a copy of the block, as the binding copies it
// into the Java array it returns.
extern "C" JNIEXPORT jlong JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_bench_JniBench_nativeMixLoop(JNIEnv* env, jclass,
                                                                 jobject java_mixer,
                                                                 jobjectArray java_tracks,
                                                                 jfloatArray java_volumes,
                                                                 jint iterations) {
  auto* mixer = handle_of<multi_audio_mixer>(env, java_mixer, "mMixerId");
  const jsize n = env->GetArrayLength(java_tracks);
  std::vector<int16_t*> tracks(n);
  std::vector<float> volumes(n);
  for (jsize i = 0; i < n; ++i) {
    jobject element = env->GetObjectArrayElement(java_tracks, i);
    tracks[i] = static_cast<int16_t*>(env->GetDirectBufferAddress(element));
    env->DeleteLocalRef(element);
  }
  env->GetFloatArrayRegion(java_volumes, 0, n, volumes.data());
  std::vector<uint8_t> copy(mixer->block_size);
  const auto start = clock_type::now();
  for (jint i = 0; i < iterations; ++i) {
    multi_audio_mixer_mix(mixer, tracks.data(), volumes.data(), n);
    std::memcpy(copy.data(), mixer->out_block, copy.size());
  }
  return elapsed_ns(start);
}

// The calls MultiAudioMixer.mixInto and mixRampInto make: `iterations`
// mixes (ramped across frames of `channels` samples towards `java_to` when
// that is not null), each block copied into the direct buffer `out`.
extern "C" JNIEXPORT jlong JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_bench_JniBench_nativeMixIntoLoop(
    JNIEnv* env, jclass, jobject java_mixer, jobjectArray java_tracks, jfloatArray java_from,
    jfloatArray java_to, jint channels, jobject out, jint iterations) {
  auto* mixer = handle_of<multi_audio_mixer>(env, java_mixer, "mMixerId");
  const jsize n = env->GetArrayLength(java_tracks);
  std::vector<int16_t*> tracks(n);
  std::vector<float> from(n), to(n);
  for (jsize i = 0; i < n; ++i) {
    jobject element = env->GetObjectArrayElement(java_tracks, i);
    tracks[i] = static_cast<int16_t*>(env->GetDirectBufferAddress(element));
    env->DeleteLocalRef(element);
  }
  env->GetFloatArrayRegion(java_from, 0, n, from.data());
  if (java_to != nullptr) env->GetFloatArrayRegion(java_to, 0, n, to.data());
  auto* into = env->GetDirectBufferAddress(out);
  const auto start = clock_type::now();
  for (jint i = 0; i < iterations; ++i) {
    if (java_to != nullptr) {
      multi_audio_mixer_mix_ramp(mixer, tracks.data(), from.data(), to.data(), n, channels);
    } else {
      multi_audio_mixer_mix(mixer, tracks.data(), from.data(), n);
    }
    std::memcpy(into, mixer->out_block, mixer->block_size);
  }
  return elapsed_ns(start);
}

// One write of a block and one read of it on the Java object's blocking
// resampler, through the same direct buffers: the calls that
// SyncAudioResampler.write and read(ByteBuffer) make.
extern "C" JNIEXPORT jlong JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_bench_JniBench_nativeSyncLoop(JNIEnv* env, jclass,
                                                                  jobject java_resampler,
                                                                  jobject in, jobject out,
                                                                  jint iterations) {
  auto* s = handle_of<sync_audio_resampler>(env, java_resampler, "mResamplerId");
  auto* src = env->GetDirectBufferAddress(in);
  const auto len = static_cast<int32_t>(env->GetDirectBufferCapacity(in));
  auto* dst = env->GetDirectBufferAddress(out);
  const auto start = clock_type::now();
  for (jint i = 0; i < iterations; ++i) {
    sync_audio_resampler_write(s, src, len, i, 0);
    sync_audio_resampler_read(s, dst, s->block_size);
  }
  return elapsed_ns(start);
}
