/* An outside program built against the installed library. */
#include <stdio.h>

#include <tavrin_amix/audio_mixer.h>

int main(void) {
  audio_mixer *m = audio_mixer_create(0);
  int16_t a[2] = {1000, -3}, b[2] = {234, 3}, out[2];
  int16_t *tracks[2] = {a, b};
  const float volumes[2] = {1.0f, 1.0f};
  const float fade_from[2] = {1.0f, 1.0f}, fade_to[2] = {0.0f, 1.0f};
  int ok = m && audio_mixer_mix_int16(m, tracks, volumes, 2, 2, out) && out[0] == 1234 &&
           out[1] == 0;
  /* Track a fades 1 -> 0 over two frames: 1000 at 1.0, -3 at 0.5. */
  ok = ok && audio_mixer_mix_int16_ramp(m, tracks, fade_from, fade_to, 2, 1, 2, out) &&
       out[0] == 1234 && out[1] == 2 && audio_mixer_last_gain(m) == 1.0f;
  audio_mixer_destroy(m);
  printf("consumer: %s\n", ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}
