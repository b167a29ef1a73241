#include "jni/jni_util.h"

#include "common/log.h"

namespace amix::jni {

uint8_t* direct_region(JNIEnv* env, jobject buffer, jlong offset, jlong bytes) {
  if (buffer == nullptr || offset < 0 || bytes < 0) return nullptr;
  auto* base = static_cast<uint8_t*>(env->GetDirectBufferAddress(buffer));
  const jlong capacity = env->GetDirectBufferCapacity(buffer);
  if (base == nullptr || capacity < 0 || offset > capacity || bytes > capacity - offset) {
    return nullptr;
  }
  return base + offset;
}

jfieldID long_field(JNIEnv* env, jobject self, const char* name) {
  jclass cls = env->GetObjectClass(self);
  const jfieldID id = env->GetFieldID(cls, name, "J");
  env->DeleteLocalRef(cls);
  return id;
}

bool handle_field_free(JNIEnv* env, jobject self, const char* name, const char* what) {
  const jfieldID id = long_field(env, self, name);
  if (id == nullptr) return false;
  if (env->GetLongField(self, id) != 0) {
    AMIX_LOGE("%s already inited, release it first !", what);
    return false;
  }
  return true;
}

bool set_field_handle(JNIEnv* env, jobject self, const char* name, const void* value) {
  const jfieldID id = long_field(env, self, name);
  if (id == nullptr) return false;
  env->SetLongField(self, id, to_jlong(value));
  return true;
}

}  // namespace amix::jni
