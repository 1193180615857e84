// Playback of a camera's memory card end to end against lumivex-sim: the
// PlaybackSession the playback window uses, with a headless canvas and
// in-memory sound devices, and lumivexctl playback, over loopback.

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <sstream>

#include "integration/sim_fixture.h"
#include "playback/playback_session.h"
#include "stream/audio_memory.h"
#include "stream/camera.h"
#include "support/child_process.h"
#include "support/mp4_check.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace lumivex::test {
namespace {

using namespace std::chrono_literals;

const char* kScenario = R"({
  "servers": {"defTranIP": "relay", "defTranPortTcp": "relay"},
  "accounts": [{"user": "viewer", "password": "secret77",
                "devices": ["late", "midnight", "behind", "lanfall", "relayonly", "closing", "speex", "day",
                            "endless"]}],
  "devices": [
    {"sid": "late", "name": "Porch", "admin": "viewer", "videoDaylist": "20140520,22,23",
     "connection": {"status": 2, "transVideoLong": -1}, "camera": {"playbackStartSecond": 1800}},
    {"sid": "midnight", "admin": "viewer", "videoDaylist": "20140520,23",
     "connection": {"status": 3, "transVideoLong": -1},
     "camera": {"audio": "aac", "playbackStartSecond": 3590, "playbackAudioShiftMs": 2000}},
    {"sid": "behind", "admin": "viewer", "videoDaylist": "20140520,23",
     "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"audio": "aac", "playbackAudioShiftMs": -2000}},
    {"sid": "lanfall", "admin": "viewer", "videoDaylist": "20140520,08",
     "connection": {"status": 2, "devInner": "blackhole", "devPortTcp": "blackhole",
                    "tranIP": "refuse", "tranPortTcp": "refuse"}},
    {"sid": "relayonly", "admin": "viewer", "videoDaylist": "20140520,08",
     "connection": {"status": 5, "tranIP": "refuse", "tranPortTcp": "refuse"}},
    {"sid": "closing", "admin": "viewer", "videoDaylist": "20140520,08",
     "connection": {"status": 2, "transVideoLong": -1}, "camera": {"closeAfterSeconds": 2}},
    {"sid": "speex", "admin": "viewer", "videoDaylist": "20140520,08",
     "connection": {"status": 2, "transVideoLong": -1}},
    {"sid": "day", "admin": "viewer", "videoDaylist": "20140520,08",
     "connection": {"status": 2, "transVideoLong": -1}, "camera": {"playbackGap": 86400}},
    {"sid": "endless", "admin": "viewer", "videoDaylist": "20140520,08",
     "connection": {"status": 2, "transVideoLong": -1}, "camera": {"playbackGap": 2147483647}}
  ]
})";

// What the window would show, kept for the test; any thread.
class Labels : public PlaybackListener {
 public:
  void RecordingKnown(const std::string& start, const std::string& end, int32_t gap) override {
    std::lock_guard lock(mutex_);
    start_ = start;
    end_ = end;
    gap_ = gap;
  }
  void PositionChanged(int32_t position, const std::string& label) override {
    std::lock_guard lock(mutex_);
    labels_[position] = label;
  }
  void StatusChanged(int32_t status) override {
    std::lock_guard lock(mutex_);
    statuses_.push_back(status);
  }
  std::string start() {
    std::lock_guard lock(mutex_);
    return start_;
  }
  std::string end() {
    std::lock_guard lock(mutex_);
    return end_;
  }
  std::string LabelAt(int32_t position) {
    std::lock_guard lock(mutex_);
    auto it = labels_.find(position);
    return it == labels_.end() ? std::string() : it->second;
  }
  std::vector<int32_t> statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

 private:
  std::mutex mutex_;
  std::string start_, end_;
  int32_t gap_ = -1;
  std::map<int32_t, std::string> labels_;
  std::vector<int32_t> statuses_;
};

