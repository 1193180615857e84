#pragma once
// PlaybackSession: the playback window's own session to a camera, apart
// from the camera's live one, so that one camera can be watched live and
// played back at once. A start thread negotiates the recorded hour, opens
// the socket and runs the handshake, then starts the workers: keep-alive,
// control commands, receive loop and frame clock, and the AAC player. The
// status painter runs for the session object's whole life (the window's).
//
// Threads and guards:
// - Start, the stop and the controls come from one controlling thread (the
//   window's or the driver's); a restart's stop runs on the start thread.
//   lifecycleMutex_ keeps those two stops apart.
// - m_VideoStatus, the position fields, paused_ and the counters are
//   atomics; the listener is told of every change from the thread making it.
// - ringMutex_ keeps the painter's look at the ring apart from the stop's
//   release of it.
// - conn_, params_, ring_, decoder_, converter_ and the worker threads are
//   written by the start thread before the workers start and released by
//   the stop after every worker has been joined.
// - The picture path (decoder_, converter_, onFrame) runs on the frame
//   clock's thread only.
// - The next control command is handed over under commandMutex_; a newer one
//   replaces one that has not been sent yet.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "device/connection.h"
#include "device/stream_handshake.h"
#include "playback/playback_time.h"
#include "stream/audio_player.h"
#include "stream/frame_ring.h"
#include "stream/video_decoder.h"
#include "stream/video_status.h"
#include "stream/video_surface.h"

namespace lumivex {

struct ServiceContext;
class AudioDevices;

// What the window shows besides the picture; called on session threads and
// on the controlling thread.
class PlaybackListener {
 public:
  virtual ~PlaybackListener() = default;
  // The handshake is done: the start and end labels, the trackbar's range
  // 0 to gap with the position at 0.
  virtual void RecordingKnown(const std::string& startLabel, const std::string& endLabel, int32_t gap) = 0;
  // The trackbar position and the current-time label.
  virtual void PositionChanged(int32_t position, const std::string& timeLabel) = 0;
  // STATUS_READY, STATUS_VIDEO_CONNECTING, STATUS_VIDEO_PLAYING or STATUS_VIDEO_FAILED.
  virtual void StatusChanged(int32_t status) = 0;
};

struct PlaybackCommand {
  enum class Kind { kJump = 0, kResume = 1, kPause = 2 };
  Kind kind = Kind::kJump;
  int32_t point = 0;  // seconds from the start of the recording
};

class PlaybackSession {
 public:
  PlaybackSession(ServiceContext& ctx, AudioDevices& devices, std::string sid, VideoSurface& canvas,
                  PlaybackListener& listener);
  // The window's close: the painter ends, the start thread is waited for
  // and the stop runs.
  ~PlaybackSession();
  PlaybackSession(const PlaybackSession&) = delete;
  PlaybackSession& operator=(const PlaybackSession&) = delete;

  // "开始播放" for the selected hour ("20140520-08"): false, with nothing
  // done, while a start thread runs, unless the session has failed.
  bool StartPlayback(const std::string& selectedHour);
  // The playback stop, on the calling thread.
  void StopCleanCamera();

  // The controls; each hands a command to the control thread.
  void Forward();
  void Back();
  void Pause();
  void Resume();
  // A trackbar move or the thumb's release: the label follows and the
  // camera jumps there.
  void JumpTo(int32_t position);

  int32_t status() const { return m_VideoStatus; }
  int32_t position() const { return position_; }
  int32_t playbackGap() const { return playbackGap_; }
  bool paused() const { return paused_; }
  const std::string& m_CurSelDate() const { return curSelDate_; }  // the controlling thread's
  // The connect reply of the running session (valid while it plays).
  StreamParameters parameters() const;

  // Each shown frame's bytes as received, on the frame clock's thread
  // (lumivexctl keeps them in an MP4). Set before the first start.
  std::function<void(const StreamParameters&, const ShownFrame&)> onFrame;

  struct Counters {
    std::atomic<uint64_t> shown{0};  // pictures presented
    std::atomic<uint64_t> framesReceived{0};  // whole frames the frame clock took out
    std::atomic<uint64_t> commandsSent{0};
  };
  Counters counters;
  const CameraAudioPlayer& audioPlayer() const { return audio_; }

 private:
  void SetStatus(int32_t status);
  void StartThread(std::string selectedHour);
  bool OpenSession();
  bool OpenDecoder(const StreamParameters& params);
  bool StartWorkers(bool udt);
  void JoinStartThread();
  void RunStop();
  void Give(PlaybackCommand command);
  void ShowPosition(int32_t position, bool elapsed);
  // The start time plus position.
  std::string TimeLabel(int32_t position) const;
  bool SleepUnlessStopped(std::chrono::milliseconds time) const;

  // playback_stream.cpp
  void KeepAlive();
  void ControlCommands();
  void ReceiveLoop();
  void TimerSetUp();
  void OnFrameTimer();
  void ShowFrame(const ShownFrame& frame);
  void PaintStatus();
  int BufferedFrames() const;

  ServiceContext& ctx_;
  const std::string sid_;
  VideoSurface& canvas_;
  PlaybackListener& listener_;

  std::atomic<int32_t> m_VideoStatus{0};
  std::string curSelDate_;  // the controlling thread's
  std::atomic<int32_t> startSecond_{0};  // of the day, from "playback-initTime"
  std::atomic<int32_t> playbackGap_{0};
  std::atomic<int32_t> position_{0};         // the trackbar's
  std::atomic<int32_t> lastShownSecond_{0};  // frame clock's
  std::atomic<int32_t> currentVideoTime_{0};  // ms; read by the audio player
  std::atomic<int32_t> firstFrameShown_{0};
  std::atomic<bool> paused_{false};
  std::atomic<bool> closeFlag_{false};   // ends the painter
  std::atomic<bool> cancelled_{false};   // a stop from outside: the start thread goes no further
  std::atomic<bool> startRunning_{false};
  std::atomic<int> progressStep_{0};

  DeviceConnection conn_;
  StreamParameters params_;
  mutable std::mutex paramsMutex_;  // params_ for readers outside the session
  mutable std::mutex ringMutex_;  // ring_ (not its slots) for the painter
  std::unique_ptr<FrameRing> ring_;
  VideoDecoder decoder_;
  PictureConverter converter_;
  CameraAudioPlayer audio_;

  std::mutex commandMutex_;
  std::condition_variable commandWake_;
  std::optional<PlaybackCommand> command_;  // guarded by commandMutex_

  std::mutex lifecycleMutex_;
  std::thread startThread_, painter_, keepAlive_, control_, receiver_, timerSetup_, clock_;
};

}  // namespace lumivex
