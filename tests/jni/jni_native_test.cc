// The native methods called through a stand-in JNI environment: handle
// widening on 32-bit builds, local-reference discipline, field handling and
// failure paths that a real JVM makes hard to reach.

#include <jni.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/alloc.h"
#include "tests/jni/fake_jni.h"
#include "tests/support/log_capture.h"
#include "tests/sync/sync_test_util.h"

#define MIXER(name) Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioMixer_##name
#define TRANSFORMER(name) Java_com_ostrel_vasko_nimbo_kalvent_transcoder_audio_AudioTransformer_##name
#define MULTI(name) Java_com_ostrel_vasko_nimbo_kalvent_process_audio_MultiAudioMixer_##name
#define SYNC(name) Java_com_ostrel_vasko_nimbo_kalvent_process_audio_SyncAudioResampler_##name

extern "C" {
jint JNI_OnLoad(JavaVM* vm, void* reserved);
jlong MIXER(init)(JNIEnv*, jclass, jint);
jboolean MIXER(mix)(JNIEnv*, jclass, jlong, jobject, jint, jfloat, jobject, jint, jfloat, jobject,
                    jint, jint, jint);
jboolean MIXER(mixFloat)(JNIEnv*, jclass, jlong, jobject, jint, jfloat, jobject, jint, jfloat,
                         jobject, jint, jint);
void MIXER(destroy)(JNIEnv*, jclass, jlong);
jlong TRANSFORMER(init)(JNIEnv*, jclass, jint, jint, jint, jint, jint, jint);
jlong TRANSFORMER(initQuality)(JNIEnv*, jclass, jint, jint, jint, jint, jint, jint, jint);
jint TRANSFORMER(resample)(JNIEnv*, jclass, jlong, jobject, jint, jint, jobject, jint, jint);
void TRANSFORMER(destroy)(JNIEnv*, jclass, jlong);
jboolean MULTI(init)(JNIEnv*, jobject, jint);
jbyteArray MULTI(mix)(JNIEnv*, jobject, jobjectArray, jfloatArray);
jlong MULTI(address)(JNIEnv*, jclass, jlong, jobject);
jint MULTI(mixAt)(JNIEnv*, jclass, jlong, jlongArray, jint, jfloatArray, jfloatArray, jint, jlong);
jboolean MULTI(release)(JNIEnv*, jobject);
jboolean SYNC(init)(JNIEnv*, jobject, jint, jint, jint, jint, jint);
jboolean SYNC(initQuality)(JNIEnv*, jobject, jint, jint, jint, jint, jint, jint);
jboolean SYNC(write)(JNIEnv*, jobject, jobject, jint, jlong, jboolean);
jbyteArray SYNC(read__)(JNIEnv*, jobject);
jint SYNC(readStamped)(JNIEnv*, jobject, jobject);
jboolean SYNC(release)(JNIEnv*, jobject);
}

