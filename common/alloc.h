// Heap access for the whole library.  Every allocation the library makes goes
// through these functions, so that a fault-injection build
// (AMIX_FAULT_INJECTION) can make the N-th one fail and the tests can check
// each failure path.  Allocations done inside third-party code (FFmpeg) are
// represented by alloc_permitted(): the caller asks first and treats a "no"
// exactly as a failure of that library call.
#pragma once

#include <cstddef>

namespace amix {

void* mem_malloc(std::size_t size);
void* mem_calloc(std::size_t count, std::size_t size);
void mem_free(void* ptr);

// True unless the fault-injection build decided that this allocation site
// fails.  Always true in normal builds.
bool alloc_permitted();

}  // namespace amix

// Test hooks, defined only in the fault-injection build of this helper
// (linked into the static library the tests use, never into the shipped one).
extern "C" {
// Makes the N-th allocation counted from now fail (1 = the next one);
// 0 disables injection.  Resets the counter.
void amix_fault_fail_at(long n);
// Allocation sites reached since the last amix_fault_fail_at call.
long amix_fault_sites_reached(void);
}
