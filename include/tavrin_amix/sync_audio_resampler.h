/*
 * Blocking resampler: a meeting point between one producer thread, which
 * writes signed 16-bit interleaved PCM of any rate, speaker layout and write
 * size, and one consumer thread, which reads blocks of a fixed size
 * (`block_size` bytes) of signed 16-bit interleaved PCM at the target rate
 * and layout.
 *
 * Each write converts its bytes (outside the lock) and appends them to a
 * 576000-byte queue; each read takes one block out of it.  The two sides take
 * turns at block granularity:
 *   - the producer waits while a whole block is already queued;
 *   - the consumer waits until a whole block is queued, the stream has
 *     ended, or the object was interrupted.
 * The last block of a stream is padded with zero bytes.  No written byte is
 * dropped before an interrupt: a write whose output does not fit the free
 * space hands over what fits and waits for room for the rest.  A write that
 * ends the stream also delivers what the converter still holds back for its
 * filter (audio_resampler_drain), so that a stream of n source frames comes
 * out as exactly floor(n * dst_rate / src_rate + 1/2) frames, and the
 * converter then starts afresh: the same object can carry a further stream
 * after an end.
 *
 * Stamps: each write carries the time of its first frame in microseconds
 * (the toolkit's presentation times); sync_audio_resampler_read_stamped
 * gives each block the time of its first frame, taken from those stamps.
 *
 *   sync_audio_resampler *s = sync_audio_resampler_create(44100, PCM_SPEAKERS_STEREO,
 *                                                         48000, PCM_SPEAKERS_STEREO, 4096);
 *   // producer thread:
 *   while (decode(&pcm, &len, &pts_us, &last))
 *       sync_audio_resampler_write(s, pcm, len, pts_us, last);
 *   // consumer thread:
 *   while ((n = sync_audio_resampler_read_stamped(s, block, s->block_size, &pts_us)) > 0)
 *       encode(block, n, pts_us);           // n < block_size: the padded last block
 *   // shutdown, once both threads are told to stop:
 *   sync_audio_resampler_interrupt(s);      // wakes a waiting producer or consumer
 *   join(producer); join(consumer);
 *   sync_audio_resampler_release(s);
 *
 * Units: byte counts over all channels.  A write converts whole frames (one
 * 16-bit sample of every source channel); a trailing partial frame is dropped.
 * Speaker codes are the pcm_speakers codes of audio_resampler.h.
 *
 * Log lines (Android log, tag "Zelvarion"), exactly as listed with each
 * function below.  INFO lines are priority 4, ERROR lines priority 6.
 *
 * Thread safety: exactly one producer thread calls write and exactly one
 * consumer thread calls read (or read_stamped); they may run at the same
 * time.  Interrupt may be called from any thread while the object exists.
 * Create and release run while neither the producer nor the consumer is
 * inside a call.  One mutex and one condition variable of the object
 * (default attributes, no timed waits) carry every wait; no lock is held
 * between calls.  Release frees the object: a released handle must not be
 * passed to any function (nothing can tell it from a live one).
 */
#ifndef TAVRIN_AMIX_SYNC_AUDIO_RESAMPLER_H
#define TAVRIN_AMIX_SYNC_AUDIO_RESAMPLER_H

#include <pthread.h>
#include <stdint.h>

#include "tavrin_amix/amix_export.h"
#include "tavrin_amix/audio_resampler.h"
#include "tavrin_amix/rbuf.h"

AMIX_BEGIN_DECLS

/* Bytes the queue holds: 3 s of 48000 Hz stereo; also the largest block. */
#define SYNC_AUDIO_RESAMPLER_QUEUE_BYTES 576000

/*
 * The object.  Declared here because the Java bindings read `block_size`,
 * which is fixed from create to release; every other field belongs to the
 * functions below.
 */
typedef struct sync_audio_resampler {
  audio_resampler *resampler; /* owned; freed by release with the object */
  rbuf *ring;                 /* owned queue, SYNC_AUDIO_RESAMPLER_QUEUE_BYTES, truncating */
  int32_t end_of_stream;      /* flag of the most recent write (0: more follows) */
  int64_t last_stamp;         /* stamp of the most recent write; recorded only */
  int32_t block_size;         /* bytes delivered by every read, 1..576000 */
  int32_t interrupted;        /* 1 after interrupt or release; never cleared */
  pthread_mutex_t lock;       /* guards ring, end_of_stream, last_stamp, interrupted, stamps */
  pthread_cond_t wakeup;      /* signalled by every interrupt, and by every write or
                                 read after which the other side may go on */
  struct sync_audio_stamps *stamps; /* the queued blocks' stamps; inside the object's own
                                       allocation */
} sync_audio_resampler;

