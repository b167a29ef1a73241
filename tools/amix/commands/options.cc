#include "amix/commands/options.h"

#include <getopt.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/io/layouts.h"
#include "amix/pipelines/converter.h"
#include "amix/report/report.h"

namespace amix {
namespace {

constexpr size_t kHelpWidth = 78;

// The blocking resampler's queue holds 576000 bytes; a block must leave room
// for one converted input block beside it.
constexpr int kMaxBlockBytes = 262144;
constexpr double kMaxVolume = 16.0;
constexpr char kTimeSyntax[] = "seconds or [h:]mm:ss[.fff]";
constexpr double kMinLoudness = -70.0;  // LUFS: the gate below which nothing counts
constexpr double kMinCeiling = -30.0;   // dBTP

// `text` wrapped to kHelpWidth, continuation lines indented by `indent`.
// Lines break at spaces, and where a word is too long, after a '|'.
std::string wrap(const std::string& text, size_t indent) {
  std::string out;
  size_t column = indent;
  bool line_empty = true;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    bool space = true;
    for (size_t at = 0; at < word.size();) {
      const size_t bar = word.find('|', at);
      const size_t end = bar == std::string::npos ? word.size() : bar + 1;
      const std::string piece = word.substr(at, end - at);
      const size_t gap = space && !line_empty ? 1 : 0;
      if (!line_empty && column + gap + piece.size() > kHelpWidth) {
        out += "\n" + std::string(indent, ' ');
        column = indent;
        line_empty = true;
      }
      if (space && !line_empty) out += ' ', ++column;
      out += piece;
      column += piece.size();
      line_empty = false;
      space = false;
      at = end;
    }
  }
  return out;
}

std::string option_name(const Option& o) {
  std::string left = o.short_name != 0 ? std::string("-") + o.short_name + ", " : "    ";
  left += std::string("--") + o.long_name;
  if (o.argument != nullptr) left += std::string(" ") + o.argument;
  return left;
}

// getopt_long over `options`.  Returns the index of the first operand, or
// -1 once `*stop` became true (-h).
int run_getopt(const std::string& command, const std::vector<Option>& options,
               bool stop_at_operand, const bool* stop, int argc, char** argv) {
  std::string optstring = stop_at_operand ? "+:" : ":";  // ':': problems come back to us
  std::vector<option> longs;
  for (size_t i = 0; i < options.size(); ++i) {
    const Option& o = options[i];
    const int code = o.short_name != 0 ? o.short_name : 0x100 + static_cast<int>(i);
    longs.push_back({o.long_name, o.argument != nullptr ? required_argument : no_argument,
                     nullptr, code});
    if (o.short_name != 0) optstring += std::string(1, o.short_name) + (o.argument ? ":" : "");
  }
  longs.push_back({nullptr, 0, nullptr, 0});

  const std::string prefix = command.empty() ? "" : command + ": ";
  const std::string see = command.empty() ? " (see 'amix --help')" : "";
  optind = 0;  // a full restart: the tool parses once per command line
  opterr = 0;
  for (;;) {
    const int c = getopt_long(argc, argv, optstring.c_str(), longs.data(), nullptr);
    if (c == -1) return optind;
    if (c == ':')
      throw UsageError(prefix + "option '" + argv[optind - 1] + "' needs a value" + see);
    size_t i = 0;
    while (i < options.size() && (options[i].short_name != 0 ? options[i].short_name
                                                             : 0x100 + static_cast<int>(i)) != c)
      ++i;
    if (c == '?' || i == options.size()) {
      const std::string name =
          optopt != 0 ? std::string("-") + static_cast<char>(optopt) : argv[optind - 1];
      throw UsageError(prefix + "unknown option '" + name + "'" + see);
    }
    options[i].set(optarg != nullptr ? optarg : "");
    if (*stop) return -1;
  }
}

bool parse_long(const std::string& text, long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

bool parse_number(const std::string& text, double* out) {
  errno = 0;
  char* end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return !text.empty() && errno == 0 && *end == '\0' && std::isfinite(*out);
}

// Comma-separated values, each read by `parse` and checked in full: from 0
// to `max`, described to the user as `what`.
std::vector<double> parse_list(const std::string& option, const std::string& value, double max,
                               const std::string& what,
                               bool (*parse)(const std::string&, double*)) {
  std::vector<double> list;
  std::string item;
  std::istringstream in(value);
  while (std::getline(in, item, ',')) {
    double v = 0;
    if (!parse(item, &v) || v < 0.0 || v > max)
      throw UsageError(option + ": expected comma-separated " + what + ", got '" + item + "'");
    list.push_back(v);
  }
  if (list.empty() || value.back() == ',')
    throw UsageError(option + ": expected comma-separated " + what + ", got '" + value + "'");
  return list;
}

std::string times_from_0_to(double max) {
  std::ostringstream what;
  what << "times (" << kTimeSyntax << ") from 0 to " << max;
  return what.str();
}

std::vector<double> parse_times(const std::string& option, const std::string& value) {
  return parse_list(option, value, kMaxSeconds, times_from_0_to(kMaxSeconds), parse_clock_time);
}

// A factor ("0.5") or a level in dB ("-6dB", "+3.5 dB"), as a factor.
bool parse_level_text(const std::string& text, double* factor) {
  std::string number = text;
  const size_t unit = number.size() >= 2 ? number.size() - 2 : std::string::npos;
  const bool db = unit != std::string::npos && (number[unit] == 'd' || number[unit] == 'D') &&
                  (number[unit + 1] == 'b' || number[unit + 1] == 'B');
  if (db) {
    number.resize(unit);
    while (!number.empty() && number.back() == ' ') number.pop_back();
  }
  if (!parse_number(number, factor)) return false;
  if (db) *factor = std::pow(10.0, *factor / 20.0);
  return true;
}

constexpr char kLevels[] = "factors from 0 to 16 or levels in dB up to +24 (-6dB is 0.501)";

}  // namespace

std::vector<Option> common_options(bool* help) {
  return {
      {'q', "quiet", nullptr, "no progress line, summary or notes",
       [](const std::string&) { set_quiet(true); }},
      {'v', "verbose", nullptr, "show the library's log lines and the decoders' own messages",
       [](const std::string&) { set_verbose(true); }},
      {'h', "help", nullptr, "this help", [help](const std::string&) { *help = true; }},
  };
}

std::string two_columns(const std::vector<std::pair<std::string, std::string>>& rows) {
  size_t width = 0;
  for (const auto& r : rows) width = std::max(width, r.first.size());
  const size_t column = 2 + width + 2;
  std::string out;
  for (const auto& r : rows)
    out += "  " + r.first + std::string(column - 2 - r.first.size(), ' ') +
           wrap(r.second, column) + "\n";
  return out;
}

std::string option_lines(const std::vector<Option>& options) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Option& o : options) rows.emplace_back(option_name(o), o.help);
  return two_columns(rows);
}

