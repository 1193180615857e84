// Playback sessions over loopback, met by a raw client: the hours the day
// list holds, the reply, timestamps that are the position in the recording,
// jump, pause and play, the sound of AAC cameras, and the knobs.

#include <gtest/gtest.h>

#include <algorithm>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "sim/camera_fixture.h"
#include "sim/control_check.h"
#include "sim/frame_log.h"
#include "sim/playback_time.h"
#include "support/wait_for.h"

namespace lumivex::sim {
namespace {

using test::kKey;
using test::kUmac;
using test::RawTcp;
using test::Received;

int32_t PositionMs(int frameOfRecording) { return frameOfRecording / 15 * 1000 + frameOfRecording % 15 * 1000 / 15; }

// Frames decoded one by one with the reply's parameter sets only.
class H264 {
 public:
  H264() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    ctx_ = avcodec_alloc_context3(codec);
    ctx_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    ok_ = codec && avcodec_open2(ctx_, codec, nullptr) == 0;
    frame_ = av_frame_alloc();
  }
  ~H264() {
    av_frame_free(&frame_);
    avcodec_free_context(&ctx_);
  }
  // The picture's size, or 0x0 when it does not decode.
  std::pair<int, int> Decode(const std::string& bytes) {
    AVPacket* packet = av_packet_alloc();
    av_new_packet(packet, static_cast<int>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), packet->data);
    const bool sent = ok_ && avcodec_send_packet(ctx_, packet) == 0;
    av_packet_free(&packet);
    if (!sent || avcodec_receive_frame(ctx_, frame_) != 0) return {0, 0};
    return {frame_->width, frame_->height};
  }

 private:
  AVCodecContext* ctx_ = nullptr;
  AVFrame* frame_ = nullptr;
  bool ok_ = false;
};

std::string WithStartCode(const std::string& nal) { return std::string("\0\0\0\1", 4) + nal; }

class Playback : public test::CameraFixture {
 protected:
  // The reply, or null when the camera hung up instead.
  Json::Value Connect(RawTcp& tcp, const std::string& sid, const std::string& date) {
    EXPECT_TRUE(tcp.Connect(CameraPort(sid)));
    EXPECT_TRUE(tcp.Send(test::RawSeal(0x32, test::PlaybackConnectText(sid, kUmac, date), kKey, "3e1f", 8)));
    std::string p;
    while (tcp.ReadPacket(p))
      if (p[0] == 0x32) return test::RawOpen(p, kKey, 8);
    return Json::Value();
  }
  bool Control(RawTcp& tcp, const std::string& cmd, const std::string& more = "") {
    return SendMessage(tcp, R"({"cmd":")" + cmd + "\"," + more + R"("type":"control","umac":")" + kUmac + "\"}");
  }
  // The first control-log line holding all of parts, once it is there.
  std::string WaitControlLine(std::initializer_list<std::string> parts) {
    std::string found;
    lumivex::test::WaitFor([&] {
      for (const std::string& line : ControlLines(0)) {
        bool all = true;
        for (const std::string& part : parts) all = all && line.find(part) != std::string::npos;
        if (all) found = line;
        if (all) return true;
      }
      return false;
    });
    return found;
  }
  bool ControlLogHas(const std::string& part) {
    for (const std::string& line : ControlLines(0))
      if (line.find(part) != std::string::npos) return true;
    return false;
  }
};

TEST(PlaybackTime, RequestHoursDayListsAndTheRecordingClock) {
  RequestHour h;
  std::string why;
  ASSERT_TRUE(ParseRequestHour("20140520-23", h, why)) << why;
  EXPECT_EQ(InitTimeText(h.start + std::chrono::seconds(3590)), "20140520235950");
  EXPECT_EQ(StampText(h.start + std::chrono::seconds(3590 + 20)), "2014-05-21 00:00:10");  // past midnight
  for (const char* bad : {"20140520-24", "2014052-08", "20140520 08", "20140231-08", "20140520-8", "+0140520-08"})
    EXPECT_FALSE(ParseRequestHour(bad, h, why)) << bad;

  ASSERT_TRUE(ParseRequestHour("20140521-10", h, why));
  EXPECT_TRUE(DayListHolds("20140520,08,09,13;20140521,10", h));
  EXPECT_FALSE(DayListHolds("20140520,08,09,10;20140521,11", h));
  EXPECT_FALSE(DayListHolds("20140521;20140522,10", h));  // a day without hours
  EXPECT_FALSE(DayListHolds("20140521,1", h));
  EXPECT_FALSE(DayListHolds("", h));
}

