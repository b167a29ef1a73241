// What the blocking resampler's two halves share: the scope of its lock.
#pragma once

#include <pthread.h>

#include "tavrin_amix/sync_audio_resampler.h"

namespace amix::sync {

// Holds the object's lock for one scope; waits and signals go through it, so
// that no wait happens without the lock.
class Locked {
 public:
  explicit Locked(sync_audio_resampler& s) : s_(s) { pthread_mutex_lock(&s_.lock); }
  ~Locked() { pthread_mutex_unlock(&s_.lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

  // Releases the lock until a signal; the caller re-tests its predicate.
  void wait() { pthread_cond_wait(&s_.wakeup, &s_.lock); }
  // Wakes the one thread that can be waiting: the two sides' wait predicates
  // exclude each other.
  void signal() { pthread_cond_signal(&s_.wakeup); }

 private:
  sync_audio_resampler& s_;
};

}  // namespace amix::sync
