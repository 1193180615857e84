#pragma once
// Sound devices backed by WAV files, for the command-line driver: the output
// writes what it plays into a file and plays in real time (a buffer is done
// once its duration has passed), the input plays a file into the
// microphone's place, block by block in real time, and stops at its end.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "stream/audio_device.h"

namespace lumivex {

inline constexpr std::size_t kWavHeaderBytes = 44;

struct WavInfo {
  PcmFormat format;
  uint64_t dataOffset = 0;  // of the first sample in the file
  uint64_t dataBytes = 0;   // whole sample frames only
};

// The canonical 44-byte header of a PCM file with dataBytes of samples.
std::string WavHeader(const PcmFormat& format, uint32_t dataBytes);

// Reads the chunks of a 16-bit PCM WAV file of fileBytes from its start.
// Anything else (short header, a chunk that runs past the file, another
// encoding) is refused with a reason in error.
bool ReadWavHeader(std::FILE* file, uint64_t fileBytes, WavInfo& out, std::string& error);

class WavFileOutput : public AudioOutput {
 public:
  explicit WavFileOutput(std::string path) : path_(std::move(path)) {}
  ~WavFileOutput() override { Close(); }

  bool Open(const PcmFormat& format, std::function<void()> bufferDone) override;
  bool Write(const uint8_t* data, std::size_t size) override;
  // Also writes the final sizes into the header.
  void Close() override;

 private:
  using Clock = std::chrono::steady_clock;
  void Play();

  const std::string path_;
  std::thread player_;
  std::mutex mutex_;
  std::condition_variable wake_;
  // Guarded by mutex_:
  std::FILE* file_ = nullptr;
  PcmFormat format_;
  uint64_t dataBytes_ = 0;
  std::function<void()> bufferDone_;
  std::deque<Clock::time_point> due_;  // when each queued buffer has been played
  Clock::time_point lastDue_;
  bool quit_ = false;
};

class WavFileInput : public AudioInput {
 public:
  explicit WavFileInput(std::string path) : path_(std::move(path)) {}
  ~WavFileInput() override { Close(); }

  // Refuses a file whose format is not the one asked for.
  bool Open(const PcmFormat& format, std::size_t blockBytes,
            std::function<void(const uint8_t*, std::size_t)> block) override;
  bool Start() override;
  void Close() override;

  // The whole file has been delivered (a last partial block is not).
  bool finished() const { return finished_; }
  // Why Open failed.
  std::string error() const;

 private:
  using Clock = std::chrono::steady_clock;
  void Capture();
  bool WaitUntil(Clock::time_point when);  // false when Close cut it short

  const std::string path_;
  std::FILE* file_ = nullptr;  // the capture thread's while it runs
  WavInfo info_;
  std::size_t blockBytes_ = 0;
  std::function<void(const uint8_t*, std::size_t)> block_;
  std::thread capture_;
  std::atomic<bool> finished_{false};
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;   // guarded by mutex_
  std::string error_;   // guarded by mutex_
};

// The command-line driver's devices: each output made writes outputPath
// anew, each input reads inputPath. An empty path: no such device.
class WavFileDevices : public AudioDevices {
 public:
  WavFileDevices(std::string outputPath, std::string inputPath)
      : outputPath_(std::move(outputPath)), inputPath_(std::move(inputPath)) {}

  std::unique_ptr<AudioOutput> MakeOutput() override;
  std::unique_ptr<AudioInput> MakeInput() override;

 private:
  const std::string outputPath_, inputPath_;
};

}  // namespace lumivex
