/*
 * Stream formats (audio_desc) and the resampler.
 *
 * An audio_desc names one PCM stream: its sample rate, its sample format and
 * its speaker layout, the last two as the codes below.  A resampler converts
 * a stream from a source audio_desc into a destination audio_desc (rate,
 * format and layout in one step) over FFmpeg's libswresample, and hands back
 * the converted samples as pointers into a block that it owns.
 *
 * Units: byte counts are counted over all channels and all planes.  A frame
 * is one sample of every channel; a trailing partial frame of input is
 * dropped (neither converted nor kept for the next call).
 *
 * Typical use:
 *
 *   audio_desc src = { 44100, PCM_FORMAT_S16, PCM_SPEAKERS_MONO };
 *   audio_desc dst = { 48000, PCM_FORMAT_S16, PCM_SPEAKERS_STEREO };
 *   audio_resampler *r = audio_resampler_create(&dst, &src);  // dst first
 *   uint8_t *out[RESAMPLER_MAX_PLANES] = { NULL };
 *   int32_t out_bytes = 0;
 *   while (next_block(&data, &len)) {
 *       const uint8_t *in[1] = { data };
 *       if (!audio_resampler_resample(r, out, &out_bytes, in, len)) break;
 *       consume(out[0], out_bytes);  // valid until the next call on r
 *   }
 *   if (audio_resampler_drain(r, out, &out_bytes))  // the end of the stream
 *       consume(out[0], out_bytes);
 *   audio_resampler_destroy(r);
 *
 * Thread safety: a resampler has no lock and must be used by one thread at a
 * time; distinct resamplers are independent.  The engine's own diagnostics go
 * to its default output (standard error); no engine log callback is set.
 */
#ifndef TAVRIN_AMIX_AUDIO_RESAMPLER_H
#define TAVRIN_AMIX_AUDIO_RESAMPLER_H

#include <stdbool.h>
#include <stdint.h>

#include "tavrin_amix/amix_export.h"

AMIX_BEGIN_DECLS

/*
 * Sample formats.  Codes 1..4 are interleaved (all channels of a frame side
 * by side in one plane); codes 5..8 are planar (one plane per channel).
 * Samples are in native byte order; unsigned 8-bit samples are offset
 * binary (silence at 128), as the engine reads them.
 */
enum pcm_format {
  PCM_FORMAT_NONE = 0,
  PCM_FORMAT_U8 = 1,            /* unsigned 8-bit */
  PCM_FORMAT_S16 = 2,           /* signed 16-bit */
  PCM_FORMAT_S32 = 3,           /* signed 32-bit */
  PCM_FORMAT_FLOAT = 4,         /* 32-bit float, full scale +-1.0 */
  PCM_FORMAT_U8_PLANAR = 5,
  PCM_FORMAT_S16_PLANAR = 6,
  PCM_FORMAT_S32_PLANAR = 7,
  PCM_FORMAT_FLOAT_PLANAR = 8
};

/*
 * Speaker layouts.  Channels are ordered as listed (front left FL, front
 * right FR, front centre FC, low frequency LFE, back left/right BL BR, front
 * left/right of centre FLC FRC, back centre BC, side left/right SL SR).
 */
enum pcm_speakers {
  PCM_SPEAKERS_NONE = 0,
  PCM_SPEAKERS_MONO = 1,              /* FC */
  PCM_SPEAKERS_STEREO = 2,            /* FL FR */
  PCM_SPEAKERS_2_1 = 3,               /* FL FR BC */
  PCM_SPEAKERS_QUAD = 4,              /* FL FR BL BR */
  PCM_SPEAKERS_4_1 = 5,               /* FL FR FC LFE BC */
  PCM_SPEAKERS_5_1 = 6,               /* FL FR FC LFE SL SR */
  PCM_SPEAKERS_5_1_BACK = 7,          /* FL FR FC LFE BL BR */
  PCM_SPEAKERS_7_1 = 8,               /* FL FR FC LFE BL BR SL SR */
  PCM_SPEAKERS_7_1_WIDE_BACK = 9,     /* FL FR FC LFE BL BR FLC FRC */
  PCM_SPEAKERS_SURROUND = 10          /* FL FR FC (three channels) */
};

/* Plane-pointer slots of a resampler; also the length of the `output` arrays
 * that callers pass to audio_resampler_resample. */
#define RESAMPLER_MAX_PLANES 8

/* One PCM stream.  A plain value: the resampler copies what it needs. */
typedef struct audio_desc {
  uint32_t samples_per_sec; /* frames per second (the rate of each channel) */
  int32_t format;           /* a pcm_format code */
  int32_t speakers;         /* a pcm_speakers code */
} audio_desc;

/* Opaque resampler. */
typedef struct audio_resampler audio_resampler;

