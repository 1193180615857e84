// A camera's live view end to end against lumivex-sim: the CCamera the wall
// uses, with a headless wall and in-memory sound devices, over loopback.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "integration/sim_fixture.h"
#include "sim/clip.h"
#include "stream/audio_memory.h"
#include "stream/camera.h"
#include "stream/snapshot.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace lumivex::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char* kScenario = R"({
  "servers": {"defTranIP": "relay", "defTranPortTcp": "relay"},
  "accounts": [{"user": "viewer", "password": "secret77",
                "devices": ["lan", "pantilt", "closing", "relayclosing", "relaynow", "silent", "lossy",
                            "nonkey", "aac", "wrapsigned", "wrapunsigned", "punched"]}],
  "devices": [
    {"sid": "lan", "name": "Hall", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1}},
    {"sid": "pantilt", "type": "y1", "admin": "viewer", "connection": {"status": 5, "transVideoLong": -1}},
    {"sid": "closing", "admin": "viewer", "connection": {"status": 3, "transVideoLong": -1},
     "camera": {"closeAfterSeconds": 2}},
    {"sid": "relayclosing", "admin": "viewer", "connection": {"status": 5, "transVideoLong": -1},
     "camera": {"closeAfterSeconds": 1}},
    {"sid": "relaynow", "admin": "viewer", "connection": {"status": 5, "transVideoLong": 0}},
    {"sid": "silent", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"neverAnswer": true}},
    {"sid": "lossy", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"dropFragment": {"frame": 3, "index": 0}}},
    {"sid": "nonkey", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"startOnNonKey": true}},
    {"sid": "aac", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"audio": "aac"}},
    {"sid": "wrapsigned", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"firstFrameNumber": 2147483630}},
    {"sid": "wrapunsigned", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"firstFrameNumber": -20}},
    {"sid": "punched", "admin": "viewer", "connection": {"status": 4, "transVideoLong": -1}}
  ]
})";

constexpr int kClipGapMs = 66;
constexpr int kLoopFrames = 30;

class LiveView : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client.SignIn("viewer", "secret77")) << sim.Log();
    env.watchdog.SetPeriod(1s);
  }
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }

  std::unique_ptr<CCamera> Camera(const std::string& sid) {
    return std::make_unique<CCamera>(env, sid, sid == "lan" ? "Hall" : sid);
  }
  bool WaitStatus(CCamera& camera, int32_t status, std::chrono::milliseconds bound = 15s) {
    return WaitFor([&] { return camera.m_VideoStatus == status; }, bound);
  }
  // The control log's lines for sid that contain text.
  std::vector<std::string> Lines(const std::string& sid, const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(sim.ControlLog());
    for (std::string line; std::getline(in, line);)
      if (line.find(" " + sid + " ") != std::string::npos && line.find(text) != std::string::npos)
        out.push_back(line);
    return out;
  }

  SimServer sim{kScenario};
  SimClient client{sim};
  HeadlessWall wall{4, PictureSize{320, 180}};
  MemoryDevices devices;
  StreamEnvironment env{client.ctx, wall, devices};
};

long long MsOf(const std::string& line) { return std::stoll(line.substr(0, line.find(' '))); }

std::string Member(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  auto at = line.find(key);
  if (at == std::string::npos) return {};
  at += key.size();
  return line.substr(at, line.find('"', at) - at);
}

// 0x7FFFFFFF to 0x80000000, and 0xFFFFFFFF to 0: every frame follows the
// one before, so none is dropped while waiting for a key frame.
TEST_F(LiveView, FrameNumbersWrapRoundWithoutALostFrame) {
  auto a = Camera("wrapsigned"), b = Camera("wrapunsigned");
  a->StartCamera();
  b->StartCamera();
  ASSERT_TRUE(WaitStatus(*a, STATUS_VIDEO_PLAYING)) << sim.Log();
  ASSERT_TRUE(WaitStatus(*b, STATUS_VIDEO_PLAYING)) << sim.Log();
  ASSERT_TRUE(WaitFor([&] { return a->counters.shown >= 45 && b->counters.shown >= 45; }, 15s));
  EXPECT_EQ(a->counters.dropped, 0u);
  EXPECT_EQ(b->counters.dropped, 0u);
  a->StopCleanCamera();
  b->StopCleanCamera();
}

