/* Preloaded into the JVM of the Java tests: takes the place of liblog's
 * __android_log_print and appends each line to the file named by
 * AMIX_LOG_FILE as "priority<TAB>tag<TAB>message", with backslashes and
 * newlines of the message escaped. */
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

__attribute__((visibility("default"))) int __android_log_print(int prio, const char *tag,
                                                               const char *fmt, ...) {
  char msg[1024], line[2200];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(msg, sizeof msg, fmt, ap);
  va_end(ap);
  int n = snprintf(line, sizeof line, "%d\t%s\t", prio, tag ? tag : "");
  for (const char *p = msg; *p && n < (int)sizeof line - 3; ++p) {
    if (*p == '\n' || *p == '\\') {
      line[n++] = '\\';
      line[n++] = *p == '\n' ? 'n' : '\\';
    } else {
      line[n++] = *p;
    }
  }
  line[n++] = '\n';
  const char *path = getenv("AMIX_LOG_FILE");
  if (path == NULL) return 0;
  pthread_mutex_lock(&lock);
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd >= 0) {
    ssize_t written = write(fd, line, (size_t)n);
    (void)written;
    close(fd);
  }
  pthread_mutex_unlock(&lock);
  return 1;
}
