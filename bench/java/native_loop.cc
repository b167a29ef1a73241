// Native twins of the Java benchmark's loops: the same library calls the JNI
// methods make, timed without crossing into Java, in the same process.

#include <jni.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tavrin_amix/multi_audio_mixer.h"
#include "tavrin_amix/sync_audio_resampler.h"

extern "C" JNIEXPORT jlong JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_bench_JniBench_nativeMixLoop(JNIEnv*, jclass, jint track_count,
                                                                 jint block_bytes,
                                                                 jint iterations) {
  multi_audio_mixer* mixer = multi_audio_mixer_create(block_bytes);
  std::vector<std::vector<int16_t>> storage(track_count, std::vector<int16_t>(block_bytes / 2));
  std::vector<int16_t*> tracks;
  std::vector<float> volumes(track_count, 1.0f);
  for (auto& t : storage) {
    for (size_t i = 0; i < t.size(); ++i) t[i] = int16_t((i * 37) % 2000 - 1000);
    tracks.push_back(t.data());
  }
  std::vector<uint8_t> copy(block_bytes);
  const auto start = std::chrono::steady_clock::now();
  for (jint i = 0; i < iterations; ++i) {
    multi_audio_mixer_mix(mixer, tracks.data(), volumes.data(), track_count);
    std::memcpy(copy.data(), mixer->out_block, block_bytes);  // as the binding's array copy
  }
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now() - start).count();
  multi_audio_mixer_release(mixer);
  return static_cast<jlong>(ns);
}

// One write of a block and one read of it, on one thread, through an
// identity conversion: the calls SyncAudioResampler.write and
// read(ByteBuffer) make, without the JNI crossings.
extern "C" JNIEXPORT jlong JNICALL
Java_com_ostrel_vasko_nimbo_kalvent_bench_JniBench_nativeSyncLoop(JNIEnv*, jclass, jint block_bytes,
                                                                  jint iterations) {
  sync_audio_resampler* s = sync_audio_resampler_create(48000, 2, 48000, 2, block_bytes);
  std::vector<uint8_t> in(block_bytes, 7), out(block_bytes);
  const auto start = std::chrono::steady_clock::now();
  for (jint i = 0; i < iterations; ++i) {
    sync_audio_resampler_write(s, in.data(), block_bytes, i, 0);
    sync_audio_resampler_read(s, out.data(), s->block_size);
  }
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now() - start).count();
  sync_audio_resampler_release(s);
  return static_cast<jlong>(ns);
}
