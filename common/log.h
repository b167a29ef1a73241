// The library's one logging path: Android's liblog, tag "Zelvarion".
// INFO (4) for informational lines, ERROR (6) for failures.  Messages are
// printf formats; the texts are part of the library's contract, so callers
// pass them verbatim.
#pragma once

#include <android/log.h>

#define AMIX_LOG_TAG "Zelvarion"
#define AMIX_LOGI(...) \
  ((void)__android_log_print(ANDROID_LOG_INFO, AMIX_LOG_TAG, __VA_ARGS__))
#define AMIX_LOGE(...) \
  ((void)__android_log_print(ANDROID_LOG_ERROR, AMIX_LOG_TAG, __VA_ARGS__))
