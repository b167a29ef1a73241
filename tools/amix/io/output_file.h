// Where outputs go.  Files are written to a temporary file beside their
// final path and renamed into place only when complete, so a failed or
// interrupted run never leaves a partial file under the requested name;
// "-" is standard output.  A symbolic link is written through (its target
// is replaced, the link stays), and a file that exists keeps its mode.
#pragma once

#include <string>
#include <vector>

#include "amix/io/encoding.h"

namespace amix {

// "'out.wav'", or "standard output" for "-".
std::string output_name(const std::string& path);

// Where an output goes: a named file (written through a temporary file and
// renamed into place when complete), or standard output ("-").
struct OutputTarget {
  std::string path;
  const Container* container = nullptr;
  bool is_stdout() const { return path == "-"; }
  std::string name() const { return output_name(path); }
};

// OUT and --type (empty when not given): the container from --type, else
// from OUT's extension.  Standard output needs --type, must not be a
// terminal, and takes only containers that stream unless it is a regular
// file.  Throws UsageError for the command line's faults, Error for
// standard output's.
OutputTarget output_target(const std::string& path, const std::string& type);


// Throws Error when `out` names the same file as one of `inputs` (same
// device and inode), or an existing directory.  "-" is none of these.
void check_output_path(const std::string& out, const std::vector<std::string>& inputs);

class TempFile {
 public:
  // Creates "<dir>/.<name>.tmp-XXXXXX" beside the file `final_path` names
  // (the target of a symbolic link), with that file's mode when it exists,
  // else the mode a new file gets under the current umask.  Throws Error
  // when it cannot.
  explicit TempFile(const std::string& final_path);
  // Removes the temporary file unless commit() succeeded.
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& final_path() const { return final_path_; }
  // The descriptor now belongs to the caller (libsndfile closes it).
  int release_fd();
  // Closes the descriptor if still held and renames the file into place.
  void commit();

 private:
  std::string final_path_;
  std::string target_;  // final_path_ with its symbolic links followed
  std::string temp_path_;
  int fd_ = -1;
  int slot_ = -1;  // in the interrupt clean-up table
  bool committed_ = false;
};

}  // namespace amix