TEST_F(LiveView, PlaysAtTheCamerasFrameRateAndStopsToReady) {
  auto camera = Camera("lan");
  camera->StartCamera();
  EXPECT_EQ(camera->m_VideoStatus, STATUS_VIDEO_CONNECTING);
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING)) << sim.Log();
  EXPECT_EQ(camera->natType(), 2);
  CountingSurface* surface = wall.surface(camera->place().index);
  ASSERT_NE(surface, nullptr);

  // 45 frames at 66 ms take about 3 s: the clock neither hurries nor lags.
  const uint64_t first = camera->counters.shown;
  const auto start = Clock::now();
  ASSERT_TRUE(WaitFor([&] { return camera->counters.shown >= first + 45; }, 10s));
  const auto took = Clock::now() - start;
  EXPECT_GT(took, 2600ms);
  EXPECT_LT(took, 3800ms);
  EXPECT_EQ(camera->counters.dropped, 0u);
  EXPECT_GE(surface->presented(), first + 45);
  ASSERT_TRUE(WaitFor([&] { return camera->lastSecondBytes > 0; }, 3s));
  ASSERT_TRUE(WaitFor([&] { return surface->lastCaption().find("K/s") != std::string::npos &&
                                   surface->lastCaption().find("0.00K/s") == std::string::npos; }, 3s));
  EXPECT_EQ(surface->lastCaption().rfind("Hall  ", 0), 0u) << surface->lastCaption();
  // The picture is there, converted to the window's size.
  surface->pictures().WithFront([](const Picture& p) {
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 180);
  });

  camera->StopCleanCamera();
  EXPECT_EQ(camera->m_VideoStatus, STATUS_READY);
  EXPECT_FALSE(camera->place().valid());
  EXPECT_EQ(surface->lastStatus(), static_cast<int>(StatusPicture::kIdle));
  EXPECT_EQ(camera->bitRate, -1);
  EXPECT_TRUE(WaitFor([&] { return !Lines("lan", "stream-end").empty(); }, 5s)) << sim.ControlLog();
}

TEST_F(LiveView, KeepAlivesHoldTheAudioThenRunWhenListening) {
  auto camera = Camera("lan");
  camera->StartCamera();
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING));
  ASSERT_TRUE(WaitFor([&] { return Lines("lan", "\"pause\"").size() >= 2; }, 12s)) << sim.ControlLog();
  const auto pauses = Lines("lan", "\"pause\"");
  EXPECT_NEAR(MsOf(pauses[1]) - MsOf(pauses[0]), 5000, 300);

  const auto listened = Clock::now();
  ASSERT_EQ(wall.audio().Listen(camera.get()), SwitchResult::kStarted);
  ASSERT_TRUE(WaitFor([&] { return !Lines("lan", "\"running\"").empty(); }, 3s));
  EXPECT_LT(Clock::now() - listened, 800ms) << "the first keep-alive after listening";
  // Sound comes out: 200 ms of Speex is 3200 bytes.
  EXPECT_TRUE(WaitFor([&] { return devices.sink->size() >= 3 * 3200; }, 5s));
  EXPECT_EQ(devices.sink->size() % 3200, 0u);

  ASSERT_TRUE(WaitFor([&] { return Lines("lan", "\"running\"").size() >= 3; }, 8s));
  wall.audio().Mute();
  EXPECT_TRUE(WaitFor([&] { return !wall.audio().audioCamera() && !camera->audioPlayer().stopRunning(); }, 3s));

  // Every message carries the next control number.
  std::vector<std::string> numbered = Lines("lan", "control_number");
  ASSERT_GE(numbered.size(), 5u);
  for (std::size_t i = 1; i < numbered.size(); ++i)
    EXPECT_EQ(std::stoi(Member(numbered[i], "control_number")), std::stoi(Member(numbered[i - 1], "control_number")) + 1)
        << numbered[i];
  camera->StopCleanCamera();
}

