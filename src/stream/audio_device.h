#pragma once
// The sound card as the live view sees it: an output that plays queued PCM
// buffers and tells when each has been played, an input that hands over
// captured blocks. The desktop program implements them with Qt Multimedia;
// the WAV-file and in-memory versions serve the command-line driver and the
// tests.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace lumivex {

struct PcmFormat {
  int channels = 0;
  int sampleRate = 0;
  int bitsPerSample = 16;

  int blockAlign() const { return channels * bitsPerSample / 8; }
  int bytesPerSecond() const { return sampleRate * blockAlign(); }
  // Only what every implementation can play: 16-bit PCM, 1 or 2 channels.
  bool valid() const { return bitsPerSample == 16 && (channels == 1 || channels == 2) && sampleRate > 0 && sampleRate <= 192000; }
  bool operator==(const PcmFormat&) const = default;
};

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // bufferDone is called (on any thread) once for every written buffer that
  // has been played; it must return quickly and must not call Close.
  virtual bool Open(const PcmFormat& format, std::function<void()> bufferDone) = 0;
  // Queues a copy of one buffer (a whole number of sample frames).
  virtual bool Write(const uint8_t* data, std::size_t size) = 0;
  // Drops what is still queued; no bufferDone follows once it returns.
  virtual void Close() = 0;
  // lost is called (on any thread, at most once, never after Close has
  // returned) when the device goes away while open. Set before Open;
  // devices that cannot go away never call it.
  virtual void SetLostHandler(std::function<void()> lost) { (void)lost; }
};

class AudioInput {
 public:
  virtual ~AudioInput() = default;
  // block() is called on the device's thread with each captured block of
  // blockBytes; it must return quickly and must not call Close.
  virtual bool Open(const PcmFormat& format, std::size_t blockBytes,
                    std::function<void(const uint8_t*, std::size_t)> block) = 0;
  virtual bool Start() = 0;
  // No block() follows once it returns.
  virtual void Close() = 0;
  // As for AudioOutput.
  virtual void SetLostHandler(std::function<void()> lost) { (void)lost; }
};

class AudioDevices {
 public:
  virtual ~AudioDevices() = default;
  // Null when there is no such device.
  virtual std::unique_ptr<AudioOutput> MakeOutput() = 0;
  virtual std::unique_ptr<AudioInput> MakeInput() = 0;
};

}  // namespace lumivex
