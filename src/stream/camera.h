#pragma once
// CCamera: one device's live view for the whole run. A session runs on
// threads of its own: the session thread (negotiation, socket, handshake)
// starts the workers (keep-alive, receive loop, the control sender, the
// relay guards)
// and puts the session on the wall's display clock, whose picture workers
// run its frame ticks; the status painter shows the status picture while no
// video is shown and sleeps on wake_ while video plays; the watchdog
// restarts a failed session every period unless it ran through a relay. A
// stop takes the session off the clock and joins every thread: each wait of
// a session observes the stop flag within 200 ms.
//
// Threads and guards:
// - lifecycleMutex_ serialises start and stop of this camera; a start that
//   comes while a stop runs (stopping_) only sets restartPending.
// - m_VideoStatus, recording, snapshotRequested, rotation, wallPage,
//   wallIndex, bitRate, lastSecondBytes and the counters are atomics.
// - wakeMutex_ guards the requests of the user (pan/tilt, quality) that
//   the control sender takes; wake_ wakes the painter (a status change, a
//   stop) and the control sender (a request, a stop). The user's thread
//   thus never waits on the camera's socket.
// - params_, ring_, decoder_, converter_ and the worker threads are
//   written by the session thread before it starts the workers, read by
//   the workers, and released by the stop after every thread has been
//   joined and the clock let go of the session. clockId_ is an atomic: the
//   session thread stores it once Add returned, and the ticks read it.
// - the picture path (decoder_, group_, converter_, recorder_, snapshot,
//   meterNs_) runs in the session's frame ticks only, one at a time.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/connection.h"
#include "device/stream_handshake.h"
#include "stream/audio_player.h"
#include "stream/audio_switch.h"
#include "stream/audio_talk.h"
#include "stream/display_clock.h"
#include "stream/frame_ring.h"
#include "stream/recorder.h"
#include "stream/session_clock.h"
#include "stream/video_status.h"
#include "stream/video_decoder.h"
#include "stream/video_wall.h"

namespace lumivex {

struct ServiceContext;
class AudioDevices;

// The three quality levels of the quality menu, bits per second.
inline constexpr int32_t kQualityLevels[] = {88000, 480000, 1200000};

// The level automatic quality asks for a window this many pixels wide:
// 88000 below 400, 480000 below 960, 1200000 from 960 on.
int32_t AutoQualityLevel(int windowWidth);

// What every camera of the run shares.
struct StreamEnvironment {
  StreamEnvironment(ServiceContext& context, VideoWall& videoWall, AudioDevices& devices)
      : ctx(context), wall(videoWall), audioDevices(devices) {}

  ServiceContext& ctx;
  VideoWall& wall;
  AudioDevices& audioDevices;
  // Between two checks of the reconnect watchdog.
  std::chrono::milliseconds watchdogPeriod{300000};
  // The relay cut-off notice is shown once per run.
  std::atomic<bool> cutoffNoticePending{true};
  // A recording segment or snapshot was written (any thread).
  std::function<void(const std::string& path)> fileWritten;
  // Every session's frame ticks; the cameras leave it before it goes.
  DisplayClock displayClock;
};

enum class PtzDirection { kLeft, kRight, kUp, kDown };

class CCamera : public AudioParty {
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
  // 88000, 480000 or 1200000, sent by the session's control sender; false
  // when the level is none of those or no session is open. Any thread.
  bool SetQuality(int32_t level);
  // Shows the last picture again at the next tick (after a rotation).
  void Redraw() { redrawRequested_ = 1; }
  // 0, 1, 2, 3, 0 ...
  void Rotate();
  // Asks the running session to turn the camera one step; repeated asks
  // before it was sent are one. Any thread.
  void RequestPanTilt(PtzDirection direction);
  bool panTiltPending(PtzDirection direction) const;

  const std::string& sid() const { return sid_; }
  std::string name() const;
  void SetName(std::string name);
  int32_t natType() const { return conn_.m_DeviceNATType; }
  WallPlace place() const { return {wallPage, wallIndex}; }
  bool stopRunning() const { return stopping_; }

  // AudioParty
  CameraAudioPlayer& audioPlayer() override { return audio_; }
  TalkBack& talkBack() override { return talk_; }
  AudioStreamInfo audioInfo() const override;
  bool SendTalkPacket(const std::string& packet) override;