TEST_F(LiveView, QualityAndPanTiltReachTheCamera) {
  auto camera = Camera("pantilt");
  EXPECT_FALSE(camera->SetQuality(480000)) << "no session, no socket";
  camera->StartCamera();
  // Asked while the session still negotiates: its sender finds both, and
  // takes left before up.
  camera->RequestPanTilt(PtzDirection::kUp);
  camera->RequestPanTilt(PtzDirection::kLeft);
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING));
  EXPECT_EQ(camera->natType(), 5);
  EXPECT_FALSE(camera->SetQuality(123));
  EXPECT_TRUE(camera->SetQuality(1200000));
  EXPECT_EQ(camera->bitRate, 1200000);
  ASSERT_TRUE(WaitFor(
      [&] {
        return !Lines("pantilt", "turnUp").empty() && !Lines("pantilt", "turnLeft").empty() &&
               !Lines("pantilt", "resetBitRate").empty();
      },
      3s))
      << sim.ControlLog();
  const auto turns = Lines("pantilt", "\"turn");
  ASSERT_EQ(turns.size(), 2u);
  EXPECT_NE(turns[0].find("turnLeft"), std::string::npos) << "left is taken before up";
  EXPECT_FALSE(camera->panTiltPending(PtzDirection::kUp));
  EXPECT_FALSE(camera->panTiltPending(PtzDirection::kLeft));
  EXPECT_EQ(Lines("pantilt", "resetBitRate").size(), 1u);
  EXPECT_EQ(Member(Lines("pantilt", "resetBitRate")[0], "bitRate"), "1200000");
  camera->StopCleanCamera();
  EXPECT_EQ(Lines("pantilt", "turnUp").size(), 1u);
  EXPECT_EQ(Lines("pantilt", "turnLeft").size(), 1u);
}

// Over UDT the session's control sender carries the quality too; pan/tilt
// is a TCP camera's only, so a request waits unsent.
TEST_F(LiveView, QualityReachesAUdtCameraAndPanTiltIsNotSent) {
  auto camera = Camera("punched");
  camera->StartCamera();
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING)) << sim.Log();
  ASSERT_EQ(camera->natType(), DEVICE_NAT_TRAVERSAL);
  camera->RequestPanTilt(PtzDirection::kDown);
  EXPECT_TRUE(camera->SetQuality(88000));
  EXPECT_EQ(camera->bitRate, 88000);
  ASSERT_TRUE(WaitFor([&] { return !Lines("punched", "resetBitRate").empty(); }, 3s)) << sim.ControlLog();
  EXPECT_EQ(Member(Lines("punched", "resetBitRate")[0], "bitRate"), "88000");
  EXPECT_TRUE(camera->panTiltPending(PtzDirection::kDown));
  camera->StopCleanCamera();
  EXPECT_TRUE(Lines("punched", "turnDown").empty());
  EXPECT_FALSE(camera->SetQuality(480000)) << "stopped: no session";
}

// A camera that went silent (the sim frozen) does not hold a UDT stop.
TEST_F(LiveView, AUdtStopIsBoundedWhenTheCameraIsGone) {
  auto camera = Camera("punched");
  camera->StartCamera();
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING)) << sim.Log();
  ASSERT_EQ(::kill(sim.pid(), SIGSTOP), 0);
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    camera->StopCleanCamera();
    stopped = true;
  });
  const bool bounded = WaitFor([&] { return stopped.load(); }, 3s);
  ::kill(sim.pid(), SIGCONT);
  stopper.join();
  EXPECT_TRUE(bounded) << "the stop waited on the silent camera";
  EXPECT_EQ(camera->m_VideoStatus, STATUS_READY);
}

// A client killed in the middle of a UDT session: the sim still stops at
// once and cleanly on SIGTERM.
TEST(SimStop, EndsPromptlyAfterAUdtClientWasKilled) {
  SimServer sim(kScenario);
  TempDir home;
  std::vector<std::string> args = sim.CliOptions(home.str());
  for (const char* a : {"-u", "viewer", "-p", "secret77", "watch", "punched", "--seconds", "60"}) args.push_back(a);
  {
    ChildProcess client(CliPath(), args);
    ASSERT_TRUE(WaitFor([&] { return sim.ControlLog().find(" punched stream-start") != std::string::npos; }, 20s))
        << sim.ControlLog() << sim.Log();
    ::kill(client.pid(), SIGKILL);
    client.Stop();
  }
  EXPECT_EQ(sim.Stop(2s), 0) << "killed or cut short: " << sim.Log();
}