struct Player {
  Player(SimClient& client, AudioDevices& devices, const std::string& sid)
      : session(client.ctx, devices, clock, sid, canvas, labels) {}
  bool WaitStatus(int32_t status, std::chrono::milliseconds bound = 15s) {
    return WaitFor([&] { return session.status() == status; }, bound);
  }
  bool WaitPlaying() { return WaitStatus(STATUS_VIDEO_PLAYING) && WaitFor([&] { return canvas.presented() > 0; }); }

  CountingSurface canvas{PictureSize{640, 360}};
  Labels labels;
  DisplayClock clock{1};
  PlaybackSession session;
};

class Playback : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(client.SignIn("viewer", "secret77")) << sim.Log(); }

  // The control log's messages for sid with cmd, in order.
  std::vector<std::string> Commands(const std::string& sid, const std::string& cmd) {
    std::vector<std::string> out;
    std::istringstream in(sim.ControlLog());
    for (std::string line; std::getline(in, line);)
      if (line.find(" " + sid + " ") != std::string::npos && line.find("\"cmd\":\"" + cmd + "\"") != std::string::npos)
        out.push_back(line);
    return out;
  }
  std::vector<std::string> Points(const std::string& sid) {
    std::vector<std::string> points;
    for (const std::string& line : Commands(sid, "jump")) {
      const std::string key = "\"point\":\"";
      auto at = line.find(key) + key.size();
      points.push_back(line.substr(at, line.find('"', at) - at));
    }
    return points;
  }
  bool WaitCommands(const std::string& sid, const std::string& cmd, std::size_t count) {
    return WaitFor([&] { return Commands(sid, cmd).size() >= count; }, 10s);
  }

  SimServer sim{kScenario};
  SimClient client{sim};
  MemoryDevices devices;
};

TEST_F(Playback, TheHourPlaysWithItsLabelsAndTheControlsReachTheCamera) {
  Player p(client, devices, "late");
  ASSERT_TRUE(p.session.StartPlayback("20140520-23"));
  ASSERT_TRUE(p.WaitPlaying()) << sim.Log();
  EXPECT_EQ(p.labels.start(), "23:30:00");
  EXPECT_EQ(p.labels.end(), "00:30:00");
  EXPECT_EQ(p.session.playbackGap(), 3600);
  EXPECT_EQ(p.session.m_CurSelDate(), "20140520-23");
  p.canvas.pictures().WithFront([](const Picture& picture) {
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 360);
  });

  p.session.JumpTo(3595);
  EXPECT_EQ(p.labels.LabelAt(3595), "00:29:55");
  ASSERT_TRUE(WaitCommands("late", "jump", 1));
  p.session.Forward();
  EXPECT_EQ(p.session.position(), 3600);
  EXPECT_EQ(p.labels.LabelAt(3600), "01:00:00") << "the elapsed time until the next frame";
  ASSERT_TRUE(WaitCommands("late", "jump", 2));
  p.session.JumpTo(4);
  ASSERT_TRUE(WaitCommands("late", "jump", 3));
  p.session.Back();
  ASSERT_TRUE(WaitCommands("late", "jump", 4));
  EXPECT_EQ(Points("late"), (std::vector<std::string>{"3595", "3600", "4", "0"}));

  p.session.Pause();
  ASSERT_TRUE(WaitCommands("late", "playback-pause", 1));
  const uint64_t pausedAt = p.session.counters.framesReceived;
  p.session.Resume();
  ASSERT_TRUE(WaitCommands("late", "playback-play", 1));
  ASSERT_TRUE(WaitFor([&] { return p.session.counters.framesReceived > pausedAt + 5; }));
  // The keep-alive is the bare "running", without a control number.
  ASSERT_FALSE(Commands("late", "running").empty());
  EXPECT_EQ(Commands("late", "running")[0].find("control_number"), std::string::npos);

  p.session.StopCleanCamera();
  EXPECT_EQ(sim.Refusals(), "");
}

