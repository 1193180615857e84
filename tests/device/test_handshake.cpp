// The session handshake against a scripted camera on the other end of a
// socket pair: what the client sends, which replies it takes.

#include <gtest/gtest.h>

#include <thread>

#include "device/stream_handshake.h"
#include "device_fixture.h"

namespace lumivex {
namespace {

using test::SocketPair;

const std::string kSps = std::string("\x67\x42\xc0\x1e\xd9\x00", 6);
const std::string kPps = std::string("\x68\xce\x3c\x80", 4);

std::string Reply(const std::string& members) {
  return "{\"type\":\"connect\",\"width\":\"640\",\"height\":\"360\",\"timeGap\":\"40\"," + members +
         "\"sps\":\"" + test::raw::Base64(kSps) + "\",\"pps\":\"" + test::raw::Base64(kPps) + "\"}\n";
}

// The camera: reads one interactive packet and opens it.
bool ReadMessage(const SocketPair& pair, Json::Value& message) {
  std::string head = pair.Read(3);
  if (head.size() != 3 || head[0] != 0x32) return false;
  std::size_t digits = static_cast<uint8_t>(head[1]) | static_cast<uint8_t>(head[2]) << 8;
  std::string text;
  return test::RawOpen(head + pair.Read(digits + 5), 8, text) && test::ParseJson(text, message);
}

class Handshake : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_.tcpSocket = pair_.ReleaseClient();
    conn_.sid = "cam-01";
    conn_.m_DeviceNATType = DEVICE_LAN;
  }

  // Runs the handshake while the camera answers the connect message with
  // what (media and the reply); connect and startup keep what it received.
  bool Run(const std::string& what, const ConnectRequest& request = {}, const OpenDecoderStep& decoder = {},
           bool thenClose = false) {
    std::thread camera([&] {
      if (!ReadMessage(pair_, connect_)) return;
      pair_.Write(what);
      if (thenClose) return pair_.CloseCamera();
      ReadMessage(pair_, startup_);
    });
    bool ok = Ctrl_Recv_Play_TCP(client_.ctx, conn_, request, params_, decoder);
    if (!ok) ::shutdown(conn_.tcpSocket, SHUT_RDWR);  // the camera may still wait for startup
    camera.join();
    return ok;
  }

  static std::string Sealed(const std::string& json) { return test::RawSeal(0x32, json, 8); }

  test::ClientState client_;
  SocketPair pair_;
  DeviceConnection conn_;
  Json::Value connect_, startup_;
  StreamParameters params_;
};

TEST_F(Handshake, SendsConnectTakesTheReplyAndSendsStartup) {
  ASSERT_TRUE(Run(Sealed(Reply("\"bitRate\":\"480000\","))));
  Json::Value expected(Json::objectValue);
  expected["type"] = "connect";
  expected["identity"] = "client";
  expected["umac"] = "alice,00:1a:2b:3c:4d:5e";
  expected["sid"] = "cam-01";
  expected["netType"] = "4";
  expected["link-type"] = "2";
  expected["video-playback"] = "0";
  expected["protocol"] = "v2.0";
  EXPECT_EQ(connect_, expected);
  Json::Value startup(Json::objectValue);
  startup["type"] = "startup";
  EXPECT_EQ(startup_, startup);
  EXPECT_EQ(params_.width, 640);
  EXPECT_EQ(params_.height, 360);
  EXPECT_EQ(params_.m_VideoTimeGap, 40);
  EXPECT_EQ(params_.bitRate, 480000);
  EXPECT_EQ(params_.audio, CameraAudio::kSpeex) << "no audioType: Speex";
  EXPECT_EQ(params_.m_AudioSample, 8000);
  EXPECT_EQ(params_.parameterSets.sps, kSps);
  EXPECT_EQ(params_.parameterSets.pps, kPps);
}

TEST_F(Handshake, SkipsVideoAndAudioBeforeTheReply) {
  std::string media = test::MediaPacket(0x46, 1375) + test::MediaPacket(0x5A, 200) + test::MediaPacket(0x5B, 64);
  ASSERT_TRUE(Run(media + Sealed(Reply("\"bitRate\":\"88000\",\"audioType\":\"aac\",\"audioSample\":\"16000\","))));
  EXPECT_EQ(params_.audio, CameraAudio::kAac);
  EXPECT_EQ(params_.m_AudioSample, 16000);
  EXPECT_EQ(params_.bitRate, 88000);
}

TEST_F(Handshake, ANullAudioTypeIsSpeex) {
  ASSERT_TRUE(Run(Sealed(Reply("\"bitRate\":\"1\",\"audioType\":null,"))));
  EXPECT_EQ(params_.audio, CameraAudio::kSpeex);
  EXPECT_EQ(params_.m_AudioSample, 8000);
}

TEST_F(Handshake, FailsOnABitRateThatIsAJsonNumber) {
  EXPECT_FALSE(Run(Sealed(Reply("\"bitRate\":480000,"))));
  EXPECT_TRUE(startup_.isNull()) << "no startup after a refused reply";
}