TEST_F(LiveView, CameraCloseFailsAndTheWatchdogStartsAgain) {
  auto camera = Camera("closing");
  camera->StartCamera();
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING));
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_FAILED, 6s));
  // The watchdog's next check stops it clean and starts a new session.
  ASSERT_TRUE(WaitFor([&] { return Lines("closing", "stream-start").size() >= 2; }, 10s)) << sim.ControlLog();
  EXPECT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING));
  camera->StopCleanCamera();
  EXPECT_EQ(camera->m_VideoStatus, STATUS_READY);
}

TEST_F(LiveView, RelaySessionsAreNotRestartedAndTheirTimeLimitStopsThem) {
  auto closing = Camera("relayclosing");
  closing->StartCamera();
  ASSERT_TRUE(WaitStatus(*closing, STATUS_VIDEO_FAILED, 10s));
  EXPECT_EQ(closing->natType(), 5);
  // Three watchdog periods go by without a new session.
  EXPECT_FALSE(WaitFor([&] { return closing->m_VideoStatus != STATUS_VIDEO_FAILED; }, 3500ms));
  EXPECT_EQ(Lines("relayclosing", "stream-start").size(), 1u);

  // Starting a failed camera stops it first, then starts again.
  closing->StartCamera();
  EXPECT_TRUE(WaitStatus(*closing, STATUS_VIDEO_PLAYING));
  closing->StopCleanCamera();

  auto now = Camera("relaynow");
  now->StartCamera();
  ASSERT_TRUE(WaitFor([&] { return !Lines("relaynow", "stream-start").empty(); }, 10s));
  EXPECT_TRUE(WaitFor([&] { return now->m_VideoStatus == STATUS_READY && !now->stopRunning(); }, 5s));
  EXPECT_TRUE(WaitFor([&] { return !Lines("relaynow", "stream-end").empty(); }, 5s));
}

TEST_F(LiveView, StopDuringTheHandshakeReturnsToReady) {
  auto camera = Camera("silent");
  camera->StartCamera();
  ASSERT_TRUE(WaitFor([&] { return sim.Log().find("does not answer") != std::string::npos; }, 10s));
  EXPECT_EQ(camera->m_VideoStatus, STATUS_VIDEO_CONNECTING);
  const auto start = Clock::now();
  camera->StopCleanCamera();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_EQ(camera->m_VideoStatus, STATUS_READY);
  EXPECT_FALSE(camera->place().valid());
}

TEST_F(LiveView, LostFragmentFreezesThePictureUntilTheNextKeyFrame) {
  auto camera = Camera("lossy");
  camera->StartCamera();
  // Frame 3 is incomplete and 4 to 29 follow a gap; frame 30 is a key frame.
  ASSERT_TRUE(WaitFor([&] { return camera->counters.shown >= 3 + 10; }, 20s));
  EXPECT_EQ(camera->counters.dropped, static_cast<uint64_t>(kLoopFrames - 3));
  camera->StopCleanCamera();
}

TEST_F(LiveView, StreamStartingOnANonKeyFrameShowsNothingUntilTheFirstKeyFrame) {
  auto camera = Camera("nonkey");
  camera->StartCamera();
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING));
  EXPECT_EQ(camera->counters.dropped, static_cast<uint64_t>(kLoopFrames - 1));
  camera->StopCleanCamera();
}

TEST_F(LiveView, OffPageSessionsDecodeButDrawNothing) {
  wall.SetCurrentPage(1);
  auto camera = Camera("lan");
  camera->StartCamera();
  ASSERT_TRUE(WaitFor([&] { return camera->counters.decoded >= 10; }, 15s));
  EXPECT_EQ(camera->counters.shown, 0u);
  EXPECT_EQ(camera->m_VideoStatus, STATUS_VIDEO_CONNECTING) << "playing only once drawn";
  wall.SetCurrentPage(0);
  EXPECT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING, 3s));
  camera->StopCleanCamera();
}

TEST_F(LiveView, AacCameraSoundIsDecodedAndPlayed) {
  auto camera = Camera("aac");
  camera->StartCamera();
  ASSERT_TRUE(WaitStatus(*camera, STATUS_VIDEO_PLAYING));
  EXPECT_EQ(camera->audioInfo().codec, CameraAudio::kAac);
  ASSERT_EQ(wall.audio().Listen(camera.get()), SwitchResult::kStarted);
  EXPECT_TRUE(WaitFor([&] { return devices.sink->size() >= 8 * 4096; }, 8s));
  EXPECT_EQ(devices.sink->format().channels, 2);
  camera->StopCleanCamera();
  EXPECT_TRUE(WaitFor([&] { return !camera->audioPlayer().stopRunning(); }, 3s));
}

