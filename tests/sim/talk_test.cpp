// The sound both ways: the client's talk-back, made here with libspeex and
// FFmpeg's AAC encoder, as the camera writes it to its WAV file (read back
// by hand), and the cameras' own tone decoded from their packets.

#include <gtest/gtest.h>

#include <sstream>

#include "sim/audio_clip.h"
#include "sim/camera_fixture.h"
#include "support/sound_check.h"
#include "support/wait_for.h"

namespace lumivex::sim {
namespace {

using test::RawTcp;
using test::Received;

class SimTalk : public test::CameraFixture {
 protected:
  std::string WavPath(const std::string& sid) const { return talkDir() + "/" + sid + ".wav"; }

  // The control log's talk lines ("<sid> <codec> <bytes>"), once there are n.
  std::vector<std::string> TalkLines(std::size_t n) {
    std::vector<std::string> talk;
    lumivex::test::WaitFor([&] {
      talk.clear();
      for (const std::string& line : ControlLines(0)) {
        std::istringstream in(line);
        std::string ms, sid, word, rest;
        in >> ms >> sid >> word;
        std::getline(in >> std::ws, rest);
        if (word == "talk") talk.push_back(sid + " " + rest);
      }
      return talk.size() >= n;
    });
    return talk;
  }

  static void ExpectPcmMono(const lumivex::test::Wav& w, uint32_t rate) {
    EXPECT_EQ(w.riffSize, 36 + w.dataSize);
    EXPECT_EQ(w.fmtSize, 16u);
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.sampleRate, rate);
    EXPECT_EQ(w.byteRate, 2 * rate);
    EXPECT_EQ(w.blockAlign, 2);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.fileSize, 44 + w.dataSize);
  }
};

TEST_F(SimTalk, SpeexTalkBackIsWrittenAsEightKilohertzPcmAcrossConnections) {
  Start(R"({"sid": "talker", "camera": {"width": 160, "height": 90}})");
  const std::vector<std::string> payloads = lumivex::test::SpeexPayloads(lumivex::test::SineSamples(1000, 8000, 16000));
  ASSERT_EQ(payloads.size(), 10u);
  std::vector<std::string> packets;
  for (const std::string& p : payloads) {
    ASSERT_EQ(p.size(), 200u);
    packets.push_back(lumivex::test::TalkPacket(0x5A, p));
    ASSERT_EQ(packets.back().size(), 211u);
  }
  lumivex::test::Wav w;
  std::string why;
  {
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort("talker"), "talker").isObject());
    Startup(tcp);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(tcp.Send(packets[i]));
    ASSERT_EQ(TalkLines(5).size(), 5u);
    ASSERT_TRUE(lumivex::test::ReadWav(WavPath("talker"), w, why)) << why;
    ExpectPcmMono(w, 8000);
    EXPECT_EQ(w.dataSize, 5 * 3200u) << "200 ms a packet";

    testing::internal::CaptureStderr();
    ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5A, std::string(150, '\x11'))));  // refused: not ten frames
    ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5B, "")));                        // refused: this camera is Speex
    for (int i = 5; i < 10; ++i) ASSERT_TRUE(tcp.Send(packets[i]));
    const std::vector<std::string> talk = TalkLines(10);
    const std::string refusals = testing::internal::GetCapturedStderr();
    EXPECT_EQ(talk, std::vector<std::string>(10, "talker speex 200"));
    EXPECT_NE(refusals.find("refused camera talker: a Speex talk payload of 150 bytes"), std::string::npos)
        << refusals;
    EXPECT_NE(refusals.find("refused camera talker: AAC talk-back to a Speex camera"), std::string::npos)
        << refusals;
  }
  ASSERT_TRUE(lumivex::test::ReadWav(WavPath("talker"), w, why)) << why;
  ExpectPcmMono(w, 8000);
  ASSERT_EQ(w.dataSize, 10 * 3200u);
  std::vector<int16_t> heard(w.samples.begin() + 800, w.samples.end());  // past the codec's start
  EXPECT_NEAR(lumivex::test::DominantHz(heard, 8000), 1000, 10);
  const std::vector<int16_t> first = w.samples;

  RawTcp again;  // the same camera's next session appends to the same file
  ASSERT_TRUE(Handshake(again, CameraPort("talker"), "talker").isObject());
  Startup(again);
  ASSERT_TRUE(again.Send(packets[0]) && again.Send(packets[1]));
  ASSERT_EQ(TalkLines(12).size(), 12u);
  ASSERT_TRUE(lumivex::test::ReadWav(WavPath("talker"), w, why)) << why;
  ExpectPcmMono(w, 8000);
  ASSERT_EQ(w.dataSize, 12 * 3200u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), w.samples.begin()));
}