std::string command_help(const Command& command, const std::vector<Option>& options) {
  bool unused = false;
  std::vector<Option> all = options;
  for (Option& o : common_options(&unused)) all.push_back(std::move(o));
  return std::string("Usage: amix ") + command.name + " " + command.operands + "\n" +
         command.about + "\n" + option_lines(all) + "\n" + command.details;
}

std::optional<std::vector<std::string>> parse_command(const Command& command,
                                                      const std::vector<Option>& options,
                                                      int argc, char** argv) {
  bool help = false;
  std::vector<Option> all = options;
  for (Option& o : common_options(&help)) all.push_back(std::move(o));
  const int first = run_getopt(command.name, all, false, &help, argc, argv);
  if (first < 0) {
    report("%s", command_help(command, options).c_str());
    return std::nullopt;
  }
  std::vector<std::string> operands(argv + first, argv + argc);
  const std::string name = command.name;
  if (operands.size() < command.min_operands)
    throw UsageError(name + ": missing file operand (see 'amix " + name + " --help')");
  if (operands.size() > command.max_operands)
    throw UsageError(name + ": unexpected operand '" + operands[command.max_operands] +
                     "' (see 'amix " + name + " --help')");
  return operands;
}

int parse_tool_options(const std::vector<Option>& options, int argc, char** argv) {
  bool never = false;
  return run_getopt("", options, true, &never, argc, argv);
}