/*
 * Creates a resampler from the destination `dst` and the source `src`
 * (destination first).  Neither record is referenced after the call.
 *
 * Returns NULL, with nothing left allocated and no log line, when: `dst` or
 * `src` is NULL; either audio_desc has a format code outside 1..8, a
 * speakers code outside 1..10, or a sample rate of 0 or above 2147483647;
 * the source rate is more than 256 times the destination rate (the engine's
 * filter for such a reduction would take hundreds of megabytes); the engine
 * refuses the configuration; or an allocation fails.  The caller
 * owns the resampler and frees it with audio_resampler_destroy.
 */
AMIX_API audio_resampler *audio_resampler_create(const audio_desc *dst,
                                                 const audio_desc *src);

/* Frees the resampler, its engine and its output block; NULL is ignored. */
AMIX_API void audio_resampler_destroy(audio_resampler *resampler);

/*
 * Converts the whole frames among `in_bytes` bytes of source samples.
 *
 *   input      the source planes, handed to the engine as they are: one
 *              pointer to the whole block for an interleaved source, one per
 *              channel for a planar one.  Not modified.
 *   in_bytes   source bytes over all channels and planes.  Fewer bytes than
 *              one frame convert nothing new but still return what the
 *              engine held back from earlier calls.
 *   output     at least as many slots as the destination has planes (1 for
 *              an interleaved destination, one per channel for a planar
 *              one).  On success those slots receive the plane pointers; the
 *              slots past them are left as they were.  The pointers are NULL
 *              until the first call that produces room for output.
 *   out_bytes  on success, the converted byte count over all planes (each
 *              plane holds out_bytes / planes bytes).
 *
 * The planes handed back belong to the resampler: they stay valid until the
 * next call on it or its destruction.  The engine keeps its filter history
 * and any input it has not converted yet from call to call, so the stream may
 * be fed in blocks of any size, until audio_resampler_drain ends it.  The
 * output block grows when a call needs more room than it has and is never
 * shrunk; calls that need no more room do not allocate.
 *
 * Returns false, writing neither `output` nor `out_bytes`, when:
 *   - `resampler`, `output`, `out_bytes` or `input` is NULL, or `input[0]`
 *     is NULL while there is at least one whole frame to convert (no log);
 *   - the whole frames, or the room they need at the destination rate, do
 *     not fit a positive 32-bit count (no log);
 *   - the engine could not start again after a drain and still cannot (no
 *     log; see audio_resampler_drain);
 *   - the output block cannot grow (no log; the previous block and its
 *     pointers stay as they were);
 *   - the engine fails: ERROR line "swr_convert failed: %d" with its code.
 * In all but the last case the engine has not seen the input, so the call
 * may be repeated.  After any failure the resampler stays usable.
 */
AMIX_API bool audio_resampler_resample(audio_resampler *resampler,
                                       uint8_t **output, int32_t *out_bytes,
                                       const uint8_t **input, uint32_t in_bytes);

/*
 * Ends the current stream and hands back the rest of it.  A stream begins at
 * creation and at every drain.
 *
 * Exact length: when the stream was fed n whole source frames in all, the
 * frames handed back since it began, this drain's included, add up to
 * exactly floor(n * dst_rate / src_rate + 1/2).  That holds for every n >= 0,
 * also for streams shorter than the engine's filter, and for every pair of
 * rates, equal rates included (where nothing is held and the drain hands
 * back 0 bytes).
 *
 * The tail: the engine is fed silence behind the stream until it has given
 * out the frames still owed, and its output is cut there.  Every byte of the
 * stream, the tail included, is therefore what libswresample makes of the
 * same input followed by silence; only the last frames, those within the
 * filter's reach of the end, differ from a conversion of the input alone.
 *
 * `output` and `out_bytes` work as for audio_resampler_resample: the planes
 * point into the resampler's output block and stay valid until the next call
 * on it; `out_bytes` may be 0.  The block grows only when the tail needs more
 * room than it has.
 *
 * Afterwards the resampler holds no history and behaves byte for byte as a
 * newly created one.  A drain right after a drain hands back 0 bytes.
 *
 * Returns false, writing neither `output` nor `out_bytes`, when:
 *   - `resampler`, `output` or `out_bytes` is NULL, the frames still owed do
 *     not fit a 32-bit count, the output block cannot grow, or the engine
 *     could not start again after the previous drain and still cannot (no
 *     log): nothing changes, the stream goes on and the drain may be
 *     repeated;
 *   - the engine fails while it takes the silence or gives the tail out:
 *     ERROR line "swr_convert failed: %d" with its code.  The stream is
 *     ended all the same and its held frames are lost; the next call begins
 *     a new stream.
 * When the engine cannot start again after a successful drain (it allocates
 * as it starts), the drain still returns true with the tail; every later
 * call first tries to start it, and fails as above while it cannot.
 */
AMIX_API bool audio_resampler_drain(audio_resampler *resampler, uint8_t **output,
                                    int32_t *out_bytes);

AMIX_END_DECLS

#endif /* TAVRIN_AMIX_AUDIO_RESAMPLER_H */
