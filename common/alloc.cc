#include "common/alloc.h"

#include <cstdlib>

#ifdef AMIX_FAULT_INJECTION
#include "common/fault_counter.h"

namespace {
amix::FaultCounter g_allocations;
}  // namespace

extern "C" void amix_fault_fail_at(long n) { g_allocations.fail_at(n); }

extern "C" long amix_fault_sites_reached(void) { return g_allocations.reached(); }
#endif

namespace amix {

bool alloc_permitted() {
#ifdef AMIX_FAULT_INJECTION
  return g_allocations.permit();
#else
  return true;
#endif
}

void* mem_malloc(std::size_t size) {
  return alloc_permitted() ? std::malloc(size) : nullptr;
}

void* mem_calloc(std::size_t count, std::size_t size) {
  return alloc_permitted() ? std::calloc(count, size) : nullptr;
}

void mem_free(void* ptr) { std::free(ptr); }

}  // namespace amix
