// The session thread and the workers it starts: keep-alive and audio hold,
// the receive loop, the control sender (quality, pan/tilt), the relay guards.

#include <sys/socket.h>

#include <algorithm>
#include <ctime>
#include <random>
#include <system_error>
#include <utility>

#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "config/user_settings.h"
#include "core/text.h"
#include "device/negotiation.h"
#include "device/session_packet.h"
#include "device/exact_io.h"
#include "device/socket_setup.h"
#include "stream/camera.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;

constexpr int kKeepAliveWaits = 10;  // of 500 ms: one message every 5 s
constexpr auto kKeepAliveWait = 500ms;

// Seconds until a relay connection is cut, drawn at random per session.
constexpr int kRelayCutoffSeconds[] = {250, 1900, 361, 277,  380, 384, 400, 420, 432,  1000, 800, 1200, 1700,
                                       1400, 560, 607, 662, 728, 1200, 800, 2000, 842, 950, 3000, 1000, 1220};

}  // namespace

void CCamera::SessionThread() {
  if (!RequestStart(env_.ctx, sid_, conn_)) {
    Fail();
    LogLine("RequestStart() is falied and set STATUS_VIDEO_FAILED.");
    return;
  }
  if (!GetSocketByNATType(env_.ctx, conn_)) {
    Fail();
    LogLine("GetSocketBuNATType() is failed andt set the STATUS_VIDEO_FALIED.");
    return;
  }
  const bool udt = conn_.m_DeviceNATType == DEVICE_NAT_TRAVERSAL;
  StreamParameters params;
  OpenDecoderStep open = [this](const StreamParameters& p) { return OpenDecoder(p); };
  const bool ok = udt ? Ctrl_Recv_Play_UDT(env_.ctx, conn_, ConnectRequest{}, params, open)
                      : Ctrl_Recv_Play_TCP(env_.ctx, conn_, ConnectRequest{}, params, open);
  if (!ok) {
    Fail();
    if (!udt) LogLine("Ctrl_Recv_Play_TCP is failed and set STATUS_VIDEO_FAILED.");
    return;
  }
  {
    std::lock_guard lock(paramsMutex_);
    params_ = params;
  }
  bitRate = params.bitRate;
  {
    std::lock_guard lock(socketMutex_);
    sessionOpen_ = true;
  }
  if (!StartWorkers(udt) || !StartFrameTicks()) {
    Fail();
    if (!udt) LogLine("Ctrl_Recv_Play_TCP is failed and set STATUS_VIDEO_FAILED.");
  }
}

bool CCamera::OpenDecoder(const StreamParameters& params) {
  counters.replyNs = SteadyNowNs();
  if (params.width <= 0 || params.height <= 0) return false;
  ring_ = std::make_unique<FrameRing>();
  ringInUse_ = ring_.get();
  return decoder_.InitVideoDecoder(params);
}

bool CCamera::StartWorkers(bool udt) {
  try {
    if (conn_.m_DeviceNATType == DEVICE_TRAN_SRV) {
      relayLimit_ = std::thread([this] { RelayTimeLimit(); });
      relayCutoff_ = std::thread([this] { RelayRandomCutoff(); });
    }
    keepAlive_ = std::thread([this, udt] { udt ? KeepAliveUdt() : KeepAliveTcp(); });
    receiver_ = std::thread([this] { ReceiveLoop(); });
    controls_ = std::thread([this] { Controls(); });
  } catch (const std::system_error&) {
    conn_.stopRequested = true;  // the stop joins those that started
    return false;
  }
  return true;
}

JsonMessage CCamera::Control(const char* cmd) const {
  return {{"type", "control"}, {"cmd", cmd}, {"umac", env_.ctx.settings.umac.str()}};
}

bool CCamera::SendControl(const JsonMessage& message) {
  return SendSessionMessage(env_.ctx.g.m_DevKeyValue.str(), conn_, conn_.transport(), message);
}

void CCamera::KeepAliveTcp() {
  LogLine("go to the Ctrl_TCP().");
  int counter = 0;
  auto send = [&](const char* cmd, std::string* number = nullptr) {
    JsonMessage message = Control(cmd);
    message["control_number"] = std::to_string(counter++);
    if (number) *number = message["control_number"];
    if (SendControl(message)) return true;
    Fail();
    return false;
  };
  for (;;) {
    if (audio_.cameraAudioOff == 0) {
      if (!send("running")) return;
      for (int i = 0; i < kKeepAliveWaits; ++i)
        if (SleepUnlessStopped(kKeepAliveWait)) return;
      continue;
    }
    if (!send("pause")) return;
    for (int i = 0; i < kKeepAliveWaits; ++i) {
      if (conn_.stopRequested) return;
      if (audio_.cameraAudioOff == 1) {
        if (SleepUnlessStopped(kKeepAliveWait)) return;
        continue;
      }
      std::string number;
      if (!send("running", &number)) return;
      LogLine("a=" + number);
      break;  // and the next keep-alive at once
    }
  }
}

void CCamera::KeepAliveUdt() {
  for (;;) {
    if (!SendControl(Control("running"))) return Fail();
    if (SleepUnlessStopped(kKeepAliveWait * kKeepAliveWaits)) return;
  }
}

