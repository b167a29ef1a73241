// The tool's commands, in the order 'amix --help' lists them.
#pragma once

#include "amix/commands/options.h"

namespace amix {

extern const Command kInfoCommand;
extern const Command kConvertCommand;
extern const Command kMixCommand;
extern const Command kStreamCommand;
extern const Command kDemoCommand;

}  // namespace amix
