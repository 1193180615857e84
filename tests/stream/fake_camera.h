#pragma once
// A camera without the service, for CCamera's tests: the fake opener hands
// each session one end of a socket pair and starts a camera side on the
// other, which streams a real H.264 clip and keeps the control messages it
// reads.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/user_settings.h"
#include "core/global.h"
#include "device/connection.h"
#include "sim/clip.h"
#include "sim/wire.h"
#include "stream/audio_memory.h"
#include "stream/device_session.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "webservice/service_context.h"

namespace lumivex::test {

using namespace std::chrono_literals;

// The device key the sessions seal their control messages with.
inline constexpr char kFakeCameraKey[] = "k3y9";

inline const sim::Clip& FakeCameraClip() {
  static sim::Clip clip;
  static std::once_flag once;
  std::call_once(once, [] {
    std::string error;
    if (!sim::EncodeClip({160, 90, 100000, "CAM", 0}, clip, error)) ADD_FAILURE() << error;
  });
  return clip;
}

// The camera's end: streams the clip until the session's end goes away,
// and keeps the control messages it reads.
class CameraSide {
 public:
  explicit CameraSide(int fd) : fd_(fd), thread_([this] { Run(); }) {}
  ~CameraSide() {
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  // The camera ends the connection.
  void HangUp() { ::shutdown(fd_, SHUT_RDWR); }
  // Its thread has ended (the session's end went away).
  bool ended() const { return ended_; }
  std::vector<std::string> commands() {
    std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  void Run() {
    Stream();
    ended_ = true;
  }
  void Stream() {
    const sim::Clip& clip = FakeCameraClip();
    for (int32_t n = 0;; ++n) {
      const std::size_t i = static_cast<std::size_t>(n) % clip.frames.size();
      for (const std::string& packet : sim::VideoPackets(clip.frames[i], n, clip.IsKeyFrame(i), n * 66))
        if (::send(fd_, packet.data(), packet.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(packet.size())) return;
      ReadControls();
      std::this_thread::sleep_for(20ms);  // the camera's pace, faster than the clock shows
    }
  }
  void ReadControls() {
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
      splitter_.Add(buffer, static_cast<std::size_t>(n));
    std::string packet;
    Json::Value message;
    while (splitter_.Next(packet) == 1) {
      if (!sim::OpenMessage(packet, kFakeCameraKey, sim::kPacketHeader, message)) continue;
      std::string line = message["cmd"].asString();
      if (message.isMember("control_number")) line += " " + message["control_number"].asString();
      if (message.isMember("bitRate")) line += " " + message["bitRate"].asString();
      std::lock_guard lock(mutex_);
      commands_.push_back(line);
    }
  }

  const int fd_;
  sim::PacketSplitter splitter_;
  std::mutex mutex_;
  std::vector<std::string> commands_;  // guarded by mutex_
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

// Stands in for the service and the handshake.
class FakeOpener : public SessionOpener {
 public:
  enum class Answer { kStream, kFail, kHoldUntilStopped };

  bool Open(DeviceConnection& conn, const ConnectRequest&, StreamParameters& params,
            const OpenDecoderStep& openDecoder) override {
    const Answer answer = next_.exchange(Answer::kStream);
    ++opened;
    if (answer == Answer::kHoldUntilStopped) {
      conn.stop.WaitFor(60s);
      return false;
    }
    if (answer == Answer::kFail) return false;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
    conn.tcpSocket = fds[0];
    conn.m_DeviceNATType = natType.load();
    conn.transVideoLong = transVideoLong;
    {
      std::lock_guard lock(mutex_);
      std::erase_if(cameras_, [](const auto& side) { return side->ended(); });  // their sessions have gone
      cameras_.push_back(std::make_unique<CameraSide>(fds[1]));
    }
    const sim::Clip& clip = FakeCameraClip();
    params.width = clip.key.width;
    params.height = clip.key.height;
    params.m_VideoTimeGap = 66;
    params.parameterSets = {ParameterSetPackage::Record(clip.sps), clip.pps};
    return openDecoder(params);
  }
  void AnswerNext(Answer answer) { next_ = answer; }
  CameraSide& last() {
    std::lock_guard lock(mutex_);
    return *cameras_.back();
  }
  std::atomic<int> opened{0};
  // What the service would have said of the camera: how it is reached and,
  // for a relay, its time limit in minutes (-1 none).
  std::atomic<int32_t> natType{DEVICE_LAN};
  std::atomic<int32_t> transVideoLong{-1};

 private:
  std::atomic<Answer> next_{Answer::kStream};
  std::mutex mutex_;
  std::vector<std::unique_ptr<CameraSide>> cameras_;  // guarded by mutex_
};

// Threads of this process now.
inline int ThreadCount() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// What a run of cameras needs besides its wall: a context whose device key
// the fake cameras share, sound devices in memory, the fake opener.
struct FakeRun {
  FakeRun() : ctx(global, settings, notifier, dir.str()) { global.m_DevKeyValue.Assign(kFakeCameraKey); }

  TempDir dir;
  Global global;
  UserSettings settings;
  RecordingNotifier notifier;
  ServiceContext ctx;
  MemoryDevices devices;
  FakeOpener opener;
};

}  // namespace lumivex::test