TEST_F(Playback, AudioFollowsThePictureAndTheLabelGoesRoundMidnight) {
  Player ahead(client, devices, "midnight");
  MemoryDevices otherDevices;
  Player behind(client, otherDevices, "behind");
  ASSERT_TRUE(ahead.session.StartPlayback("20140520-23"));
  ASSERT_TRUE(behind.session.StartPlayback("20140520-23"));
  ASSERT_TRUE(ahead.WaitPlaying()) << sim.Log();
  ASSERT_TRUE(behind.WaitPlaying()) << sim.Log();
  EXPECT_EQ(ahead.labels.start(), "23:59:50");
  // Fifteen seconds of the recording later.
  ASSERT_TRUE(WaitFor([&] { return ahead.session.position() >= 15; }, 25s));
  EXPECT_EQ(ahead.labels.LabelAt(15), "00:00:05");

  // Two seconds ahead of the picture: held back, never dropped; two behind: dropped.
  const CameraAudioPlayer& early = ahead.session.audioPlayer();
  const CameraAudioPlayer& late = behind.session.audioPlayer();
  EXPECT_GT(early.syncDelayed(), 0u);
  EXPECT_EQ(early.syncDropped(), 0u);
  EXPECT_GT(early.bytesPlayed(), 0u);
  EXPECT_GT(late.syncDropped(), 0u);
  EXPECT_EQ(late.syncDelayed(), 0u);
  EXPECT_EQ(sim.Refusals(), "");
}

TEST_F(Playback, EveryRelayIsTheLoginsDefaultRelay) {
  // The reply's own relay refuses: a live session would fail here.
  for (const char* sid : {"relayonly", "lanfall"}) {
    Player p(client, devices, sid);
    ASSERT_TRUE(p.session.StartPlayback("20140520-08"));
    ASSERT_TRUE(p.WaitPlaying()) << sid << sim.Log();
  }
  EXPECT_EQ(sim.Refusals(), "");
}

TEST_F(Playback, ACamerasCloseFailsTheCanvasAndANewStartPlaysAgain) {
  Player p(client, devices, "closing");
  ASSERT_TRUE(p.session.StartPlayback("20140520-08"));
  ASSERT_TRUE(p.WaitPlaying()) << sim.Log();
  ASSERT_TRUE(p.WaitStatus(STATUS_VIDEO_FAILED, 10s));
  ASSERT_TRUE(WaitFor([&] { return p.canvas.lastStatus() == static_cast<int>(StatusPicture::kFailed); }, 5s));
  const uint64_t before = p.canvas.presented();
  ASSERT_TRUE(p.session.StartPlayback("20140520-08"));
  ASSERT_TRUE(p.WaitStatus(STATUS_VIDEO_PLAYING)) << sim.Log();
  ASSERT_TRUE(WaitFor([&] { return p.canvas.presented() > before; }));
  EXPECT_EQ(p.labels.statuses(), (std::vector<int32_t>{STATUS_VIDEO_CONNECTING, STATUS_VIDEO_PLAYING,
                                                       STATUS_VIDEO_FAILED, STATUS_VIDEO_CONNECTING,
                                                       STATUS_VIDEO_PLAYING}));
}

TEST_F(Playback, AnHourNotOnTheCardFailsAndAPlaybackRunsBesideTheLiveView) {
  Player missing(client, devices, "speex");
  ASSERT_TRUE(missing.session.StartPlayback("20140520-09"));
  ASSERT_TRUE(missing.WaitStatus(STATUS_VIDEO_FAILED)) << sim.Log();
  EXPECT_NE(sim.ControlLog().find("playback-refused 20140520-09"), std::string::npos) << sim.ControlLog();

  HeadlessWall wall{1, PictureSize{320, 180}};
  StreamEnvironment env{client.ctx, wall, devices};
  CCamera live(env, "speex", "speex");
  live.StartCamera();
  Player p(client, devices, "speex");
  ASSERT_TRUE(p.session.StartPlayback("20140520-08"));
  ASSERT_TRUE(p.WaitPlaying()) << sim.Log();
  ASSERT_TRUE(WaitFor([&] { return live.m_VideoStatus == STATUS_VIDEO_PLAYING && live.counters.shown > 10; }, 15s));
  const uint64_t played = p.canvas.presented();
  ASSERT_TRUE(WaitFor([&] { return p.canvas.presented() > played + 10; }));
  live.StopCleanCamera();
}

