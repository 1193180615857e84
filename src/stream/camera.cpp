// Start, stop and the reconnect of a camera's live view.

#include "stream/camera.h"

#include <algorithm>
#include <system_error>

#include "core/logging.h"
#include "core/threads.h"
#include "stream/audio_device.h"
#include "stream/session_clock.h"
#include "webservice/service_context.h"

namespace lumivex {

int32_t AutoQualityLevel(int windowWidth) {
  if (windowWidth < 400) return kQualityLevels[0];
  return windowWidth < 960 ? kQualityLevels[1] : kQualityLevels[2];
}

CCamera::CCamera(StreamEnvironment& env, std::string sid, std::string name)
    : env_(env),
      sid_(std::move(sid)),
      name_(std::move(name)),
      session_(SessionKind::kLive, env.ctx, env.displayClock, *this),
      serviceOpener_(env.ctx, sid_),
      audio_(env.audioDevices, &session_.connection().stop),
      talk_(env.audioDevices, &session_.connection().stop) {
  session_.soundPlaying = [this] { return audio_.cameraAudioOff == 0; };
}

CCamera::~CCamera() {
  env_.watchdog.Remove(this);
  {
    std::lock_guard lock(stopThreadMutex_);
    JoinIfStarted(stopThread_);
  }
  {
    std::lock_guard lock(lifecycleMutex_);
    if (sessionActive_) RunStop();
  }
  std::lock_guard lock(stopThreadMutex_);
  JoinIfStarted(stopThread_);  // one the relay limit may have started meanwhile
  env_.wall.audio().Forget(this);
}

std::string CCamera::name() const {
  std::lock_guard lock(nameMutex_);
  return name_;
}

void CCamera::SetName(std::string name) {
  std::lock_guard lock(nameMutex_);
  name_ = std::move(name);
}

AudioStreamInfo CCamera::audioInfo() const {
  const StreamParameters params = session_.parameters();
  return AudioStreamInfo{params.audio, params.m_AudioSample};
}

void CCamera::Rotate() {
  rotation = (rotation + 1) % kRotations;
  Redraw();
}

bool CCamera::SetQuality(int32_t level) {
  if (std::find(std::begin(kQualityLevels), std::end(kQualityLevels), level) == std::end(kQualityLevels))
    return false;
  if (!session_.open()) return false;
  bitRate = level;  // kept even when the send then fails
  JsonMessage message = session_.Control("resetBitRate");
  message["bitRate"] = std::to_string(level);
  session_.PutCommand(std::move(message));
  return true;
}

void CCamera::SetStatus(int32_t status) {
  if (m_VideoStatus.exchange(status) == status) return;
  LogInfo("camera " + sid_ + ": " + VideoStatusName(status));
}

void CCamera::ShowStatus(StatusPicture status) {
  if (const SurfaceLease window = env_.wall.Lease(*this)) window->ShowStatus(status);
}

void CCamera::StartCamera() {
  if (stopping_) {
    restartPending = 1;
    // The stop may have ended between the check and the flag.
    if (stopping_ || !restartPending.exchange(0)) return;
  }
  std::unique_lock lock(lifecycleMutex_);
  if (!sessionActive_) {
    BeginSession();
    lock.unlock();
    watched_ = true;
    env_.watchdog.Add(this, [this] { CheckReconnect(); });
    return;
  }
  if (m_VideoStatus == STATUS_VIDEO_FAILED) {
    restartPending = 1;
    lock.unlock();
    StopCleanCamera();  // it restarts at its end
  }
}

void CCamera::BeginSession() {
  counters.shown = counters.decoded = counters.reduced = counters.dropped = counters.late = 0;
  counters.decodeCpuNs = counters.convertCpuNs = 0;
  counters.firstPictureNs = counters.replyNs = 0;
  counters.startedNs = SteadyNowNs();
  SetStatus(STATUS_VIDEO_CONNECTING);
  env_.wall.AssignWindow(*this);
  ShowStatus(StatusPicture::kConnecting);
  sessionActive_ = true;
  if (!session_.Start(env_.opener ? *env_.opener : serviceOpener_, ConnectRequest{})) SessionFailed();
}

void CCamera::CheckReconnect() {
  if (!watched_ || stopping_ || m_VideoStatus != STATUS_VIDEO_FAILED || natType() == DEVICE_TRAN_SRV) return;
  std::lock_guard life(lifecycleMutex_);
  if (!sessionActive_ || m_VideoStatus != STATUS_VIDEO_FAILED) return;
  stopping_ = true;
  RunStop();
  LogLine("camera:StopCleanCameraCheck()");
  stopping_ = false;
  BeginSession();
  restartPending = 0;  // a start asked for meanwhile is this one
}

void CCamera::StopCleanCamera() {
  stopping_ = true;
  {
    std::lock_guard lock(lifecycleMutex_);
    watched_ = false;
    RunStop();
  }
  stopping_ = false;
  if (restartPending.exchange(0)) StartCamera();
}

bool CCamera::StopCleanCameraAsync() {
  std::lock_guard lock(stopThreadMutex_);
  if (stopping_) return false;
  JoinIfStarted(stopThread_);
  stopping_ = true;  // a start from now on only asks for a restart
  try {
    stopThread_ = std::thread([this] { StopCleanCamera(); });
  } catch (const std::system_error&) {
    stopping_ = false;
    return false;
  }
  return true;
}

void CCamera::RunStop() {
  session_.Stop();  // its threads and ticks have ended when it returns
  if (!talk_.stopRunning()) talk_.CleanLocalAudioAsync({});
  if (!audio_.stopRunning() && audio_.CleanCameraAudioAsync({})) audio_.cameraAudioOff = 1;
  env_.wall.audio().SessionStopped(this);
  group_.Clear();
  converter_.Release();
  bitRate = -1;
  recorder_.Close();
  audio_.cameraAudioOff = 1;
  env_.wall.ReleaseWindow(*this);
  rotation = 0;
  SetStatus(STATUS_READY);
  sessionActive_ = false;
}

}  // namespace lumivex
