#pragma once
// The sound card through Qt Multimedia. Each output and input runs its
// QAudioSink or QAudioSource on a QThread of its own, so the session threads
// that call them never wait for the GUI thread: an output takes copies of
// the buffers written to it and feeds the sink as it has room, and tells
// when each buffer has been played; an input cuts what it captures into
// blocks of the requested size. Open and Start wait at most 200 ms.
//
// Threads: Open, Write, Start and Close may come from any thread but the
// device's own, one at a time (the players serialise them); mutex_ guards
// the queue between the caller and the device thread, callbackMutex_ the
// user's callback, so that none is called once Close has returned.

#include <QAudioDevice>
#include <QAudioFormat>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "stream/audio_device.h"

class QIODevice;
class QThread;

namespace lumivex {

// 16-bit PCM of the format's channels and rate; an invalid (default)
// QAudioFormat when the format is not one the core plays.
QAudioFormat ToQAudioFormat(const PcmFormat& format);

// The buffers written to an output, in order: how much of each went to the
// device and which have been played. Not locked; the output guards it.
class PlayQueue {
 public:
  // Takes bytes the device will play; returns how many it took (0 when full).
  using Sink = std::function<int64_t(const uint8_t* data, std::size_t size)>;

  void Push(const uint8_t* data, std::size_t size);
  // Hands queued bytes to sink, at most room of them; the bytes handed.
  std::size_t Feed(std::size_t room, const Sink& sink);
  // With unplayed of the bytes handed over still in the device: the buffers
  // played to their end since the last call.
  int Played(std::size_t unplayed);
  void Clear();

 private:
  struct Queued {
    std::vector<uint8_t> bytes;
    std::size_t fed = 0;
  };
  std::deque<Queued> queue_;  // played buffers leave it
  uint64_t fedTotal_ = 0;
  uint64_t frontStart_ = 0;  // where the first queued buffer starts in the byte stream
};

// Captured bytes cut into blocks of one size; a rest waits for more.
class BlockCutter {
 public:
  using Block = std::function<void(const uint8_t* data, std::size_t size)>;

  explicit BlockCutter(std::size_t blockBytes = 0) : blockBytes_(blockBytes) {}
  void Add(const uint8_t* data, std::size_t size, const Block& block);

 private:
  std::size_t blockBytes_;
  std::vector<uint8_t> partial_;
};

class QtAudioOutput : public AudioOutput {
 public:
  explicit QtAudioOutput(QAudioDevice device);
  ~QtAudioOutput() override;

  // False without a device, for a format the device does not take, or when
  // the sink reports an error while starting.
  bool Open(const PcmFormat& format, std::function<void()> bufferDone) override;
  bool Write(const uint8_t* data, std::size_t size) override;
  void Close() override;
  void SetLostHandler(std::function<void()> lost) override;

  class Feeder;  // on the device thread

 private:
  friend class Feeder;
  // Device thread: hands queued bytes to the sink; tells of played buffers.
  void Feed(QIODevice& sink, std::size_t room, std::size_t unplayed);
  // Device thread: the sink stopped with an error.
  void Lost();

  const QAudioDevice device_;
  int blockAlign_ = 0;
  std::atomic<bool> open_{false};
  QThread* thread_ = nullptr;
  Feeder* feeder_ = nullptr;
  std::mutex mutex_;
  PlayQueue queue_;  // guarded by mutex_
  std::mutex callbackMutex_;
  std::function<void()> bufferDone_;  // guarded by callbackMutex_; empty once closed
  std::function<void()> lost_;        // guarded by callbackMutex_; empty once closed or called
};

class QtAudioInput : public AudioInput {
 public:
  explicit QtAudioInput(QAudioDevice device);
  ~QtAudioInput() override;

  bool Open(const PcmFormat& format, std::size_t blockBytes,
            std::function<void(const uint8_t*, std::size_t)> block) override;
  // False when the source reports an error while starting.
  bool Start() override;
  void Close() override;
  void SetLostHandler(std::function<void()> lost) override;

  class Reader;  // on the device thread

 private:
  friend class Reader;
  // Device thread: whole blocks of what arrived go to block().
  void Captured(const uint8_t* data, std::size_t size);
  // Device thread: the source stopped with an error.
  void Lost();

  const QAudioDevice device_;
  QAudioFormat format_;
  std::size_t blockBytes_ = 0;
  QThread* thread_ = nullptr;
  Reader* reader_ = nullptr;
  BlockCutter cutter_;  // guarded by callbackMutex_
  std::mutex callbackMutex_;
  std::function<void(const uint8_t*, std::size_t)> block_;  // guarded by callbackMutex_
  std::function<void()> lost_;  // guarded by callbackMutex_; empty once closed or called
};

// The system's default devices as they are when a sound or talk-back
// starts, so that a headset plugged in meanwhile is the one used; null
// outputs and inputs when there is none. Any thread: Qt's device list is
// kept by its sound server backend under its own lock.
class QtAudioDevices : public AudioDevices {
 public:
  std::unique_ptr<AudioOutput> MakeOutput() override;
  std::unique_ptr<AudioInput> MakeInput() override;
};

}  // namespace lumivex
