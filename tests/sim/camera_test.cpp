// Simulated cameras over loopback, met by a raw client: the handshake, the
// stream (fragments, frame numbers, key frames, audio) checked against the
// frame log, and every fault knob.

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/camera_fixture.h"
#include "sim/frame_log.h"

namespace lumivex::sim {
namespace {

using test::kKey;
using test::kUmac;
using test::RawTcp;
using test::Received;

using Cameras = test::CameraFixture;

TEST_F(Cameras, HandshakeThenFramesAsTheLogRecordsThem) {
  Start(R"({"sid": "cam01", "name": "Front door"})");
  RawTcp tcp;
  Json::Value reply = Handshake(tcp, CameraPort("cam01"), "cam01");
  ASSERT_TRUE(reply.isObject());
  for (const char* name : {"type", "width", "height", "timeGap", "bitRate", "sps", "pps"})
    EXPECT_TRUE(reply[name].isString()) << name;
  EXPECT_EQ(reply["type"], "connect");
  EXPECT_EQ(reply["width"], "640");
  EXPECT_EQ(reply["height"], "360");
  EXPECT_EQ(reply["timeGap"], "66");
  EXPECT_FALSE(reply.isMember("audioType"));  // Speex
  EXPECT_EQ(test::Base64Decoded(reply["sps"].asString())[0] & 0x1F, 7);
  EXPECT_EQ(test::Base64Decoded(reply["pps"].asString())[0] & 0x1F, 8);
  Startup(tcp);

  Received r;
  test::ReadStream(tcp, kKey, 32, r);  // past the end of the 30-frame loop
  ASSERT_EQ(r.frames.size(), 32u);
  std::vector<std::string> log = LogLines(32);
  ASSERT_GE(log.size(), 32u);
  for (std::size_t i = 0; i < r.frames.size(); ++i) {
    const test::ReceivedFrame& f = r.frames[i];
    EXPECT_EQ(f.number, r.frames[0].number + static_cast<int32_t>(i));
    EXPECT_EQ(f.key, i % 30 == 0) << i;
    ASSERT_TRUE(f.whole()) << i;
    EXPECT_EQ(f.bytes.substr(0, 4), std::string("\0\0\0\1", 4));
    EXPECT_EQ(f.fragments, static_cast<int>((f.bytes.size() + 1374) / 1375));
    EXPECT_EQ(log[i], FrameLogLine("cam01", f.number, f.bytes));
  }
  EXPECT_EQ(r.frames[30].bytes, r.frames[0].bytes);  // the loop
  ASSERT_GE(r.audio.size(), 5u);  // 2 s of frames, a Speex packet every 200 ms
  for (const std::string& a : r.audio) {
    EXPECT_EQ(a[0], 0x5A);
    EXPECT_EQ(a.size(), 211u);
  }
}

TEST_F(Cameras, AacCameraAnnouncesItAndSendsAdtsFrames) {
  Start(R"({"sid": "cam02", "camera": {"audio": "aac", "audioSample": 16000, "width": 320, "height": 180}})");
  RawTcp tcp;
  Json::Value reply = Handshake(tcp, CameraPort("cam02"), "cam02", "3");
  EXPECT_EQ(reply["audioType"], "aac");
  EXPECT_EQ(reply["audioSample"], "16000");
  EXPECT_EQ(reply["width"], "320");
  Startup(tcp);
  Received r;
  test::ReadStream(tcp, kKey, 10, r);
  ASSERT_GE(r.audio.size(), 5u);
  for (const std::string& a : r.audio) {
    EXPECT_EQ(a[0], 0x5B);
    EXPECT_EQ(uint8_t(a[11]), 0xFF);
    EXPECT_EQ(uint8_t(a[12]) & 0xF0, 0xF0);
  }
}

TEST_F(Cameras, KnobsShapeTheStream) {
  Start(R"({"sid": "early", "camera": {"mediaBeforeReply": true}},
           {"sid": "pframe", "camera": {"startOnNonKey": true, "audio": "none"}},
           {"sid": "drop", "camera": {"dropFragment": {"frame": 0, "index": 1}}},
           {"sid": "closer", "camera": {"closeAfterSeconds": 1}})");
  {
    RawTcp tcp;
    std::vector<std::string> early;
    ASSERT_TRUE(Handshake(tcp, CameraPort("early"), "early", "2", &early).isObject());
    ASSERT_GE(early.size(), 3u);
    EXPECT_EQ(early.front()[0], 0x46);
    EXPECT_EQ(early[early.size() - 2][0], 0x5A);
    EXPECT_EQ(early.back()[0], 0x5B);
  }
  {
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort("pframe"), "pframe").isObject());
    Startup(tcp);
    Received r;
    test::ReadStream(tcp, kKey, 30, r);
    ASSERT_EQ(r.frames.size(), 30u);
    EXPECT_FALSE(r.frames[0].key);
    EXPECT_TRUE(r.frames[29].key);  // the loop comes round to its key frame
    EXPECT_TRUE(r.audio.empty());
  }
  {
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort("drop"), "drop").isObject());
    Startup(tcp);
    Received r;
    test::ReadStream(tcp, kKey, 2, r);
    ASSERT_EQ(r.frames.size(), 2u);
    ASSERT_GT(r.frames[0].fragments, 2) << "a key frame of several fragments";
    EXPECT_EQ(r.frames[0].indexes[1], 2);  // fragment 1 left out
    EXPECT_FALSE(r.frames[0].whole());
    EXPECT_TRUE(r.frames[1].whole());
  }
  {
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort("closer"), "closer").isObject());
    Startup(tcp);
    Received r;
    test::ReadStream(tcp, kKey, 1000, r, 5000);
    EXPECT_TRUE(r.ended);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(r.messages.back()["cmd"], "close");
    EXPECT_GT(r.frames.size(), 10u);  // about a second of frames
  }
  // the frame that lost a fragment is not in the log; the one after it is
  auto has = [&](const std::string& prefix) {
    for (const std::string& line : LogLines(1))
      if (line.starts_with(prefix)) return true;
    return false;
  };
  EXPECT_FALSE(has("drop 0 "));
  EXPECT_TRUE(has("drop 1 "));
}

