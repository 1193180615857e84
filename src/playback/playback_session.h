#pragma once
// PlaybackSession: the playback window's own session to a camera, apart
// from the camera's live one, so that one camera can be watched live and
// played back at once. Its DeviceSession negotiates the recorded hour and
// runs the connection on two threads; the pictures come in frame ticks on
// the display clock the window shares with the wall; the AAC player keeps
// the sound with the picture.
//
// Threads and guards:
// - Start, the stop and the controls come from one controlling thread (the
//   window's or the driver's); lifecycleMutex_ keeps a stop from the
//   destructor apart from theirs.
// - m_VideoStatus, the position fields, paused_, opening_ and the counters
//   are atomics; the listener is told of every change from the thread
//   making it.
// - params_, firstFrameShown_, failedShown_ and converter_ are the ticks';
//   SessionOpened sets them before the first tick, the stop releases them
//   after the last.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "device/stream_handshake.h"
#include "playback/playback_time.h"
#include "stream/audio_player.h"
#include "stream/device_session.h"
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

class PlaybackSession : private SessionOwner {
 public:
  PlaybackSession(ServiceContext& ctx, AudioDevices& devices, DisplayClock& clock, std::string sid,
                  VideoSurface& canvas, PlaybackListener& listener);
  // The window's close: the stop runs.
  ~PlaybackSession() override;
  PlaybackSession(const PlaybackSession&) = delete;
  PlaybackSession& operator=(const PlaybackSession&) = delete;

  // "开始播放" for the selected hour ("20140520-08"): false, with nothing
  // done, while an earlier start still negotiates, unless it has failed.
  bool StartPlayback(const std::string& selectedHour);
  // The playback stop, on the calling thread.
  void StopCleanCamera();

  // The controls; each hands a command to the session thread.
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
  StreamParameters parameters() const { return session_.parameters(); }
  // Tests put their own way to the camera here; null asks the service.
  void SetOpener(SessionOpener* opener) { opener_ = opener; }

  // Each shown frame's bytes as received, on the frame clock's thread
  // (lumivexctl keeps them in an MP4). Set before the first start.
  std::function<void(const StreamParameters&, const ShownFrame&)> onFrame;

  struct Counters {
    std::atomic<uint64_t> shown{0};           // pictures presented
    std::atomic<uint64_t> framesReceived{0};  // whole frames the frame clock took out
  };
  Counters counters;
  uint64_t commandsSent() const { return session_.controlsSent(); }
  const CameraAudioPlayer& audioPlayer() const { return audio_; }

 private:
  void SetStatus(int32_t status);
  void RunStop();  // under lifecycleMutex_
  void Give(PlaybackCommand command);
  void ShowPosition(int32_t position, bool elapsed);
  std::string TimeLabel(int32_t position) const;  // the start time plus position

  // SessionOwner (playback_stream.cpp)
  bool SessionOpened(const StreamParameters& params) override;
  void FrameTick(bool late) override;
  bool SoundArrived(const AudioPacket& packet) override;
  void SessionFailed() override;
  void ShowFrame(const ShownFrame& frame);

  VideoSurface& canvas_;
  PlaybackListener& listener_;

  std::atomic<int32_t> m_VideoStatus{0};
  std::string curSelDate_;  // the controlling thread's
  std::atomic<int32_t> startSecond_{0};  // of the day, from "playback-initTime"
  std::atomic<int32_t> playbackGap_{0};
  std::atomic<int32_t> position_{0};          // the trackbar's
  std::atomic<int32_t> lastShownSecond_{0};   // ticks'
  std::atomic<int32_t> currentVideoTime_{0};  // ms; read by the audio player
  std::atomic<bool> paused_{false};
  std::atomic<bool> opening_{false};  // from a start until the handshake's end or a failure

  DeviceSession session_;
  ServiceOpener serviceOpener_;
  SessionOpener* opener_ = nullptr;
  StreamParameters params_;
  bool firstFrameShown_ = false;
  bool failedShown_ = false;
  PictureConverter converter_;
  CameraAudioPlayer audio_;
  std::mutex lifecycleMutex_;
};

}  // namespace lumivex
