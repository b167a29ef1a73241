// Sound on standard input and output when they are pipes.  libsndfile reads
// some containers from a pipe only with a seekable header (FLAC fails) and
// writes WAV to none, so amix gives it virtual I/O over the descriptor:
// input bytes are kept while the header is parsed, so that the parser may
// look back, and output is held until its header has settled, then streamed
// with the sizes of a WAV or AU header marked unknown (0xFFFFFFFF, as ffmpeg
// and sox write them to a pipe).  An AU data size of 0 on an input pipe is
// read as unknown too.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <vector>

namespace amix {

// True when `fd` is a regular file positioned at its start and not opened
// for appending: libsndfile can then seek in it as in a named file.
bool seekable_from_start(int fd);

// Standard input read twice (a measuring pass, then the writing one).  A
// regular file that starts at its beginning is read again from there; a
// pipe (or a file read from the middle) is first copied to an unlinked
// temporary file in $TMPDIR or /tmp, which takes descriptor 0's place and
// is read as the pipe it came from.
class StdinReplay {
 public:
  // Does nothing unless `needed`.  Throws Error when the copy cannot be
  // made (the disk is full, say).
  explicit StdinReplay(bool needed);
  // Puts standard input back at its start; call between the readings.
  void rewind();

 private:
  bool active_;
};

// Whether standard input is now such a copy of a pipe.
bool stdin_is_pipe_copy();

// Reads a sound from a pipe.  One object per descriptor; it must outlive the
// SNDFILE it opens.
class PipeSource {
 public:
  explicit PipeSource(int fd) : fd_(fd) {}
  PipeSource(const PipeSource&) = delete;
  PipeSource& operator=(const PipeSource&) = delete;

  // Opens the sound; nullptr when libsndfile cannot (its reason in
  // sf_strerror(nullptr)).  Afterwards reads go straight through and only
  // forward seeks are possible.
  SNDFILE* open(SF_INFO* info);
  // errno of a failed read, or 0.
  int error() const { return errno_; }

 private:
  sf_count_t read(void* dst, sf_count_t bytes);
  sf_count_t seek(sf_count_t offset, int whence);
  // Reads from the pipe until `kept_` holds `end` bytes or the pipe ends.
  void keep_up_to(sf_count_t end);
  // Reads up to `bytes` bytes into `dst` from the pipe itself.
  sf_count_t read_fd(uint8_t* dst, sf_count_t bytes);

  int fd_;
  std::vector<uint8_t> kept_;  // the first bytes, read while the header is parsed
  sf_count_t pos_ = 0;
  bool parsing_ = true;
  bool ended_ = false;
  int errno_ = 0;
};

// Writes a sound to a pipe.  One object per descriptor; it must outlive the
// SNDFILE it opens.
class PipeSink {
 public:
  explicit PipeSink(int fd) : fd_(fd) {}
  PipeSink(const PipeSink&) = delete;
  PipeSink& operator=(const PipeSink&) = delete;

  // Opens the sound for writing; nullptr as sf_open.
  SNDFILE* open(SF_INFO* info);
  // After sf_close: sends what is still held (a short sound's whole file,
  // with its final header).  False when a write failed.
  bool finish();
  // errno of a failed write, or 0.
  int error() const { return errno_; }

 private:
  sf_count_t write(const void* src, sf_count_t bytes);
  void hold(const uint8_t* src, sf_count_t bytes);
  // Marks the sizes of a WAV or AU header unknown, then sends the held
  // bytes.
  void start_streaming();
  bool send(const uint8_t* src, size_t bytes);

  int fd_;
  std::vector<uint8_t> held_;  // the start of the file, header included
  sf_count_t pos_ = 0;
  sf_count_t sent_ = 0;
  bool streaming_ = false;
  int errno_ = 0;
};

}  // namespace amix
