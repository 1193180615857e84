// Start, stop and the controls of a playback session.

#include "playback/playback_session.h"

#include <algorithm>
#include <future>
#include <system_error>

#include "core/global.h"
#include "core/logging.h"
#include "core/threads.h"
#include "device/negotiation.h"
#include "device/socket_setup.h"
#include "stream/session_clock.h"
#include "webservice/service_context.h"

namespace lumivex {

PlaybackSession::PlaybackSession(ServiceContext& ctx, AudioDevices& devices, std::string sid, VideoSurface& canvas,
                                 PlaybackListener& listener)
    : ctx_(ctx),
      sid_(std::move(sid)),
      canvas_(canvas),
      listener_(listener),
      audio_(devices, &conn_.stopRequested) {
  conn_.enlargeReceiveBuffer = false;
  audio_.SetVideoClock(&currentVideoTime_);
  canvas_.ShowStatus(StatusPicture::kIdle, 0);
  painter_ = std::thread([this] { PaintStatus(); });
}

PlaybackSession::~PlaybackSession() {
  closeFlag_ = true;
  JoinIfStarted(painter_);
  StopCleanCamera();
}

void PlaybackSession::SetStatus(int32_t status) {
  if (m_VideoStatus.exchange(status) != status) listener_.StatusChanged(status);
}

StreamParameters PlaybackSession::parameters() const {
  std::lock_guard lock(paramsMutex_);
  return params_;
}

bool PlaybackSession::SleepUnlessStopped(std::chrono::milliseconds time) const {
  return lumivex::SleepUnlessStopped(conn_.stopRequested, time);
}

bool PlaybackSession::StartPlayback(const std::string& selectedHour) {
  LogLine("on button click play back video ");
  if (m_VideoStatus == STATUS_VIDEO_FAILED) {
    LogLine("m_PlaybkCanvas->m_VideoStatus == STATUS_VIDEO_FAILED");
    JoinStartThread();  // a failed start has ended or is about to
  }
  if (startRunning_) {
    LogLine("m_hStartThread != NULL ");
    return false;
  }
  JoinStartThread();
  LogLine("m_hStartThread == NULL and create the routine");
  curSelDate_ = selectedHour;
  cancelled_ = false;
  startRunning_ = true;
  try {
    startThread_ = std::thread([this, selectedHour] { StartThread(selectedHour); });
  } catch (const std::system_error&) {
    startRunning_ = false;
    return false;
  }
  return true;
}

void PlaybackSession::JoinStartThread() { JoinIfStarted(startThread_); }

void PlaybackSession::StartThread(std::string selectedHour) {
  LogLine("go to  the playback start");
  LogLine("m_CurSelDate=" + selectedHour);
  position_ = 0;
  lastShownSecond_ = 0;
  currentVideoTime_ = 0;
  paused_ = false;
  if (m_VideoStatus != STATUS_READY) {
    LogLine("m_VideoStatus != STATUS_READY");
    SetStatus(STATUS_VIDEO_CONNECTING);
    RunStop();
  }
  SetStatus(STATUS_VIDEO_CONNECTING);
  if (cancelled_ || !OpenSession()) SetStatus(STATUS_VIDEO_FAILED);
  startRunning_ = false;
}

bool PlaybackSession::OpenSession() {
  LogLine("go to RequestStart");
  if (!RequestStart(ctx_, sid_, conn_, true, curSelDate_) || cancelled_) return false;
  if (!GetSocketByNATType(ctx_, conn_) || cancelled_) return false;
  const bool udt = conn_.m_DeviceNATType == DEVICE_NAT_TRAVERSAL;
  StreamParameters params;
  OpenDecoderStep open = [this](const StreamParameters& p) { return OpenDecoder(p); };
  ConnectRequest request{true, curSelDate_};
  LogLine("Ctrl_Recv_Play_TCP");
  const bool ok = udt ? Ctrl_Recv_Play_UDT(ctx_, conn_, request, params, open)
                      : Ctrl_Recv_Play_TCP(ctx_, conn_, request, params, open);
  if (!ok) return false;
  RecordingStart start;
  if (!ParseInitTime(params.playbackInitTime, start) || params.playbackGap < 0) {
    LogLine("the connect reply's playback-initTime is not a time");
    return false;
  }
  {
    std::lock_guard lock(paramsMutex_);
    params_ = params;
  }
  startSecond_ = start.time.hour * 3600 + start.time.minute * 60 + start.time.second;
  playbackGap_ = params.playbackGap;
  LogLine("Label1");
  listener_.RecordingKnown(FormatClock(start.time), FormatClock(AddSeconds(start.time, params.playbackGap)),
                           params.playbackGap);
  listener_.PositionChanged(0, FormatClock(start.time));
  LogLine("startup");
  return StartWorkers(udt);
}

bool PlaybackSession::OpenDecoder(const StreamParameters& params) {
  LogLine("sps_pps");
  if (params.width <= 0 || params.height <= 0) return false;
  std::lock_guard lock(ringMutex_);
  ring_ = std::make_unique<FrameRing>();
  return decoder_.InitVideoDecoder(params);
}

bool PlaybackSession::StartWorkers(bool /*udt*/) {
  try {
    keepAlive_ = std::thread([this] { KeepAlive(); });
    control_ = std::thread([this] { ControlCommands(); });
    receiver_ = std::thread([this] { ReceiveLoop(); });
    timerSetup_ = std::thread([this] { TimerSetUp(); });
  } catch (const std::system_error&) {
    conn_.stopRequested = true;  // the stop joins those that started
    return false;
  }
  if (params_.audio == CameraAudio::kAac) {
    LogLine("m_AudioSample=" + std::to_string(params_.m_AudioSample));
    audio_.StartCameraAudio(AudioStreamInfo{params_.audio, params_.m_AudioSample});
  }
  return true;
}

void PlaybackSession::StopCleanCamera() {
  cancelled_ = true;
  conn_.stopRequested = true;  // a start under way gives up at its next wait
  JoinStartThread();
  RunStop();
}

void PlaybackSession::RunStop() {
  std::lock_guard lock(lifecycleMutex_);
  LogLine("StopCleanCamera");
  conn_.stopRequested = true;
  commandWake_.notify_all();
  for (std::thread* t : {&keepAlive_, &receiver_, &timerSetup_, &control_}) JoinIfStarted(*t);
  JoinIfStarted(clock_);  // the timer set-up started it
  if (audio_.startRunning()) {
    std::promise<void> cleaned;
    if (audio_.CleanCameraAudioAsync([&cleaned] { cleaned.set_value(); })) cleaned.get_future().wait();
  }
  conn_.Reset();
  {
    std::lock_guard c(commandMutex_);
    command_.reset();
  }
  {
    std::lock_guard p(paramsMutex_);
    params_ = StreamParameters{};
  }
  {
    std::lock_guard r(ringMutex_);
    ring_.reset();
  }
  decoder_.Release();
  converter_.Release();
  firstFrameShown_ = 0;
  conn_.stopRequested = false;
  LogLine("StopCleanCamera success");
}

void PlaybackSession::Give(PlaybackCommand command) {
  {
    std::lock_guard lock(commandMutex_);
    command_ = command;
  }
  commandWake_.notify_one();
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