namespace {

using amix_test::FakeJni;
using amix_test::LogCapture;

// Samples into a direct buffer and back out of memory; 16-bit unless told.
template <typename T = int16_t>
void put(FakeJni& jni, jobject buffer, const std::vector<T>& values) {
  std::memcpy(jni.address(buffer), values.data(), values.size() * sizeof(T));
}
template <typename T = int16_t>
std::vector<T> get(const void* bytes, size_t n) {
  std::vector<T> v(n);
  std::memcpy(v.data(), bytes, n * sizeof(T));
  return v;
}

// On a 32-bit build a handle is the address widened with a zero upper half.
void expect_zero_extended(jlong handle) {
  if (sizeof(void*) == 4) {
    EXPECT_EQ(static_cast<uint64_t>(handle) >> 32, 0u);
  }
}

TEST(JniNative, LoadHookAsksForVersion14) {
  FakeJni jni;
  EXPECT_EQ(JNI_OnLoad(jni.vm(), nullptr), JNI_VERSION_1_4);
  LogCapture log;
  jni.fail_get_env();
  EXPECT_EQ(JNI_OnLoad(jni.vm(), nullptr), -1);
  EXPECT_EQ(log.lines(), std::vector<amix_test::LogLine>{amix_test::error("JNI_OnLoad fail!")});
}

// A long whose upper half is set cannot be a handle on a 32-bit build.
TEST(JniNative, HandlesAreZeroExtendedAddresses) {
  FakeJni jni;
  const jlong h = MIXER(init)(jni.env(), nullptr, 0);
  ASSERT_NE(h, -1);
  ASSERT_NE(h, 0);
  expect_zero_extended(h);
  jobject a = jni.direct_buffer(4), b = jni.direct_buffer(4), out = jni.direct_buffer(4);
  put(jni, a, {1000, -3});
  put(jni, b, {234, 3});
  EXPECT_TRUE(MIXER(mix)(jni.env(), nullptr, h, a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 4));
  EXPECT_EQ(get(jni.address(out), 2), (std::vector<int16_t>{1234, 0}));
  jobject fa = jni.direct_buffer(8), fb = jni.direct_buffer(8), fout = jni.direct_buffer(8);
  put<float>(jni, fa, {0.5f, -0.25f});
  put<float>(jni, fb, {0.25f, 0.125f});
  EXPECT_TRUE(MIXER(mixFloat)(jni.env(), nullptr, h, fa, 0, 1.0f, fb, 0, 1.0f, fout, 0, 8));
  EXPECT_EQ(get<float>(jni.address(fout), 2), (std::vector<float>{0.75f, -0.125f}));
  if (sizeof(void*) == 4) {
    const jlong widened = h | (jlong{1} << 32);
    EXPECT_FALSE(MIXER(mix)(jni.env(), nullptr, widened, a, 0, 1.0f, b, 0, 1.0f, out, 0, 16, 4));
    EXPECT_FALSE(
        MIXER(mixFloat)(jni.env(), nullptr, widened, fa, 0, 1.0f, fb, 0, 1.0f, fout, 0, 8));
  }
  MIXER(destroy)(jni.env(), nullptr, h);
}

TEST(JniNative, TransformerConvertsThroughTheHandle) {
  FakeJni jni;
  const jlong h = TRANSFORMER(init)(jni.env(), nullptr, 8000, 1, 16, 8000, 1, 16);
  ASSERT_NE(h, -1);
  expect_zero_extended(h);
  jobject in = jni.direct_buffer(6), out = jni.direct_buffer(8), heap = jni.heap_buffer(6);
  put(jni, in, {5, 6, 7});
  EXPECT_EQ(TRANSFORMER(resample)(jni.env(), nullptr, h, in, 2, 4, out, 4, 0), 4);
  EXPECT_EQ(get(jni.address(out), 4), (std::vector<int16_t>{0, 0, 6, 7}));
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
      put(jni, v.back(), {value, 1});
    }
    return v;
  }
};

