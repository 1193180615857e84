// CCamera without the service: an opener that hands the session one end of
// a socket pair, and a camera side that streams a real H.264 clip into the
// other end and reads what the session sends back.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "config/user_settings.h"
#include "core/global.h"
#include "sim/clip.h"
#include "sim/wire.h"
#include "stream/audio_memory.h"
#include "stream/camera.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;
using test::WaitFor;

constexpr char kKey[] = "k3y9";

const sim::Clip& TestClip() {
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
    const sim::Clip& clip = TestClip();
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
    while ((n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) splitter_.Add(buffer, static_cast<std::size_t>(n));
    std::string packet;
    Json::Value message;
    while (splitter_.Next(packet) == 1) {
      if (!sim::OpenMessage(packet, kKey, sim::kPacketHeader, message)) continue;
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
    conn.m_DeviceNATType = DEVICE_LAN;
    {
      std::lock_guard lock(mutex_);
      cameras_.push_back(std::make_unique<CameraSide>(fds[1]));
    }
    const sim::Clip& clip = TestClip();
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

 private:
  std::atomic<Answer> next_{Answer::kStream};
  std::mutex mutex_;
  std::vector<std::unique_ptr<CameraSide>> cameras_;  // guarded by mutex_
};

int ThreadCount() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

class Camera : public ::testing::Test {
 protected:
  Camera() : ctx(global, settings, notifier, dir.str()) {
    global.m_DevKeyValue.Assign(kKey);
    env.opener = &opener;
  }
  ~Camera() override { cameras.clear(); }

  CCamera& Add(const std::string& sid) {
    cameras.push_back(std::make_unique<CCamera>(env, sid, sid));
    return *cameras.back();
  }
  CountingSurface& SurfaceOf(CCamera& camera) { return *wall.surface(camera.place().index); }
  bool Playing(CCamera& camera) {
    return WaitFor([&] { return camera.m_VideoStatus == STATUS_VIDEO_PLAYING && camera.counters.shown > 2; });
  }

  test::TempDir dir;
  Global global;
  UserSettings settings;
  test::RecordingNotifier notifier;
  ServiceContext ctx;
  MemoryDevices devices;
  HeadlessWall wall{16, PictureSize{160, 90}};
  FakeOpener opener;
  StreamEnvironment env{ctx, wall, devices};
  std::vector<std::unique_ptr<CCamera>> cameras;
};

TEST_F(Camera, StartsPlaysStopsAndStartsAgainWithTwoThreadsEach) {
  CCamera& first = Add("c0");
  first.StartCamera();
  ASSERT_TRUE(Playing(first));
  // The controls reach the camera in order, from its session thread: the
  // keep-alive held the sound ("pause"), quality, then pan/tilt.
    ASSERT_TRUE(first.SetQuality(88000));
  first.RequestPanTilt(PtzDirection::kLeft);
  first.RequestPanTilt(PtzDirection::kUp);
  ASSERT_TRUE(WaitFor([&] { return opener.last().commands().size() >= 4; }));
  EXPECT_EQ(opener.last().commands(),
            (std::vector<std::string>{"pause 0", "resetBitRate 88000", "turnLeft", "turnUp"}));

  first.StopCleanCamera();
  EXPECT_EQ(first.m_VideoStatus, STATUS_READY);
  EXPECT_FALSE(first.place().valid());
  // What the run keeps: the watchdog's thread, the clock's (held by an
  // entry of the test's own), not the camera side of the test.
  const uint64_t held = env.displayClock.Add(1h, [](bool) {});
  ASSERT_TRUE(WaitFor([&] { return opener.last().ended(); }));
  const int idle = ThreadCount();

  for (int i = 1; i < 8; ++i) Add("c" + std::to_string(i));
  for (auto& camera : cameras) camera->StartCamera();
  for (auto& camera : cameras) ASSERT_TRUE(Playing(*camera)) << camera->sid();
  const int n = static_cast<int>(cameras.size());
  EXPECT_LE(ThreadCount() - idle - n, 2 * n) << "beside the test's camera sides, one each";
  EXPECT_EQ(opener.opened, 9);

  for (auto& camera : cameras) camera->StopCleanCamera();
  EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= idle; }));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(wall.surface(i)->lastStatus(), static_cast<int>(StatusPicture::kIdle));
  env.displayClock.Remove(held);
}

TEST_F(Camera, AStopDuringTheStartEndsIt) {
  CCamera& camera = Add("c0");
  opener.AnswerNext(FakeOpener::Answer::kHoldUntilStopped);
  camera.StartCamera();
  ASSERT_TRUE(WaitFor([&] { return opener.opened == 1; }));
  EXPECT_EQ(camera.m_VideoStatus, STATUS_VIDEO_CONNECTING);
  EXPECT_EQ(SurfaceOf(camera).lastStatus(), static_cast<int>(StatusPicture::kConnecting));
  camera.StopCleanCamera();
  EXPECT_EQ(camera.m_VideoStatus, STATUS_READY);
  camera.StartCamera();  // and the next start plays
  EXPECT_TRUE(Playing(camera));
}

TEST_F(Camera, AFailureShowsAndTheWatchdogStartsAgainUnlessTheUserStopped) {
  env.watchdog.SetPeriod(100ms);
  CCamera& camera = Add("c0");
  opener.AnswerNext(FakeOpener::Answer::kFail);
  camera.StartCamera();
  ASSERT_TRUE(WaitFor([&] { return SurfaceOf(camera).lastStatus() == static_cast<int>(StatusPicture::kFailed); }));
  ASSERT_TRUE(Playing(camera)) << "the watchdog's restart";
  EXPECT_EQ(opener.opened, 2);

  // The camera hangs up: the frames still in the ring are shown, then the
  // failed picture; the watchdog tries again (and fails this time).
  opener.AnswerNext(FakeOpener::Answer::kFail);
  opener.last().HangUp();
  ASSERT_TRUE(WaitFor([&] { return camera.m_VideoStatus == STATUS_VIDEO_FAILED; }));
  ASSERT_TRUE(WaitFor([&] { return SurfaceOf(camera).lastStatus() == static_cast<int>(StatusPicture::kFailed); }));
  ASSERT_TRUE(WaitFor([&] { return opener.opened == 3; }));
  // Stopped by the user, a failed camera stays stopped: three periods pass
  // without another attempt.
  camera.StopCleanCamera();
  const int opened = opener.opened;
  EXPECT_FALSE(WaitFor([&] { return opener.opened != opened; }, 350ms));
}

}  // namespace
}  // namespace lumivex
