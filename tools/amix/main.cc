// amix: the command-line face of libtavrin_amix.
#include <cairo.h>
#include <ebur128.h>
#include <dlfcn.h>
#include <signal.h>
#include <sndfile.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/commands/commands.h"
#include "amix/report/report.h"

namespace amix {
namespace {

const Command* const kCommands[] = {&kInfoCommand, &kConvertCommand, &kMixCommand,
                                    &kStreamCommand, &kDemoCommand};

const char kUsage[] =
    "Usage: amix [-q|--quiet] [-v|--verbose] COMMAND [ARGS...]\n"
    "       amix --help | --version\n"
    "Convert, stream and mix audio files with libtavrin_amix.\n"
    "\n"
    "Commands ('amix COMMAND --help' tells more):\n";

const char kDetails[] =
    "Files are read and written with libsndfile: an input is any file it\n"
    "reads (WAV, W64, FLAC, AIFF, CAF, AU, Ogg Vorbis, Opus, MP3, ...); OUT's\n"
    "type follows its extension or --type: wav w64 flac aiff aif caf au.\n"
    "'-' as IN reads standard input; as OUT it writes standard output (with\n"
    "--type; on a pipe wav, flac or au, their sizes marked unknown), and the\n"
    "command's reports go to stderr.  Progress, notes and warnings are\n"
    "always on stderr.  An input that is damaged or ends before its header\n"
    "says is read as far as it decodes, with a warning (--strict refuses it).\n"
    "\n"
    "An output file is written to a hidden temporary file beside it\n"
    "(.NAME.tmp-XXXXXX) and renamed into place when complete; on an error,\n"
    "SIGINT, SIGTERM or SIGHUP it is removed.  Through a symbolic link the\n"
    "link's target is replaced and the link stays; a file replaced keeps its\n"
    "mode.  A reader that closes standard output early (amix ... | head)\n"
    "ends the reports, not the work.\n"
    "\n"
    "The library writes INFO lines to the Android log, and decoders print\n"
    "notes of their own; amix shows them only with --verbose.\n"
    "\n"
    "Exit status: 0 success, also when the reader of the reports closed\n"
    "standard output early; 1 a file, a format or the library failed, or\n"
    "standard output could not take all of the audio or reports written to\n"
    "it; 2 a wrong command line.  Errors are one line on stderr beginning\n"
    "\"amix: \".\n"
    "\n"
    "Examples:\n"
    "  amix info take1.wav\n"
    "  amix convert take1.wav take1-48k.flac --rate 48000 --layout stereo\n"
    "  amix mix voice.wav music.wav -o mixed.wav --at 0,2.5 --plot mixed.png\n";

// The library's version, from the name of the file the loader took it from
// (libtavrin_amix.so.0.1.0), and that file.
std::string library_version(std::string* file) {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&audio_resampler_create), &info) == 0 ||
      info.dli_fname == nullptr)
    return "(version unknown)";
  char real[PATH_MAX];
  *file = realpath(info.dli_fname, real) != nullptr ? real : info.dli_fname;
  const size_t at = file->rfind(".so.");
  return at == std::string::npos ? "(version unknown)" : file->substr(at + 4);
}

void print_version() {
  std::string file;
  const std::string version = library_version(&file);
  int major = 0, minor = 0, patch = 0;
  ebur128_get_version(&major, &minor, &patch);
  report("amix %s\nlibtavrin_amix %s (%s)\n%s, cairo %s, libebur128 %d.%d.%d\n", AMIX_VERSION,
         version.c_str(), file.c_str(), sf_version_string(), cairo_version_string(), major, minor,
         patch);
}

std::string tool_help(const std::vector<Option>& options) {
  std::vector<std::pair<std::string, std::string>> commands;
  for (const Command* c : kCommands)
    commands.emplace_back(std::string(c->name) + " " + c->operands, c->summary);
  return kUsage + two_columns(commands) + "\n" + option_lines(options) + "\n" + kDetails;
}

int run(const Command& c, int argc, char** argv) {
  try {
    return c.run(argc, argv);
  } catch (const Error& e) {
    flush_reports();
    error_line(e.what());
    return e.code();
  } catch (const std::bad_alloc&) {
    error_line("out of memory");
  } catch (const std::exception& e) {
    error_line(e.what());
  }
  return kExitFailure;
}

int finish(int status) {
  const int reports = finish_reports();
  return status != 0 ? status : reports;
}

int main(int argc, char** argv) {
  bool help = false, version = false;
  std::vector<Option> options = common_options(&help);
  options.push_back({0, "version", nullptr,
                     "the versions of amix, the library, libsndfile, cairo and libebur128",
                     [&](const std::string&) { version = true; }});
  int first = 0;
  try {
    first = parse_tool_options(options, argc, argv);
  } catch (const Error& e) {
    error_line(e.what());
    return e.code();
  }
  if (help || version) {
    if (help)
      report("%s", tool_help(options).c_str());
    else
      print_version();
    return finish(0);
  }
  if (first == argc) {
    std::fputs(tool_help(options).c_str(), err_stream());
    return kExitUsage;
  }
  for (const Command* c : kCommands)
    if (std::strcmp(argv[first], c->name) == 0)
      return finish(run(*c, argc - first, argv + first));
  error_line(std::string("unknown command '") + argv[first] + "' (see 'amix --help')");
  return kExitUsage;
}

}  // namespace
}  // namespace amix

int main(int argc, char** argv) {
  // A closed pipe fails the write to it; it does not end the tool.
  signal(SIGPIPE, SIG_IGN);
  return amix::main(argc, argv);
}
