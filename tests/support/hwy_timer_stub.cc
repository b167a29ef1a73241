// Preloaded into the test programs that run under valgrind (scripts/check.sh).
//
// libhwy measures its timer's resolution while it loads, with RDTSCP when
// CPUID reports the instruction.  Valgrind's CPU model reports it whatever
// the host has, and on hosts whose hypervisor hides it the program dies of
// SIGILL before main.  Nothing here times anything, so the measurement is
// answered without the instruction.
#include <cstdint>

namespace hwy {
namespace platform {
__attribute__((visibility("default"))) uint64_t TimerResolution() { return 1; }
}  // namespace platform
}  // namespace hwy