TEST_F(SimTalk, AacTalkBackIsWrittenAtTheAdtsRate) {
  Start(R"({"sid": "aac", "camera": {"audio": "aac", "audioSample": 16000, "width": 160, "height": 90}})");
  const std::vector<std::string> frames = lumivex::test::AdtsFrames(lumivex::test::SineSamples(1000, 16000, 32000), 16000);
  ASSERT_GE(frames.size(), 30u);
  RawTcp tcp;
  ASSERT_TRUE(Handshake(tcp, CameraPort("aac"), "aac").isObject());
  Startup(tcp);
  testing::internal::CaptureStderr();
  ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5B, "")));  // the encoder still filling its delay
  const std::size_t n = frames.size();
  for (std::size_t i = 0; i + 2 < n; ++i) ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5B, frames[i])));
  ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5B, frames[0].substr(0, frames[0].size() - 3))));  // refused: cut
  ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5B, std::string(40, '\x21'))));                    // refused: no sync
  ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5A, std::string(200, '\0'))));  // refused: this camera is AAC
  const std::string two = frames[n - 2] + frames[n - 1];
  ASSERT_TRUE(tcp.Send(lumivex::test::TalkPacket(0x5B, two)));  // two whole frames in one packet
  const std::vector<std::string> talk = TalkLines(n);
  const std::string refusals = testing::internal::GetCapturedStderr();
  ASSERT_EQ(talk.size(), n);
  EXPECT_EQ(talk.front(), "aac aac 0");
  for (std::size_t i = 0; i + 2 < n; ++i) EXPECT_EQ(talk[i + 1], "aac aac " + std::to_string(frames[i].size()));
  EXPECT_EQ(talk.back(), "aac aac " + std::to_string(two.size()));
  for (const char* why : {"refused camera aac: an ADTS frame of", "refused camera aac: no ADTS sync word",
                          "refused camera aac: Speex talk-back to an AAC camera"})
    EXPECT_NE(refusals.find(why), std::string::npos) << why << "\n" << refusals;

  lumivex::test::Wav w;
  std::string why;
  ASSERT_TRUE(lumivex::test::ReadWav(WavPath("aac"), w, why)) << why;
  ExpectPcmMono(w, 16000);
  EXPECT_EQ(w.dataSize, n * 1024 * 2) << "1024 samples a frame";
  std::vector<int16_t> heard(w.samples.begin() + 4096, w.samples.end());
  EXPECT_NEAR(lumivex::test::DominantHz(heard, 16000), 1000, 10);
}

TEST(SimTone, TheCamerasSoundAtTheToneFrequency) {
  EXPECT_EQ(kToneHz, 1000);
  AudioClip speex, aac;
  std::string error;
  ASSERT_TRUE(EncodeSpeexTone(speex, error)) << error;
  std::vector<int16_t> heard = lumivex::test::DecodeSpeex(speex.payloads);
  ASSERT_EQ(heard.size(), 16000u);
  EXPECT_NEAR(lumivex::test::DominantHz({heard.begin() + 800, heard.end()}, 8000), kToneHz, 10);
  ASSERT_TRUE(EncodeAacTone(16000, aac, error)) << error;
  heard = lumivex::test::DecodeAac(aac.payloads);
  ASSERT_GE(heard.size(), 30 * 1024u);
  EXPECT_NEAR(lumivex::test::DominantHz({heard.begin() + 4096, heard.end()}, 16000), kToneHz, 10);
}

class SimCameraTone : public test::CameraFixture {};

TEST_F(SimCameraTone, WhatTheCamerasSendDecodesToTheTone) {
  Start(R"({"sid": "s", "camera": {"width": 160, "height": 90}},
           {"sid": "a", "camera": {"audio": "aac", "audioSample": 16000, "width": 160, "height": 90}})");
  for (auto [sid, type, rate] : {std::tuple{"s", 0x5A, 8000}, {"a", 0x5B, 16000}}) {
    SCOPED_TRACE(sid);
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort(sid), sid).isObject());
    Startup(tcp);
    Received r;
    test::ReadStream(tcp, test::kKey, 20, r);
    std::vector<std::string> payloads;
    for (const std::string& p : r.audio) {
      ASSERT_EQ(p[0], type);
      payloads.push_back(p.substr(11));
    }
    std::vector<int16_t> heard = type == 0x5A ? lumivex::test::DecodeSpeex(payloads) : lumivex::test::DecodeAac(payloads);
    ASSERT_GE(heard.size(), static_cast<std::size_t>(rate / 2)) << "half a second of sound at least";
    heard.erase(heard.begin(), heard.begin() + rate / 10);
    EXPECT_NEAR(lumivex::test::DominantHz(heard, rate), kToneHz, 10);
  }
}

}  // namespace
}  // namespace lumivex::sim
