/* An outside program that keeps the library's INFO lines off stderr on a
 * desktop host, then takes them into its own log (as the README shows). */
#include <android/log.h>
#include <stdio.h>

#include <tavrin_amix/multi_audio_mixer.h>

static int taken = 0;

static void my_log(const struct __android_logger_data *data, const char *message) {
  taken += data->priority == ANDROID_LOG_INFO && message[0] != '\0';
}

int main(void) {
  __android_log_set_minimum_priority(ANDROID_LOG_WARN);
  multi_audio_mixer_release(multi_audio_mixer_create(4096)); /* two INFO lines, dropped */

  __android_log_set_minimum_priority(ANDROID_LOG_INFO);
  __android_log_set_logger(my_log);
  multi_audio_mixer_release(multi_audio_mixer_create(4096)); /* two INFO lines, taken */

  printf("quiet log: %s\n", taken == 2 ? "ok" : "FAILED");
  return taken == 2 ? 0 : 1;
}