TEST(PlaybackControlCheck, KeepAliveWithoutNumberJumpWithinTheRecording) {
  ControlCheck check = ControlCheck::Playback(kUmac, 3600);
  auto message = [](const std::string& json) {
    Json::Value v;
    Json::Reader().parse(json, v);
    return v;
  };
  const std::string umac = std::string(R"("umac":")") + kUmac + "\"";
  auto is = [&](const std::string& body) { return check.Check(message("{" + body + "," + umac + "}")); };
  EXPECT_EQ(is(R"("type":"control","cmd":"running")"), "");
  EXPECT_EQ(is(R"("type":"control","cmd":"jump","point":"3600")"), "");
  EXPECT_EQ(is(R"("type":"control","cmd":"jump","point":"0")"), "");
  EXPECT_EQ(is(R"("type":"control","cmd":"playback-play")"), "");
  EXPECT_EQ(is(R"("type":"control","cmd":"playback-pause")"), "");
  EXPECT_EQ(is(R"("type":"control","cmd":"close")"), "");
  EXPECT_NE(is(R"("type":"control","cmd":"running","control_number":"1")"), "");
  for (const char* point : {"3601", "-1", "12.5", "012", "", "99999999999"})
    EXPECT_NE(is(std::string(R"("type":"control","cmd":"jump","point":")") + point + "\""), "") << point;
  EXPECT_NE(is(R"("type":"control","cmd":"jump")"), "");
  EXPECT_NE(is(R"("type":"control","cmd":"jump","point":5)"), "");
  for (const char* live : {"pause", "turnLeft", "resetBitRate"})
    EXPECT_NE(is(std::string(R"("type":"control","cmd":")") + live + "\""), "") << live;
  EXPECT_NE(check.Check(message(R"({"type":"control","cmd":"running","umac":"other,02-00-5e-10-00-09"})")), "");
}

TEST_F(Playback, ListedHourPlaysFromZeroOnePictureGroupPerSecondBesideALiveSession) {
  Start(R"({"sid": "cam", "name": "Porch", "videoDaylist": "20140520,08,09;20140521",
            "camera": {"width": 160, "height": 90, "playbackGap": 120, "playbackStartSecond": 1790}})");
  RawTcp live;
  ASSERT_TRUE(Handshake(live, CameraPort("cam"), "cam").isObject());
  Startup(live);

  RawTcp tcp;
  Json::Value reply = Connect(tcp, "cam", "20140520-09");
  ASSERT_TRUE(reply.isObject());
  EXPECT_EQ(reply["type"], "connect");
  EXPECT_EQ(reply["width"], "160");
  EXPECT_EQ(reply["height"], "90");
  EXPECT_EQ(reply["timeGap"], "66");
  EXPECT_EQ(reply["playbackGap"], "120");
  EXPECT_EQ(reply["playback-initTime"], "20140520092950");
  EXPECT_FALSE(reply.isMember("bitRate"));
  EXPECT_FALSE(reply.isMember("audioType"));  // a Speex camera
  Startup(tcp);
  EXPECT_NE(WaitControlLine({"cam playback-start 20140520-09 20140520092950"}), "");

  Received r;
  test::ReadStream(tcp, kKey, 31, r);
  ASSERT_EQ(r.frames.size(), 31u);
  EXPECT_TRUE(r.audio.empty()) << "a Speex camera plays back without sound";
  std::vector<std::string> log;
  auto logged = [&](const test::ReceivedFrame& f) {
    return std::find(log.begin(), log.end(), FrameLogLine("cam", f.number, f.bytes)) != log.end();
  };
  lumivex::test::WaitFor([&] {
    log = LogLines(0);  // the last frame is logged once it is sent
    return logged(r.frames.back());
  });
  for (std::size_t i = 0; i < r.frames.size(); ++i) {
    const test::ReceivedFrame& f = r.frames[i];
    EXPECT_EQ(f.timestamp, PositionMs(static_cast<int>(i))) << i;
    EXPECT_EQ(f.key, i % 15 == 0) << i;
    EXPECT_EQ(f.number, r.frames[0].number + static_cast<int32_t>(i));
    ASSERT_TRUE(f.whole());
    EXPECT_TRUE(logged(f)) << i;
  }
  // the next second shows the next time, decodable with the reply's parameter sets
  EXPECT_NE(r.frames[15].bytes, r.frames[0].bytes);
  H264 decoder;
  EXPECT_EQ(decoder.Decode(WithStartCode(test::Base64Decoded(reply["sps"].asString())) +
                           WithStartCode(test::Base64Decoded(reply["pps"].asString())) + r.frames[15].bytes),
            std::make_pair(160, 90));

  Received liveFrames;
  test::ReadStream(live, kKey, 3, liveFrames);
  ASSERT_EQ(liveFrames.frames.size(), 3u);
  EXPECT_TRUE(liveFrames.frames[0].key);
  EXPECT_NE(liveFrames.frames[0].number / 1000000, r.frames[0].number / 1000000) << "streams of their own";

  RawTcp again;  // the same hour, the same pictures
  ASSERT_TRUE(Connect(again, "cam", "20140520-09").isObject());
  Startup(again);
  Received second;
  test::ReadStream(again, kKey, 1, second);
  ASSERT_EQ(second.frames.size(), 1u);
  EXPECT_EQ(second.frames[0].bytes, r.frames[0].bytes);
}