long parse_integer(const std::string& option, const std::string& value, long min, long max,
                   const char* what, const char* unit) {
  long v = 0;
  if (!parse_long(value, &v) || v < min || v > max)
    throw UsageError(option + ": expected " + what + " from " + std::to_string(min) + " to " +
                     std::to_string(max) + unit + ", got '" + value + "'");
  return v;
}

double parse_decimal(const std::string& option, const std::string& value, double min,
                     double max, const char* what, const char* unit) {
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  if (value.empty() || errno != 0 || *end != '\0' || !(v >= min && v <= max)) {
    std::ostringstream msg;
    msg << option << ": expected " << what << " from " << min << " to " << max << unit
        << ", got '" << value << "'";
    throw UsageError(msg.str());
  }
  return v;
}

int parse_rate(const std::string& option, const std::string& value) {
  return static_cast<int>(parse_integer(option, value, kMinRate, kMaxRate, "a sample rate", " Hz"));
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

std::vector<float> parse_levels(const std::string& option, const std::string& value) {
  const std::vector<double> v = parse_list(option, value, kMaxVolume, kLevels, parse_level_text);
  return std::vector<float>(v.begin(), v.end());
}

float parse_level(const std::string& option, const std::string& value) {
  double v = 0;
  if (value.find(',') != std::string::npos || !parse_level_text(value, &v) || v < 0.0 ||
      v > kMaxVolume)
    throw UsageError(option + ": expected a factor from 0 to 16 or a level in dB up to +24 "
                     "(-6dB is 0.501), got '" + value + "'");
  return static_cast<float>(v);
}

std::vector<double> parse_fades(const std::string& option, const std::string& value) {
  return parse_list(option, value, kMaxFadeSeconds, times_from_0_to(kMaxFadeSeconds),
                    parse_clock_time);
}

std::vector<double> parse_starts(const std::string& option, const std::string& value) {
  return parse_times(option, value);
}

double parse_time(const std::string& option, const std::string& value, double max) {
  double v = 0;
  if (!parse_clock_time(value, &v) || v > max) {
    std::ostringstream msg;
    msg << option << ": expected a time (" << kTimeSyntax << ") from 0 to " << max
        << ", got '" << value << "'";
    throw UsageError(msg.str());
  }
  return v;
}

int parse_bits(const std::string& option, const std::string& value) {
  if (value == "8") return SF_FORMAT_PCM_S8;
  if (value == "16") return SF_FORMAT_PCM_16;
  if (value == "24") return SF_FORMAT_PCM_24;
  if (value == "32") return SF_FORMAT_PCM_32;
  if (value == "float") return SF_FORMAT_FLOAT;
  throw UsageError(option + ": expected 8|16|24|32|float, got '" + value + "'");
}

Option rate_option(int* rate, const std::string& lead) {
  return {'r', "rate", "HZ",
          lead + std::to_string(kMinRate) + " to " + std::to_string(kMaxRate),
          [rate](const std::string& v) { *rate = parse_rate("--rate", v); }};
}

Option layout_option(const Layout** layout, const std::string& lead) {
  std::string names;
  for (const Layout& l : all_layouts()) names += (names.empty() ? "" : "|") + std::string(l.name);
  return {'l', "layout", "L", lead + names,
          [layout](const std::string& v) { *layout = &layout_by_name("--layout", v); }};
}

Option type_option(std::string* type, const std::string& help) {
  return {'t', "type", "T", help, [type](const std::string& v) { *type = v; }};
}

Option strict_option(ReadOptions* read) {
  return {0, "strict", nullptr,
          "refuse an input that is damaged or cut short, rather than keep what decodes",
          [read](const std::string&) { read->strict = true; }};
}

std::vector<Option> trim_options(ReadOptions* read) {
  return {
      {'s', "start", "T", "begin at T into IN (default 0)",
       [read](const std::string& v) { read->start = parse_time("--start", v); }},
      {'d', "duration", "T", "take T of IN from the start (default: to its end)",
       [read](const std::string& v) { read->duration = parse_time("--duration", v); }},
  };
}

Option pad_option(double* before, double* after) {
  return {0, "pad", "[B,]A", "add A of silence after the audio, and with two times B before it",
          [before, after](const std::string& v) {
            const std::vector<double> t = parse_times("--pad", v);
            if (t.size() > 2)
              throw UsageError("--pad: expected one or two times (B,A), got '" + v + "'");
            *before = t.size() == 2 ? t[0] : 0.0;
            *after = t.back();
          }};
}

Option quality_option(int* quality) {
  return {'Q', "quality", "Q",
          "default|high|best: the resampler's filter where the rate changes (default high, see "
          "below)",
          [quality](const std::string& v) {
            for (int q = AUDIO_RESAMPLE_QUALITY_DEFAULT; q <= AUDIO_RESAMPLE_QUALITY_BEST; ++q)
              if (v == quality_name(q)) {
                *quality = q;
                return;
              }
            throw UsageError("--quality: expected default|high|best, got '" + v + "'");
          }};
}

Option dither_option(Dither* dither) {
  return {0, "dither", "D",
          "none|tpdf: how samples are reduced to 16 bits or fewer (default tpdf, see below)",
          [dither](const std::string& v) {
            if (v == "tpdf") {
              *dither = Dither::kTpdf;
            } else if (v == "none") {
              *dither = Dither::kNone;
            } else {
              throw UsageError("--dither: expected none|tpdf, got '" + v + "'");
            }
          }};
}

std::vector<Option> fade_options(Fades* fades) {
  const auto fade = [](const char* option, double* seconds) {
    return [option, seconds](const std::string& v) {
      *seconds = parse_time(option, v, kMaxFadeSeconds);
    };
  };
  return {
      {0, "fade-in", "T", "fade the audio in over its first T, up to 10:00 (a linear ramp)",
       fade("--fade-in", &fades->in)},
      {0, "fade-out", "T", "fade the audio out over its last T, up to 10:00",
       fade("--fade-out", &fades->out)},
  };
}

Option gain_option(float* gain) {
  return {'g', "gain", "G",
          "a volume: a factor from 0 to 16 or a level in dB up to +24 (-6dB is 0.501)",
          [gain](const std::string& v) { *gain = parse_level("--gain", v); }};
}

Option loudness_option(LoudnessTarget* target) {
  return {0, "loudness", "LUFS",
          "normalise OUT to this integrated loudness, -70 to 0 (-23 is EBU R128's, -16 to -14 "
          "streaming's): OUT is measured, then written with one gain",
          [target](const std::string& v) {
            target->lufs = parse_decimal("--loudness", v, kMinLoudness, 0, "a loudness", " LUFS");
            target->on = true;
          }};
}

Option true_peak_option(LoudnessTarget* target) {
  return {0, "true-peak", "DBTP",
          "with --loudness, the highest true peak OUT may reach, -30 to 0 (default -1); the "
          "gain stops there even short of the loudness",
          [target](const std::string& v) {
            target->ceiling =
                parse_decimal("--true-peak", v, kMinCeiling, 0, "a true-peak ceiling", " dBTP");
            target->ceiling_given = true;
          }};
}

void check_loudness(const LoudnessTarget& target, const std::string& command) {
  if (target.ceiling_given && !target.on)
    throw UsageError(command + ": --true-peak goes with --loudness (see 'amix " + command +
                     " --help')");
}

Option block_option(int* block_bytes, const std::string& help) {
  return {'B', "block", "BYTES", help,
          [block_bytes](const std::string& v) { *block_bytes = parse_block_bytes("--block", v); }};
}

}  // namespace amix
