// The library logs through Android's __android_log_print.  This definition
// in the executable takes the place of liblog's for the shared library, so
// the library's lines reach standard error only with --verbose.
#include <cstdarg>
#include <cstdio>

#include "amix/base/messages.h"

extern "C" __attribute__((visibility("default"))) int __android_log_print(int prio,
                                                                          const char* tag,
                                                                          const char* fmt, ...) {
  if (!amix::verbose()) return 0;
  // Android's priorities 2..7: verbose, debug, info, warn, error, fatal.
  static const char kLetters[] = "??VDIWEF";
  const char letter = prio >= 0 && prio <= 7 ? kLetters[prio] : '?';
  char message[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(message, sizeof message, fmt, ap);
  va_end(ap);
  amix::clear_status();
  return std::fprintf(amix::err_stream(), "amix: %c/%s: %s\n", letter, tag != nullptr ? tag : "",
                      message);
}
