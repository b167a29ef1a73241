#include "common/alloc.h"

#include <atomic>
#include <cstdlib>

#ifdef AMIX_FAULT_INJECTION
namespace {
std::atomic<long> g_fail_at{0};
std::atomic<long> g_reached{0};
}  // namespace

extern "C" void amix_fault_fail_at(long n) {
  g_reached.store(0);
  g_fail_at.store(n);
}

extern "C" long amix_fault_sites_reached(void) { return g_reached.load(); }
#endif

namespace amix {

bool alloc_permitted() {
#ifdef AMIX_FAULT_INJECTION
  const long site = g_reached.fetch_add(1) + 1;
  const long fail_at = g_fail_at.load();
  return fail_at == 0 || site != fail_at;
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
