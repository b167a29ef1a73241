// The library's load hook: the virtual machine binds every native method by
// its exported name, so nothing is registered here.

#include <jni.h>

#include "common/log.h"

extern "C" JNIEXPORT jint JNI_OnLoad(JavaVM* vm, void* /*reserved*/) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_4) != JNI_OK) {
    AMIX_LOGE("JNI_OnLoad fail!");
    return -1;
  }
  return JNI_VERSION_1_4;
}