TEST_F(Playback, TheCommandLinePlaysAndSavesWhatItReceivedAsMp4) {
  TempDir home;
  const std::string mp4 = home.str() + "/kept.mp4";
  std::vector<std::string> args = sim.CliOptions(home.str());
  for (const char* a : {"-u", "viewer", "-p", "secret77", "playback", "late", "20140520-23", "--seconds", "4",
                        "--jump", "600", "--save"})
    args.push_back(a);
  args.push_back(mp4);
  ProcessResult r = RunProgram(CliPath(), args, 60s);
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  for (const char* line : {"start: 23:30:00\n", "end: 00:30:00\n", "state: connecting\n", "state: playing\n",
                           "jumped: 600\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
  EXPECT_NE(r.out.find("position: "), std::string::npos) << r.out;
  EXPECT_EQ(Points("late"), (std::vector<std::string>{"600"}));

  const auto received = r.out.find("frames received: ");
  ASSERT_NE(received, std::string::npos) << r.out;
  const int frames = std::stoi(r.out.substr(received + 17));
  EXPECT_GT(frames, 20);
  EXPECT_NE(r.out.find("saved: " + mp4 + " (" + std::to_string(frames) + " frames)"), std::string::npos) << r.out;
  Mp4Facts facts;
  std::string why;
  ASSERT_TRUE(ReadMp4(mp4, facts, why)) << why;
  EXPECT_EQ(static_cast<int>(facts.durations.size()), frames);
  EXPECT_EQ(facts.decoded, frames);
  ASSERT_FALSE(facts.keys.empty());
  EXPECT_TRUE(facts.keys[0]);
}

// A recording is at most a day: a longer announced one fails the session,
// and at the top of a day every step stays within it.
TEST_F(Playback, PositionsStayWithinTheRecordingAndLongerOnesAreRefused) {
  Player endless(client, devices, "endless");
  ASSERT_TRUE(endless.session.StartPlayback("20140520-08"));
  ASSERT_TRUE(endless.WaitStatus(STATUS_VIDEO_FAILED)) << sim.Log();

  Player day(client, devices, "day");
  ASSERT_TRUE(day.session.StartPlayback("20140520-08"));
  ASSERT_TRUE(day.WaitPlaying()) << sim.Log();
  EXPECT_EQ(day.labels.end(), "08:00:00");  // a whole day on
  // Each command waits for the one before: the control sender keeps one.
  day.session.JumpTo(86400);
  ASSERT_TRUE(WaitCommands("day", "jump", 1));
  day.session.Forward();
  EXPECT_EQ(day.session.position(), 86400);
  ASSERT_TRUE(WaitCommands("day", "jump", 2));
  day.session.Back();
  EXPECT_EQ(day.session.position(), 86390);
  ASSERT_TRUE(WaitCommands("day", "jump", 3));
  EXPECT_EQ(Points("day"), (std::vector<std::string>{"86400", "86400", "86390"}));
  // The frame clock counts on from there and stops at the end.
  ASSERT_TRUE(WaitFor([&] { return day.session.position() == 86400; }, 25s)) << day.session.position();
  day.session.StopCleanCamera();
  EXPECT_TRUE(Commands("endless", "jump").empty());
  EXPECT_EQ(sim.Refusals(), "");
}

// A save that kept nothing says so, fails and leaves no file.
TEST_F(Playback, ASaveOfNothingIsNoSuccess) {
  TempDir home;
  const std::string mp4 = home.str() + "/kept.mp4";
  std::vector<std::string> args = sim.CliOptions(home.str());
  for (const char* a : {"-u", "viewer", "-p", "secret77", "playback", "endless", "20140520-08", "--seconds", "3",
                        "--jump", "2147483647", "--forward", "--save"})
    args.push_back(a);
  args.push_back(mp4);
  ProcessResult r = RunProgram(CliPath(), args, 60s);
  EXPECT_NE(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out.find("saved: "), r.out.find("not saved: ") + 4) << r.out;
  EXPECT_NE(r.out.find("not saved: " + mp4 + " (no frame was received)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("forward: -"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(mp4));
  EXPECT_TRUE(Commands("endless", "jump").empty());
}

}  // namespace
}  // namespace lumivex::test
