/* A first look at the library: two loud sine tracks mixed block by block by
 * the multi-track mixer; prints each block's peak and whether the master
 * gain had to limit it. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "tavrin_amix/multi_audio_mixer.h"

int main(void) {
  enum { kBlockBytes = 4096, kSamples = kBlockBytes / 2, kBlocks = 8 };
  multi_audio_mixer *mixer = multi_audio_mixer_create(kBlockBytes);
  if (mixer == NULL) return 1;
  static int16_t a[kSamples], b[kSamples];
  int16_t *tracks[2] = {a, b};
  const float volumes[2] = {1.0f, 0.8f};
  long t = 0;
  printf("block  peak   limited\n");
  for (int block = 0; block < kBlocks; ++block) {
    for (int i = 0; i < kSamples; ++i, ++t) {
      a[i] = (int16_t)(24000 * sin(2 * M_PI * 440.0 * t / 48000.0));
      b[i] = (int16_t)(20000 * sin(2 * M_PI * 660.0 * t / 48000.0));
    }
    long plain_peak = 0, peak = 0;
    for (int i = 0; i < kSamples; ++i) {
      long s = labs((long)a[i] + (long)(int16_t)(b[i] * 0.8f));
      if (s > plain_peak) plain_peak = s;
    }
    if (multi_audio_mixer_mix(mixer, tracks, volumes, 2) != 0) return 1;
    for (int i = 0; i < kSamples; ++i) {
      long s = labs((long)mixer->out_block[i]);
      if (s > peak) peak = s;
    }
    printf("%5d  %5ld  %s\n", block, peak, plain_peak > 32767 ? "yes" : "no");
  }
  multi_audio_mixer_release(mixer);
  return 0;
}
