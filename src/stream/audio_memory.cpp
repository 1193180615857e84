#include "stream/audio_memory.h"

namespace lumivex {

std::string MemorySink::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

std::size_t MemorySink::size() const {
  std::lock_guard lock(mutex_);
  return bytes_.size();
}

std::size_t MemorySink::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

PcmFormat MemorySink::format() const {
  std::lock_guard lock(mutex_);
  return format_;
}

bool MemorySink::open() const {
  std::lock_guard lock(mutex_);
  return open_;
}

int MemorySink::opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

PcmFormat MemorySource::format() const {
  std::lock_guard lock(mutex_);
  return format_;
}

std::size_t MemorySource::blockBytes() const {
  std::lock_guard lock(mutex_);
  return blockBytes_;
}

bool MemorySource::open() const {
  std::lock_guard lock(mutex_);
  return open_;
}

bool MemoryOutput::Open(const PcmFormat& format, std::function<void()> bufferDone) {
  if (!format.valid() || !bufferDone) return false;
  std::lock_guard lock(mutex_);
  if (bufferDone_) return false;
  bufferDone_ = std::move(bufferDone);
  std::lock_guard record(sink_->mutex_);
  sink_->format_ = format;
  sink_->open_ = true;
  ++sink_->opens_;
  return true;
}

bool MemoryOutput::Write(const uint8_t* data, std::size_t size) {
  std::function<void()> done;
  {
    std::lock_guard lock(mutex_);
    if (!bufferDone_ || !data || size == 0) return false;
    std::lock_guard record(sink_->mutex_);
    if (size % static_cast<std::size_t>(sink_->format_.blockAlign()) != 0) return false;
    sink_->bytes_.append(reinterpret_cast<const char*>(data), size);
    ++sink_->writes_;
    done = bufferDone_;
  }
  done();
  return true;
}

void MemoryOutput::Close() {
  std::lock_guard lock(mutex_);
  if (!bufferDone_) return;
  bufferDone_ = nullptr;
  std::lock_guard record(sink_->mutex_);
  sink_->open_ = false;
}

bool MemoryInput::Open(const PcmFormat& format, std::size_t blockBytes,
                       std::function<void(const uint8_t*, std::size_t)> block) {
  if (!format.valid() || blockBytes == 0 || !block || block_ || thread_.joinable()) return false;
  block_ = std::move(block);
  std::lock_guard record(source_->mutex_);
  source_->format_ = format;
  source_->blockBytes_ = blockBytes;
  source_->open_ = true;
  return true;
}

bool MemoryInput::Start() {
  if (!block_ || thread_.joinable()) return false;
  quit_ = false;
  thread_ = std::thread(&MemoryInput::Deliver, this);
  return true;
}

void MemoryInput::Close() {
  quit_ = true;
  if (thread_.joinable()) thread_.join();
  if (!block_) return;
  block_ = nullptr;
  std::lock_guard record(source_->mutex_);
  source_->open_ = false;
}

void MemoryInput::Deliver() {
  for (const std::string& b : source_->blocks()) {
    if (quit_) return;
    block_(reinterpret_cast<const uint8_t*>(b.data()), b.size());
    ++source_->delivered_;
  }
}

}  // namespace lumivex
