// CCamera without the service: the fake opener hands each session one end
// of a socket pair, the fake camera streams a real clip into the other.

#include <gtest/gtest.h>

#include "stream/fake_camera.h"
#include "stream/camera.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;
using test::CameraSide;
using test::FakeOpener;
using test::WaitFor;

class Camera : public ::testing::Test {
 protected:
  Camera() { env.opener = &run.opener; }
  ~Camera() override { cameras.clear(); }

  CCamera& Add(const std::string& sid) {
    cameras.push_back(std::make_unique<CCamera>(env, sid, sid));
    return *cameras.back();
  }
  // The status picture of the camera's window; -1 while it has none (the
  // watchdog's restart gives the window back and takes one again).
  int StatusShown(CCamera& camera) {
    const CountingSurface* surface = wall.surface(camera.place().index);
    return surface ? surface->lastStatus() : -1;
  }
  bool Playing(CCamera& camera) {
    return WaitFor([&] { return camera.m_VideoStatus == STATUS_VIDEO_PLAYING && camera.counters.shown > 2; });
  }

  test::FakeRun run;
  HeadlessWall wall{16, PictureSize{160, 90}};
  StreamEnvironment env{run.ctx, wall, run.devices};
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
  ASSERT_TRUE(WaitFor([&] { return run.opener.last().commands().size() >= 4; }));
  EXPECT_EQ(run.opener.last().commands(),
            (std::vector<std::string>{"pause 0", "resetBitRate 88000", "turnLeft", "turnUp"}));

  first.StopCleanCamera();
  EXPECT_EQ(first.m_VideoStatus, STATUS_READY);
  EXPECT_FALSE(first.place().valid());
  // What the run keeps: the watchdog's thread, the clock's (held by an
  // entry of the test's own), not the camera side of the test.
  const uint64_t held = env.displayClock.Add(1h, [](bool) {});
  ASSERT_TRUE(WaitFor([&] { return run.opener.last().ended(); }));
  const int idle = test::ThreadCount();

  for (int i = 1; i < 8; ++i) Add("c" + std::to_string(i));
  for (auto& camera : cameras) camera->StartCamera();
  for (auto& camera : cameras) ASSERT_TRUE(Playing(*camera)) << camera->sid();
  const int n = static_cast<int>(cameras.size());
  EXPECT_LE(test::ThreadCount() - idle - n, 2 * n) << "beside the test's camera sides, one each";
  EXPECT_EQ(run.opener.opened, 9);

  for (auto& camera : cameras) camera->StopCleanCamera();
  EXPECT_TRUE(WaitFor([&] { return test::ThreadCount() <= idle; }));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(wall.surface(i)->lastStatus(), static_cast<int>(StatusPicture::kIdle));
  env.displayClock.Remove(held);
}

TEST_F(Camera, AStopDuringTheStartEndsIt) {
  CCamera& camera = Add("c0");
  run.opener.AnswerNext(FakeOpener::Answer::kHoldUntilStopped);
  camera.StartCamera();
  ASSERT_TRUE(WaitFor([&] { return run.opener.opened == 1; }));
  EXPECT_EQ(camera.m_VideoStatus, STATUS_VIDEO_CONNECTING);
  EXPECT_EQ(StatusShown(camera), static_cast<int>(StatusPicture::kConnecting));
  camera.StopCleanCamera();
  EXPECT_EQ(camera.m_VideoStatus, STATUS_READY);
  camera.StartCamera();  // and the next start plays
  EXPECT_TRUE(Playing(camera));
}

TEST_F(Camera, AFailureShowsAndTheWatchdogStartsAgainUnlessTheUserStopped) {
  env.watchdog.SetPeriod(100ms);
  CCamera& camera = Add("c0");
  run.opener.AnswerNext(FakeOpener::Answer::kFail);
  camera.StartCamera();
  ASSERT_TRUE(WaitFor([&] { return StatusShown(camera) == static_cast<int>(StatusPicture::kFailed); }));
  ASSERT_TRUE(Playing(camera)) << "the watchdog's restart";
  EXPECT_EQ(run.opener.opened, 2);

  // The camera hangs up: the frames still in the ring are shown, then the
  // failed picture; the watchdog tries again (and fails this time).
  run.opener.AnswerNext(FakeOpener::Answer::kFail);
  run.opener.last().HangUp();
  ASSERT_TRUE(WaitFor([&] { return camera.m_VideoStatus == STATUS_VIDEO_FAILED; }));
  ASSERT_TRUE(WaitFor([&] { return StatusShown(camera) == static_cast<int>(StatusPicture::kFailed); }));
  ASSERT_TRUE(WaitFor([&] { return run.opener.opened == 3; }));
  // Stopped by the user, a failed camera stays stopped: three periods pass
  // without another attempt.
  camera.StopCleanCamera();
  const int opened = run.opener.opened;
  EXPECT_FALSE(WaitFor([&] { return run.opener.opened != opened; }, 350ms));
}

TEST_F(Camera, ARelayTimeLimitBeyondTheClockIsNoLimit) {
  // The service's limit in minutes may be anything: 2147483647 minutes
  // overflows a steady-clock deadline and must not end the session at once.
  run.opener.natType = DEVICE_TRAN_SRV;
  run.opener.transVideoLong = INT32_MAX;
  CCamera& camera = Add("c0");
  camera.StartCamera();
  ASSERT_TRUE(Playing(camera));
  const uint64_t shown = camera.counters.shown;
  ASSERT_TRUE(WaitFor(
      [&] { return camera.counters.shown > shown + 5 || camera.m_VideoStatus != STATUS_VIDEO_PLAYING; }));
  EXPECT_EQ(camera.m_VideoStatus, STATUS_VIDEO_PLAYING);
}

}  // namespace
}  // namespace lumivex
