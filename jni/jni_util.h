// Helpers shared by the native methods: handle <-> long conversion, direct
// buffer regions with their bounds checked, and the handle fields of the
// process classes.
#pragma once

#include <jni.h>

#include <cstdint>

namespace amix::jni {

// A native address widened into a Java long; the upper half is zero on a
// 32-bit build.
inline jlong to_jlong(const void* p) {
  return static_cast<jlong>(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)));
}

// The object behind a Java long, or nullptr for 0, for -1 (the failure value
// of init) and for values that cannot be an address on this build.
template <typename T>
T* from_jlong(jlong value) {
  const uint64_t v = static_cast<uint64_t>(value);
  if (v == 0 || v == UINT64_MAX || v > UINTPTR_MAX) return nullptr;
  return reinterpret_cast<T*>(static_cast<uintptr_t>(v));
}

// The address of `bytes` bytes at `offset` in a direct buffer, or nullptr
// when the buffer is null or not direct, the offset or size is negative, or
// the region runs past the buffer's capacity.
uint8_t* direct_region(JNIEnv* env, jobject buffer, jlong offset, jlong bytes);

// The handle stored in the receiver's long field `name`, or nullptr when the
// field is missing (its NoSuchFieldError stays pending) or holds no object.
template <typename T>
T* field_handle(JNIEnv* env, jobject self, const char* name);

// Stores `value` into the receiver's long field `name`; false when the field
// is missing.
bool set_field_handle(JNIEnv* env, jobject self, const char* name, const void* value);

// The receiver's long field `name`, or nullptr when it is missing (its
// NoSuchFieldError stays pending).
jfieldID long_field(JNIEnv* env, jobject self, const char* name);

// Whether an init may create an object for the receiver: its long field
// `name` exists and holds none.  A field that already holds one (init
// twice without a release) is refused with the ERROR line
// "<what> already inited, release it first !"; a missing field leaves its
// NoSuchFieldError pending.
bool handle_field_free(JNIEnv* env, jobject self, const char* name, const char* what);

template <typename T>
T* field_handle(JNIEnv* env, jobject self, const char* name) {
  const jfieldID id = long_field(env, self, name);
  return id == nullptr ? nullptr : from_jlong<T>(env->GetLongField(self, id));
}

}  // namespace amix::jni
