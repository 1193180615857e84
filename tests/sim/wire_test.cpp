// The camera side's framing against an independent sealing (OpenSSL DES),
// the video fragment and audio headers byte by byte, the frame log line,
// and the endpoints current.do is filled with.

#include <gtest/gtest.h>

#include "sim/camera_session.h"
#include "sim/camera_world.h"
#include "sim/frame_log.h"
#include "sim/raw_device.h"
#include "sim/wire.h"

namespace lumivex::sim {
namespace {

using test::Le16;
using test::Le32;

bool IsLowerHex(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

TEST(Wire, DatagramLayoutAndSealingOpenWithOpenSslDes) {
  Json::Value m;
  m["sid"] = "cam01";
  m["umac"] = "demo,02-00-5e-10-00-01";
  std::string d;
  ASSERT_TRUE(SealMessage(kPunchRegister, m, "Ab3x", kDatagramHeader, d));
  EXPECT_EQ(d[0], 'C');
  const std::string text = "{\"sid\":\"cam01\",\"umac\":\"demo,02-00-5e-10-00-01\"}\n";  // 48 bytes
  EXPECT_EQ(Le16(d, 1), 112);  // eight spaces make 56 bytes, two hex digits each
  EXPECT_EQ(d.substr(3, 9), std::string(9, '\0'));
  EXPECT_TRUE(IsLowerHex(d.substr(12, 4)));
  EXPECT_EQ(d.size(), 16u + 112u);
  EXPECT_TRUE(IsLowerHex(d.substr(16)));
  EXPECT_EQ(test::RawOpenText(d, "Ab3x", 16), text + std::string(8, ' '));

  // a 16-byte text takes eight spaces: L = 48
  Json::Value close;
  close["cmd"] = "close";  // {"cmd":"close"} and the newline
  std::string p;
  ASSERT_TRUE(SealMessage(kInteractive, close, "Ab3x", kPacketHeader, p));
  EXPECT_EQ(p[0], 0x32);
  EXPECT_EQ(Le16(p, 1), 48);
  EXPECT_EQ(p[7], '\0');
  EXPECT_EQ(test::RawOpenText(p, "Ab3x", 8), "{\"cmd\":\"close\"}\n" + std::string(8, ' '));
}

TEST(Wire, OpensOnlySoundPackets) {
  const std::string text = "{\"type\":\"startup\"}\n";
  const std::string good = test::RawSeal(0x32, text, "k9Zq", "0a1b", 8);
  Json::Value m;
  ASSERT_TRUE(OpenMessage(good, "k9Zq", kPacketHeader, m));
  EXPECT_EQ(m["type"], "startup");
  EXPECT_FALSE(OpenMessage(good, "k9Zr", kPacketHeader, m));            // another session's key
  EXPECT_FALSE(OpenMessage(good.substr(0, good.size() - 1), "k9Zq", 8, m));  // truncated
  std::string badKey = good;
  badKey[4] = 'x';
  EXPECT_FALSE(OpenMessage(badKey, "k9Zq", kPacketHeader, m));
  // opened without the trailing newline as well
  EXPECT_TRUE(OpenMessage(test::RawSeal(0x32, "{\"a\":\"b\"}", "k9Zq", "ffff", 8), "k9Zq", 8, m));

  std::string datagram = test::RawSeal(0x0B, "{\"ip\":\"1.2.3.4\",\"port\":\"5\"}\n", "k9Zq", "1234", 16);
  ASSERT_TRUE(OpenMessage(datagram, "k9Zq", kDatagramHeader, m));
  std::string zero = datagram;
  zero[1] = zero[2] = 0;
  EXPECT_FALSE(OpenMessage(zero, "k9Zq", kDatagramHeader, m));
  std::string huge = datagram + std::string(1848, '0');
  huge[1] = static_cast<char>(1848 & 0xFF);
  huge[2] = static_cast<char>(1848 >> 8);
  EXPECT_FALSE(OpenMessage(huge, "k9Zq", kDatagramHeader, m));

  SessionKey used;
  EXPECT_TRUE(OpenWithAnyKey(good, {{"aaaa", ""}, {"k9Zq", "u,m"}}, kPacketHeader, m, used));
  EXPECT_EQ(used.umac, "u,m");
  EXPECT_FALSE(OpenWithAnyKey(good, {{"aaaa", ""}}, kPacketHeader, m, used));
}

TEST(Wire, VideoFragmentsOf1375BytesWithTheirHeader) {
  std::string frame(3000, '\0');
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<char>(i * 7);
  auto packets = VideoPackets(frame, 1000003, false, 123456);
  ASSERT_EQ(packets.size(), 3u);
  std::string joined;
  for (std::size_t i = 0; i < packets.size(); ++i) {
    const std::string& p = packets[i];
    const std::size_t n = i < 2 ? 1375 : 250;
    EXPECT_EQ(p[0], 0x46);
    EXPECT_EQ(Le16(p, 1), n);
    EXPECT_EQ(p[3] & 1, 1);  // not a key frame
    EXPECT_EQ(Le32(p, 5), 1000003u);
    EXPECT_EQ(Le32(p, 13), 123456u);
    EXPECT_EQ(Le16(p, 17), 3);
    EXPECT_EQ(Le16(p, 19), i);
    EXPECT_EQ(p.size(), 25 + n);
    joined += p.substr(25);
  }
  EXPECT_EQ(joined, frame);
  auto key = VideoPackets(std::string(1375, 'x'), 0, true, 0);
  ASSERT_EQ(key.size(), 1u);  // exactly one fragment's worth
  EXPECT_EQ(key[0][3] & 1, 0);

  std::string a = AudioPacket(kSpeexAudio, std::string(200, 's'), 77);
  EXPECT_EQ(a.size(), 211u);
  EXPECT_EQ(a[0], 0x5A);
  EXPECT_EQ(Le16(a, 1), 200);
  EXPECT_EQ(Le32(a, 7), 77u);
}

TEST(Wire, SplitterCutsPacketsAndRefusesTheUnfollowable) {
  PacketSplitter s;
  std::string all = AudioPacket(kAacAudio, "abc", 1) + test::RawSeal(0x32, "{}\n", "abcd", "0000", 8);
  s.Add(all.data(), 5);
  std::string p;
  EXPECT_EQ(s.Next(p), 0);
  s.Add(all.data() + 5, all.size() - 5);
  ASSERT_EQ(s.Next(p), 1);
  EXPECT_EQ(p, all.substr(0, 14));
  ASSERT_EQ(s.Next(p), 1);
  EXPECT_EQ(p[0], 0x32);
  EXPECT_EQ(s.Next(p), 0);

  PacketSplitter unknown;
  unknown.Add("\x47\x01\x00", 3);
  EXPECT_EQ(unknown.Next(p), -1);
  PacketSplitter negative;
  negative.Add("\x32\xff\xff", 3);  // L read as signed: -1
  EXPECT_EQ(negative.Next(p), -1);
}

TEST(FrameLog, LineFormat) {
  // zlib's CRC-32 of "abc" is 0x352441c2, of "" is 0
  EXPECT_EQ(FrameLogLine("cam01", 1000007, "abc"), "cam01 1000007 3 352441c2\n");
  EXPECT_EQ(FrameLogLine("x", 0, ""), "x 0 0 00000000\n");
}

TEST(Connect, ChecksTheMessageAndRepliesInStrings) {
  Json::Value m;
  ASSERT_TRUE(Json::Reader().parse(test::ConnectText("cam01", "demo,02-00-5e-10-00-01", "2", "v2.0"), m));
  SessionKey key{"abcd", "demo,02-00-5e-10-00-01"};
  EXPECT_EQ(CheckConnect(m, "cam01", key, false), "");
  EXPECT_NE(CheckConnect(m, "cam01", key, true), "");  // UDT wants link-type 4 and protocol 3.0
  EXPECT_NE(CheckConnect(m, "cam02", key, false), "");
  EXPECT_NE(CheckConnect(m, "cam01", {"abcd", "bob,02-00-5e-10-00-01"}, false), "");
  Json::Value number = m;
  number["netType"] = 4;
  EXPECT_NE(CheckConnect(number, "cam01", key, false).find("not a JSON string"), std::string::npos);
  Json::Value playback = m;
  playback["video-playback"] = "1";
  playback["request-date"] = "20240301-08";
  EXPECT_EQ(CheckConnect(playback, "cam01", key, false), "");
  playback["request-date"] = "20240301-24";
  EXPECT_NE(CheckConnect(playback, "cam01", key, false), "");
  playback.removeMember("request-date");
  EXPECT_NE(CheckConnect(playback, "cam01", key, false).find("without \"request-date\""), std::string::npos);
  Json::Value dated = m;
  dated["request-date"] = "20240301-08";
  EXPECT_NE(CheckConnect(dated, "cam01", key, false).find("\"request-date\" with"), std::string::npos);

  Clip clip;
  clip.key.width = 640;
  clip.key.height = 360;
  clip.sps = "\x67\x42";
  clip.pps = "\x68\xce";
  Json::Value r = ConnectReply(clip, 480000, CameraAudio::kAac, 16000);
  for (const std::string& name : r.getMemberNames()) EXPECT_TRUE(r[name].isString()) << name;
  EXPECT_EQ(r["type"], "connect");
  EXPECT_EQ(r["width"], "640");
  EXPECT_EQ(r["timeGap"], "66");
  EXPECT_EQ(r["bitRate"], "480000");
  EXPECT_EQ(r["audioType"], "aac");
  EXPECT_EQ(r["audioSample"], "16000");
  EXPECT_EQ(test::Base64Decoded(r["sps"].asString()), clip.sps);
  Json::Value speex = ConnectReply(clip, 480000, CameraAudio::kSpeex, 16000);
  EXPECT_FALSE(speex.isMember("audioType") || speex.isMember("audioSample"));
  EXPECT_EQ(AudioFor(CameraConfig{.audio = CameraAudio::kAac}, true), CameraAudio::kSpeex);
}

TEST(Endpoints, FilledByConnectionTypeUnlessGiven) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(R"({"devices": [
      {"sid": "lan", "connection": {"status": 2, "transVideoLong": 5}},
      {"sid": "map", "connection": {"status": 3, "tranPortTcp": 9999}},
      {"sid": "nat", "connection": {"status": 4}},
      {"sid": "relay", "connection": {"status": 5, "tranIP": "10.1.2.3"}},
      {"sid": "hole", "connection": {"status": 2, "devPortTcp": "blackhole"}},
      {"sid": "gone", "status": 0}],
      "servers": {"defTranPortUdp": 7001}})", s, error)) << error;
  SimEndpoints e;
  e.host = "127.0.0.1";
  e.camera = {{"lan", 1001}, {"map", 1002}, {"nat", 1003}, {"relay", 1004}, {"hole", 1005}, {"gone", 1006}};
  e.relay = 2000;
  e.traversal = 3000;
  e.blackhole = 4000;
  e.refuse = 5000;
  FillEndpoints(s, e);
  using M = std::map<std::string, std::string>;
  EXPECT_EQ(s.FindDevice("lan")->connection.members,
            (M{{"devInner", "127.0.0.1"}, {"devPortTcp", "1001"}, {"tranIP", "127.0.0.1"}, {"tranPortTcp", "2000"},
               {"transVideoLong", "5"}}));
  EXPECT_EQ(s.FindDevice("map")->connection.members,
            (M{{"devOuter", "127.0.0.1"}, {"devPortTcp", "1002"}, {"tranIP", "127.0.0.1"}, {"tranPortTcp", "9999"}}));
  EXPECT_EQ(s.FindDevice("nat")->connection.members,
            (M{{"penetrateIP", "127.0.0.1"}, {"penetratePort", "3000"}, {"tranIP", "127.0.0.1"},
               {"tranPortTcp", "2000"}}));
  EXPECT_EQ(s.FindDevice("relay")->connection.members, (M{{"tranIP", "10.1.2.3"}, {"tranPortTcp", "2000"}}));
  EXPECT_EQ(s.FindDevice("hole")->connection.members.at("devPortTcp"), "4000");
  EXPECT_TRUE(s.FindDevice("gone")->connection.members.empty());
  EXPECT_EQ(s.servers, (M{{"defTranIP", "127.0.0.1"}, {"defTranPortTcp", "2000"}, {"defTranPortUdp", "7001"}}));

  Scenario empty;  // no cameras, nothing to relay to: the login's servers stay as given
  FillEndpoints(empty, e);
  EXPECT_TRUE(empty.servers.empty());
}

}  // namespace
}  // namespace lumivex::sim
