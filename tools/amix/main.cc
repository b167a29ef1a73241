// amix: the command-line face of libtavrin_amix.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "amix/commands.h"

namespace {

const char kHelp[] =
    "Usage: amix [--quiet] [--verbose] COMMAND [ARGS...]\n"
    "Convert, stream and mix audio files with libtavrin_amix.\n"
    "\n"
    "Commands:\n"
    "  info FILE...                  rate, channels, format, length and levels\n"
    "  convert IN OUT [options]      through the resampler (--rate --layout --bits)\n"
    "  mix IN... -o OUT [options]    through the multi-track mixer\n"
    "  stream IN OUT [options]       through the blocking resampler, two threads\n"
    "  demo [DIR]                    synthesise tracks, convert, stream, mix, plot\n"
    "\n"
    "  -q, --quiet    no progress on the terminal\n"
    "  -v, --verbose  show the library's log lines on stderr\n"
    "  -h, --help     this help; 'amix COMMAND --help' for a command's\n"
    "\n"
    "Exit status: 0 on success, 1 when a file, a format or the library\n"
    "fails, 2 for a wrong command line.\n";

struct Command {
  const char* name;
  int (*run)(int, char**, amix::Globals&);
};
const Command kCommands[] = {
    {"info", amix::run_info},       {"convert", amix::run_convert}, {"mix", amix::run_mix},
    {"stream", amix::run_stream},   {"demo", amix::run_demo},
};

}  // namespace

int main(int argc, char** argv) {
  amix::Globals globals;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string a = argv[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
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
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[i], c.name) != 0) continue;
    try {
      return c.run(argc - i, argv + i, globals);
    } catch (const amix::Error& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "amix: %s\n", e.what());
      return e.code();
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "amix: out of memory\n");
      return amix::kExitFailure;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "amix: %s\n", e.what());
      return amix::kExitFailure;
    }
  }
  std::fprintf(stderr, "amix: unknown command '%s' (see 'amix --help')\n", argv[i]);
  return amix::kExitUsage;
}