  std::atomic<int32_t> m_VideoStatus{STATUS_READY};
  std::atomic<int32_t> recording{0};
  std::atomic<int32_t> snapshotRequested{0};
  std::atomic<int32_t> rotation{0};
  std::atomic<int32_t> wallPage{-1};
  std::atomic<int32_t> wallIndex{-1};
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
    std::atomic<int64_t> replyNs{0};      // and of its connect reply
    std::atomic<int64_t> firstPictureNs{0};
  };
  Counters counters;
  // The connect reply of the running session (valid while it plays).
  StreamParameters parameters() const;
  // Every recording segment created so far.
  std::vector<std::string> recordings() const { return recorder_.segmentPaths(); }

 private:
  enum class StopKind { kUser, kWatchdog };

  void BeginSession();  // under lifecycleMutex_
  void RunStop(StopKind kind);
  void JoinSessionThreads();
  void ReleaseSession(StopKind kind);
  void StartPainter();
  void SetStatus(int32_t status);  // and wakes the painter
  void Wake();
  // true when the stop came first; wakes early when done() holds.
  bool WaitUnlessStopped(std::chrono::milliseconds time, const std::function<bool()>& done);
  void EnsureWatchdog();
  void Watchdog();
  void Fail();
  void LogState(int32_t status) const;  // each change, at info level
  bool SleepUnlessStopped(std::chrono::milliseconds time) const {
    return lumivex::SleepUnlessStopped(conn_.stopRequested, time);
  }

  // camera_session.cpp
  void SessionThread();
  bool OpenDecoder(const StreamParameters& params);
  bool StartWorkers(bool udt);
  void KeepAliveTcp();
  void KeepAliveUdt();
  void ReceiveLoop();
  void Controls();
  // The next request to send, by waking on one; nullptr on a stop.
  const char* NextControl(bool panTilt, int32_t& quality);
  void RelayTimeLimit();
  void RelayRandomCutoff();
  bool SendControl(const JsonMessage& message);
  JsonMessage Control(const char* cmd) const;

  // camera_picture.cpp
  bool StartFrameTicks();
  void OnFrameTimer(bool late);
  void MeterBytes();
  void ShowFrame(const ShownFrame& frame);
  // true when the picture was drawn reduced (ShownReduced).
  bool Present(const AVFrame& picture, WallPlace place);
  void TakePendingSnapshot(const AVFrame& picture);
  void PaintStatus();
  FrameOverlay Overlay();

  StreamEnvironment& env_;
  const std::string sid_;
  mutable std::mutex nameMutex_;
  std::string name_;  // guarded by nameMutex_

  DeviceConnection conn_;
  StreamParameters params_;
  mutable std::mutex paramsMutex_;  // params_ for readers outside the session
  std::unique_ptr<FrameRing> ring_;
  std::atomic<FrameRing*> ringInUse_{nullptr};  // ring_ for the status painter
  std::mutex socketMutex_;
  bool sessionOpen_ = false;  // guarded by socketMutex_: users off the session threads may send
  VideoDecoder decoder_;
  FrameGroup group_;
  PictureConverter converter_;
  SegmentRecorder recorder_;
  CameraAudioPlayer audio_;
  TalkBack talk_;
  int32_t recordBlinkCounter_ = 0;  // frame ticks only
  int64_t meterNs_ = 0;             // frame ticks only: the byte meter's last reading
  std::atomic<uint64_t> clockId_{0};
  bool promoted_ = false;  // frame ticks only, after StartFrameTicks: the clock knows it plays
  std::atomic<int32_t> redrawRequested_{0};
  std::atomic<int> progressStep_{0};

  std::mutex lifecycleMutex_;
  bool sessionActive_ = false;  // guarded by lifecycleMutex_
  std::atomic<bool> stopping_{false};
  std::atomic<int32_t> restartPending{0};

  mutable std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool ptzPending_[4] = {};      // guarded by wakeMutex_, by PtzDirection
  int32_t qualityPending_ = 0;   // guarded by wakeMutex_: a level to send, or 0

  std::thread session_, painter_, keepAlive_, receiver_, controls_;
  std::thread relayLimit_, relayCutoff_;
  std::mutex stopThreadMutex_;
  std::thread stopThread_;  // guarded by stopThreadMutex_

  std::mutex watchdogMutex_;
  std::condition_variable watchdogWake_;
  bool watchdogSuspended_ = false;  // guarded by watchdogMutex_
  bool watchdogQuit_ = false;       // guarded by watchdogMutex_
  std::thread watchdog_;
};

}  // namespace lumivex
