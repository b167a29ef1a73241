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
 * Float samples (audio_scale_float, audio_mixer_mix_float) are full scale
 * at [-1, 1], in native byte order, and take their own step:
 *   1. the same unity window (the samples stay untouched and unread);
 *   2. otherwise sample x factor in single precision; a NaN result (a NaN
 *      sample or factor, infinity x 0) becomes 0;
 *   3. the result is clamped to [-1.0, 1.0].
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
/* The same with the float step: every result is 0 or within [-1.0, 1.0]. */
AMIX_API void audio_scale_float(float *samples, int32_t count, float volume);

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
 * calls of all variants on one mixer.  Outputs always stay within the
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

/*
 * Mixes float tracks with the same arguments, checks, false results,
 * capacity / 2 limit and shared master gain as the integer variants above;
 * a mixer may serve calls of any variant in turn.
 *
 * One track: the track is scaled with the float step and copied to `out`,
 * where a sample that is not finite becomes 0 and every sample is clamped
 * to [-1.0, 1.0]; the gain becomes exactly 1.0.
 * Two or more tracks: every present track is scaled with the float step;
 * sample j of the present tracks is summed in list order, from 0, in double
 * precision, and a sum that is not finite counts as 0.  When the largest
 * absolute sum, rounded to float, times the gain exceeds 1.0, the gain
 * becomes 1.0 / that sum (in double, rounded to float).  Output j is the sum
 * rounded to float, times the gain, clamped to [-1.0, 1.0] (NaN, possible
 * only for a gain that underflowed to 0, gives 0).  The gain recovers as for
 * the integer variants.
 *
 * Every float mix leaves `out` finite and within [-1.0, 1.0].  A track at a
 * unity factor is not scaled, so its samples reach the sum as they are:
 * out-of-range values count fully, a NaN or infinity zeroes its index.
 * Never allocates, never logs.
 */
AMIX_API bool audio_mixer_mix_float(audio_mixer *mixer, float *const *tracks,
                                    const float *volumes, int32_t count,
                                    int32_t track_count, float *out);

/*
 * The gain that the last successful mix call on `mixer` multiplied its sums
 * by: the master gain after that call's attack and before its release.
 * 1.0 for a new mixer and after a single-track mix (which applies no gain);
 * a refused call leaves it as it was.  -1.0 for NULL.
 * Constant time, no lock: read it on the mixing thread, between calls.
 */
AMIX_API float audio_mixer_last_gain(const audio_mixer *mixer);

/*
 * Volume ramps: click-free volume changes.
 *
 * A ramped block is `frames` frames of `channels` interleaved samples each
 * (channels 1..32, frames >= 1, frames x channels <= INT32_MAX).  Frame j
 * plays at
 *
 *   v_j = from + (float)j * step,   step = (to - from) / (float)frames,
 *
 * each operation rounded to single precision on its own (no fused
 * multiply-add, so every platform gives the same bits); when from == to,
 * every frame plays at `from` exactly.  Every sample of frame j is scaled
 * by v_j with the per-sample step of its type described above: a frame
 * whose v_j is unity is left untouched, the others are truncated,
 * saturated and clamped, or for floats NaN-zeroed and clamped, as at a
 * fixed volume.  With from == to the result is byte for byte that of the
 * fixed-volume function at `from`.
 *
 * The ramp stops one step short of `to`: a next block that starts at `to`
 * goes on from there without a jump.  A fade cut into blocks is therefore
 * not bit-identical to the same fade in one call (each block rounds its own
 * step), but neither has audible steps.  A 1 s fade in blocks of 1024
 * frames:
 *
 *   int32_t total = 48000, done = 0;                     // 1 s at 48 kHz
 *   while (done < total) {
 *       int32_t frames = total - done < 1024 ? total - done : 1024;
 *       float from = 1.0f - (float)done / total;
 *       float to = 1.0f - (float)(done + frames) / total;
 *       audio_scale_int16_ramp(block, frames, 2, from, to);   // stereo
 *       done += frames;
 *   }
 */

/*
 * Scales a block of `frames` x `channels` samples in place along the ramp
 * from `volume_from` to `volume_to`.  Leaves the block untouched (unread)
 * when `samples` is NULL, the block's shape is invalid (see above), a
 * volume is not finite or `volume_to` - `volume_from` overflows.
 * No allocation, no state.
 */
AMIX_API void audio_scale_uint8_ramp(uint8_t *samples, int32_t frames, int32_t channels,
                                     float volume_from, float volume_to);
AMIX_API void audio_scale_int16_ramp(int16_t *samples, int32_t frames, int32_t channels,
                                     float volume_from, float volume_to);
AMIX_API void audio_scale_int32_ramp(int32_t *samples, int32_t frames, int32_t channels,
                                     float volume_from, float volume_to);
AMIX_API void audio_scale_float_ramp(float *samples, int32_t frames, int32_t channels,
                                     float volume_from, float volume_to);

/*
 * audio_mixer_mix_* with a ramp per track over a block of `frames` x
 * `channels` samples: track i goes from volumes_from[i] to volumes_to[i]
 * (scaled in place along its ramp as audio_scale_*_ramp does), then the
 * tracks are summed, limited by the master gain and written exactly as the
 * fixed-volume mix does, with the same single-track path, capacity limit
 * (frames x channels <= capacity / 2 for two or more tracks) and shared
 * gain.  With volumes_from[i] == volumes_to[i] for every track, the call
 * gives the bytes of the fixed-volume mix (output, tracks and gain).
 *
 * Returns false, changing nothing, for the fixed-volume mix's refusals,
 * for NULL `volumes_from` or `volumes_to`, for a block of invalid shape,
 * and when a present track's ramp has a volume that is not finite (or ends
 * whose difference overflows).  The volumes of NULL tracks are not read.
 * Never allocates, never logs.
 */
AMIX_API bool audio_mixer_mix_uint8_ramp(audio_mixer *mixer, uint8_t *const *tracks,
                                         const float *volumes_from, const float *volumes_to,
                                         int32_t frames, int32_t channels,
                                         int32_t track_count, uint8_t *out);
AMIX_API bool audio_mixer_mix_int16_ramp(audio_mixer *mixer, int16_t *const *tracks,
                                         const float *volumes_from, const float *volumes_to,
                                         int32_t frames, int32_t channels,
                                         int32_t track_count, int16_t *out);
AMIX_API bool audio_mixer_mix_int32_ramp(audio_mixer *mixer, int32_t *const *tracks,
                                         const float *volumes_from, const float *volumes_to,
                                         int32_t frames, int32_t channels,
                                         int32_t track_count, int32_t *out);
AMIX_API bool audio_mixer_mix_float_ramp(audio_mixer *mixer, float *const *tracks,
                                         const float *volumes_from, const float *volumes_to,
                                         int32_t frames, int32_t channels,
                                         int32_t track_count, float *out);

AMIX_END_DECLS

#endif /* TAVRIN_AMIX_AUDIO_MIXER_H */
