// Errors, option values and the settings every command shares.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace amix {

// The sample rates amix converts: --rate, and the rates of its inputs.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

// Exit codes of the tool.
constexpr int kExitFailure = 1;  // a file, a format or the library failed
constexpr int kExitUsage = 2;    // the command line is wrong

// A failure the user can act on.  main prints "amix: <what>" on one line and
// exits with `code`.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& what, int code = kExitFailure)
      : std::runtime_error(what), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// A wrong command line: exit code 2, with a pointer to --help.
class UsageError : public Error {
 public:
  explicit UsageError(const std::string& what) : Error(what, kExitUsage) {}
};

// Settings given before or after the command name.
struct Globals {
  bool quiet = false;    // no progress lines
  bool verbose = false;  // show the library's log lines
};

// Option values, each checked in full; a bad value throws UsageError naming
// the option, the accepted range and the value given.
int parse_rate(const std::string& option, const std::string& value);
int parse_block_bytes(const std::string& option, const std::string& value);
std::vector<float> parse_volumes(const std::string& option, const std::string& value);
// --at: comma-separated start times in seconds, 0 to 86400.
std::vector<double> parse_starts(const std::string& option, const std::string& value);

// One getopt_long pass over a command's arguments (argv[0] is the command's
// name).  `shorts` and `longs` describe the command's own options; --help,
// --quiet and --verbose are added.  Calls `on_option(code, optarg)` for each
// option of the command, fills `globals` and applies --verbose, checks that
// `min`..`max` operands remain, and returns them.  For --help it prints
// `help` to stdout and sets `*help_shown`.
struct LongOption {
  const char* name;
  bool has_arg;
  int code;
};
std::vector<std::string> parse_command(int argc, char** argv, const std::string& shorts,
                                       const std::vector<LongOption>& longs, size_t min,
                                       size_t max, Globals& globals, const char* help,
                                       bool* help_shown,
                                       const std::function<void(int, const char*)>& on_option);

}  // namespace amix