/*
 * Creates an object converting signed 16-bit PCM from `src_samples_per_sec`
 * Hz in layout `src_speakers` to `dst_samples_per_sec` Hz in `dst_speakers`,
 * read in blocks of `block_size` bytes (1 .. SYNC_AUDIO_RESAMPLER_QUEUE_BYTES).
 *
 * On success logs INFO "sync audio resampler created: %d/%d, %d/%d" (source
 * rate, destination rate, source speakers, destination speakers) and returns
 * the object, which the caller frees with sync_audio_resampler_release.
 *
 * Returns NULL, with nothing left allocated, when:
 *   - `block_size` is out of range: ERROR
 *     "sync audio resampler block size out of range: %d";
 *   - the converter refuses the rates or speaker codes (a rate of 0 or below,
 *     a source rate more than 256 times the destination rate, a speakers
 *     code outside 1..10) or cannot be made: ERROR
 *     "failed to create audio resampler";
 *   - the queue cannot be allocated: ERROR "failed to create ring buffer !";
 * each followed by the four lines of sync_audio_resampler_release, as the
 * half-built object is released;
 *   - the object itself cannot be allocated (no line), or its mutex or
 *     condition variable cannot be set up: ERROR
 *     "sync audio resampler lock init failed: %d" with the error number.
 */
AMIX_API sync_audio_resampler *sync_audio_resampler_create(int32_t src_samples_per_sec,
                                                           int32_t src_speakers,
                                                           int32_t dst_samples_per_sec,
                                                           int32_t dst_speakers,
                                                           int32_t block_size);

/*
 * sync_audio_resampler_create with a choice of conversion `quality` (an
 * audio_resample_quality of audio_resampler.h, which gives each preset's
 * figures; DEFAULT is exactly sync_audio_resampler_create).  The same
 * results and log lines, and one more refusal, checked after the block
 * size: a `quality` outside 0..2 logs ERROR
 * "sync audio resampler quality out of range: %d" and the four release
 * lines, and gives NULL (as does a rate increase beyond 256:1 at HIGH or
 * BEST, with "failed to create audio resampler").
 *
 * The presets keep streams exactly as long and block stamps within one
 * frame, as DEFAULT does.  soxr gives its output in bursts of whole filter
 * blocks (at 44100 -> 48000 Hz, about 890 frames; nothing at all until its
 * filter is full), which the queue evens out: with 1024-frame writes and
 * 4096-byte blocks of stereo, the two threads still sleep fewer than twice
 * per block read (measured: 1.6 to 1.7, against 1.9 for DEFAULT), since
 * neither side wakes the other for a change that cannot release it.  The
 * first write after create and after each end sets soxr's filters up (see
 * audio_resampler_create_quality).
 */
AMIX_API sync_audio_resampler *sync_audio_resampler_create_quality(int32_t src_samples_per_sec,
                                                                   int32_t src_speakers,
                                                                   int32_t dst_samples_per_sec,
                                                                   int32_t dst_speakers,
                                                                   int32_t block_size,
                                                                   int32_t quality);

/*
 * Producer side: converts `len` bytes of `data` (source PCM) and appends the
 * result to the queue.  `stamp` is the time of the write's first frame, in
 * microseconds; it is stored in last_stamp and gives the blocks their
 * stamps (see sync_audio_resampler_read_stamped).  A nonzero
 * `end_of_stream` marks the end of the stream: the converter's held-back
 * frames are appended too, making the stream exactly as long as its source
 * at the destination rate (see the top of this file), also for a stream of
 * one frame; the consumer then takes what is queued, the last block padded
 * with zeros, and then 0.  `len` may be 0 (or negative, taken as 0) when
 * `end_of_stream` is set; `data` must still be non-NULL.  A later write with
 * `end_of_stream` 0 begins the next stream.
 *
 * Blocks while a whole block is queued.  When the converted bytes do not fit
 * the queue's free space, appends what fits, wakes the consumer and waits
 * again, until all are in.  After an interrupt it never waits: what does not
 * fit is dropped, and the call still returns 0.  The stamp and a nonzero
 * flag are recorded once the bytes are in; a write that carries bytes lifts
 * an earlier end before they go in.
 *
 * Returns 0 on success, also when the conversion yields no bytes yet (the
 * converter held a short or first write back for its filter; it comes out
 * with later writes).  Returns -1, leaving the queue, the flag and the stamp
 * as they were, with:
 *   - ERROR "sync audio resampler write not inited or invalid params !" for a
 *     NULL `s` or `data`, or `len` <= 0 without `end_of_stream`;
 *   - ERROR "sync audio resampler resample failed !" when the conversion
 *     fails (after the converter's own ERROR "swr_convert failed: %d" for an
 *     engine error); the input of a failed call may have been consumed, so a
 *     repeated write can duplicate audio;
 *   - ERROR "sync audio resampler resample failed: %d !" with the byte count
 *     when the converter hands back an unusable result.
 * Returns -1 with ERROR "sync audio resampler resample failed !" (after the
 * converter's own line, if any) when the end of the stream cannot be drained
 * (audio_resampler_drain fails): the write's own bytes are queued and its
 * stamp stored, but the stream is not ended; a further write with
 * `end_of_stream` set and `len` 0 ends it.  When the engine itself failed,
 * the frames it held are lost.
 * Allocates only when a write converts more than any write before it (the
 * converter's output block grows) and at the end of a stream, where the
 * converter's engine starts afresh.
 */
