// The session thread once the camera streams: keep-alive and the sound
// hold, control commands, the relay limits, as timed events on one wait.

#include <sys/socket.h>

#include <algorithm>
#include <ctime>
#include <random>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "stream/device_session.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;
using Clock = StopSignal::Clock;

constexpr auto kKeepAlivePeriod = 5s;
constexpr auto kPanTiltPause = 50ms;  // at most one pan/tilt command this often
constexpr auto kNever = Clock::time_point::max();

// By PtzDirection; left before right before up before down.
constexpr const char* kPanTiltCommands[] = {"turnLeft", "turnRight", "turnUp", "turnDown"};

// Seconds until a relay connection is cut, drawn at random per session.
constexpr int kRelayCutoffSeconds[] = {250, 1900, 361, 277,  380, 384, 400, 420, 432,  1000, 800, 1200, 1700,
                                       1400, 560, 607, 662, 728, 1200, 800, 2000, 842, 950, 3000, 1000, 1220};

// now + wait, or never when the sum would pass the clock's range (the
// service's limit in minutes may be anything up to 2147483647).
Clock::time_point After(Clock::time_point now, std::chrono::minutes wait) {
  return wait >= std::chrono::duration_cast<std::chrono::minutes>(kNever - now) ? kNever : now + wait;
}

int FirstPending(const bool (&pending)[4]) {
  const auto first = std::find(std::begin(pending), std::end(pending), true);
  return first == std::end(pending) ? -1 : static_cast<int>(first - std::begin(pending));
}

}  // namespace

JsonMessage DeviceSession::Control(const char* cmd) const {
  return {{"type", "control"}, {"cmd", cmd}, {"umac", ctx_.settings.umac.str()}};
}

bool DeviceSession::Send(const JsonMessage& message) {
  return SendSessionMessage(ctx_.g.m_DevKeyValue.str(), conn_, conn_.transport(), message);
}

void DeviceSession::RequestPanTilt(PtzDirection direction) {
  {
    std::lock_guard lock(conn_.stop.mutex());
    panTiltPending_[static_cast<int>(direction)] = true;
  }
  conn_.stop.Notify();
}

bool DeviceSession::panTiltPending(PtzDirection direction) {
  std::lock_guard lock(conn_.stop.mutex());
  return panTiltPending_[static_cast<int>(direction)];
}

void DeviceSession::PutCommand(JsonMessage message) {
  {
    std::lock_guard lock(conn_.stop.mutex());
    command_ = std::move(message);
  }
  conn_.stop.Notify();
}

void DeviceSession::RunEvents() {
  const bool live = kind_ == SessionKind::kLive;
  const bool tcp = conn_.transport() == Transport::kTcp;
  // Live TCP numbers its keep-alives and holds the camera's sound while it
  // does not play; a UDT or playback session sends plain "running".
  const bool holdsSound = live && tcp;
  const bool panTilt = live && tcp;  // a UDT session sends no pan/tilt
  int counter = 0;
  bool held = false;  // the last keep-alive was "pause"
  const auto playing = [this] { return soundPlaying && soundPlaying(); };
  const auto keepAlive = [&](const char* cmd) {
    JsonMessage message = Control(cmd);
    if (holdsSound) message["control_number"] = std::to_string(counter++);
    return Send(message);
  };

  Clock::time_point keepAliveAt = Clock::now(), panTiltAt = Clock::now();
  Clock::time_point limitAt = kNever, cutAt = kNever;
  if (live && conn_.m_DeviceNATType == DEVICE_TRAN_SRV) {
    if (conn_.transVideoLong != -1)
      limitAt = After(Clock::now(), std::chrono::minutes(std::max(0, conn_.transVideoLong)));
    std::mt19937 random(static_cast<unsigned>(std::time(nullptr)) ^
                        static_cast<unsigned>(std::hash<std::string>{}(conn_.sid.str())));
    cutAt = Clock::now() + std::chrono::seconds(kRelayCutoffSeconds[random() % std::size(kRelayCutoffSeconds)]);
  }
  for (;;) {
    Clock::time_point deadline = std::min({keepAliveAt, limitAt, cutAt});
    {
      std::lock_guard lock(conn_.stop.mutex());
      if (panTilt && FirstPending(panTiltPending_) >= 0) deadline = std::min(deadline, panTiltAt);
    }
    const auto due = [&] {  // under the wait's lock
      const bool pan = panTilt && FirstPending(panTiltPending_) >= 0;
      return command_.has_value() || (pan && (Clock::now() >= panTiltAt || deadline > panTiltAt)) ||
             (held && playing());
    };
    if (conn_.stop.WaitUntil(deadline, due)) return;
    if (!SendControls(panTilt, panTiltAt)) return Fail();
    const Clock::time_point now = Clock::now();
    if (held && playing()) {
      // The sound came on: tell the camera at once, then keep alive as usual.
      JsonMessage message = Control("running");
      message["control_number"] = std::to_string(counter++);
      if (!Send(message)) return Fail();
      LogLine("a=" + message["control_number"]);
      held = false;
      keepAliveAt = now;
    }
    if (now >= keepAliveAt) {
      held = holdsSound && !playing();
      if (!keepAlive(held ? "pause" : "running")) return Fail();
      keepAliveAt = now + kKeepAlivePeriod;
    }
    if (now >= limitAt) {
      limitAt = kNever;
      LogLine("the relay time limit of " + std::to_string(conn_.transVideoLong) + " minutes is reached");
      owner_.RelayTimeUp();
    }
    if (now >= cutAt) {
      cutAt = kNever;
      // The receive loop then fails; shutting down instead of closing keeps
      // the descriptor from being reused under the receive thread.
      ::shutdown(conn_.tcpSocket, SHUT_RDWR);
      owner_.RelayCut();
    }
  }
}

bool DeviceSession::SendControls(bool panTilt, Clock::time_point& panTiltAt) {
  for (;;) {
    JsonMessage message;
    bool pan = false;
    {
      std::lock_guard lock(conn_.stop.mutex());
      const int first = panTilt && Clock::now() >= panTiltAt ? FirstPending(panTiltPending_) : -1;
      if (command_) {
        message = std::move(*command_);
        command_.reset();
      } else if (first >= 0) {
        message = Control(kPanTiltCommands[first]);
        panTiltPending_[first] = false;
        pan = true;
      } else {
        return true;
      }
    }
    if (!Send(message)) return false;
    controlsSent_.fetch_add(1, std::memory_order_relaxed);
    if (pan) panTiltAt = Clock::now() + kPanTiltPause;
  }
}

}  // namespace lumivex
