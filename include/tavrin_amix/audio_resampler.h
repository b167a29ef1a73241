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

/* Conversion quality: the filter a resampler converts its rates with. */
typedef enum audio_resample_quality {
  AUDIO_RESAMPLE_QUALITY_DEFAULT = 0,
  AUDIO_RESAMPLE_QUALITY_HIGH = 1,
  AUDIO_RESAMPLE_QUALITY_BEST = 2
} audio_resample_quality;

/*
 * audio_resampler_create with a choice of `quality` (an
 * audio_resample_quality).
 *
 * DEFAULT is libswresample's default filter (32 taps, Kaiser beta 9, cutoff
 * 0.97): exactly the resampler, and the bytes, of audio_resampler_create.
 * HIGH and BEST run libsoxr through libswresample, at 20 and 28 bits of
 * precision; where libswresample has no soxr (many Android builds of
 * FFmpeg) they run a longer filter of libswresample's own instead (128 taps,
 * Kaiser beta 12, cutoff 0.94 for HIGH; 256, 14 and 0.96 for BEST).
 * audio_resampler_engine_name tells which.  Both presets convert in float
 * even between 16-bit (or 8-bit) ends, round float to 16-bit output to
 * the nearest, ties to even, on every platform, keep output frame k at time
 * k / dst_rate (no delay), keep the exact length of audio_resampler_drain,
 * and give the same bytes for the same input on every run and for every
 * way of cutting it into calls.
 *
 * Measured at rate pairs from 8000 to 192000 Hz, up to 24:1 either way
 * (stopband: the loudest alias of tones at 1.02 to 1.25 x the destination's
 * Nyquist, or image of a tone at 0.98 x the source's; passband up to 20 kHz
 * or 0.9 x the lower Nyquist; THD+N of 1 kHz at -1 dBFS, float; the CPU
 * time of 44100 -> 48000 Hz 16-bit stereo over DEFAULT's, in 1024-frame
 * calls; at the presets it is within 0.85x-1.02x of libsoxr's own, called
 * directly at the same precision):
 *
 *   preset   engine  stopband   passband     THD+N     THD+N 16-bit  cost
 *   DEFAULT  swr     -9..-15    -1.03 dB     -106 dB   -81 dB        1
 *   HIGH     soxr    <= -134    +-0.008 dB   <= -132   <= -93        2.4x
 *   BEST     soxr    <= -165    +-0.007 dB   <= -149   <= -93        3.1x
 *   HIGH     swr     <= -119    +-0.036 dB   <= -137   <= -93        3.4x
 *   BEST     swr     <= -140    +-0.0001 dB  <= -138   <= -93        6.8x
 *
 * soxr sets up its filters in the first resample call after each start
 * (creation, or the restart that ends every drain), not at creation: that
 * call allocates about 30 blocks, 190 to 540 KB (HIGH 250 KB, BEST 410 KB at
 * 44100 -> 48000 Hz stereo), and takes 20 to 100 us of CPU.  Until its
 * filter is full it gives nothing out (at 192000 -> 8000 Hz and BEST, the
 * first 0.15 s of input), and then gives its output in bursts of whole
 * filter blocks; meanwhile the output block grows with what a call may be
 * handed.  After that, calls of sizes seen before allocate nothing, as with
 * DEFAULT.  libswresample's fallback filter is built at creation; at steep
 * reductions between coprime rates that takes about 1 MB and 14 ms (BEST)
 * or 0.5 MB and 5 ms (HIGH) per unit of the rate ratio.
 *
 * Returns NULL (no log line) for a `quality` outside 0..2, wherever
 * audio_resampler_create does, and for HIGH and BEST also where the
 * destination rate is more than 256 times the source rate.
 */
AMIX_API audio_resampler *audio_resampler_create_quality(const audio_desc *dst,
                                                         const audio_desc *src,
                                                         int32_t quality);

/*
 * The engine converting the rates: "soxr" (libsoxr, reached through
 * libswresample) or "swr" (libswresample's own filter).  DEFAULT always
 * runs "swr"; HIGH and BEST run "soxr" where libswresample offers it and
 * "swr" with a longer filter where it does not.  NULL for NULL.  The string
 * is static.
 */
AMIX_API const char *audio_resampler_engine_name(const audio_resampler *resampler);

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
 *   - a failed drain has begun the stream's tail: the stream can only end
 *     now, by a drain that succeeds (no log; see audio_resampler_drain);
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
 * newly created one of the same quality.  A drain right after a drain hands
 * back 0 bytes.
 *
 * Returns false, writing neither `output` nor `out_bytes`, when:
 *   - `resampler`, `output` or `out_bytes` is NULL, the frames still owed or
 *     the room the tail needs do not fit a 32-bit count, the output block
 *     cannot grow, or the engine could not start again after the previous
 *     drain and still cannot (no log);
 *   - the engine fails while it takes the silence or gives the tail out
 *     (also for want of memory): ERROR line "swr_convert failed: %d" with
 *     its code.
 * A failed drain loses nothing: the stream is not ended, and the next drain
 * hands back all the rest of it (the tail frames already taken from the
 * engine included, the silence already fed counting toward the tail), to
 * the same exact total and the same bytes as a drain that had not failed.
 * Once a failed drain has fed silence behind the stream, the stream can
 * only end: audio_resampler_resample refuses more input until a drain
 * succeeds.  Before that (the block could not grow, or the first silence
 * could not be fed) the stream simply goes on.
 * When the engine cannot start again after a successful drain (it allocates
 * as it starts), the drain still returns true with the tail; every later
 * call first tries to start it, and fails as above while it cannot.
 */
AMIX_API bool audio_resampler_drain(audio_resampler *resampler, uint8_t **output,
                                    int32_t *out_bytes);

AMIX_END_DECLS

#endif /* TAVRIN_AMIX_AUDIO_RESAMPLER_H */
