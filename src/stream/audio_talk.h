#pragma once
// TalkBack: the microphone to the camera's speaker, one per camera. The
// start thread opens the input in the camera's codec's capture format; the
// input's thread puts each full block into the talk ring (dropped when all
// 32 are in use); the sender thread encodes the blocks and sends one packet
// each on the session's connection. A failed send ends the sender; capture
// goes on until the stop.
//
// Threads and guards: opMutex_ serialises start and stop as in
// CameraAudioPlayer; talking is set under it, so that a stop that comes
// during the start is not undone. The sender waits on doorbell_, rung by
// each captured block and each end of sending, and ends when talking is 0,
// the session's stop is requested or the object goes.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/stop_signal.h"
#include "stream/audio_codec.h"
#include "stream/audio_device.h"
#include "stream/audio_player.h"
#include "stream/audio_ring.h"
#include "stream/audio_threads.h"
#include "stream/doorbell.h"

namespace lumivex {

class TalkBack {
 public:
  // A whole packet to send on the session's connection; false when it failed.
  using SendPacket = std::function<bool(const std::string& packet)>;

  explicit TalkBack(AudioDevices& devices, const StopSignal* sessionStop = nullptr);
  ~TalkBack();
  TalkBack(const TalkBack&) = delete;
  TalkBack& operator=(const TalkBack&) = delete;

  // 1 while talk-back captures.
  std::atomic<int32_t> talking{0};

  // failed (if any) is called once, on a thread of talk-back's or the
  // device's, when the input does not open or goes away while capturing.
  AudioStart StartLocalAudio(const AudioStreamInfo& info, SendPacket send, std::function<void()> failed = {});
  // Stops talk-back on a thread of its own, then calls done (if any) there.
  // False when a stop already runs.
  bool CleanLocalAudioAsync(std::function<void()> done);

  // From StartLocalAudio until the next stop has cleaned up.
  bool startRunning() const { return startInPlace_; }
  bool stopRunning() const { return stopActive_; }

  uint64_t blocksCaptured() const { return blocksCaptured_; }  // full blocks from the input
  uint64_t blocksDropped() const { return blocksDropped_; }    // of those, found no free slot
  uint64_t packetsSent() const { return packetsSent_; }

 private:
  void StartThread(AudioStreamInfo info, SendPacket send);
  bool OpenInput(const AudioStreamInfo& info);
  void Failed();
  void OnBlock(const uint8_t* data, std::size_t size);
  void SendSpeex(const SendPacket& send);
  void SendAac(int sampleRate, const SendPacket& send);
  bool KeepSending() const;
  void EndSending();           // talking to 0, and the sender told
  bool WaitForBlock() const;   // a captured block, or the end of sending
  // A copy of the oldest captured block; false while there is none.
  bool TakeBlock(std::vector<int16_t>& samples);
  void Clean();

  AudioDevices& devices_;
  const StopSignal* const sessionStop_;
  std::atomic<bool> quitting_{false};

  // The start thread's, then the stop's once the start and sender ended.
  std::unique_ptr<AudioInput> input_;
  TalkRing ring_;
  Doorbell doorbell_;  // rung by each captured block and each end of sending
  bool speex_ = true;
  std::thread sender_;
  std::mutex failedMutex_;
  std::function<void()> failed_;  // guarded by failedMutex_; emptied once called and by the stop

  std::mutex opMutex_;
  std::thread start_;  // guarded by opMutex_; joined by the stop
  std::atomic<bool> startInPlace_{false};
  std::atomic<bool> stopActive_{false};
  StopThreads stops_;

  std::atomic<uint64_t> blocksCaptured_{0}, blocksDropped_{0}, packetsSent_{0};
};

}  // namespace lumivex
