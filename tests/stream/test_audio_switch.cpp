// The wall's choice of the listening and the talking camera, with real
// players on in-memory devices behind stand-in cameras.

#include <gtest/gtest.h>

#include <atomic>

#include "stream/audio_memory.h"
#include "stream/audio_switch.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

using test::WaitFor;

class Party : public AudioParty {
 public:
  explicit Party(AudioDevices& devices) : player(devices, &stop), talk(devices, &stop) {}

  CameraAudioPlayer& audioPlayer() override { return player; }
  TalkBack& talkBack() override { return talk; }
  AudioStreamInfo audioInfo() const override {
    // Asked for as the switch starts this camera: the one left must be quiet by then.
    if (other && (other->player.startRunning() || other->talk.startRunning())) ++startedBeforeOtherStopped;
    ++starts;
    return {CameraAudio::kSpeex, 8000};
  }
  bool SendTalkPacket(const std::string&) override { return true; }

  StopSignal stop;
  CameraAudioPlayer player;
  TalkBack talk;
  Party* other = nullptr;
  mutable std::atomic<int> starts{0}, startedBeforeOtherStopped{0};
};

class AudioSwitchTest : public ::testing::Test {
 protected:
  AudioSwitchTest() {
    a.other = &b;
    b.other = &a;
  }
  ~AudioSwitchTest() override {
    wall.Forget(&a);
    wall.Forget(&b);
  }
  // The cameras go before the switch.
  AudioSwitch wall;
  MemoryDevices devices;
  Party a{devices}, b{devices};
};

TEST_F(AudioSwitchTest, NothingSelected) {
  EXPECT_EQ(wall.Listen(nullptr), SwitchResult::kNoSelection);
  EXPECT_EQ(wall.Talk(nullptr), SwitchResult::kNoSelection);
  EXPECT_EQ(wall.audioCamera(), nullptr);
  wall.Mute();
  wall.StopTalk();
}

TEST_F(AudioSwitchTest, ListeningToBWhileAPlaysStopsAFirstThenStartsB) {
  ASSERT_EQ(wall.Listen(&a), SwitchResult::kStarted);
  EXPECT_EQ(wall.audioCamera(), &a);
  EXPECT_TRUE(a.player.startRunning());
  EXPECT_EQ(wall.Listen(&a), SwitchResult::kNothing);
  EXPECT_EQ(a.starts, 1);

  ASSERT_EQ(wall.Listen(&b), SwitchResult::kSwitching);
  ASSERT_TRUE(WaitFor([&] { return wall.audioCamera() == &b && b.player.startRunning(); }));
  EXPECT_FALSE(a.player.startRunning());
  EXPECT_EQ(b.startedBeforeOtherStopped, 0);
  EXPECT_EQ(wall.nextAudio(), nullptr);

  wall.Mute();
  EXPECT_EQ(wall.audioCamera(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return !b.player.startRunning() && !b.player.stopRunning(); }));
  EXPECT_EQ(wall.audioCamera(), nullptr);
}

TEST_F(AudioSwitchTest, TalkFollowsTheSameRules) {
  ASSERT_EQ(wall.Talk(&a), SwitchResult::kStarted);
  EXPECT_EQ(wall.talkingCamera(), &a);
  EXPECT_EQ(wall.Talk(&a), SwitchResult::kNothing);
  ASSERT_EQ(wall.Talk(&b), SwitchResult::kSwitching);
  ASSERT_TRUE(WaitFor([&] { return wall.talkingCamera() == &b && b.talk.startRunning(); }));
  EXPECT_FALSE(a.talk.startRunning());
  EXPECT_EQ(b.startedBeforeOtherStopped, 0);
  wall.StopTalk();
  EXPECT_EQ(wall.talkingCamera(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return !b.talk.startRunning(); }));
}

TEST_F(AudioSwitchTest, ListeningAgainRightAfterMutingPlaysAgain) {
  ASSERT_EQ(wall.Listen(&a), SwitchResult::kStarted);
  wall.Mute();
  // Whether or not the stop still runs, the camera ends up playing.
  ASSERT_EQ(wall.Listen(&a), SwitchResult::kStarted);
  ASSERT_TRUE(WaitFor([&] { return a.player.startRunning() && !a.player.stopRunning() && wall.nextAudio() == nullptr; }));
  EXPECT_EQ(wall.audioCamera(), &a);
}