TEST_F(Playback, JumpPauseAndPlayAreTakenAndLoggedBadOnesRefused) {
  Start(R"({"sid": "cam", "videoDaylist": "20140520,08", "camera": {"width": 160, "height": 90}})");
  RawTcp tcp;
  ASSERT_TRUE(Connect(tcp, "cam", "20140520-08").isObject());
  Startup(tcp);
  Received start;
  test::ReadStream(tcp, kKey, 3, start);
  ASSERT_EQ(start.frames.size(), 3u);

  ASSERT_TRUE(Control(tcp, "jump", R"("point":"3000",)"));
  Received jumped;
  test::ReadStream(tcp, kKey, 40, jumped);
  auto at = std::find_if(jumped.frames.begin(), jumped.frames.end(),
                         [](const test::ReceivedFrame& f) { return f.timestamp >= 3000000; });
  ASSERT_NE(at, jumped.frames.end());
  EXPECT_TRUE(at->key);
  for (int i = 0; at != jumped.frames.end(); ++at, ++i) EXPECT_EQ(at->timestamp, 3000000 + PositionMs(i));
  EXPECT_NE(WaitControlLine({R"("cmd":"jump")", R"("point":"3000")"}), "");

  // refused: not acted on, no control-log line; the marker after them is
  ASSERT_TRUE(Control(tcp, "running", R"("control_number":"1",)"));
  ASSERT_TRUE(Control(tcp, "jump", R"("point":"3601",)"));
  ASSERT_TRUE(Control(tcp, "pause", R"("control_number":"2",)"));
  ASSERT_TRUE(Control(tcp, "running"));
  EXPECT_NE(WaitControlLine({R"("cmd":"running")"}), "");
  EXPECT_FALSE(ControlLogHas("control_number"));
  EXPECT_FALSE(ControlLogHas("3601"));

  ASSERT_TRUE(Control(tcp, "playback-pause"));
  ASSERT_NE(WaitControlLine({R"("cmd":"playback-pause")"}), "");
  const std::vector<std::string> sentBeforePause = LogLines(0);
  Received paused;  // what was on its way, then nothing for a second
  test::ReadStream(tcp, kKey, 1000, paused, 1000);
  EXPECT_EQ(LogLines(0).size(), sentBeforePause.size()) << "frames sent while paused";
  const int32_t lastTimestamp = paused.frames.empty() ? jumped.frames.back().timestamp : paused.frames.back().timestamp;

  ASSERT_TRUE(Control(tcp, "playback-play"));
  Received resumed;
  test::ReadStream(tcp, kKey, 3, resumed);
  ASSERT_EQ(resumed.frames.size(), 3u);
  EXPECT_GE(resumed.frames[0].timestamp - lastTimestamp, 66) << "on from where it paused";
  EXPECT_LE(resumed.frames[0].timestamp - lastTimestamp, 67);
  EXPECT_NE(WaitControlLine({R"("cmd":"playback-play")"}), "");

  ASSERT_TRUE(Control(tcp, "close"));
  EXPECT_TRUE(tcp.SeesEnd());
  EXPECT_NE(WaitControlLine({"cam stream-end client-close"}), "");
}

TEST_F(Playback, HoursOutsideTheDayListAndMalformedRequestsAreRefused) {
  Start(R"({"sid": "cam", "videoDaylist": "20140520,08;20140521", "camera": {"width": 160, "height": 90}})");
  testing::internal::CaptureStderr();
  for (const char* date : {"20140520-09", "20140521-10", "20140522-08"}) {
    RawTcp tcp;
    EXPECT_TRUE(Connect(tcp, "cam", date).isNull()) << date;
    EXPECT_TRUE(tcp.SeesEnd());
    EXPECT_NE(WaitControlLine({std::string("cam playback-refused ") + date}), "") << date;
  }
  const std::string stderrText = testing::internal::GetCapturedStderr();
  EXPECT_NE(stderrText.find("lumivex-sim: refused camera cam: no recording of 20140520-09"), std::string::npos);

  auto sealed = [](std::string text) { return test::RawSeal(0x32, text, kKey, "3e1f", 8); };
  const std::string live = test::ConnectText("cam", kUmac, "2", "v2.0");
  const std::string dated = test::PlaybackConnectText("cam", kUmac, "20140520-08");
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  for (const std::string& bad :
       {test::PlaybackConnectText("cam", kUmac, "20140520-24"), test::PlaybackConnectText("cam", kUmac, "2014052-08"),
        replaced(dated, R"("video-playback":"1")", R"("video-playback":"0")"),
        replaced(live, R"("video-playback":"0")", R"("video-playback":"1")"),
        replaced(dated, R"("video-playback":"1")", R"("video-playback":"2")")}) {
    RawTcp tcp;
    ASSERT_TRUE(tcp.Connect(CameraPort("cam")));
    ASSERT_TRUE(tcp.Send(sealed(bad)));
    EXPECT_TRUE(tcp.SeesEnd()) << bad;
  }
  RawTcp good;  // the listed hour still plays
  ASSERT_TRUE(Connect(good, "cam", "20140520-08").isObject());
}