AMIX_API int sync_audio_resampler_write(sync_audio_resampler *s, const void *data, int32_t len,
                                        int64_t stamp, int32_t end_of_stream);

/*
 * Consumer side: takes one block out of the queue into `dst`, which has room
 * for `len` >= block_size bytes.  Blocks until a whole block is queued, the
 * stream has ended, or the object was interrupted.
 *
 * Returns the bytes of audio delivered, 1..block_size; when fewer than
 * block_size, bytes n..block_size-1 of `dst` are set to 0 (a whole block is
 * always written).  Returns 0, leaving `dst` untouched, when the stream has
 * ended or the object was interrupted and nothing is queued: ERROR
 * "sync audio resampler read failed: %d" with 0.
 * Returns -1 without waiting or touching `dst`, with ERROR
 * "sync audio resampler read not inited or invalid params %d !" (1 when
 * `dst` is NULL, else 0), for a NULL `s` or `dst`, or `len` below
 * block_size.  Never allocates.
 */
AMIX_API int32_t sync_audio_resampler_read(sync_audio_resampler *s, void *dst, int32_t len);

/*
 * sync_audio_resampler_read, with the same results, waits and log lines,
 * that also gives the block's time: when it returns n > 0, `*stamp` holds
 * the time of the block's first frame (the frame that its first byte
 * belongs to), in the unit of the write stamps, microseconds.  When it
 * returns 0 or -1, `*stamp` is left as it was.  A NULL `stamp` makes it a
 * plain read.  Either read may be used for any block.
 *
 * The time comes from the stamp of the write that the frame's source frames
 * come from, plus the source time between that write's first frame and the
 * frame (output frame j of a stream is at j / dst_rate seconds of it):
 *   - a continuous stream, one whose stamps advance with its frames (rounded
 *     to whole microseconds), written in writes of any sizes: block k of it
 *     carries t0 + k * block_frames * 10^6 / dst_rate, where t0 is the
 *     stamp of its first write, within one destination frame period (and
 *     the half microsecond of rounding);
 *   - a jump, a write whose stamp is 1 ms or more away from the time that
 *     the stream's stamps so far give its first frame (a gap or a seek,
 *     forwards or backwards): the blocks whose first frame comes from that
 *     write or later follow its stamp, within one destination frame period.
 *     Smaller differences are taken as jitter of the same clock: the blocks
 *     keep following the stamps before them;
 *   - the first write after an end of the stream begins a new clock: the
 *     next stream's blocks carry its own stamps.  (A block that begins with
 *     the previous stream's last bytes follows that stream.)
 * Up to 64 jumps and starts of streams may wait in the queue at once,
 * written but not yet reached by a read.  Beyond that a further one takes
 * the place of the newest waiting one, so the blocks between those two
 * follow the jump before them; the stamps are right again from the newest
 * one on, and the record's memory stays fixed.  Bytes that an interrupted
 * object drops shift the stamps of the blocks after them.
 *
 * Never allocates.  Consumer thread, as sync_audio_resampler_read.
 */
AMIX_API int32_t sync_audio_resampler_read_stamped(sync_audio_resampler *s, void *dst,
                                                   int32_t len, int64_t *stamp);

/*
 * Interrupts the object for good: a waiting producer or consumer wakes, and
 * from then on neither waits.  Reads still deliver what is queued (padded),
 * then 0; writes still append what fits.
 * Logs INFO "sync audio resampler interrupt +", then INFO
 * "sync audio resampler interrupt -" and returns 0; for a NULL `s` logs the
 * first line, then ERROR "sync audio resampler write not inited !", and
 * returns -1.  Any thread.
 */
AMIX_API int sync_audio_resampler_interrupt(sync_audio_resampler *s);

/*
 * Interrupts the object, then frees it and everything it owns.  Logs INFO
 * "sync audio resampler release +", the two lines of the interrupt, and INFO
 * "sync audio resampler released !"; returns 0.  For a NULL `s` logs the
 * first line, then ERROR "sync audio resampler write not inited !", and
 * returns -1.  Only while neither side is inside a call: interrupt first,
 * let both threads return, then release.
 */
AMIX_API int sync_audio_resampler_release(sync_audio_resampler *s);

AMIX_END_DECLS

#endif /* TAVRIN_AMIX_SYNC_AUDIO_RESAMPLER_H */
