// The failures amix reports and the exit codes it reports them with.
#pragma once

#include <stdexcept>
#include <string>

namespace amix {

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

// A wrong command line: exit code 2.
class UsageError : public Error {
 public:
  explicit UsageError(const std::string& what) : Error(what, kExitUsage) {}
};

}  // namespace amix
