// The native methods called through a stand-in JNI environment: handle
// widening on 32-bit builds, local-reference discipline, field handling and
// failure paths that a real JVM makes hard to reach.

#include <jni.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tests/jni/fake_jni.h"
#include "tests/support/log_capture.h"

extern "C" {
jint JNI_OnLoad(JavaVM* vm, void* reserved);
jlong Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_init(JNIEnv*, jclass, jint);
jboolean Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_mix(
    JNIEnv*, jclass, jlong, jobject, jint, jfloat, jobject, jint, jfloat, jobject, jint, jint, jint);
void Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_destroy(JNIEnv*, jclass, jlong);
jlong Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_init(
    JNIEnv*, jclass, jint, jint, jint, jint, jint, jint);
jint Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_resample(
    JNIEnv*, jclass, jlong, jobject, jint, jint, jobject, jint, jint);
void Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_destroy(JNIEnv*, jclass,
                                                                                   jlong);
jboolean Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_init(JNIEnv*, jobject, jint);
jbyteArray Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_mix(JNIEnv*, jobject,
                                                                                 jobjectArray,
                                                                                 jfloatArray);
jboolean Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_release(JNIEnv*, jobject);
}

namespace {

using amix_test::FakeJni;
using amix_test::LogCapture;

#define MIXER(name) Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_##name
#define TRANSFORMER(name) Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_##name
#define MULTI(name) Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_##name

void put16(FakeJni& jni, jobject buffer, std::vector<int16_t> values) {
  std::memcpy(jni.address(buffer), values.data(), values.size() * 2);
}
std::vector<int16_t> get16(const uint8_t* bytes, size_t n) {
  std::vector<int16_t> v(n);
  std::memcpy(v.data(), bytes, n * 2);
  return v;
}

TEST(JniNative, LoadHookAsksForVersion14) {
  FakeJni jni;
  EXPECT_EQ(JNI_OnLoad(jni.vm(), nullptr), JNI_VERSION_1_4);
  LogCapture log;
  jni.fail_get_env();
  EXPECT_EQ(JNI_OnLoad(jni.vm(), nullptr), -1);
  EXPECT_EQ(log.lines(), std::vector<amix_test::LogLine>{amix_test::error("JNI_OnLoad fail!")});
}

// On a 32-bit build the handle is the address widened with a zero upper
// half; a long whose upper half is set cannot be a handle there.
TEST(JniNative, HandlesAreZeroExtendedAddresses) {
  FakeJni jni;
  const jlong h = MIXER(init)(jni.env(), nullptr, 0);
  ASSERT_NE(h, -1);
  ASSERT_NE(h, 0);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(static_cast<uint64_t>(h) >> 32, 0u);
  }
  jobject a = jni.direct_buffer(4), b = jni.direct_buffer(4), out = jni.direct_buffer(4);
  put16(jni, a, {1000, -3});
  put16(jni, b, {234, 3});
  EXPECT_TRUE(MIXER(mix)(jni.env(), nullptr, h, a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 4));
  EXPECT_EQ(get16(jni.address(out), 2), (std::vector<int16_t>{1234, 0}));
  if (sizeof(void*) == 4) {
    const jlong widened = h | (jlong{1} << 32);
    EXPECT_FALSE(MIXER(mix)(jni.env(), nullptr, widened, a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 4));
  }
  MIXER(destroy)(jni.env(), nullptr, h);
}

TEST(JniNative, TransformerConvertsThroughTheHandle) {
  FakeJni jni;
  const jlong h = TRANSFORMER(init)(jni.env(), nullptr, 8000, 1, 16, 8000, 1, 16);
  ASSERT_NE(h, -1);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(static_cast<uint64_t>(h) >> 32, 0u);
  }
  jobject in = jni.direct_buffer(6), out = jni.direct_buffer(8), heap = jni.heap_buffer(6);
  put16(jni, in, {5, 6, 7});
  EXPECT_EQ(TRANSFORMER(resample)(jni.env(), nullptr, h, in, 2, 4, out, 4, 0), 4);
  EXPECT_EQ(get16(jni.address(out), 4), (std::vector<int16_t>{0, 0, 6, 7}));
  EXPECT_EQ(TRANSFORMER(resample)(jni.env(), nullptr, h, heap, 0, 6, out, 0, 8), -1);
  TRANSFORMER(destroy)(jni.env(), nullptr, h);
}

class MultiMixerJni : public ::testing::Test {
 protected:
  FakeJni jni;
  jobject self = jni.instance({"mMixerId"});

  std::vector<jobject> tracks(int n, int16_t value) {
    std::vector<jobject> v;
    for (int i = 0; i < n; ++i) {
      v.push_back(jni.direct_buffer(4));
      put16(jni, v.back(), {value, 1});
    }
    return v;
  }
};

TEST_F(MultiMixerJni, ThirtyTracksKeepLocalReferencesFlat) {
  ASSERT_TRUE(MULTI(init)(jni.env(), self, 4));
  const jlong h = jni.field(self, "mMixerId");
  if (sizeof(void*) == 4) {
    EXPECT_EQ(static_cast<uint64_t>(h) >> 32, 0u);
  }
  jbyteArray block = MULTI(mix)(jni.env(), self, jni.object_array(tracks(30, 2)),
                                jni.float_array(std::vector<float>(30, 1.0f)));
  ASSERT_NE(block, nullptr);
  const std::vector<jbyte> bytes = jni.bytes_of(block);
  EXPECT_EQ(get16(reinterpret_cast<const uint8_t*>(bytes.data()), 2),
            (std::vector<int16_t>{60, 30}));
  EXPECT_EQ(jni.live_local_refs(), 0);
  EXPECT_LE(jni.most_local_refs(), 2);
  EXPECT_TRUE(MULTI(release)(jni.env(), self));
  EXPECT_EQ(jni.field(self, "mMixerId"), 0);
  EXPECT_FALSE(MULTI(release)(jni.env(), self));
}

TEST_F(MultiMixerJni, RefusalsReturnNullAndReleaseWhatTheyTook) {
  ASSERT_TRUE(MULTI(init)(jni.env(), self, 4));
  const auto two = tracks(2, 1);
  EXPECT_EQ(MULTI(mix)(jni.env(), self, jni.object_array(tracks(31, 1)),
                       jni.float_array(std::vector<float>(31, 1.0f))),
            nullptr);
  EXPECT_EQ(MULTI(mix)(jni.env(), self, jni.object_array(two), jni.float_array({1.0f})), nullptr);
  EXPECT_EQ(MULTI(mix)(jni.env(), self, nullptr, jni.float_array({1.0f})), nullptr);
  jobject short_track = jni.direct_buffer(2);
  EXPECT_EQ(MULTI(mix)(jni.env(), self, jni.object_array({two[0], short_track}),
                       jni.float_array({1.0f, 1.0f})),
            nullptr);
  jni.fail_next_array();
  EXPECT_EQ(MULTI(mix)(jni.env(), self, jni.object_array(two), jni.float_array({1.0f, 1.0f})),
            nullptr);
  EXPECT_EQ(jni.live_local_refs(), 0);
  MULTI(release)(jni.env(), self);
}

TEST_F(MultiMixerJni, InitWithoutTheFieldFreesTheMixer) {
  jobject stranger = jni.instance({"somethingElse"});
  EXPECT_FALSE(MULTI(init)(jni.env(), stranger, 4));  // leak-checked by the sanitizer build
  EXPECT_TRUE(jni.exception_pending());
}

}  // namespace