TEST_F(AudioSwitchTest, MutingWhileSwitchingStartsNothing) {
  ASSERT_EQ(wall.Listen(&a), SwitchResult::kStarted);
  ASSERT_EQ(wall.Listen(&b), SwitchResult::kSwitching);
  wall.Mute();
  EXPECT_EQ(wall.audioCamera(), nullptr);
  EXPECT_EQ(wall.nextAudio(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return !a.player.startRunning() && !a.player.stopRunning(); }));
  // A's stop may have handed over before the mute came; the mute then stops
  // B. Either way B ends up silent.
  ASSERT_TRUE(WaitFor([&] { return !b.player.startRunning() && !b.player.stopRunning(); }));
  EXPECT_EQ(b.player.cameraAudioOff, 1);
  EXPECT_EQ(wall.audioCamera(), nullptr);
}

TEST_F(AudioSwitchTest, ASessionStopLetsGoOfItsCamera) {
  ASSERT_EQ(wall.Listen(&a), SwitchResult::kStarted);
  ASSERT_EQ(wall.Talk(&a), SwitchResult::kStarted);
  // What the camera's stop does.
  ASSERT_TRUE(a.talk.CleanLocalAudioAsync({}));
  ASSERT_TRUE(a.player.CleanCameraAudioAsync({}));
  wall.SessionStopped(&a);
  EXPECT_EQ(wall.audioCamera(), nullptr);
  EXPECT_EQ(wall.talkingCamera(), nullptr);
  EXPECT_EQ(wall.Listen(&b), SwitchResult::kStarted);
  EXPECT_EQ(wall.audioCamera(), &b);
}

TEST_F(AudioSwitchTest, ASessionStopDuringASwitchStillHandsOver) {
  ASSERT_EQ(wall.Listen(&a), SwitchResult::kStarted);
  ASSERT_EQ(wall.Listen(&b), SwitchResult::kSwitching);
  a.player.CleanCameraAudioAsync({});  // refused or not: the switch's stop runs
  wall.SessionStopped(&a);
  ASSERT_TRUE(WaitFor([&] { return wall.audioCamera() == &b && b.player.startRunning(); }));
}

TEST_F(AudioSwitchTest, ACameraThatGoesAwayIsForgotten) {
  ASSERT_EQ(wall.Listen(&a), SwitchResult::kStarted);
  ASSERT_EQ(wall.Listen(&b), SwitchResult::kSwitching);
  wall.Forget(&a);
  EXPECT_EQ(wall.audioCamera(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return wall.audioCamera() == &b && b.player.startRunning(); }));
  wall.Forget(&b);
  EXPECT_EQ(wall.audioCamera(), nullptr);
  EXPECT_EQ(wall.nextAudio(), nullptr);
}

}  // namespace
}  // namespace lumivex

namespace lumivex {
namespace {

// A machine without a microphone.
class NoInput : public MemoryDevices {
 public:
  std::unique_ptr<AudioInput> MakeInput() override { return nullptr; }
};

TEST(AudioSwitchFailure, TalkBackWithoutAnInputStopsItsLaneAndIsToldOnce) {
  AudioSwitch wall;
  std::atomic<int> inputs{0}, outputs{0};
  wall.SetFailureHandler([&](AudioFailure f) { ++(f == AudioFailure::kInput ? inputs : outputs); });
  NoInput devices;
  {
    Party a(devices);
    ASSERT_EQ(wall.Talk(&a), SwitchResult::kStarted);
    ASSERT_TRUE(WaitFor([&] { return inputs == 1 && wall.talkingCamera() == nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return !a.talk.startRunning() && !a.talk.stopRunning(); }));
    // The next press tries again.
    ASSERT_EQ(wall.Talk(&a), SwitchResult::kStarted);
    ASSERT_TRUE(WaitFor([&] { return inputs == 2 && wall.talkingCamera() == nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return !a.talk.startRunning(); }));
    wall.Forget(&a);
  }
  // A stop is no failure.
  MemoryDevices working;
  Party b(working);
  ASSERT_EQ(wall.Talk(&b), SwitchResult::kStarted);
  ASSERT_TRUE(WaitFor([&] { return b.talk.talking == 1; }));
  wall.StopTalk();
  ASSERT_TRUE(WaitFor([&] { return !b.talk.startRunning() && !b.talk.stopRunning(); }));
  wall.Forget(&b);
  EXPECT_EQ(inputs, 2);
  EXPECT_EQ(AudioFailureTip(AudioFailure::kInput), std::string("无法打开本地音频设备"));
  EXPECT_EQ(outputs, 0);
}

}  // namespace
}  // namespace lumivex
