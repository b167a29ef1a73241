#include "common/engine_seam.h"

#ifdef AMIX_FAULT_INJECTION
#include <atomic>

#include "common/fault_counter.h"

namespace {
std::atomic<bool> g_refuse_soxr{false};
amix::FaultCounter g_engine_calls;
}  // namespace

extern "C" void amix_fault_refuse_soxr(int refuse) { g_refuse_soxr.store(refuse != 0); }

extern "C" void amix_fault_engine_fail_at(long n) { g_engine_calls.fail_at(n); }

extern "C" long amix_fault_engine_calls_reached(void) { return g_engine_calls.reached(); }
#endif

namespace amix {

bool soxr_offered() {
#ifdef AMIX_FAULT_INJECTION
  return !g_refuse_soxr.load();
#else
  return true;
#endif
}

bool engine_call_permitted() {
#ifdef AMIX_FAULT_INJECTION
  return g_engine_calls.permit();
#else
  return true;
#endif
}

}  // namespace amix