TEST_F(Cameras, ControlMessagesPanHoldAudioAndKeepTheSessionAlive) {
  Start(R"({"sid": "ptz", "type": "y1", "camera": {"width": 160, "height": 90}},
           {"sid": "strict", "camera": {"width": 160, "height": 90, "keepAliveTimeoutSeconds": 1}})");
  RawTcp tcp;
  ASSERT_TRUE(Handshake(tcp, CameraPort("ptz"), "ptz").isObject());
  Startup(tcp);
  auto control = [&](const std::string& cmd, const std::string& number = "") {
    const std::string counter = number.empty() ? "" : R"("control_number":")" + number + "\",";
    return SendMessage(tcp, R"({"cmd":")" + cmd + "\"," + counter + R"("type":"control","umac":")" + kUmac + "\"}");
  };
  Received first;
  test::ReadStream(tcp, kKey, 2, first);
  ASSERT_TRUE(control("turnRight") && control("pause", "0"));
  Received held;
  test::ReadStream(tcp, kKey, 59, held);  // frames 2 to 60: on to the third loop
  ASSERT_EQ(held.frames.size(), 59u);
  const test::ReceivedFrame& nextLoop = held.frames[28];
  ASSERT_TRUE(nextLoop.key);
  EXPECT_NE(nextLoop.bytes, first.frames[0].bytes) << "the picture panned at the loop's key frame";
  EXPECT_EQ(held.frames[58].bytes, nextLoop.bytes);  // and stays panned
  EXPECT_LE(held.audio.size(), 1u) << "audio held";
  ASSERT_TRUE(control("running", "1"));
  Received resumed;
  test::ReadStream(tcp, kKey, 10, resumed);
  EXPECT_GE(resumed.audio.size(), 2u);

  RawTcp quiet;  // says nothing after startup: hung up after the knob's second
  ASSERT_TRUE(Handshake(quiet, CameraPort("strict"), "strict").isObject());
  Startup(quiet);
  Received r;
  test::ReadStream(quiet, kKey, 1000, r, 4000);
  EXPECT_TRUE(r.ended);
  EXPECT_LT(r.frames.size(), 30u);
}

