// Which window shows which camera changes under running sessions (layout
// changes, swaps, page turns): every picture still lands in the window of
// the camera that drew it, and starting and stopping over and over leaves
// no thread behind. Both run in the sanitizer trees too.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "stream/camera.h"
#include "stream/fake_camera.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;
using test::WaitFor;

// Counts the pictures presented under a caption that is not its owner's.
class CheckingSurface : public VideoSurface {
 public:
  PictureSize DrawingSize() const override { return {160, 90}; }
  Picture& BackBuffer() override { return buffers_.Back(); }
  void Present(const FrameOverlay& overlay) override {
    // The presenting camera holds the lease: the owner cannot change meanwhile.
    if (overlay.caption.rfind(owner_ + "  ", 0) != 0) ++strays;
    buffers_.Swap();
    ++presented;
  }
  void ShowStatus(StatusPicture) override {}
  void SetOwner(const std::string& name) { owner_ = name; }  // under the lease

  std::atomic<int> strays{0};
  std::atomic<uint64_t> presented{0};

 private:
  PictureBuffers buffers_;
  std::string owner_;  // guarded by leaseMutex()
};

// Two pages of sixteen windows whose cameras the test moves about at will,
// the way the desktop wall's layout changes, swaps and page turns do.
class ShufflingWall : public VideoWall {
 public:
  static constexpr int kWindows = 32, kPerPage = 16;

  ShufflingWall() {
    for (auto& s : surfaces_) s = std::make_unique<CheckingSurface>();
  }
  WallPlace AssignWindow(CCamera& camera) override {
    std::lock_guard lock(mutex_);
    if (const int at = IndexOfLocked(camera); at >= 0) return PlaceAt(at);
    for (int i = 0; i < kWindows; ++i)
      if (!owners_[i]) return Give(i, &camera), PlaceAt(i);
    return {};
  }
  void ReleaseWindow(CCamera& camera) override {
    std::lock_guard lock(mutex_);
    if (const int at = IndexOfLocked(camera); at >= 0) Give(at, nullptr);
  }
  WallPlace PlaceOf(const CCamera& camera) const override {
    std::lock_guard lock(mutex_);
    const int at = IndexOfLocked(camera);
    return at < 0 ? WallPlace{} : PlaceAt(at);
  }
  SurfaceLease Lease(const CCamera& camera) override {
    std::lock_guard lock(mutex_);
    const int at = IndexOfLocked(camera);
    if (at < 0) return {};
    return SurfaceLease(*surfaces_[at], at / kPerPage == page_);
  }
  int currentPage() const override { return page_; }
  AudioSwitch& audio() override { return audio_; }

  // Every placed camera to another window, and now and then the other page.
  void Shuffle(std::mt19937& random) {
    std::lock_guard lock(mutex_);
    std::vector<const CCamera*> placed;
    for (int i = 0; i < kWindows; ++i)
      if (owners_[i]) placed.push_back(owners_[i]), Give(i, nullptr);
    std::vector<int> order(kWindows);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    for (std::size_t k = 0; k < placed.size(); ++k) Give(order[k], placed[k]);
    if (random() % 4 == 0) page_ = 1 - page_;
  }
  int strays() const {
    int n = 0;
    for (const auto& s : surfaces_) n += s->strays;
    return n;
  }
  uint64_t presented() const {
    uint64_t n = 0;
    for (const auto& s : surfaces_) n += s->presented;
    return n;
  }

 private:
  static WallPlace PlaceAt(int i) { return {i / kPerPage, i % kPerPage}; }
  int IndexOfLocked(const CCamera& camera) const {
    for (int i = 0; i < kWindows; ++i)
      if (owners_[i] == &camera) return i;
    return -1;
  }
  void Give(int i, const CCamera* camera) {
    std::lock_guard hold(surfaces_[i]->leaseMutex());  // waits for a tick drawing into it
    owners_[i] = camera;
    surfaces_[i]->SetOwner(camera ? camera->name() : std::string());
  }

  mutable std::mutex mutex_;
  std::unique_ptr<CheckingSurface> surfaces_[kWindows];
  const CCamera* owners_[kWindows] = {};  // guarded by mutex_
  std::atomic<int> page_{0};
  AudioSwitch audio_;
};

int FromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

class CameraWall : public ::testing::Test {
 protected:
  CameraWall() {
    env.opener = &run.opener;
    for (int i = 0; i < 16; ++i)
      cameras.push_back(std::make_unique<CCamera>(env, "s" + std::to_string(i), "cam" + std::to_string(i)));
  }
  bool AllPlay() {
    return WaitFor([&] {
      for (auto& c : cameras)
        if (c->m_VideoStatus != STATUS_VIDEO_PLAYING) return false;
      return true;
    }, 30s);
  }

  test::FakeRun run;
  ShufflingWall wall;
  StreamEnvironment env{run.ctx, wall, run.devices};
  std::vector<std::unique_ptr<CCamera>> cameras;
  std::mt19937 random{20261211};
};

TEST_F(CameraWall, NoTickDrawsIntoAnotherCamerasWindow) {
  for (auto& c : cameras) c->StartCamera();
  ASSERT_TRUE(AllPlay());
  const uint64_t before = wall.presented();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(FromEnvironment("LUMIVEX_WALL_SECONDS", 3));
  int shuffles = 0;
  while (std::chrono::steady_clock::now() < end) {
    wall.Shuffle(random);
    ++shuffles;
    WaitFor([&] { return false; }, std::chrono::milliseconds(random() % 30));  // a user's pace, varied
  }
  EXPECT_GT(wall.presented(), before + 16) << "pictures came while the windows moved";
  EXPECT_EQ(wall.strays(), 0) << "in " << shuffles << " changes";
}

TEST_F(CameraWall, StartingAndStoppingOverAndOverLeavesNothingBehind) {
  const int idle = test::ThreadCount();
  const int cycles = FromEnvironment("LUMIVEX_CHURN_CYCLES", 300);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    for (auto& c : cameras) c->StartCamera();
    wall.Shuffle(random);
    // Some stop while they connect, some while they stream; some on the
    // caller's thread, some on their own stop thread.
    if (cycle % 3 == 1) {
      ASSERT_TRUE(WaitFor([&] {
        for (auto& c : cameras)
          if (c->counters.decoded == 0) return false;
        return true;
      })) << "cycle " << cycle;
    }
    wall.Shuffle(random);
    for (std::size_t i = 0; i < cameras.size(); ++i) {
      if (i % 2 == 0 || !cameras[i]->StopCleanCameraAsync()) cameras[i]->StopCleanCamera();
    }
    ASSERT_TRUE(WaitFor([&] {
      for (auto& c : cameras)
        if (c->stopRunning() || c->m_VideoStatus != STATUS_READY) return false;
      return true;
    })) << "cycle " << cycle;
  }
  EXPECT_EQ(wall.strays(), 0);
  // The run's watchdog stays; the clock, the sessions and the fake cameras go.
  EXPECT_TRUE(WaitFor([&] { return test::ThreadCount() <= idle + 1; }))
      << test::ThreadCount() << " threads, " << idle << " before";
}

}  // namespace
}  // namespace lumivex
