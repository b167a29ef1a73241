#include "amix/io/background_writer.h"

#include <algorithm>
#include <exception>

namespace amix {
namespace {

constexpr size_t kChunkBytes = 65536;
constexpr size_t kQueuedChunks = 4;

}  // namespace

BackgroundWriter::BackgroundWriter(Sink sink, size_t frame_bytes)
    : sink_(std::move(sink)),
      frame_bytes_(frame_bytes),
      chunk_bytes_(std::max<size_t>(1, kChunkBytes / frame_bytes) * frame_bytes),
      thread_([this] { run(); }) {
  filling_.reserve(chunk_bytes_);
}

BackgroundWriter::~BackgroundWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

bool BackgroundWriter::write(const uint8_t* data, int64_t frames) {
  size_t bytes = static_cast<size_t>(frames) * frame_bytes_;
  while (bytes > 0) {
    const size_t n = std::min(bytes, chunk_bytes_ - filling_.size());
    filling_.insert(filling_.end(), data, data + n);
    data += n;
    bytes -= n;
    if (filling_.size() == chunk_bytes_) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (failed_) return false;
      hand_over(lock);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return !failed_;
}

void BackgroundWriter::hand_over(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return queue_.size() < kQueuedChunks || failed_; });
  if (failed_) return;
  queue_.push_back(std::move(filling_));
  filling_.clear();
  if (!spare_.empty()) {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
  }
  filling_.reserve(chunk_bytes_);
  changed_.notify_all();
}

bool BackgroundWriter::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!filling_.empty() && !failed_) hand_over(lock);
  changed_.wait(lock, [this] { return (queue_.empty() && !busy_) || failed_; });
  return !failed_;
}

void BackgroundWriter::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || stop_; });
    if (queue_.empty()) return;  // stopped
    std::vector<uint8_t> chunk = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    changed_.notify_all();
    lock.unlock();
    std::string why;
    try {
      why = sink_(chunk.data(), static_cast<int64_t>(chunk.size() / frame_bytes_));
    } catch (const std::exception& e) {
      why = e.what();
    }
    lock.lock();
    busy_ = false;
    chunk.clear();
    spare_.push_back(std::move(chunk));
    if (!why.empty()) {
      failed_ = true;
      failure_ = why;
      queue_.clear();
    }
    changed_.notify_all();
    if (failed_) return;
  }
}

}  // namespace amix
