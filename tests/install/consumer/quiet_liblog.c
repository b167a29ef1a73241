/* Preloaded into a JVM on a desktop host, it lowers liblog's priority before
 * the library loads, so that the library's INFO lines stay off stderr. */
#include <android/log.h>

__attribute__((constructor)) static void quiet_liblog(void) {
  __android_log_set_minimum_priority(ANDROID_LOG_WARN);
}
