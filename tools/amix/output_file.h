// Output files are written to a temporary file beside their final path and
// renamed into place only when complete, so a failed or interrupted run
// never leaves a partial file under the requested name.
#pragma once

#include <string>
#include <vector>

namespace amix {

// Throws Error when `out` names the same file as one of `inputs` (same
// device and inode), or an existing directory.
void check_output_path(const std::string& out, const std::vector<std::string>& inputs);

class TempFile {
 public:
  // Creates "<dir>/.<name>.tmp-XXXXXX" beside `final_path`, with the mode a
  // new file gets under the current umask.  Throws Error when it cannot.
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
  std::string temp_path_;
  int fd_ = -1;
  int slot_ = -1;  // in the interrupt clean-up table
  bool committed_ = false;
};

}  // namespace amix