TEST_F(Playback, AacCamerasShiftTheirSoundAgainstThePosition) {
  Start(R"({"sid": "ahead", "videoDaylist": "20140520,08",
            "camera": {"width": 160, "height": 90, "audio": "aac", "playbackAudioShiftMs": 1500}},
           {"sid": "behind", "videoDaylist": "20140520,08",
            "camera": {"width": 160, "height": 90, "audio": "aac", "playbackAudioShiftMs": -700}})");
  for (const auto& [sid, shift] : {std::pair<std::string, int>{"ahead", 1500}, {"behind", -700}}) {
    RawTcp tcp;
    Json::Value reply = Connect(tcp, sid, "20140520-08");
    EXPECT_EQ(reply["audioType"], "aac") << sid;
    EXPECT_EQ(reply["audioSample"], "16000");
    Startup(tcp);
    Received r;
    test::ReadStream(tcp, kKey, 30, r);
    ASSERT_EQ(r.frames.size(), 30u);
    ASSERT_GE(r.audio.size(), 20u) << sid;  // 2 s at 64 ms a packet
    std::vector<int32_t> stamps;
    for (const std::string& a : r.audio) {
      ASSERT_EQ(a[0], 0x5B);
      stamps.push_back(static_cast<int32_t>(test::Le32(a, 7)));
    }
    EXPECT_EQ(stamps[0], std::max(0, shift)) << sid;
    EXPECT_TRUE(std::is_sorted(stamps.begin(), stamps.end()));
    if (shift < 0) {
      EXPECT_EQ(stamps[1], 0) << "clamped at zero";
    }
    // sent alongside the video: the last sound is the last picture's position plus the shift
    EXPECT_NEAR(stamps.back() - r.frames.back().timestamp, shift, 200) << sid;
  }
}

TEST_F(Playback, TheRecordingEndsWithTheConnectionOpenAndKnobsStillApply) {
  Start(R"({"sid": "short", "videoDaylist": "20140520,23", "camera": {"width": 160, "height": 90, "playbackGap": 2,
            "playbackStartSecond": 3590}},
           {"sid": "closer", "videoDaylist": "20140520,08", "camera": {"width": 160, "height": 90,
            "closeAfterSeconds": 1}})");
  RawTcp tcp;
  Json::Value reply = Connect(tcp, "short", "20140520-23");
  EXPECT_EQ(reply["playback-initTime"], "20140520235950");
  EXPECT_EQ(reply["playbackGap"], "2");
  Startup(tcp);
  Received r;
  test::ReadStream(tcp, kKey, 1000, r, 4000);
  ASSERT_EQ(r.frames.size(), 30u) << "two seconds of recording";
  EXPECT_EQ(r.frames.back().timestamp, PositionMs(29));
  EXPECT_NE(WaitControlLine({"short playback-finished 2"}), "");
  ASSERT_TRUE(Control(tcp, "jump", R"("point":"1",)"));  // back into it
  Received back;
  test::ReadStream(tcp, kKey, 1, back);
  ASSERT_EQ(back.frames.size(), 1u);
  EXPECT_TRUE(back.frames[0].key);
  EXPECT_EQ(back.frames[0].timestamp, 1000);

  RawTcp closed;
  ASSERT_TRUE(Connect(closed, "closer", "20140520-08").isObject());
  Startup(closed);
  Received c;
  test::ReadStream(closed, kKey, 1000, c, 5000);
  EXPECT_TRUE(c.ended);
  ASSERT_FALSE(c.messages.empty());
  EXPECT_EQ(c.messages.back()["cmd"], "close");
  EXPECT_NE(WaitControlLine({"closer stream-end camera-close"}), "");
}

}  // namespace
}  // namespace lumivex::sim