using SimTurn = test::CameraFixture;

TEST_F(SimTurn, TiltMovesThePictureAtTheNextKeyFrameAndBack) {
  Start(R"({"sid": "ptz", "type": "y1", "camera": {"width": 160, "height": 90, "audio": "none"}})");
  RawTcp tcp;
  ASSERT_TRUE(Handshake(tcp, CameraPort("ptz"), "ptz").isObject());
  Startup(tcp);
  auto turn = [&](const std::string& cmd) {
    return SendMessage(tcp, R"({"cmd":")" + cmd + R"(","type":"control","umac":")" + kUmac + "\"}");
  };
  Received first;
  test::ReadStream(tcp, kKey, 2, first);
  ASSERT_EQ(first.frames.size(), 2u);
  ASSERT_TRUE(turn("turnUp"));
  Received up;
  test::ReadStream(tcp, kKey, 59, up);  // frames 2 to 60
  ASSERT_EQ(up.frames.size(), 59u);
  ASSERT_TRUE(up.frames[28].key);
  EXPECT_NE(up.frames[28].bytes, first.frames[0].bytes) << "tilted at the loop's key frame";
  EXPECT_EQ(up.frames[58].bytes, up.frames[28].bytes);
  ASSERT_TRUE(turn("turnDown"));  // level again: the first clip, from the cache
  Received level;
  test::ReadStream(tcp, kKey, 30, level);  // frames 61 to 90
  ASSERT_EQ(level.frames.size(), 30u);
  ASSERT_TRUE(level.frames[29].key);
  EXPECT_EQ(level.frames[29].bytes, first.frames[0].bytes);
}

TEST_F(Cameras, RefusalsAndSilences) {
  Start(R"({"sid": "quiet", "camera": {"neverAnswer": true}},
           {"sid": "nobody", "camera": {"refuse": true}},
           {"sid": "cam01"})");
  {
    RawTcp tcp;  // read, never answered, not hung up either
    ASSERT_TRUE(tcp.Connect(CameraPort("quiet")));
    ASSERT_TRUE(tcp.Send(test::RawSeal(0x32, test::ConnectText("quiet", kUmac, "2", "v2.0"), kKey, "3e1f", 8)));
    std::string p;
    EXPECT_FALSE(tcp.ReadPacket(p, 700));
    EXPECT_FALSE(tcp.SeesEnd(100));
  }
  {
    RawTcp tcp;
    EXPECT_FALSE(tcp.Connect(CameraPort("nobody"), 1000));
    EXPECT_EQ(CameraPort("nobody"), world_->endpoints().refuse);
  }
  {
    RawTcp tcp;  // a connect connection that stays pending: neither accepted nor refused
    EXPECT_FALSE(tcp.Connect(world_->endpoints().blackhole, 500));
  }
  // unknown key, wrong sid, link-type 4 over TCP: hung up without a reply
  for (auto [key, sid, link] : {std::tuple{"abcd", "cam01", "2"}, {kKey, "cam09", "2"}, {kKey, "cam01", "4"}}) {
    RawTcp tcp;
    ASSERT_TRUE(tcp.Connect(CameraPort("cam01")));
    ASSERT_TRUE(tcp.Send(test::RawSeal(0x32, test::ConnectText(sid, kUmac, link, "v2.0"), key, "3e1f", 8)));
    std::string p;
    EXPECT_FALSE(tcp.ReadPacket(p, 2000)) << sid << " " << link;
  }
}

