// The command line.  Each command has one option table, in the manner of
// FFmpeg's OptionDef: an option is one row {short, long, argument, help,
// setter}, from which both the getopt_long parser and the help's option
// lines are made.  -q, -v and -h are rows of their own, added to every
// table.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "amix/base/types.h"
#include "amix/io/sound_file.h"
#include "amix/pipelines/envelope.h"
#include "amix/pipelines/quantise.h"

namespace amix {

struct Option {
  char short_name;         // 0: a long name only
  const char* long_name;   // without the dashes
  const char* argument;    // the value's name in the help ("HZ"); nullptr: a flag
  std::string help;        // one paragraph; the help wraps it
  // Takes the value ("" for a flag); throws UsageError for a bad one.
  std::function<void(const std::string& value)> set;
};

// A command, as 'amix --help' lists it and 'amix NAME --help' explains it:
//   Usage: amix NAME OPERANDS
//   ABOUT
//
//   the option lines, then -q, -v and -h
//
//   DETAILS
struct Command {
  const char* name;
  const char* operands;  // "IN OUT [options]"
  const char* summary;   // its line in 'amix --help'
  const char* about;     // one paragraph, ending in a newline
  const char* details;   // the paragraphs after the options: notes, limits, examples
  size_t min_operands;
  size_t max_operands;
  // Runs the command on its own argv (argv[0] is its name); returns the
  // exit status, and throws Error for failures.
  int (*run)(int argc, char** argv);
};

// -q, -v and -h; -h sets `*help`.
std::vector<Option> common_options(bool* help);

// Two columns: each left text indented by two spaces, each right text
// wrapped at 78 columns and aligned two spaces after the longest left text.
std::string two_columns(const std::vector<std::pair<std::string, std::string>>& rows);
// The option lines of `options`, as two_columns.
std::string option_lines(const std::vector<Option>& options);

// The help of `command` whose own options are `options`.
std::string command_help(const Command& command, const std::vector<Option>& options);

// One getopt_long pass over `argv` (argv[0] is the command's name) with
// `options` and common_options().  Calls each option's setter in order.
// For -h prints command_help() to the reports and returns nothing; else
// checks that the command's count of operands remain and returns them.
std::optional<std::vector<std::string>> parse_command(const Command& command,
                                                      const std::vector<Option>& options,
                                                      int argc, char** argv);

// The tool's own options, before the command's name: parses `options` up to
// the first operand and returns its index.
int parse_tool_options(const std::vector<Option>& options, int argc, char** argv);

// Option values, each checked in full; a bad value throws UsageError naming
// the option, the accepted range and the value given.
// An integer, or a decimal number, from `min` to `max`: "--rate: expected a
// sample rate (`what`) from 1000 to 768000 Hz (`unit`), got '44k'".
long parse_integer(const std::string& option, const std::string& value, long min, long max,
                   const char* what, const char* unit);
double parse_decimal(const std::string& option, const std::string& value, double min,
                     double max, const char* what, const char* unit);
int parse_rate(const std::string& option, const std::string& value);
int parse_block_bytes(const std::string& option, const std::string& value);
// A volume: a factor from 0 to 16, or a level in dB up to +24 ("-6dB",
// "+3 dB"; the unit in any case), as a factor.
float parse_level(const std::string& option, const std::string& value);
// Comma-separated volumes, each as parse_level.
std::vector<float> parse_levels(const std::string& option, const std::string& value);
// Comma-separated fade durations, each a time (parse_time) up to
// kMaxFadeSeconds.
std::vector<double> parse_fades(const std::string& option, const std::string& value);
// The longest time an option takes: a day.
constexpr double kMaxSeconds = 86400;
// A time in seconds or [h:]mm:ss[.fff] (see base/clock_time.h), 0 to
// `max`.
double parse_time(const std::string& option, const std::string& value,
                  double max = kMaxSeconds);
// Comma-separated times, each as parse_time.
std::vector<double> parse_starts(const std::string& option, const std::string& value);
// "8" (signed or unsigned, as the container takes it), "16", "24", "32",
// "float": the SF_FORMAT_* subtype (PCM_S8 for "8").
int parse_bits(const std::string& option, const std::string& value);

// Rows that several commands share; `lead` comes before what the row says
// of its values.
Option rate_option(int* rate, const std::string& lead);
Option layout_option(const Layout** layout, const std::string& lead);
Option type_option(std::string* type, const std::string& help);
Option block_option(int* block_bytes, const std::string& help);
Option strict_option(ReadOptions* read);
// --start and --duration: the part of IN to read.
std::vector<Option> trim_options(ReadOptions* read);
// --pad [B,]A: seconds of silence before and after the output's audio.
Option pad_option(double* before, double* after);
Option dither_option(Dither* dither);
// --quality default|high|best: the resampler's preset.
Option quality_option(int* quality);
// --fade-in and --fade-out of IN, and --gain.
std::vector<Option> fade_options(Fades* fades);
Option gain_option(float* gain);
// --loudness and --true-peak.
Option loudness_option(LoudnessTarget* target);
Option true_peak_option(LoudnessTarget* target);
// Throws UsageError for --true-peak without --loudness.
void check_loudness(const LoudnessTarget& target, const std::string& command);

}  // namespace amix
