// Test seams for the resampling engine (libswresample), beside the
// allocation seam of common/alloc.h and built the same two ways: the shipped
// library answers "yes" to every question below, the fault-injection build
// (AMIX_FAULT_INJECTION) of the tests' static library answers as the hooks
// at the bottom tell it.
#pragma once

namespace amix {

// Whether libswresample may be asked for its soxr engine.  The
// fault-injection build can answer "no", as for an FFmpeg built without
// libsoxr (many Android builds): the caller then takes the fallback that a
// refusal of swr_init would give.
bool soxr_offered();

// True unless the fault-injection build decided that this engine call fails;
// the caller then treats it as an engine error (AVERROR_EXTERNAL) without
// making the call.  Always true in normal builds.
bool engine_call_permitted();

}  // namespace amix

// Test hooks, defined only in the fault-injection build.
extern "C" {
// Nonzero: libswresample is taken to have no soxr engine.  0 by default.
void amix_fault_refuse_soxr(int refuse);
// Makes the N-th engine call counted from now fail (1 = the next one); 0
// disables it.  Resets the counter.
void amix_fault_engine_fail_at(long n);
// Engine calls reached since the last amix_fault_engine_fail_at call.
long amix_fault_engine_calls_reached(void);
}