TEST_F(MultiMixerJni, ThirtyTracksKeepLocalReferencesFlat) {
  ASSERT_TRUE(MULTI(init)(jni.env(), self, 4));
  const jlong h = jni.field(self, "mMixerId");
  expect_zero_extended(h);
  jbyteArray block = MULTI(mix)(jni.env(), self, jni.object_array(tracks(30, 2)),
                                jni.float_array(std::vector<float>(30, 1.0f)));
  ASSERT_NE(block, nullptr);
  const std::vector<jbyte> bytes = jni.bytes_of(block);
  EXPECT_EQ(get(bytes.data(), 2),
            (std::vector<int16_t>{60, 30}));
  EXPECT_EQ(jni.live_local_refs(), 0);
  EXPECT_LE(jni.most_local_refs(), 2);

  // Into a direct buffer (mixInto, mixRampInto): the Java class looks each
  // buffer's address up once and passes them back; no Java array, no local
  // reference.  On a 32-bit build a widened address is no address.
  jni.fail_next_array();
  jobject out = jni.direct_buffer(4);
  EXPECT_EQ(MULTI(address)(jni.env(), nullptr, h, jni.heap_buffer(4)), 0);
  EXPECT_EQ(MULTI(address)(jni.env(), nullptr, h, jni.direct_buffer(2)), -1);  // short
  EXPECT_EQ(MULTI(address)(jni.env(), nullptr, 0, out), -1);
  std::vector<jlong> addresses;
  for (jobject t : tracks(30, 2)) addresses.push_back(MULTI(address)(jni.env(), nullptr, h, t));
  const jlong into = MULTI(address)(jni.env(), nullptr, h, out);
  const auto mix_at = [&](const std::vector<float>& from, jfloatArray to, jlong o) {
    return MULTI(mixAt)(jni.env(), nullptr, h, jni.long_array(addresses), 30,
                        jni.float_array(from), to, 2, o);
  };
  EXPECT_EQ(mix_at(std::vector<float>(30, 1.0f), nullptr, into), 4);
  EXPECT_EQ(get(jni.address(out), 2), (std::vector<int16_t>{60, 30}));
  const std::vector<float> half(30, 0.5f);
  EXPECT_EQ(mix_at(half, jni.float_array(half), into), 4);
  EXPECT_EQ(get(jni.address(out), 2), (std::vector<int16_t>{30, 0}));
  if (sizeof(void*) == 4) {
    EXPECT_EQ(mix_at(half, nullptr, into | (jlong{1} << 32)), -1);
  }
  EXPECT_FALSE(jni.exception_pending());
  EXPECT_EQ(jni.live_local_refs(), 0);
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

// A second init, of either class and through either of SyncAudioResampler's
// inits, keeps the first object (the field is unchanged; the sanitizer and
// valgrind runs see that nothing leaks); after a release init works again.
TEST(JniInit, ASecondInitKeepsTheFirstObject) {
  FakeJni jni;
  jobject sync_self = jni.instance({"mResamplerId"}), multi_self = jni.instance({"mMixerId"});
  struct Object {
    jobject self;
    const char* field;
    std::function<jboolean()> init, init_again;
    std::function<jboolean()> release;
    std::string line;
  };
  const Object objects[] = {
      {sync_self, "mResamplerId",
       [&] { return SYNC(init)(jni.env(), sync_self, 44100, 2, 48000, 2, 4096); },
       [&] { return SYNC(initQuality)(jni.env(), sync_self, 44100, 2, 48000, 2, 4096, 2); },
       [&] { return SYNC(release)(jni.env(), sync_self); },
       "sync audio resampler already inited, release it first !"},
      {multi_self, "mMixerId", [&] { return MULTI(init)(jni.env(), multi_self, 8); },
       [&] { return MULTI(init)(jni.env(), multi_self, 16); },
       [&] { return MULTI(release)(jni.env(), multi_self); },
       "multi audio mixer already inited, release it first !"},
  };
  for (const Object& o : objects) {
    SCOPED_TRACE(o.field);
    ASSERT_TRUE(o.init());
    const jlong first = jni.field(o.self, o.field);
    LogCapture log;
    EXPECT_FALSE(o.init());
    EXPECT_FALSE(o.init_again());
    EXPECT_EQ(log.lines(), (std::vector<amix_test::LogLine>{amix_test::error(o.line),
                                                             amix_test::error(o.line)}));
    EXPECT_EQ(jni.field(o.self, o.field), first);
    EXPECT_TRUE(o.release());
    EXPECT_TRUE(o.init_again());
    EXPECT_TRUE(o.release());
  }
  EXPECT_FALSE(jni.exception_pending());
}

TEST_F(MultiMixerJni, InitWithoutTheFieldFreesTheMixer) {
  jobject stranger = jni.instance({"somethingElse"});
  EXPECT_FALSE(MULTI(init)(jni.env(), stranger, 4));  // leak-checked by the sanitizer build
  EXPECT_TRUE(jni.exception_pending());
}

// Each init fails cleanly at every allocation it makes: the failure result,
// no handle stored, nothing left allocated (the sanitizer and valgrind runs
// check that part).  The first run that gets past every site succeeds.
TEST(JniAllocation, EveryInitFailsCleanlyAtEachAllocation) {
  FakeJni jni;
  jobject sync_self = jni.instance({"mResamplerId"}), multi_self = jni.instance({"mMixerId"});
  jlong handle = 0;
  struct Init {
    const char* name;
    long sites;  // allocations of a successful init
    std::function<bool()> create;
    std::function<void()> release;
  };
  const Init inits[] = {
      {"SyncAudioResampler", 6,  // record, resampler, engine, engine init, ring, its storage
       [&] { return SYNC(init)(jni.env(), sync_self, 44100, 2, 48000, 2, 4096) == JNI_TRUE; },
       [&] { SYNC(release)(jni.env(), sync_self); }},
      {"MultiAudioMixer", 4,  // record, mixer, its sums, output block
       [&] { return MULTI(init)(jni.env(), multi_self, 4096) == JNI_TRUE; },
       [&] { MULTI(release)(jni.env(), multi_self); }},
      {"AudioTransformer", 3,  // record, engine, engine init
       [&] {
         handle = TRANSFORMER(init)(jni.env(), nullptr, 44100, 2, 16, 48000, 1, 16);
         return handle != -1;
       },
       [&] { TRANSFORMER(destroy)(jni.env(), nullptr, handle); }},
      {"AudioTransformer at BEST", 3,  // record, engine, engine init (soxr's)
       [&] {
         handle = TRANSFORMER(initQuality)(jni.env(), nullptr, 44100, 2, 16, 48000, 1, 16, 2);
         return handle != -1;
       },
       [&] { TRANSFORMER(destroy)(jni.env(), nullptr, handle); }},
      {"AudioMixer", 2,  // record, sums
       [&] { return (handle = MIXER(init)(jni.env(), nullptr, 4096)) != -1; },
       [&] { MIXER(destroy)(jni.env(), nullptr, handle); }},
  };
  for (const Init& init : inits) {
    long n = 1;
    for (;; ++n) {
      amix_fault_fail_at(n);
      const bool created = init.create();
      const long reached = amix_fault_sites_reached();
      amix_fault_fail_at(0);
      if (reached < n) {  // every allocation succeeded
        EXPECT_TRUE(created) << init.name;
        init.release();
        break;
      }
      EXPECT_FALSE(created) << init.name << ", allocation " << n;
      EXPECT_EQ(jni.field(sync_self, "mResamplerId"), 0) << init.name << ", allocation " << n;
      EXPECT_EQ(jni.field(multi_self, "mMixerId"), 0) << init.name << ", allocation " << n;
    }
    EXPECT_EQ(n - 1, init.sites) << init.name;
    EXPECT_FALSE(jni.exception_pending());
  }
}

// SyncAudioResampler.read() with a queue of two and a half blocks of the
// counting pattern.
class SyncReadJni : public ::testing::Test {
 protected:
  static constexpr jint kBlock = 4096;
  FakeJni jni;
  jobject self = jni.instance({"mResamplerId"});

  void SetUp() override {
    ASSERT_TRUE(SYNC(init)(jni.env(), self, 48000, 2, 48000, 2, kBlock));
    const std::vector<uint8_t> in = amix_test::pattern(0, kBlock * 5 / 8);
    jobject data = jni.direct_buffer(in.size());
    std::memcpy(jni.address(data), in.data(), in.size());
    ASSERT_TRUE(SYNC(write)(jni.env(), self, data, jint(in.size()), 0, JNI_TRUE));
  }
  void TearDown() override { SYNC(release)(jni.env(), self); }

  int32_t queued() {
    const jlong handle = jni.field(self, "mResamplerId");
    return rbuf_used(reinterpret_cast<sync_audio_resampler*>(static_cast<uintptr_t>(handle))->ring);
  }
  // The next read(): its bytes, which must continue the pattern at `at`.
  void expect_read(size_t size, uint64_t at) {
    jbyteArray array = SYNC(read__)(jni.env(), self);
    ASSERT_NE(array, nullptr);
    const std::vector<jbyte> got = jni.bytes_of(array);
    ASSERT_EQ(got.size(), size);
    EXPECT_EQ(amix_test::pattern_match(reinterpret_cast<const uint8_t*>(got.data()), size, at),
              size);
  }
};

// No scratch block: null, no call into the object (the queue keeps every
// byte), and the next read() goes on as if nothing had happened.
TEST_F(SyncReadJni, WithoutItsScratchBlockReadReturnsNullAndTakesNothing) {
  amix_fault_fail_at(1);
  EXPECT_EQ(SYNC(read__)(jni.env(), self), nullptr);
  EXPECT_EQ(amix_fault_sites_reached(), 1);
  amix_fault_fail_at(0);
  EXPECT_EQ(queued(), 2 * kBlock + kBlock / 2);
  expect_read(kBlock, 0);
  expect_read(kBlock, kBlock);
  expect_read(kBlock / 2, 2 * kBlock);
  EXPECT_EQ(SYNC(read__)(jni.env(), self), nullptr);  // the end of the stream
}

// No Java array: null with the VM's OutOfMemoryError pending, and the
// scratch block freed (the sanitizer and valgrind runs check that).  The
// block read into it went with the failed call; the stream goes on after it.
TEST_F(SyncReadJni, WithoutTheJavaArrayReadReturnsNullAndFreesItsScratch) {
  jni.fail_next_array();
  EXPECT_EQ(SYNC(read__)(jni.env(), self), nullptr);
  EXPECT_TRUE(jni.exception_pending());
  EXPECT_EQ(queued(), kBlock + kBlock / 2);
  expect_read(kBlock, kBlock);
  expect_read(kBlock / 2, 2 * kBlock);
}

// readStamped on an object without the stamp field: -1 with the VM's
// NoSuchFieldError pending, and no block taken.
TEST_F(SyncReadJni, ReadStampedWithoutItsFieldTakesNothing) {
  EXPECT_EQ(SYNC(readStamped)(jni.env(), self, jni.direct_buffer(kBlock)), -1);
  EXPECT_TRUE(jni.exception_pending());
  EXPECT_EQ(queued(), 2 * kBlock + kBlock / 2);
}

}  // namespace
