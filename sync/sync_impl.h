// What the blocking resampler's two halves share: the object's allocation
// and the scope of its lock.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <type_traits>

#include "sync/sync_stamps.h"
#include "tavrin_amix/sync_audio_resampler.h"

namespace amix::sync {

// Who waits: the two sides' wait rules (sync_transfer.cc).
enum class Side { kProducer = 0, kConsumer = 1 };

// The object, its stamp record and its wait counts, in one allocation: they
// have fixed sizes, so they cost no allocation of their own and no failure
// path.
struct Whole {
  sync_audio_resampler object;
  sync_audio_stamps stamps;
  int64_t waits[2];  // waits begun by each side since create, under the lock
};
static_assert(std::is_standard_layout_v<Whole>, "the object must sit at the allocation's start");

inline Whole& whole_of(sync_audio_resampler& s) { return *reinterpret_cast<Whole*>(&s); }

// Holds the object's lock for one scope; waits and signals go through it, so
// that no wait happens without the lock.
class Locked {
 public:
  explicit Locked(sync_audio_resampler& s) : s_(s) { pthread_mutex_lock(&s_.lock); }
  ~Locked() { pthread_mutex_unlock(&s_.lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

  // Releases the lock until a signal; the caller re-tests its predicate.
  void wait(Side side) {
    ++whole_of(s_).waits[static_cast<int>(side)];
    pthread_cond_wait(&s_.wakeup, &s_.lock);
  }
  // Wakes the one thread that can be waiting: the two sides' wait predicates
  // exclude each other.
  void signal() { pthread_cond_signal(&s_.wakeup); }

 private:
  sync_audio_resampler& s_;
};

// The waits `side` has begun on `s` since create.  Once the count has grown
// past a value seen before, that side has looked at the queue and gone to
// sleep; it stays asleep until the next write, read or interrupt.  Not
// exported: the tests use it to see that a call is blocked.
int64_t waits_begun(sync_audio_resampler* s, Side side);

}  // namespace amix::sync
