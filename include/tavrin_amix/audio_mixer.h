/*
 * Volume scaling and the adaptive-gain mixer.
 *
 * Both work on flat runs of PCM samples: a "sample" is one value of one
 * channel, and every count here counts samples of all channels together.
 * The functions know nothing of channels, frames or sample rates.
 *
 * Sample types: unsigned 8-bit samples are plain magnitudes 0..255 (no
 * midpoint of 128 is removed or restored); 16-bit and 32-bit samples are
 * signed, in native byte order.
 *
 * The per-sample volume step, shared by audio_scale_* and by each track of a
 * mix:
 *   1. a factor inside the unity window [0.999999f, 1.000001f] (the float
 *      values nearest to those decimals, both inclusive) leaves the samples
 *      untouched, without reading them; NaN is outside the window;
 *   2. otherwise sample -> float (round to nearest) -> times the factor in
 *      single precision -> truncation toward zero; a product beyond the
 *      signed 32-bit range saturates to its nearer end, a NaN product gives 0;
 *   3. the result is clamped to 0..255 (8-bit) or -32768..32767 (16-bit);
 *      32-bit results are not clamped further.
 *
 * Typical use of the mixer:
 *
 *   audio_mixer *m = audio_mixer_create(2 * 1024);   // room for 1024 samples
 *   int16_t *tracks[2] = { voice, music };
 *   float volumes[2] = { 1.0f, 0.5f };
 *   while (next_block(voice, music))
 *       audio_mixer_mix_int16(m, tracks, volumes, 1024, 2, out);
 *   audio_mixer_destroy(m);
 *
 * Mixing works in place: every track whose factor lies outside the unity
 * window holds its scaled samples when the call returns.
 *
 * Thread safety: the scaling functions are stateless and may run on any
 * thread.  A mixer holds mutable state and must be used by one thread at a
 * time; distinct mixers are independent.  No function here logs or locks.
 */
#ifndef TAVRIN_AMIX_AUDIO_MIXER_H
#define TAVRIN_AMIX_AUDIO_MIXER_H

#include <stdbool.h>
#include <stdint.h>

#include "tavrin_amix/amix_export.h"

AMIX_BEGIN_DECLS

/*
 * Scales `count` samples in place by `volume` with the step described above.
 * `samples` may be NULL only when `count` <= 0 or `volume` is unity.
 * Nothing happens for `count` <= 0.  No result, no allocation.
 */
AMIX_API void audio_scale_uint8(uint8_t *samples, int32_t count, float volume);
AMIX_API void audio_scale_int16(int16_t *samples, int32_t count, float volume);
AMIX_API void audio_scale_int32(int32_t *samples, int32_t count, float volume);

/* Opaque adaptive-gain mixer. */
typedef struct audio_mixer audio_mixer;

/*
 * Creates a mixer whose scratch space holds `capacity` / 2 samples: a mix of
 * two or more tracks may have at most `capacity` / 2 samples.  0 selects
 * 1920.  The master gain starts at 1.0.
 * Returns NULL for a negative capacity or when an allocation fails (nothing
 * stays allocated).  The caller owns the mixer and frees it with
 * audio_mixer_destroy.
 */
AMIX_API audio_mixer *audio_mixer_create(int32_t capacity);

/* Frees the mixer; NULL is ignored.  The mixer must not be used afterwards. */
AMIX_API void audio_mixer_destroy(audio_mixer *mixer);

/*
 * Mixes `track_count` tracks of `count` samples each into `out`.
 *
 *   tracks   array of `track_count` buffers, each `count` samples long.  The
 *            first must not be NULL; a later NULL entry is a silent track
 *            (neither scaled nor read).  Tracks are scaled in place.
 *   volumes  array of `track_count` factors, entry i for track i.
 *   out      `count` samples; may be one of the tracks (every track is read
 *            completely before the first output sample is written).
 *
 * One track: the track is scaled, copied to `out`, and the master gain is
 * reset to exactly 1.0 (the gain is not applied).
 * Two or more tracks: all tracks are scaled, the samples summed per index,
 * and the sums pass through the master gain.  When the largest absolute sum
 * times the gain would exceed the type's limit (255, 32767, 2^31), the gain
 * drops so that the sum lands on the limit; after every such call the gain
 * recovers by 1/32 of its distance to 1.0.  The gain carries over between
 * calls of all three variants on one mixer.  Outputs always stay within the
 * sample range (32-bit outputs saturate at 2147483647).
 *
 * Returns true when the mix was written.  Returns false, changing nothing
 * (no track scaled, no output written, gain kept), when: `mixer` is NULL,
 * `count` <= 0, `track_count` <= 0, `out` is NULL, the first track is NULL,
 * or `track_count` >= 2 and `count` > capacity / 2.
 * Never allocates, never logs.
 */
AMIX_API bool audio_mixer_mix_uint8(audio_mixer *mixer, uint8_t *const *tracks,
                                    const float *volumes, int32_t count,
                                    int32_t track_count, uint8_t *out);
AMIX_API bool audio_mixer_mix_int16(audio_mixer *mixer, int16_t *const *tracks,
                                    const float *volumes, int32_t count,
                                    int32_t track_count, int16_t *out);
AMIX_API bool audio_mixer_mix_int32(audio_mixer *mixer, int32_t *const *tracks,
                                    const float *volumes, int32_t count,
                                    int32_t track_count, int32_t *out);

AMIX_END_DECLS

#endif /* TAVRIN_AMIX_AUDIO_MIXER_H */
