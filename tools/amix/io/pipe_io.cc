#include "amix/io/pipe_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "amix/base/error.h"

namespace amix {
namespace {

bool g_stdin_is_pipe_copy = false;

// How far the header parser may look ahead, and how much output is held
// before it streams: both well beyond any header libsndfile writes or reads.
constexpr sf_count_t kLookAhead = 1 << 20;
constexpr sf_count_t kHold = 1 << 16;

template <typename T>
T& self(void* user) {
  return *static_cast<T*>(user);
}

uint32_t le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool is_au(const std::vector<uint8_t>& file) {
  return file.size() >= 12 && (std::memcmp(file.data(), ".snd", 4) == 0 ||
                               std::memcmp(file.data(), "dns.", 4) == 0);
}

// The sizes of a WAV header (RIFF and "data") or an AU header (data size)
// set to 0xFFFFFFFF, which readers take as "unknown, read to the end": the
// length is not known while the file streams.
void mark_sizes_unknown(std::vector<uint8_t>& file) {
  if (is_au(file)) {
    std::memset(file.data() + 8, 0xFF, 4);
    return;
  }
  if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
      std::memcmp(file.data() + 8, "WAVE", 4) != 0)
    return;
  std::memset(file.data() + 4, 0xFF, 4);
  for (size_t at = 12; at + 8 <= file.size();) {
    if (std::memcmp(file.data() + at, "data", 4) == 0) {
      std::memset(file.data() + at + 4, 0xFF, 4);
      return;
    }
    const uint32_t size = le32(file.data() + at + 4);
    at += 8 + size + (size & 1);
  }
}

}  // namespace

bool seekable_from_start(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_APPEND) == 0 && lseek(fd, 0, SEEK_CUR) == 0;
}

StdinReplay::StdinReplay(bool needed) : active_(needed) {
  if (!needed || seekable_from_start(STDIN_FILENO)) return;
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  path += "/amix-stdin-XXXXXX";
  const int fd = mkstemp(path.data());
  const auto fail = [&](const std::string& what) {
    const std::string why = std::strerror(errno);
    if (fd >= 0) close(fd);
    throw Error("cannot keep standard input for a second reading: " + what + ": " + why);
  };
  if (fd < 0) fail(path);
  unlink(path.c_str());
  std::vector<uint8_t> buffer(1 << 16);
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail("reading it");
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(fd, buffer.data() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno != EINTR) fail(path);
      if (w > 0) done += w;
    }
  }
  if (dup2(fd, STDIN_FILENO) < 0) fail("dup2");
  close(fd);
  g_stdin_is_pipe_copy = true;
  rewind();
}

void StdinReplay::rewind() {
  if (active_) lseek(STDIN_FILENO, 0, SEEK_SET);
}

bool stdin_is_pipe_copy() { return g_stdin_is_pipe_copy; }

SNDFILE* PipeSource::open(SF_INFO* info) {
  SF_VIRTUAL_IO io = {};
  io.get_filelen = [](void*) -> sf_count_t { return SF_COUNT_MAX; };
  io.seek = [](sf_count_t offset, int whence, void* user) {
    return self<PipeSource>(user).seek(offset, whence);
  };
  io.read = [](void* dst, sf_count_t bytes, void* user) {
    return self<PipeSource>(user).read(dst, bytes);
  };
  io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
  io.tell = [](void* user) { return self<PipeSource>(user).pos_; };
  // An AU data size of 0 on a pipe means the writer did not know it (as
  // libsndfile writes it there); libsndfile would take it as no data.
  keep_up_to(12);
  if (is_au(kept_) && le32(kept_.data() + 8) == 0) std::memset(kept_.data() + 8, 0xFF, 4);
  SNDFILE* file = sf_open_virtual(&io, SFM_READ, info, this);
  parsing_ = false;
  return file;
}

sf_count_t PipeSource::read_fd(uint8_t* dst, sf_count_t bytes) {
  sf_count_t done = 0;
  while (done < bytes && !ended_) {
    const ssize_t n = ::read(fd_, dst + done, static_cast<size_t>(bytes - done));
    if (n > 0) {
      done += n;
    } else if (n == 0) {
      ended_ = true;
    } else if (errno != EINTR) {
      errno_ = errno;
      ended_ = true;
    }
  }
  return done;
}

void PipeSource::keep_up_to(sf_count_t end) {
  const sf_count_t have = static_cast<sf_count_t>(kept_.size());
  if (end <= have) return;
  kept_.resize(static_cast<size_t>(end));
  kept_.resize(static_cast<size_t>(have + read_fd(kept_.data() + have, end - have)));
}