TEST_F(Cameras, SharedPortFindsTheCameraBySid) {
  Start(R"({"sid": "a", "camera": {"listen": "shared", "width": 320, "height": 180}},
           {"sid": "b", "camera": {"listen": "shared"}})");
  ASSERT_EQ(CameraPort("a"), CameraPort("b"));
  RawTcp ta, tb;
  EXPECT_EQ(Handshake(ta, CameraPort("a"), "a")["width"], "320");
  EXPECT_EQ(Handshake(tb, CameraPort("b"), "b")["width"], "640");
}

TEST_F(Cameras, RelayCarriesASessionToTheCamera) {
  Start(R"({"sid": "cam04", "camera": {"width": 320, "height": 180}})");
  RawTcp tcp;
  Json::Value reply = Handshake(tcp, world_->endpoints().relay, "cam04", "5");
  EXPECT_EQ(reply["width"], "320");
  Startup(tcp);
  Received r;
  test::ReadStream(tcp, kKey, 3, r);
  ASSERT_EQ(r.frames.size(), 3u);
  EXPECT_TRUE(r.frames[0].key);
}

// A stand-in camera that records what arrives and answers with its own bytes.
TEST(Relay, ForwardsBytesUnchangedBothWays) {
  std::string error;
  int listener = BindTcp("127.0.0.1", 0, error);
  ASSERT_GE(listener, 0) << error;
  ASSERT_EQ(listen(listener, 4), 0);
  const uint16_t cameraPort = BoundPort(listener);
  std::atomic<bool> stop{false};
  Relay relay([] { return std::vector<SessionKey>{{kKey, ""}}; },
              [cameraPort](const std::string& sid, sockaddr_in& out) {
                out = test::Loopback(cameraPort);
                return sid == "cam07";
              },
              stop);
  ASSERT_TRUE(relay.Start("127.0.0.1", error)) << error;

  const std::string connect = test::RawSeal(0x32, test::ConnectText("cam07", kUmac, "5", "v2.0"), kKey, "9a9a", 8);
  std::string after(5000, '\0');
  for (std::size_t i = 0; i < after.size(); ++i) after[i] = static_cast<char>(i * 31 + 7);
  std::string answer(70000, '\0');
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<char>(i ^ (i >> 8));

  RawTcp client;
  ASSERT_TRUE(client.Connect(relay.port()));
  ASSERT_TRUE(client.Send(connect + after));
  pollfd p{listener, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  int camera = accept(listener, nullptr, nullptr);
  ASSERT_GE(camera, 0);
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (got.size() < connect.size() + after.size() && std::chrono::steady_clock::now() < deadline) {
    pollfd c{camera, POLLIN, 0};
    char buffer[4096];
    if (poll(&c, 1, 200) == 1) {
      ssize_t n = recv(camera, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
  }
  EXPECT_EQ(got, connect + after);
  ASSERT_EQ(send(camera, answer.data(), answer.size(), MSG_NOSIGNAL), static_cast<ssize_t>(answer.size()));
  close(camera);  // the camera hangs up: the client still gets every byte, then the end
  std::string back;
  EXPECT_TRUE(client.ReadExactly(answer.size(), back));
  EXPECT_EQ(back, answer);
  EXPECT_TRUE(client.SeesEnd(3000));

  RawTcp stranger;  // a sid no camera has
  ASSERT_TRUE(stranger.Connect(relay.port()));
  ASSERT_TRUE(stranger.Send(test::RawSeal(0x32, test::ConnectText("cam99", kUmac, "5", "v2.0"), kKey, "9a9a", 8)));
  EXPECT_TRUE(stranger.SeesEnd(3000));
  stop = true;
  relay.Stop();
  close(listener);
}

}  // namespace
}  // namespace lumivex::sim
