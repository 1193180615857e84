#pragma once
// Sound devices in memory, for tests and benchmarks: the output keeps every
// byte it is given and has played a buffer as soon as it has it; the input
// delivers the blocks it was given, one after the other, as fast as they are
// taken. What they did is kept in a record shared with whoever looks.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stream/audio_device.h"

namespace lumivex {

// Everything the outputs of one MemoryDevices were given.
class MemorySink {
 public:
  std::string bytes() const;
  std::size_t size() const;
  std::size_t writes() const;
  PcmFormat format() const;  // of the last Open
  bool open() const;
  int opens() const;

 private:
  friend class MemoryOutput;
  mutable std::mutex mutex_;
  std::string bytes_;
  std::size_t writes_ = 0;
  PcmFormat format_;
  bool open_ = false;
  int opens_ = 0;
};

// The blocks the inputs of one MemoryDevices deliver, and how far they got.
class MemorySource {
 public:
  explicit MemorySource(std::vector<std::string> blocks = {}) : blocks_(std::move(blocks)) {}

  const std::vector<std::string>& blocks() const { return blocks_; }
  std::size_t delivered() const { return delivered_; }
  PcmFormat format() const;
  std::size_t blockBytes() const;
  bool open() const;

 private:
  friend class MemoryInput;
  const std::vector<std::string> blocks_;
  std::atomic<std::size_t> delivered_{0};
  mutable std::mutex mutex_;
  PcmFormat format_;
  std::size_t blockBytes_ = 0;
  bool open_ = false;
};

class MemoryOutput : public AudioOutput {
 public:
  explicit MemoryOutput(std::shared_ptr<MemorySink> sink) : sink_(std::move(sink)) {}
  ~MemoryOutput() override { Close(); }

  bool Open(const PcmFormat& format, std::function<void()> bufferDone) override;
  // Calls bufferDone before it returns.
  bool Write(const uint8_t* data, std::size_t size) override;
  void Close() override;

 private:
  const std::shared_ptr<MemorySink> sink_;
  std::mutex mutex_;
  std::function<void()> bufferDone_;  // guarded by mutex_; empty while closed
};

class MemoryInput : public AudioInput {
 public:
  explicit MemoryInput(std::shared_ptr<MemorySource> source) : source_(std::move(source)) {}
  ~MemoryInput() override { Close(); }

  bool Open(const PcmFormat& format, std::size_t blockBytes,
            std::function<void(const uint8_t*, std::size_t)> block) override;
  bool Start() override;
  void Close() override;

 private:
  void Deliver();

  const std::shared_ptr<MemorySource> source_;
  std::function<void(const uint8_t*, std::size_t)> block_;
  std::thread thread_;
  std::atomic<bool> quit_{false};
};

class MemoryDevices : public AudioDevices {
 public:
  explicit MemoryDevices(std::vector<std::string> inputBlocks = {})
      : sink(std::make_shared<MemorySink>()), source(std::make_shared<MemorySource>(std::move(inputBlocks))) {}

  std::unique_ptr<AudioOutput> MakeOutput() override { return std::make_unique<MemoryOutput>(sink); }
  std::unique_ptr<AudioInput> MakeInput() override { return std::make_unique<MemoryInput>(source); }

  const std::shared_ptr<MemorySink> sink;
  const std::shared_ptr<MemorySource> source;
};

}  // namespace lumivex
