// Start, stop and the controls of a playback session.

#include "playback/playback_session.h"

#include <algorithm>
#include <future>

#include "core/logging.h"

namespace lumivex {

PlaybackSession::PlaybackSession(ServiceContext& ctx, AudioDevices& devices, DisplayClock& clock, std::string sid,
                                 VideoSurface& canvas, PlaybackListener& listener)
    : canvas_(canvas),
      listener_(listener),
      session_(SessionKind::kPlayback, ctx, clock, *this),
      serviceOpener_(ctx, std::move(sid)),
      audio_(devices, &session_.connection().stop) {
  audio_.SetVideoClock(&currentVideoTime_);
  canvas_.ShowStatus(StatusPicture::kIdle);
}

PlaybackSession::~PlaybackSession() { StopCleanCamera(); }

void PlaybackSession::SetStatus(int32_t status) {
  if (m_VideoStatus.exchange(status) != status) listener_.StatusChanged(status);
}

bool PlaybackSession::StartPlayback(const std::string& selectedHour) {
  LogLine("on button click play back video ");
  if (m_VideoStatus == STATUS_VIDEO_FAILED) {
    LogLine("m_PlaybkCanvas->m_VideoStatus == STATUS_VIDEO_FAILED");
  } else if (opening_) {
    LogLine("m_hStartThread != NULL ");
    return false;
  }
  LogLine("m_hStartThread == NULL and create the routine");
  LogLine("m_CurSelDate=" + selectedHour);
  std::lock_guard lock(lifecycleMutex_);
  if (m_VideoStatus != STATUS_READY) {
    LogLine("m_VideoStatus != STATUS_READY");
    SetStatus(STATUS_VIDEO_CONNECTING);
    RunStop();
  }
  curSelDate_ = selectedHour;
  position_ = 0;
  lastShownSecond_ = 0;
  currentVideoTime_ = 0;
  paused_ = false;
  SetStatus(STATUS_VIDEO_CONNECTING);
  canvas_.ShowStatus(StatusPicture::kConnecting);
  opening_ = true;
  LogLine("go to RequestStart");
  if (!session_.Start(opener_ ? *opener_ : serviceOpener_, ConnectRequest{true, selectedHour})) {
    SessionFailed();
    return false;
  }
  return true;
}

void PlaybackSession::StopCleanCamera() {
  std::lock_guard lock(lifecycleMutex_);
  RunStop();
}

void PlaybackSession::RunStop() {
  LogLine("StopCleanCamera");
  session_.Stop();
  if (audio_.startRunning()) {
    std::promise<void> cleaned;
    if (audio_.CleanCameraAudioAsync([&cleaned] { cleaned.set_value(); })) cleaned.get_future().wait();
  }
  converter_.Release();
  opening_ = false;
  LogLine("StopCleanCamera success");
}

void PlaybackSession::Give(PlaybackCommand command) {
  JsonMessage message;
  switch (command.kind) {
    case PlaybackCommand::Kind::kJump:
      message = session_.Control("jump");
      message["point"] = std::to_string(command.point);
      break;
    case PlaybackCommand::Kind::kResume:
      message = session_.Control("playback-play");
      break;
    case PlaybackCommand::Kind::kPause:
      message = session_.Control("playback-pause");
      break;
  }
  session_.PutCommand(std::move(message));
}

void PlaybackSession::ShowPosition(int32_t position, bool elapsed) {
  position_ = position;
  listener_.PositionChanged(position, elapsed ? FormatClock(Elapsed(position)) : TimeLabel(position));
}

std::string PlaybackSession::TimeLabel(int32_t position) const {
  return FormatClock(AddSeconds(Elapsed(startSecond_), position));
}

void PlaybackSession::Forward() {
  const int32_t position = ForwardPosition(position_, playbackGap_);
  ShowPosition(position, true);
  Give({PlaybackCommand::Kind::kJump, position});
}

void PlaybackSession::Back() {
  const int32_t position = BackPosition(position_);
  ShowPosition(position, true);
  Give({PlaybackCommand::Kind::kJump, position});
}

void PlaybackSession::Pause() {
  paused_ = true;
  Give({PlaybackCommand::Kind::kPause, 0});
}

void PlaybackSession::Resume() {
  paused_ = false;
  Give({PlaybackCommand::Kind::kResume, 0});
}

void PlaybackSession::JumpTo(int32_t position) {
  position = std::clamp(position, 0, std::max(0, playbackGap_.load()));
  ShowPosition(position, false);
  Give({PlaybackCommand::Kind::kJump, position});
}

}  // namespace lumivex
