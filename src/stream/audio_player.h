#pragma once
// CameraAudioPlayer: the camera's sound, one per camera. The receive loop
// stores the camera's audio packets in the ring of their codec; a start
// thread pre-fills eight output buffers and opens the output; from then on
// the play-callback thread refills each buffer the output has played. A
// stop runs on a thread of its own and ends with the caller's hand-over.
//
// Threads and guards:
// - opMutex_ serialises start and stop: a start is refused while one is in
//   place (until the next stop has cleaned it) or while a stop runs.
// - storeMutex_ keeps the receive loop's store apart from the stop's reset
//   of the rings; the player drains them without a lock.
// - The start thread hands the rings' consumer side and the decoders to the
//   play-callback thread through the first buffer-done message.
// - outputMutex_ keeps the pre-fill's eight writes together, so that a
//   refill never comes between them.
// - Every wait is on doorbell_, rung by each stored packet and each end of
//   playing; it ends when cameraAudioOff is 1, the session's stop is
//   requested or the player goes.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "core/stop_signal.h"
#include "device/session_packet.h"
#include "stream/audio_codec.h"
#include "stream/audio_device.h"
#include "stream/audio_ring.h"
#include "stream/audio_threads.h"
#include "stream/doorbell.h"

namespace lumivex {

inline constexpr int kPlayBuffers = 8;

// The playback sync of one audio entry, d = picture time - audio time (ms):
// more than 500 ms behind is dropped; more than 5 s ahead starts dropping
// until an entry is within 500 ms (farAhead carries that across entries);
// 500 ms to 5 s ahead waits -d ms and then plays.
enum class AudioSyncStep { kPlay, kDrop, kWait };
AudioSyncStep SyncStep(int32_t d, bool& farAhead);

enum class AudioStart {
  kStarted,
  kStartRunning,  // a start is in place already: nothing done
  kStopRunning,   // a stop still runs: nothing done, start again after it
};

class CameraAudioPlayer {
 public:
  // sessionStop: the session's stop (may be null); devices outlive the player.
  explicit CameraAudioPlayer(AudioDevices& devices, const StopSignal* sessionStop = nullptr);
  ~CameraAudioPlayer();
  CameraAudioPlayer(const CameraAudioPlayer&) = delete;
  CameraAudioPlayer& operator=(const CameraAudioPlayer&) = delete;

  // 0 while the camera's sound plays; the keep-alive reads it.
  std::atomic<int32_t> cameraAudioOff{1};

  // The receive loop's side: dropped while cameraAudioOff is 1.
  void StorePacket(const AudioPacket& packet);

  // failed (if any) is called once, on a thread of the player's or the
  // device's, when the output does not open or goes away while playing;
  // the sound then stays off until the next stop and start.
  AudioStart StartCameraAudio(const AudioStreamInfo& info, std::function<void()> failed = {});
  // Playback: each refill keeps the sound with the picture whose timestamp
  // (ms) videoTime holds. Set before the first start; null plays as it comes.
  void SetVideoClock(const std::atomic<int32_t>* videoTime) { videoClock_ = videoTime; }
  // Stops playing on a thread of its own and then calls done (if any) on
  // that thread. False when a stop already runs.
  bool CleanCameraAudioAsync(std::function<void()> done);

  // A start is in place: from StartCameraAudio until the next stop has
  // cleaned up, also after its thread has handed over to the refills.
  bool startRunning() const { return startInPlace_; }
  // A stop has not yet finished cleaning (its done may still be running).
  bool stopRunning() const { return stopActive_; }

  uint64_t packetsStored() const { return aacRing_.stored() + speexRing_.stored(); }
  uint64_t packetsDropped() const { return aacRing_.droppedFull() + speexRing_.droppedFull(); }
  uint64_t packetsRefused() const { return aacRing_.droppedSize() + speexRing_.droppedSize(); }  // wrong size
  uint64_t bytesPlayed() const { return bytesPlayed_; }  // handed to the output
  uint64_t aacDecodeAttempts() const { return aacDecodeAttempts_; }
  uint64_t syncDropped() const { return syncDropped_; }  // too far behind or ahead of the picture
  uint64_t syncDelayed() const { return syncDelayed_; }  // held back until the picture caught up

 private:
  using Pcm = std::vector<int16_t>;

  void StartThread(AudioStreamInfo info);
  void Failed();
  void CallbackThread();
  bool OpenOutput(const AudioStreamInfo& info, const std::vector<Pcm>& prefill);
  AudioPacketRing& Ring() { return info_.codec == CameraAudio::kAac ? static_cast<AudioPacketRing&>(aacRing_) : speexRing_; }
  bool WaitForEntry(std::string_view& payload, int32_t& timestamp);
  // The next entry to play after the picture sync; false when aborted.
  bool TakeInSync(std::string_view& payload);
  bool SleepUnlessAborted(std::chrono::milliseconds time) const;
  bool Aborted() const;
  void Abort();  // cameraAudioOff to 1, and the waits told
  // The entry's sound; silence of a buffer's size when it does not decode.
  Pcm Decode(std::string_view payload, int attempts);
  bool Play(const Pcm& pcm);
  bool WriteLocked(const Pcm& pcm);  // outputMutex_ held
  void PostDone();
  void Clean();

  AudioDevices& devices_;
  const StopSignal* const sessionStop_;
  std::atomic<bool> quitting_{false};

  AacRing aacRing_;
  SpeexRing speexRing_;
  Doorbell doorbell_;
  std::mutex storeMutex_;

  // The start thread's, then the callback thread's; the stop's once both ended.
  AudioStreamInfo info_;
  AacDecoder aac_;  // for the camera's life
  std::unique_ptr<SpeexDecoder> speex_;
  std::mutex outputMutex_;
  std::unique_ptr<AudioOutput> output_;  // guarded by outputMutex_
  std::mutex failedMutex_;
  std::function<void()> failed_;  // guarded by failedMutex_; emptied once called and by the stop
  std::thread callback_;

  // The play-callback thread's messages: buffers played, quit.
  std::mutex messageMutex_;
  std::condition_variable messageWake_;
  int buffersDone_ = 0;  // guarded by messageMutex_
  bool quit_ = false;    // guarded by messageMutex_

  std::mutex opMutex_;
  std::thread start_;  // guarded by opMutex_; joined by the stop
  std::atomic<bool> startInPlace_{false};
  std::atomic<bool> stopActive_{false};
  StopThreads stops_;

  const std::atomic<int32_t>* videoClock_ = nullptr;
  std::atomic<uint64_t> bytesPlayed_{0}, aacDecodeAttempts_{0}, syncDropped_{0}, syncDelayed_{0};
};

}  // namespace lumivex
