/*
 * Multi-track mixer: any number of signed 16-bit interleaved tracks, each one
 * block long, mixed into one output block owned by the mixer.
 *
 * It owns one adaptive-gain mixer (audio_mixer.h), so the master gain carries
 * over from one block to the next.  The block size is fixed at creation; the
 * caller reads the result from `out_block` after a successful mix.
 *
 *   multi_audio_mixer *m = multi_audio_mixer_create(4096);  // 2048 samples
 *   while (next_blocks(tracks, n))
 *       if (multi_audio_mixer_mix(m, tracks, volumes, n) == 0)
 *           consume(m->out_block, m->block_size);
 *   multi_audio_mixer_release(m);
 *
 * Log lines (tag "Zelvarion"): INFO "multi audio mixer created: %d" and
 * "multi audio mixer released !"; ERROR "audio_mixer_create failed !",
 * "multi audio mixer out block allocation failed: %d",
 * "audio_mixer_mix_int16 failed !", "audio_mixer_mix_int16_ramp failed !"
 * and "multi audio mixer block of %d samples is not whole frames of %d
 * channels".
 *
 * Thread safety: one thread at a time per mixer; distinct mixers are
 * independent.
 */
#ifndef TAVRIN_AMIX_MULTI_AUDIO_MIXER_H
#define TAVRIN_AMIX_MULTI_AUDIO_MIXER_H

#include <stdint.h>

#include "tavrin_amix/amix_export.h"
#include "tavrin_amix/audio_mixer.h"

AMIX_BEGIN_DECLS

typedef struct multi_audio_mixer {
  audio_mixer *mixer;  /* owned; created with the record */
  int16_t *out_block;  /* owned; `block_size` bytes: the last successful mix */
  int32_t block_size;  /* bytes per block, as given to create */
} multi_audio_mixer;

/*
 * Creates a mixer for blocks of `block_size` bytes (`block_size` / 2 samples).
 * Logs INFO "multi audio mixer created: %d" on success.
 * Returns NULL when `block_size` is negative or the inner mixer cannot be
 * made (ERROR "audio_mixer_create failed !"), or when the output block cannot
 * be allocated (ERROR "multi audio mixer out block allocation failed: %d");
 * nothing stays allocated.  A `block_size` of 0 gives a mixer whose every mix
 * fails.
 */
AMIX_API multi_audio_mixer *multi_audio_mixer_create(int32_t block_size);

/*
 * Mixes `track_count` tracks of `block_size` / 2 samples into `out_block`
 * (audio_mixer_mix_int16 semantics: tracks scaled in place, a NULL later
 * track is silent).  With an odd `block_size` the last byte of `out_block` is
 * set to 0.
 * Returns 0 on success.  Returns -1 silently for a NULL `mixer`, and -1 with
 * ERROR "audio_mixer_mix_int16 failed !" when the mix is refused (no tracks,
 * NULL first track, empty block); `out_block` then keeps the previous mix.
 */
AMIX_API int multi_audio_mixer_mix(multi_audio_mixer *mixer,
                                   int16_t *const *tracks, const float *volumes,
                                   int32_t track_count);

/*
 * multi_audio_mixer_mix with a volume ramp per track (audio_mixer.h): the
 * block's `block_size` / 2 samples are frames of `channels` interleaved
 * samples, and track i goes from volumes_from[i] to volumes_to[i] across
 * them.  With volumes_from[i] == volumes_to[i] for every track, the block
 * is that of multi_audio_mixer_mix.
 * Returns 0 on success.  Returns -1 silently for a NULL `mixer`; -1 with
 * ERROR "multi audio mixer block of %d samples is not whole frames of %d
 * channels" when the samples do not divide into frames; -1 with ERROR
 * "audio_mixer_mix_int16_ramp failed !" when the mix is refused (the
 * refusals of multi_audio_mixer_mix, NULL volume arrays, `channels` outside
 * 1..32, a present track's volume not finite).  `out_block` then keeps the
 * previous mix.
 */
AMIX_API int multi_audio_mixer_mix_ramp(multi_audio_mixer *mixer, int16_t *const *tracks,
                                        const float *volumes_from, const float *volumes_to,
                                        int32_t track_count, int32_t channels);

/*
 * The gain that the last successful mix multiplied its sums by
 * (audio_mixer_last_gain): 1.0 before any mix and after a single-track
 * mix; -1.0 for NULL.  Constant time, no lock.
 */
AMIX_API float multi_audio_mixer_last_gain(const multi_audio_mixer *mixer);

/*
 * Frees the mixer and everything it owns, then logs INFO
 * "multi audio mixer released !".  Returns 0, or -1 (silently) for NULL.
 */
AMIX_API int multi_audio_mixer_release(multi_audio_mixer *mixer);

AMIX_END_DECLS

#endif /* TAVRIN_AMIX_MULTI_AUDIO_MIXER_H */