// Every picture of the clip, decoded by a plain libavcodec context, with or
// without the loop filter, each written as the snapshot writes pictures.
std::vector<std::string> ClipBitmaps(const sim::Clip& clip, bool loopFilter, const TempDir& dir) {
  std::vector<std::string> bitmaps;
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->thread_count = 1;
  ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
  ctx->skip_loop_filter = loopFilter ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  const std::string start("\0\0\0\1", 4);
  if (avcodec_open2(ctx, codec, nullptr) == 0)
    for (std::size_t i = 0; i < clip.frames.size(); ++i) {
      const std::string bytes = (i == 0 ? start + clip.sps + start + clip.pps : "") + clip.frames[i];
      if (av_new_packet(packet, static_cast<int>(bytes.size())) < 0) break;
      std::copy(bytes.begin(), bytes.end(), packet->data);
      const bool sent = avcodec_send_packet(ctx, packet) >= 0;
      av_packet_unref(packet);
      std::string path;
      if (sent && avcodec_receive_frame(ctx, frame) >= 0 &&
          TakeSnapshot(frame, dir.str() + "/", "ref", "clip", {2014, 1, 1, 0, 0, static_cast<int>(i)}, path))
        bitmaps.push_back(ReadFileBytes(path));
    }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return bitmaps;
}

// PSNR of two bitmaps of the same size over their pixels; infinity when equal.
double Psnr(const std::string& a, const std::string& b) {
  constexpr std::size_t kHeader = 54;
  if (a.size() != b.size() || a.size() <= kHeader) return 0;
  double squares = 0;
  for (std::size_t i = kHeader; i < a.size(); ++i) {
    const double d = static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i]);
    squares += d * d;
  }
  if (squares == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size() - kHeader) / squares);
}

double BestPsnr(const std::string& picture, const std::vector<std::string>& candidates) {
  double best = 0;
  for (const std::string& c : candidates) best = std::max(best, Psnr(picture, c));
  return best;
}

// A 640x360 camera in a 320x180 window is drawn the cheaper way (no loop
// filter); its snapshot is decoded again in full, and equals a plain full
// decode of one of the clip's frames, which a picture without the loop
// filter does not.
TEST_F(LiveView, SnapshotOfAReducedPictureIsTheFullPicture) {
  TempDir pictures;
  StorageFolders folders = client.ctx.settings.storage.Get();
  ASSERT_TRUE(folders.ImagePath.Set(pictures.str() + "/"));
  client.ctx.settings.storage.Set(folders);
  std::string written;
  env.fileWritten = [&](const std::string& path) { written = path; };
  auto camera = Camera("lan");
  camera->StartCamera();
  ASSERT_TRUE(WaitFor([&] { return camera->counters.reduced >= 40; }, 15s)) << "drawn reduced";
  camera->snapshotRequested = 1;
  ASSERT_TRUE(WaitFor([&] { return camera->snapshotRequested == 0; }, 5s));
  camera->StopCleanCamera();
  ASSERT_FALSE(written.empty());

  sim::Clip clip;
  std::string error;
  ASSERT_TRUE(sim::EncodeClip({640, 360, 480000, "Hall", 0, 0}, clip, error)) << error;
  TempDir full, unfiltered;
  const std::vector<std::string> fullFrames = ClipBitmaps(clip, true, full);
  const std::vector<std::string> unfilteredFrames = ClipBitmaps(clip, false, unfiltered);
  ASSERT_EQ(fullFrames.size(), clip.frames.size());
  ASSERT_EQ(unfilteredFrames.size(), clip.frames.size());
  const std::string snapshot = ReadFileBytes(written);
  EXPECT_GE(BestPsnr(snapshot, fullFrames), 45.0);
  // The check can tell the two apart: the unfiltered pictures are farther.
  EXPECT_LT(BestPsnr(snapshot, unfilteredFrames), BestPsnr(snapshot, fullFrames));
}

}  // namespace
}  // namespace lumivex::test
