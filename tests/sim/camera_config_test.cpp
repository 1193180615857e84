// The "camera" object of a scenario device: defaults, every knob, and the
// refusals that name their place.

#include <gtest/gtest.h>

#include "sim/scenario.h"

namespace lumivex::sim {
namespace {

std::string Refusal(const std::string& camera) {
  Scenario s;
  std::string error;
  EXPECT_FALSE(ParseScenario(R"({"devices": [{"sid": "a", "camera": )" + camera + "}]}", s, error)) << camera;
  return error;
}

TEST(CameraConfig, DefaultsAndEveryKnob) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(R"({"devices": [{"sid": "plain"},
      {"sid": "all", "camera": {"width": 1280, "height": 720, "bitRate": 1200000, "audio": "aac",
       "audioSample": 8000, "listen": "shared", "closeAfterSeconds": 3, "dropFragment": {"frame": 4, "index": 2},
       "startOnNonKey": true, "mediaBeforeReply": true, "neverAnswer": true, "refuse": true,
       "traversal": "hold", "helloFromOtherPort": true, "playbackGap": 90, "playbackStartSecond": 1790,
       "playbackAudioShiftMs": -500, "_note": "ignored"}}]})", s, error)) << error;
  const CameraConfig& d = s.FindDevice("plain")->camera;
  EXPECT_EQ(d.width, 640);
  EXPECT_EQ(d.height, 360);
  EXPECT_EQ(d.bitRate, 480000);
  EXPECT_EQ(d.audio, CameraAudio::kSpeex);
  EXPECT_FALSE(d.sharedPort || d.startOnNonKey || d.mediaBeforeReply || d.neverAnswer || d.refuse);
  EXPECT_EQ(d.dropFrame, -1);
  EXPECT_EQ(d.traversal, TraversalAnswer::kPeerAddress);
  EXPECT_EQ(d.playbackGap, 3600);
  EXPECT_EQ(d.playbackStartSecond, 0);
  EXPECT_EQ(d.playbackAudioShiftMs, 0);
  const CameraConfig& c = s.FindDevice("all")->camera;
  EXPECT_EQ(c.width, 1280);
  EXPECT_EQ(c.audio, CameraAudio::kAac);
  EXPECT_EQ(c.audioSample, 8000);
  EXPECT_TRUE(c.sharedPort && c.startOnNonKey && c.mediaBeforeReply && c.neverAnswer && c.refuse &&
              c.helloFromOtherPort);
  EXPECT_EQ(c.closeAfterSeconds, 3);
  EXPECT_EQ(c.dropFrame, 4);
  EXPECT_EQ(c.dropFragment, 2);
  EXPECT_EQ(c.traversal, TraversalAnswer::kHold);
  EXPECT_EQ(c.playbackGap, 90);
  EXPECT_EQ(c.playbackStartSecond, 1790);
  EXPECT_EQ(c.playbackAudioShiftMs, -500);
}

TEST(CameraConfig, RefusalsNameTheKey) {
  EXPECT_EQ(Refusal(R"({"widht": 640})"), "devices[0].camera.widht: unknown key");
  EXPECT_EQ(Refusal(R"({"width": 641})"), "devices[0].camera.width: expected an even number");
  EXPECT_EQ(Refusal(R"({"height": 4000})"), "devices[0].camera.height: expected an integer 16 to 1088");
  EXPECT_EQ(Refusal(R"({"audio": "mp3"})"), "devices[0].camera.audio: expected one of \"speex\", \"aac\", \"none\"");
  EXPECT_EQ(Refusal(R"({"audioSample": 12345})"), "devices[0].camera.audioSample: not an AAC sampling rate");
  EXPECT_EQ(Refusal(R"({"dropFragment": 3})"), "devices[0].camera.dropFragment: expected {\"frame\": N, \"index\": I}");
  EXPECT_EQ(Refusal(R"({"dropFragment": {"frame": 1, "fragment": 0}})"),
            "devices[0].camera.dropFragment.fragment: unknown key");
  EXPECT_EQ(Refusal(R"({"refuse": 1})"), "devices[0].camera.refuse: expected true or false");
  EXPECT_EQ(Refusal(R"({"playbackGap": 0})"), "devices[0].camera.playbackGap: expected an integer 1 to 2147483647");
  EXPECT_EQ(Refusal(R"({"playbackStartSecond": 3600})"),
            "devices[0].camera.playbackStartSecond: expected an integer 0 to 3599");
  EXPECT_EQ(Refusal(R"({"playbackAudioShiftMs": -60001})"),
            "devices[0].camera.playbackAudioShiftMs: expected an integer -60000 to 60000");
  EXPECT_EQ(Refusal(R"([])"), "devices[0].camera: expected an object");
}

}  // namespace
}  // namespace lumivex::sim
