// The tool's commands.  Each takes its own argv (argv[0] is the command's
// name), returns the exit status, and throws Error for failures.
#pragma once

#include "amix/cli.h"

namespace amix {

int run_info(int argc, char** argv, Globals& globals);
int run_convert(int argc, char** argv, Globals& globals);
int run_mix(int argc, char** argv, Globals& globals);
int run_stream(int argc, char** argv, Globals& globals);
int run_demo(int argc, char** argv, Globals& globals);

}  // namespace amix
