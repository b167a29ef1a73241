// amix: the command-line face of libtavrin_amix.
#include <cairo.h>
#include <dlfcn.h>
#include <signal.h>
#include <sndfile.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "tavrin_amix/audio_resampler.h"
#include "amix/commands.h"
#include "amix/report.h"

namespace {

const char kHelp[] =
    "Usage: amix [-q|--quiet] [-v|--verbose] COMMAND [ARGS...]\n"
    "       amix --help | --version\n"
    "Convert, stream and mix audio files with libtavrin_amix.\n"
    "\n"
    "Commands ('amix COMMAND --help' tells more):\n"
    "  info FILE...                  format, length and levels of each file\n"
    "  convert IN OUT [options]      through the resampler\n"
    "  mix IN... -o OUT [options]    through the multi-track mixer, on a timeline\n"
    "  stream IN OUT [options]       through the blocking resampler, two threads\n"
    "  demo [DIR]                    synthesise tracks, convert, stream, mix, plot\n"
    "\n"
    "  -q, --quiet    no progress line (it shows on stderr only when that is a\n"
    "                 terminal)\n"
    "  -v, --verbose  show the library's own log lines on stderr\n"
    "  -h, --help     this help\n"
    "      --version  the versions of amix, the library, libsndfile and cairo\n"
    "\n"
    "Files are read and written with libsndfile: an input is any file it\n"
    "reads (WAV, W64, FLAC, AIFF, CAF, AU, Ogg Vorbis, Opus, MP3, ...); OUT's\n"
    "type follows its extension or --type: wav w64 flac aiff aif caf au.\n"
    "'-' as IN reads standard input; as OUT it writes standard output (with\n"
    "--type; on a pipe wav, flac or au, a WAV's sizes marked unknown), and\n"
    "the command's reports go to stderr.  Progress, notes and warnings are\n"
    "always on stderr.\n"
    "\n"
    "An output file is written to a hidden temporary file beside it\n"
    "(.NAME.tmp-XXXXXX) and renamed into place when complete; on an error,\n"
    "SIGINT, SIGTERM or SIGHUP it is removed.  A reader that closes standard\n"
    "output early (amix ... | head) ends the reports, not the work.\n"
    "\n"
    "The library writes INFO lines to the Android log; amix shows them only\n"
    "with --verbose.\n"
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

struct Command {
  const char* name;
  int (*run)(int, char**, amix::Globals&);
};
const Command kCommands[] = {
    {"info", amix::run_info},       {"convert", amix::run_convert}, {"mix", amix::run_mix},
    {"stream", amix::run_stream},   {"demo", amix::run_demo},
};

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
  amix::report("amix %s\nlibtavrin_amix %s (%s)\n%s, cairo %s\n", AMIX_VERSION, version.c_str(),
               file.c_str(), sf_version_string(), cairo_version_string());
}

int run(const Command& c, int argc, char** argv, amix::Globals& globals) {
  try {
    return c.run(argc, argv, globals);
  } catch (const amix::Error& e) {
    amix::flush_reports();
    std::fprintf(stderr, "amix: %s\n", e.what());
    return e.code();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "amix: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "amix: %s\n", e.what());
  }
  return amix::kExitFailure;
}

int finish(int status) {
  const int reports = amix::finish_reports();
  return status != 0 ? status : reports;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe fails the write to it; it does not end the tool.
  signal(SIGPIPE, SIG_IGN);
  amix::Globals globals;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      amix::report("%s", kHelp);
      return finish(0);
    } else if (a == "--version") {
      print_version();
      return finish(0);
    } else if (a == "-q" || a == "--quiet") {
      globals.quiet = true;
    } else if (a == "-v" || a == "--verbose") {
      globals.verbose = true;
    } else {
      std::fprintf(stderr, "amix: unknown option '%s' (see 'amix --help')\n", argv[i]);
      return amix::kExitUsage;
    }
  }
  if (i == argc) {
    std::fputs(kHelp, stderr);
    return amix::kExitUsage;
  }
  for (const Command& c : kCommands)
    if (std::strcmp(argv[i], c.name) == 0) return finish(run(c, argc - i, argv + i, globals));
  std::fprintf(stderr, "amix: unknown command '%s' (see 'amix --help')\n", argv[i]);
  return amix::kExitUsage;
}