void CCamera::ReceiveLoop() {
  const std::string devKey = env_.ctx.g.m_DevKeyValue.str();
  const Transport transport = conn_.transport();
  SessionPacket packet;
  VideoFragment fragment;
  AudioPacket sound;
  for (;;) {
    if (conn_.stopRequested) return;
    Received received = ReceiveSessionPacket(conn_, transport, packet);
    if (received == Received::kStopped) return;
    if (received == Received::kFailed) return Fail();
    switch (packet.type()) {
      case FLAG_DEVICE_VIDEO_STREAM:
        if (!ParseVideoFragment(packet, fragment)) return Fail();
        ring_->Insert(fragment);
        break;
      case FLAG_DEVICE_AUDIO_STREAM_AAC:
        if (transport == Transport::kUdt) return Fail();  // a UDT session carries Speex only
        [[fallthrough]];
      case FLAG_DEVICE_AUDIO_STREAM_SPEEX:
        if (!ParseAudioPacket(packet, sound)) return Fail();
        if (audio_.cameraAudioOff == 0) audio_.StorePacket(sound);
        break;
      case FLAG_INTERACTIVE: {
        Json::Value message;
        if (!OpenSessionPacket(devKey, packet, message) || !message.isObject()) break;
        const Json::Value& cmd = message["cmd"];
        if (cmd.isString() && EqualsIgnoreCase(cmd.asString(), "close")) return Fail();
        break;
      }
      default:
        return Fail();
    }
  }
}

const char* CCamera::NextControl(bool panTilt, int32_t& quality) {
  // By PtzDirection; left before right before up before down.
  static constexpr const char* kPanTilt[] = {"turnLeft", "turnRight", "turnUp", "turnDown"};
  const auto firstPanTilt = [this, panTilt] {
    const auto first = std::find(std::begin(ptzPending_), std::end(ptzPending_), true);
    return panTilt ? first : std::end(ptzPending_);  // a UDT session sends no pan/tilt
  };
  std::unique_lock lock(wakeMutex_);
  wake_.wait(lock, [&] { return conn_.stopRequested || qualityPending_ || firstPanTilt() != std::end(ptzPending_); });
  if (conn_.stopRequested) return nullptr;
  if (qualityPending_) {
    quality = std::exchange(qualityPending_, 0);
    return "resetBitRate";
  }
  bool* first = firstPanTilt();
  *first = false;
  return kPanTilt[first - std::begin(ptzPending_)];
}

void CCamera::Controls() {
  const bool panTilt = conn_.transport() != Transport::kUdt;
  for (;;) {
    int32_t quality = 0;
    const char* cmd = NextControl(panTilt, quality);
    if (!cmd) return;
    JsonMessage message = Control(cmd);
    if (quality) message["bitRate"] = std::to_string(quality);
    if (!SendControl(message)) return Fail();
    if (!quality && SleepUnlessStopped(50ms)) return;  // at most one pan/tilt command every 50 ms
  }
}

bool CCamera::SetQuality(int32_t level) {
  if (std::find(std::begin(kQualityLevels), std::end(kQualityLevels), level) == std::end(kQualityLevels))
    return false;
  {
    std::lock_guard lock(socketMutex_);
    if (!sessionOpen_ || (conn_.udtSocket == kNoUdtSocket && conn_.tcpSocket < 0)) return false;
  }
  bitRate = level;  // kept even when the send then fails
  {
    std::lock_guard lock(wakeMutex_);
    qualityPending_ = level;  // a later ask replaces one not yet sent
  }
  wake_.notify_all();
  return true;
}

void CCamera::RelayTimeLimit() {
  if (conn_.transVideoLong == -1) return;
  const auto limit = std::chrono::minutes(std::max(0, conn_.transVideoLong));
  if (SleepUnlessStopped(std::chrono::duration_cast<std::chrono::milliseconds>(limit))) return;
  LogLine("the relay time limit of " + std::to_string(conn_.transVideoLong) + " minutes is reached");
  StopCleanCameraAsync();
}

void CCamera::RelayRandomCutoff() {
  std::mt19937 random(static_cast<unsigned>(std::time(nullptr)) ^ static_cast<unsigned>(std::hash<std::string>{}(sid_)));
  const int seconds = kRelayCutoffSeconds[random() % std::size(kRelayCutoffSeconds)];
  if (SleepUnlessStopped(std::chrono::seconds(seconds))) return;
  // The receive loop then fails; shutting down instead of closing keeps the
  // descriptor from being reused under the other workers.
  ::shutdown(conn_.tcpSocket, SHUT_RDWR);
  if (env_.cutoffNoticePending.exchange(false))
    env_.ctx.notifier.MessageBox("提示", "检测到当前网速不稳定，请稍后重试");
}

bool CCamera::SendTalkPacket(const std::string& packet) {
  // The stop closes the sockets under the same lock, so a talk-back sender
  // never writes to a descriptor that was closed, or reused, meanwhile.
  std::lock_guard lock(socketMutex_);
  return sessionOpen_ && !conn_.stopRequested && SendLen(conn_, conn_.transport(), packet.data(), packet.size());
}

}  // namespace lumivex
