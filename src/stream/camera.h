#pragma once
// CCamera: one device's live view for the whole run. Its DeviceSession
// reaches the camera on two threads; the picture path (record, decode, draw
// into the wall window, snapshot) runs in the session's frame ticks on the
// wall's display clock; the run's reconnect watchdog restarts a failed
// session every period unless it ran through a relay. The status pictures
// are the window's to draw from the status it is given.
//
// Threads and guards:
// - lifecycleMutex_ serialises start and stop; a start that comes while a
//   stop runs (stopping_) only sets restartPending.
// - m_VideoStatus, recording, snapshotRequested, rotation, bitRate,
//   lastSecondBytes, the counters and watched_ are atomics. Which window
//   shows the camera is the wall's (place, and a lease for each drawing).
// - The picture path (group_, converter_, recorder_ while open, meterNs_,
//   recordBlinkCounter_, frameGap_, promoted_, failedShown_) runs in the
//   frame ticks only, one at a time; SessionOpened sets them before the
//   first tick, the stop releases them after the last.
// Lock order: the watchdog's, then lifecycleMutex_, then stopThreadMutex_;
// then the wall's locks.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stream/audio_switch.h"
#include "stream/stream_environment.h"
#include "stream/device_session.h"
#include "stream/recorder.h"
#include "stream/video_status.h"

namespace lumivex {

class CCamera : public AudioParty, private SessionOwner {
 public:
  CCamera(StreamEnvironment& env, std::string sid, std::string name);
  ~CCamera() override;
  CCamera(const CCamera&) = delete;
  CCamera& operator=(const CCamera&) = delete;

  // Starts live view, or arranges a restart.
  void StartCamera();
  // The full stop, on the calling thread.
  void StopCleanCamera();
  // The same on the camera's stop thread, so that the caller goes on; false
  // when a stop runs already.
  bool StopCleanCameraAsync();
  // 88000, 480000 or 1200000, sent by the session thread; false when the
  // level is none of those or no session is open. Any thread.
  bool SetQuality(int32_t level);
  // Shows the last picture again at the next tick (after a rotation).
  void Redraw() { redrawRequested_ = 1; }
  void Rotate();  // 0, 1, 2, 3, 0 ...
  // Asks the session to turn the camera one step; repeated asks before it
  // was sent are one. Any thread.
  void RequestPanTilt(PtzDirection direction) { session_.RequestPanTilt(direction); }
  bool panTiltPending(PtzDirection direction) { return session_.panTiltPending(direction); }

  const std::string& sid() const { return sid_; }
  std::string name() const;
  void SetName(std::string name);
  int32_t natType() { return session_.connection().m_DeviceNATType; }
  // The camera's window on the wall, as the wall has it now.
  WallPlace place() const { return env_.wall.PlaceOf(*this); }
  bool stopRunning() const { return stopping_; }

  // AudioParty
  CameraAudioPlayer& audioPlayer() override { return audio_; }
  TalkBack& talkBack() override { return talk_; }
  AudioStreamInfo audioInfo() const override;
  bool SendTalkPacket(const std::string& packet) override { return session_.SendOnSocket(packet); }

  std::atomic<int32_t> m_VideoStatus{STATUS_READY};
  std::atomic<int32_t> recording{0};
  std::atomic<int32_t> snapshotRequested{0};
  std::atomic<int32_t> rotation{0};
  std::atomic<int32_t> bitRate{-1};
  std::atomic<int32_t> lastSecondBytes{0};

  // For drivers and benchmarks; reset by every start.
  struct Counters {
    std::atomic<uint64_t> shown{0};       // pictures presented
    std::atomic<uint64_t> decoded{0};     // pictures that came out of the decoder
    std::atomic<uint64_t> reduced{0};     // of the shown, drawn at half size or less: made the cheaper way
    std::atomic<uint64_t> dropped{0};     // slots emptied without showing: lost fragment or after a gap
    std::atomic<uint64_t> late{0};        // ticks of a playing picture more than a frame interval late
    std::atomic<int64_t> decodeCpuNs{0};  // thread CPU time spent in the decoder
    std::atomic<int64_t> convertCpuNs{0}; // and in converting pictures for the window
    std::atomic<int64_t> startedNs{0};    // steady clock of the last StartCamera
    std::atomic<int64_t> replyNs{0};      // and of the end of its handshake
    std::atomic<int64_t> firstPictureNs{0};
  };
  Counters counters;
  // The connect reply of the running session (valid while it plays).
  StreamParameters parameters() const { return session_.parameters(); }
  // Every recording segment created so far.
  std::vector<std::string> recordings() const { return recorder_.segmentPaths(); }

 private:
  void BeginSession();  // under lifecycleMutex_
  void RunStop();       // under lifecycleMutex_
  void CheckReconnect();  // the watchdog's
  void SetStatus(int32_t status);
  void ShowStatus(StatusPicture status);

  // SessionOwner (camera_picture.cpp)
  bool SessionOpened(const StreamParameters& params) override;
  void FrameTick(bool late) override;
  bool SoundArrived(const AudioPacket& packet) override;
  void SessionFailed() override;
  void RelayTimeUp() override { StopCleanCameraAsync(); }
  void RelayCut() override;

  void MeterBytes();
  void ShowFrame(const ShownFrame& frame);
  bool Present(const AVFrame& picture, const SurfaceLease& window);  // true when drawn reduced
  void TakePendingSnapshot(const AVFrame& picture);
  FrameOverlay Overlay();

  StreamEnvironment& env_;
  const std::string sid_;
  mutable std::mutex nameMutex_;
  std::string name_;  // guarded by nameMutex_

  DeviceSession session_;
  ServiceOpener serviceOpener_;
  FrameGroup group_;
  PictureConverter converter_;
  SegmentRecorder recorder_;
  CameraAudioPlayer audio_;
  TalkBack talk_;
  int32_t recordBlinkCounter_ = 0;
  int32_t frameGap_ = 0;      // ms, the recording mark's blink
  int64_t meterNs_ = 0;
  bool promoted_ = false;     // the clock knows the session plays
  bool failedShown_ = false;  // the failed picture is up
  std::atomic<int32_t> redrawRequested_{0};

  std::mutex lifecycleMutex_;
  bool sessionActive_ = false;  // guarded by lifecycleMutex_
  std::atomic<bool> stopping_{false};
  std::atomic<int32_t> restartPending{0};
  std::atomic<bool> watched_{false};  // the watchdog may restart it: from a start until a user's stop
  std::mutex stopThreadMutex_;
  std::thread stopThread_;  // guarded by stopThreadMutex_
};

}  // namespace lumivex