sf_count_t PipeSource::read(void* dst, sf_count_t bytes) {
  auto* out = static_cast<uint8_t*>(dst);
  if (parsing_) keep_up_to(pos_ + bytes);
  const sf_count_t kept = static_cast<sf_count_t>(kept_.size());
  sf_count_t done = 0;
  if (pos_ < kept) {
    done = std::min(bytes, kept - pos_);
    std::memcpy(out, kept_.data() + pos_, static_cast<size_t>(done));
    pos_ += done;
  }
  if (!parsing_ && done < bytes) {
    const sf_count_t n = read_fd(out + done, bytes - done);
    done += n;
    pos_ += n;
  }
  return done;
}

sf_count_t PipeSource::seek(sf_count_t offset, int whence) {
  const sf_count_t target =
      whence == SEEK_SET ? offset : whence == SEEK_CUR ? pos_ + offset : -1;
  const sf_count_t kept = static_cast<sf_count_t>(kept_.size());
  if (target < 0) return -1;
  if (parsing_) {
    if (target > kLookAhead) return -1;  // the end of a pipe is out of reach
    keep_up_to(target);
    if (target > static_cast<sf_count_t>(kept_.size())) return -1;
  } else if (target < pos_ && pos_ > kept) {
    return -1;  // what the pipe gave is gone
  } else if (target > kept && target > pos_) {
    // Forward: skip the bytes between.
    pos_ = std::max(pos_, kept);
    uint8_t scratch[4096];
    while (pos_ < target) {
      const sf_count_t n = read_fd(scratch, std::min<sf_count_t>(sizeof scratch, target - pos_));
      if (n == 0) return -1;
      pos_ += n;
    }
  }
  pos_ = target;
  return pos_;
}

SNDFILE* PipeSink::open(SF_INFO* info) {
  SF_VIRTUAL_IO io = {};
  io.get_filelen = [](void* user) {
    const PipeSink& s = self<PipeSink>(user);
    return std::max(s.sent_, static_cast<sf_count_t>(s.held_.size()));
  };
  io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
    PipeSink& s = self<PipeSink>(user);
    const sf_count_t end = std::max(s.sent_, static_cast<sf_count_t>(s.held_.size()));
    const sf_count_t target =
        whence == SEEK_SET ? offset : whence == SEEK_CUR ? s.pos_ + offset : end + offset;
    if (target < 0) return -1;
    s.pos_ = target;
    return target;
  };
  io.read = [](void*, sf_count_t, void*) -> sf_count_t { return 0; };
  io.write = [](const void* src, sf_count_t bytes, void* user) {
    return self<PipeSink>(user).write(src, bytes);
  };
  io.tell = [](void* user) { return self<PipeSink>(user).pos_; };
  return sf_open_virtual(&io, SFM_WRITE, info, this);
}

sf_count_t PipeSink::write(const void* src, sf_count_t bytes) {
  if (errno_ != 0) return 0;
  const auto* in = static_cast<const uint8_t*>(src);
  if (!streaming_) {
    hold(in, bytes);
    if (static_cast<sf_count_t>(held_.size()) >= kHold) start_streaming();
    return errno_ == 0 ? bytes : 0;
  }
  if (pos_ > sent_) return 0;  // a gap cannot be streamed
  // Rewrites of bytes already sent (the header's final sizes) cannot reach
  // a pipe; the rest continues the stream.
  const sf_count_t skip = std::min(sent_ - pos_, bytes);
  if (!send(in + skip, static_cast<size_t>(bytes - skip))) return 0;
  sent_ += bytes - skip;
  pos_ += bytes;
  return bytes;
}

void PipeSink::hold(const uint8_t* src, sf_count_t bytes) {
  const size_t end = static_cast<size_t>(pos_ + bytes);
  if (held_.size() < end) held_.resize(end);
  std::memcpy(held_.data() + pos_, src, static_cast<size_t>(bytes));
  pos_ += bytes;
}

void PipeSink::start_streaming() {
  mark_sizes_unknown(held_);
  streaming_ = true;
  if (send(held_.data(), held_.size())) sent_ = static_cast<sf_count_t>(held_.size());
  held_.clear();
  held_.shrink_to_fit();
}

bool PipeSink::finish() {
  if (!streaming_ && errno_ == 0) send(held_.data(), held_.size());
  return errno_ == 0;
}

bool PipeSink::send(const uint8_t* src, size_t bytes) {
  while (bytes > 0 && errno_ == 0) {
    const ssize_t n = ::write(fd_, src, bytes);
    if (n > 0) {
      src += n;
      bytes -= static_cast<size_t>(n);
    } else if (n < 0 && errno != EINTR) {
      errno_ = errno;
    }
  }
  return errno_ == 0;
}

}  // namespace amix
