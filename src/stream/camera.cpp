// Start, stop and the reconnect watchdog of a camera's live view.

#include "stream/camera.h"

#include <algorithm>
#include <system_error>

#include "core/logging.h"
#include "core/threads.h"
#include "stream/audio_device.h"
#include "webservice/service_context.h"

namespace lumivex {

int32_t AutoQualityLevel(int windowWidth) {
  if (windowWidth < 400) return kQualityLevels[0];
  return windowWidth < 960 ? kQualityLevels[1] : kQualityLevels[2];
}

CCamera::CCamera(StreamEnvironment& env, std::string sid, std::string name)
    : env_(env), sid_(std::move(sid)), name_(std::move(name)), audio_(env.audioDevices, &conn_.stopRequested),
      talk_(env.audioDevices, &conn_.stopRequested) {}

CCamera::~CCamera() {
  {
    std::lock_guard lock(watchdogMutex_);
    watchdogQuit_ = true;
  }
  watchdogWake_.notify_all();
  JoinIfStarted(watchdog_);
  {
    std::lock_guard lock(stopThreadMutex_);
    JoinIfStarted(stopThread_);
  }
  bool active;
  {
    std::lock_guard lock(lifecycleMutex_);
    active = sessionActive_;
  }
  if (active) RunStop(StopKind::kWatchdog);  // the same clean-up, without a restart
  std::lock_guard lock(stopThreadMutex_);
  JoinIfStarted(stopThread_);  // one a relay guard may have started meanwhile
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

StreamParameters CCamera::parameters() const {
  std::lock_guard lock(paramsMutex_);
  return params_;
}

AudioStreamInfo CCamera::audioInfo() const {
  std::lock_guard lock(paramsMutex_);
  return AudioStreamInfo{params_.audio, params_.m_AudioSample};
}

void CCamera::Rotate() {
  rotation = (rotation + 1) % kRotations;
  Redraw();
}

void CCamera::RequestPanTilt(PtzDirection direction) {
  {
    std::lock_guard lock(wakeMutex_);
    ptzPending_[static_cast<int>(direction)] = true;
  }
  wake_.notify_all();
}

bool CCamera::panTiltPending(PtzDirection direction) const {
  std::lock_guard lock(wakeMutex_);
  return ptzPending_[static_cast<int>(direction)];
}

void CCamera::SetStatus(int32_t status) {
  if (m_VideoStatus.exchange(status) == status) return;
  LogState(status);
  Wake();
}

void CCamera::Wake() {
  // Taken between the change and the notice: a waiter is either before its
  // check, and sees the change, or already waiting, and is woken.
  { std::lock_guard lock(wakeMutex_); }
  wake_.notify_all();
}

bool CCamera::WaitUnlessStopped(std::chrono::milliseconds time, const std::function<bool()>& done) {
  std::unique_lock lock(wakeMutex_);
  wake_.wait_for(lock, time, [&] { return conn_.stopRequested || done(); });
  return conn_.stopRequested;
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
    // No pause before the watchdog: its first check only acts on a failed
    // session, and a wall starting sixteen cameras must not wait 200 ms each.
    EnsureWatchdog();
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
  {
    std::lock_guard lock(wakeMutex_);
    std::fill(std::begin(ptzPending_), std::end(ptzPending_), false);  // none meant for this session
    qualityPending_ = 0;
  }
  SetStatus(STATUS_VIDEO_CONNECTING);
  env_.wall.AssignWindow(*this);  // sets wallPage and wallIndex under the wall's lock
  sessionActive_ = true;
  StartPainter();
  session_ = std::thread([this] { SessionThread(); });
}

void CCamera::Fail() { SetStatus(STATUS_VIDEO_FAILED); }

void CCamera::LogState(int32_t status) const {
  LogInfo("camera " + sid_ + ": " + VideoStatusName(status));
}

void CCamera::StartPainter() {
  JoinIfStarted(painter_);  // one that ended with an earlier session
  painter_ = std::thread([this] { PaintStatus(); });
}

void CCamera::EnsureWatchdog() {
  {
    std::lock_guard lock(watchdogMutex_);
    watchdogSuspended_ = false;
  }
  watchdogWake_.notify_all();
  if (!watchdog_.joinable()) watchdog_ = std::thread([this] { Watchdog(); });
}

void CCamera::Watchdog() {
  std::unique_lock lock(watchdogMutex_);
  while (!watchdogQuit_) {
    watchdogWake_.wait(lock, [this] { return watchdogQuit_ || !watchdogSuspended_; });
    if (watchdogQuit_) return;
    lock.unlock();
    if (m_VideoStatus == STATUS_VIDEO_FAILED && natType() != DEVICE_TRAN_SRV && !stopping_) {
      std::lock_guard life(lifecycleMutex_);
      if (sessionActive_ && m_VideoStatus == STATUS_VIDEO_FAILED) {
        stopping_ = true;
        RunStop(StopKind::kWatchdog);
        stopping_ = false;
        BeginSession();
        restartPending = 0;  // a start asked for meanwhile is this one
      }
    }
    lock.lock();
    watchdogWake_.wait_for(lock, env_.watchdogPeriod, [this] { return watchdogQuit_; });
  }
}

void CCamera::StopCleanCamera() {
  stopping_ = true;
  {
    std::lock_guard lock(lifecycleMutex_);
    {
      std::lock_guard w(watchdogMutex_);
      watchdogSuspended_ = true;
    }
    RunStop(StopKind::kUser);
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

void CCamera::JoinSessionThreads() {
  JoinIfStarted(painter_);
  JoinIfStarted(session_);
  // The session thread started these and set clockId_; it has ended.
  for (std::thread* t : {&relayLimit_, &relayCutoff_, &keepAlive_, &receiver_, &controls_}) JoinIfStarted(*t);
  if (const uint64_t id = clockId_.exchange(0)) env_.displayClock.Remove(id);
}

void CCamera::RunStop(StopKind kind) {
  conn_.stopRequested = true;
  Wake();
  JoinSessionThreads();
  if (!talk_.stopRunning()) talk_.CleanLocalAudioAsync({});
  if (!audio_.stopRunning() && audio_.CleanCameraAudioAsync({})) audio_.cameraAudioOff = 1;
  env_.wall.audio().SessionStopped(this);
  ReleaseSession(kind);
}

void CCamera::ReleaseSession(StopKind kind) {
  {
    std::lock_guard lock(socketMutex_);
    sessionOpen_ = false;
    conn_.Reset();
  }
  ringInUse_ = nullptr;
  ring_.reset();
  decoder_.Release();
  group_.Clear();
  converter_.Release();
  {
    std::lock_guard lock(paramsMutex_);
    params_ = StreamParameters{};
  }
  bitRate = -1;
  recorder_.Close();
  audio_.cameraAudioOff = 1;
  conn_.stopRequested = false;
  WallPlace place{wallPage, wallIndex};
  if (place.valid()) env_.wall.ReleaseWindow(*this, place);
  wallPage = -1;
  wallIndex = -1;
  rotation = 0;
  SetStatus(STATUS_READY);
  sessionActive_ = false;
  if (kind == StopKind::kWatchdog) LogLine("camera:StopCleanCameraCheck()");
}

}  // namespace lumivex
