/*
 * Byte ring buffer: a fixed-capacity first-in first-out queue of bytes with a
 * per-object overflow policy, byte search, read up to a delimiter, and move or
 * copy between two ring buffers.
 *
 * Every count and length is a signed 32-bit number of bytes.  A negative
 * length or count acts as 0.  The storage is allocated once by rbuf_create;
 * no other function allocates, locks or logs.  Reads and writes are at most
 * two contiguous copies (before and after the end of the storage); a
 * transfer is at most four, straight from one storage into the other.
 *
 *   rbuf *q = rbuf_create(576000);         // room for 576000 bytes
 *   rbuf_set_mode(q, RBUF_MODE_TRUNCATE);  // the default; a full queue refuses
 *   int32_t stored = rbuf_write(q, pcm, pcm_len);   // may be < pcm_len
 *   int32_t got = rbuf_read(q, block, block_len);   // up to block_len bytes
 *   rbuf_destroy(q);
 *
 * Overflow policy, chosen with rbuf_set_mode and used by the next write:
 *   RBUF_MODE_TRUNCATE (0)  a write stores only what fits in the free space
 *                           and returns that count (0 when full); held bytes
 *                           are never dropped.  Any mode value other than 1
 *                           behaves like this.
 *   RBUF_MODE_OVERWRITE (1) a write drops the oldest held bytes to make room
 *                           and always returns its full length; a write larger
 *                           than the capacity keeps only its last `capacity`
 *                           bytes.
 *
 * NULL handles: every function accepts NULL and then does nothing and returns
 * 0 (-1 for rbuf_find).  A NULL `src` or `dst` with a positive length makes the
 * call return 0 and change nothing.
 *
 * Thread safety: none inside.  Calls on one ring buffer must not overlap (the
 * owner serialises them, e.g. under its own mutex); a transfer touches both of
 * its ring buffers.  Distinct ring buffers are independent.
 */
#ifndef TAVRIN_AMIX_RBUF_H
#define TAVRIN_AMIX_RBUF_H

#include <stdint.h>

#include "tavrin_amix/amix_export.h"

AMIX_BEGIN_DECLS

/* Opaque ring buffer. */
typedef struct rbuf rbuf;

/* Overflow policies (see above). */
enum { RBUF_MODE_TRUNCATE = 0, RBUF_MODE_OVERWRITE = 1 };

/* The capacity that rbuf_create(0) selects. */
enum { RBUF_DEFAULT_CAPACITY = 4096 };

/*
 * Creates an empty ring buffer holding up to `capacity` bytes (0 selects
 * RBUF_DEFAULT_CAPACITY), in RBUF_MODE_TRUNCATE.  It allocates `capacity` + 1
 * storage bytes (one always stays empty).
 * Returns NULL for a negative capacity, for INT32_MAX (the storage size would
 * not fit in 32 bits), or when an allocation fails; nothing stays allocated.
 * The caller owns the ring buffer and frees it with rbuf_destroy.
 */
AMIX_API rbuf *rbuf_create(int32_t capacity);

/* Frees the ring buffer and its storage; NULL is ignored. */
AMIX_API void rbuf_destroy(rbuf *rb);

/*
 * Sets the overflow policy for later writes; held bytes are not touched.
 * Any value is stored (see rbuf_mode); values other than 1 truncate.
 */
AMIX_API void rbuf_set_mode(rbuf *rb, int32_t mode);

/* The value last given to rbuf_set_mode (0 after create); 0 for NULL. */
AMIX_API int32_t rbuf_mode(const rbuf *rb);

/*
 * Appends up to `len` bytes from `src` (which must not point into this ring
 * buffer's storage).
 * Returns the count stored in RBUF_MODE_TRUNCATE (the first bytes of `src`,
 * as many as are free; 0 when full), and `len` in RBUF_MODE_OVERWRITE.
 * Returns 0 and changes nothing for a NULL `rb` or `src` or `len` <= 0.
 */
AMIX_API int32_t rbuf_write(rbuf *rb, const void *src, int32_t len);

/*
 * Removes the oldest min(`len`, used) bytes and copies them, in order, to
 * `dst`, which has room for `len` bytes.
 * Returns the count delivered: 0 when empty, for `len` <= 0, or for a NULL
 * `rb` or `dst` (nothing changes then).
 */
AMIX_API int32_t rbuf_read(rbuf *rb, void *dst, int32_t len);

/*
 * Discards the oldest `count` bytes without copying them; a count of at least
 * rbuf_used empties the ring buffer, a count <= 0 does nothing.
 */
AMIX_API void rbuf_skip(rbuf *rb, int32_t count);

/* Bytes held; 0 for NULL. */
AMIX_API int32_t rbuf_used(const rbuf *rb);

/* Free bytes: rbuf_size - rbuf_used; 0 for NULL. */
AMIX_API int32_t rbuf_available(const rbuf *rb);

/* Capacity in bytes, as chosen at create; 0 for NULL. */
AMIX_API int32_t rbuf_size(const rbuf *rb);

/* Empties the ring buffer; the mode stays as it was. */
AMIX_API void rbuf_clear(rbuf *rb);

/*
 * Looks for the low 8 bits of `byte` among the held bytes, oldest first.
 * Returns the offset of the first match counted from the oldest held byte
 * (0 = the oldest), or -1 when there is none, the ring buffer is empty or
 * `rb` is NULL.  The ring buffer is not changed.
 */
AMIX_API int32_t rbuf_find(const rbuf *rb, int32_t byte);

/*
 * Removes held bytes, oldest first, up to and including the first one equal to
 * the low 8 bits of `delim`, scanning at most `dst_len` bytes.  The bytes
 * before the delimiter are copied to `dst` from its first byte; the delimiter
 * is removed but not stored, and `dst` is not terminated (bytes past the
 * stored count are left as they were).
 * Returns the count removed: the stored bytes, plus 1 when a delimiter ended
 * the scan.  Without a delimiter among the first min(`dst_len`, used) bytes,
 * that many are stored and removed.
 * Returns 0 and changes nothing for a NULL `rb` or `dst` or `dst_len` <= 0.
 */
AMIX_API int32_t rbuf_read_until(rbuf *rb, int32_t delim, void *dst, int32_t dst_len);

/*
 * Moves n = min(`len`, rbuf_used(src), rbuf_available(dst)) bytes from the
 * oldest end of `src` to the newest end of `dst`, straight from one storage
 * into the other.  The destination's mode is ignored: a transfer never drops
 * held bytes of `dst`.  `src` and `dst` may be the same ring buffer (the
 * oldest n bytes then go round to the newest end).
 * Returns n; 0 with both unchanged for a NULL handle or `len` <= 0.
 */
AMIX_API int32_t rbuf_move(rbuf *src, rbuf *dst, int32_t len);

/* As rbuf_move, but `src` keeps its bytes and is not changed. */
AMIX_API int32_t rbuf_copy(const rbuf *src, rbuf *dst, int32_t len);

AMIX_END_DECLS

#endif /* TAVRIN_AMIX_RBUF_H */
