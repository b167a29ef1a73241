#pragma once

namespace amix {

// Whether the library's log lines are printed to stderr (off by default).
void set_library_log(bool verbose);

}  // namespace amix