TEST_F(Handshake, FailsOnAudioTypeSpeex) { EXPECT_FALSE(Run(Sealed(Reply("\"bitRate\":\"1\",\"audioType\":\"speex\",")))); }

TEST(ConnectReply, EveryMemberMustBeTextAndTheTypeConnect) {
  const char* kBroken[] = {
      "{\"type\":\"connect\",\"height\":\"1\",\"timeGap\":\"1\",\"bitRate\":\"1\",\"sps\":\"Z0I=\",\"pps\":\"aM4=\"}",
      "{\"type\":\"connecT\",\"width\":\"1\",\"height\":\"1\",\"timeGap\":\"1\",\"bitRate\":\"1\",\"sps\":\"Z0I=\",\"pps\":\"aM4=\"}",
      "{\"type\":\"connect\",\"width\":\"1\",\"height\":1,\"timeGap\":\"1\",\"bitRate\":\"1\",\"sps\":\"Z0I=\",\"pps\":\"aM4=\"}",
      "{\"type\":\"connect\",\"width\":\"1\",\"height\":\"1\",\"timeGap\":\"1\",\"bitRate\":\"1\",\"sps\":\"Z0I\",\"pps\":\"aM4=\"}",
      "{\"type\":\"connect\",\"width\":\"1\",\"height\":\"1\",\"timeGap\":\"1\",\"bitRate\":\"1\",\"audioType\":\"aac\",\"sps\":\"Z0I=\",\"pps\":\"aM4=\"}",
      "{\"type\":\"connect\",\"width\":\"1\",\"height\":\"1\",\"timeGap\":\"1\",\"bitRate\":\"1\",\"audioType\":7,\"sps\":\"Z0I=\",\"pps\":\"aM4=\"}",
  };
  for (const char* text : kBroken) {
    Json::Value reply;
    ASSERT_TRUE(test::ParseJson(text, reply)) << text;
    StreamParameters params;
    EXPECT_FALSE(ParseConnectReply(reply, false, params)) << text;
  }
  Json::Value good;
  ASSERT_TRUE(test::ParseJson(
      "{\"type\":\"connect\",\"width\":\"1\",\"height\":\"1\",\"timeGap\":\"1\",\"bitRate\":\"1\",\"sps\":\"Z0I=\",\"pps\":\"aM4=\"}",
      good));
  StreamParameters params;
  EXPECT_TRUE(ParseConnectReply(good, false, params));
  EXPECT_FALSE(ParseConnectReply(good, true, params)) << "playback needs playbackGap";
  std::string sixty(60, 'x');
  good["sps"] = test::raw::Base64(sixty);
  EXPECT_FALSE(ParseConnectReply(good, false, params)) << "more than a record's 59 bytes";
}

TEST_F(Handshake, PlaybackAsksForTheHourAndNeedsPlaybackGap) {
  ConnectRequest request{true, "20140520-08"};
  ASSERT_TRUE(Run(Sealed(Reply("\"playbackGap\":\"3600\",\"playback-initTime\":\"20140520080000\",")), request));
  EXPECT_EQ(connect_["video-playback"].asString(), "1");
  EXPECT_EQ(connect_["request-date"].asString(), "20140520-08");
  EXPECT_EQ(params_.playbackGap, 3600);
  EXPECT_EQ(params_.playbackInitTime, "20140520080000");
}

TEST_F(Handshake, TheDecoderStepSeesTheParametersAndCanRefuse) {
  StreamParameters seen;
  auto refuse = [&](const StreamParameters& p) { return seen = p, false; };
  EXPECT_FALSE(Run(Sealed(Reply("\"bitRate\":\"1\",")), {}, refuse));
  EXPECT_EQ(seen.parameterSets.sps, kSps);
  EXPECT_TRUE(startup_.isNull());
}

TEST(ParameterSets, NeedAnSpsAndAPpsNalUnit) {
  EXPECT_TRUE(ValidParameterSets({kSps, kPps}));
  EXPECT_TRUE(ValidParameterSets({std::string("\0\0\0\1", 4) + kSps, std::string("\0\0\1", 3) + kPps}));
  EXPECT_FALSE(ValidParameterSets({kPps, kSps}));
  EXPECT_FALSE(ValidParameterSets({kSps, ""}));
  EXPECT_FALSE(ValidParameterSets({std::string("\0\0\0\1", 4), kPps}));
  EXPECT_FALSE(ValidParameterSets({"\xE7\x42", kPps})) << "forbidden bit";
  EXPECT_EQ(ParameterSetPackage::Record(kPps), std::string("\0\0\0\1\x68\xce\x3c\x80", 8));
}

TEST_F(Handshake, EndsWhenTheCameraClosesBeforeReplying) {
  EXPECT_FALSE(Run(test::MediaPacket(0x46, 10).substr(0, 20), {}, {}, true));
}

}  // namespace
}  // namespace lumivex
