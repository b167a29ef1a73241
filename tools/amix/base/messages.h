// What amix says on standard error: notes, warnings and errors, the
// library's log lines, the decoders' own messages, and a one-line progress
// status.  All of it goes through a stream of the tool's own (a copy of
// standard error taken at the first message), so that descriptor 2, where
// decoder libraries print, can be captured without capturing amix.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace amix {

// -q: no progress, summary or notes.  -v: the library's log lines and the
// decoders' own messages.  Set while the command line is read, before any
// work starts.
void set_quiet(bool quiet);
void set_verbose(bool verbose);
bool quiet();
bool verbose();

// The tool's standard error stream (unbuffered).
FILE* err_stream();

// "amix: TEXT" on a line of its own: a failure.
void error_line(const std::string& text);
// "amix: warning: TEXT" on a line of its own.
void warn(const std::string& text);
// "amix: note: TEXT" on a line of its own, unless quiet.
void note(const std::string& text);

// The status line: drawn over itself ("\r\033[K" TEXT), and cleared before
// any other line reaches standard error.
void draw_status(const std::string& text);
void clear_status();

// While one lives, descriptor 2 (where libmpg123, libFLAC and the others
// print their own notes) goes to a capture.  Its destructor puts descriptor
// 2 back and shows what was captured as "amix: decoder: LINE" lines with -v,
// or drops it.  One at a time: a second waits for the first.
class DecoderOutput {
 public:
  DecoderOutput();
  ~DecoderOutput();
  DecoderOutput(const DecoderOutput&) = delete;
  DecoderOutput& operator=(const DecoderOutput&) = delete;

 private:
  std::unique_lock<std::mutex> lock_;
  bool active_ = false;
};

}  // namespace amix
