#include "amix/cli.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "amix/log.h"
#include "amix/report.h"

namespace amix {
namespace {

// The blocking resampler's queue holds 576000 bytes; a block must leave room
// for one converted input block beside it.
constexpr int kMaxBlockBytes = 262144;
constexpr double kMaxVolume = 16.0;
constexpr double kMaxStartSeconds = 86400.0;  // a day

enum { kOptHelp = 0x1000, kOptQuiet, kOptVerbose };

bool parse_long(const std::string& text, long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

}  // namespace

int parse_rate(const std::string& option, const std::string& value) {
  long v = 0;
  if (!parse_long(value, &v) || v < kMinRate || v > kMaxRate) {
    std::ostringstream msg;
    msg << option << ": expected a sample rate from " << kMinRate << " to " << kMaxRate
        << " Hz, got '" << value << "'";
    throw UsageError(msg.str());
  }
  return static_cast<int>(v);
}

int parse_block_bytes(const std::string& option, const std::string& value) {
  long v = 0;
  if (!parse_long(value, &v) || v < 2 || v > kMaxBlockBytes || v % 2 != 0) {
    std::ostringstream msg;
    msg << option << ": expected an even byte count from 2 to " << kMaxBlockBytes << ", got '"
        << value << "'";
    throw UsageError(msg.str());
  }
  return static_cast<int>(v);
}

namespace {

// Comma-separated numbers from 0 to `max`, each checked in full.
std::vector<double> parse_list(const std::string& option, const std::string& value, double max,
                               const char* what) {
  std::vector<double> list;
  std::string item;
  std::istringstream in(value);
  while (std::getline(in, item, ',')) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(item.c_str(), &end);
    if (item.empty() || errno != 0 || *end != '\0' || !std::isfinite(v) || v < 0.0 || v > max) {
      std::ostringstream msg;
      msg << option << ": expected comma-separated " << what << " from 0 to " << max << ", got '"
          << item << "'";
      throw UsageError(msg.str());
    }
    list.push_back(v);
  }
  if (list.empty() || value.back() == ',')
    throw UsageError(option + ": expected comma-separated " + what + ", got '" + value + "'");
  return list;
}

}  // namespace

std::vector<float> parse_volumes(const std::string& option, const std::string& value) {
  const std::vector<double> v = parse_list(option, value, kMaxVolume, "factors");
  return std::vector<float>(v.begin(), v.end());
}

std::vector<double> parse_starts(const std::string& option, const std::string& value) {
  return parse_list(option, value, kMaxStartSeconds, "times in seconds");
}

std::vector<std::string> parse_command(int argc, char** argv, const std::string& shorts,
                                       const std::vector<LongOption>& longs, size_t min,
                                       size_t max, Globals& globals, const char* help,
                                       bool* help_shown,
                                       const std::function<void(int, const char*)>& on_option) {
  std::vector<option> table;
  for (const LongOption& o : longs)
    table.push_back({o.name, o.has_arg ? required_argument : no_argument, nullptr, o.code});
  table.push_back({"help", no_argument, nullptr, kOptHelp});
  table.push_back({"quiet", no_argument, nullptr, kOptQuiet});
  table.push_back({"verbose", no_argument, nullptr, kOptVerbose});
  table.push_back({nullptr, 0, nullptr, 0});

  // A leading ':' makes getopt report problems to us instead of printing.
  const std::string optstring = ":hqv" + shorts;
  const std::string command = argv[0];
  *help_shown = false;
  optind = 0;  // a full restart: the tool parses once per command
  opterr = 0;
  for (;;) {
    const int c = getopt_long(argc, argv, optstring.c_str(), table.data(), nullptr);
    if (c == -1) break;
    switch (c) {
      case 'h':
      case kOptHelp:
        report("%s", help);
        *help_shown = true;
        return {};
      case 'q':
      case kOptQuiet:
        globals.quiet = true;
        break;
      case 'v':
      case kOptVerbose:
        globals.verbose = true;
        break;
      case ':':
        throw UsageError(command + ": option '" + argv[optind - 1] + "' needs a value");
      case '?': {
        const std::string name =
            optopt != 0 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
        throw UsageError(command + ": unknown option '" + name + "'");
      }
      default:
        on_option(c, optarg);
    }
  }
  set_library_log(globals.verbose);
  std::vector<std::string> operands(argv + optind, argv + argc);
  if (operands.size() < min)
    throw UsageError(command + ": missing file operand (see 'amix " + command + " --help')");
  if (operands.size() > max)
    throw UsageError(command + ": unexpected operand '" + operands[max] + "' (see 'amix " +
                     command + " --help')");
  return operands;
}

}  // namespace amix
