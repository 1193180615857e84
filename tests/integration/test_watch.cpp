// "lumivexctl watch" against lumivex-sim: the files a live session writes,
// read back with real readers, and the sound that goes both ways.

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "integration/sim_fixture.h"
#include "sim/audio_clip.h"
#include "support/child_process.h"
#include "support/mp4_check.h"
#include "support/sound_check.h"
#include "support/wait_for.h"

namespace lumivex::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* kScenario = R"({
  "accounts": [{"user": "viewer", "password": "secret77", "devices": ["speex", "aac"]}],
  "devices": [
    {"sid": "speex", "name": "Porch", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1}},
    {"sid": "aac", "name": "Yard", "admin": "viewer", "connection": {"status": 3, "transVideoLong": -1},
     "camera": {"audio": "aac", "audioSample": 16000}}
  ]
})";

constexpr int kSimGapMs = 66;

struct WatchRun {
  int exitCode = -1;
  std::string out, err;
  std::vector<std::string> Values(const std::string& key) const {
    std::vector<std::string> values;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(key + ": ", 0) == 0) values.push_back(line.substr(key.size() + 2));
    return values;
  }
  std::string Value(const std::string& key) const {
    auto v = Values(key);
    return v.empty() ? std::string() : v.front();
  }
};

class Watch : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }

  std::vector<std::string> Args(const std::string& sid, std::vector<std::string> flags) {
    std::vector<std::string> args = sim.CliOptions(home.str());
    args.insert(args.end(), {"-u", "viewer", "-p", "secret77", "watch", sid, "--folder", media.str()});
    args.insert(args.end(), flags.begin(), flags.end());
    return args;
  }
  WatchRun Run(const std::string& sid, std::vector<std::string> flags) {
    ProcessResult r = RunProgram(CliPath(), Args(sid, std::move(flags)), 90s);
    return {r.exitCode, r.out, r.err};
  }

  SimServer sim{kScenario};
  TempDir home, media;
};

std::vector<int16_t> Channel(const std::vector<int16_t>& samples, int channels, int which) {
  std::vector<int16_t> out;
  for (std::size_t i = static_cast<std::size_t>(which); i < samples.size(); i += static_cast<std::size_t>(channels))
    out.push_back(samples[i]);
  return out;
}

std::string WriteToneWav(const TempDir& dir, int rate, double seconds) {
  const std::vector<int16_t> tone = SineSamples(1000, rate, static_cast<std::size_t>(rate * seconds));
  std::string data(reinterpret_cast<const char*>(tone.data()), tone.size() * 2);
  auto u32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  std::string wav = "RIFF" + u32(36 + static_cast<uint32_t>(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
                    u32(static_cast<uint32_t>(rate)) + u32(static_cast<uint32_t>(rate) * 2) + u16(2) + u16(16) +
                    "data" + u32(static_cast<uint32_t>(data.size())) + data;
  const std::string path = (dir.path() / ("tone" + std::to_string(rate) + ".wav")).string();
  std::ofstream(path, std::ios::binary) << wav;
  return path;
}

TEST_F(Watch, PlaysAndRecordsAnMp4ThatReadsBack) {
  WatchRun run = Run("speex", {"--seconds", "5", "--record", "--quality", "480000"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.Values("state"), (std::vector<std::string>{"connecting", "playing", "ready"}));
  EXPECT_EQ(run.Value("connection type"), "2");
  EXPECT_EQ(run.Value("quality"), "480000");
  EXPECT_EQ(run.Value("frames dropped"), "0");
  const int decoded = std::stoi(run.Value("frames decoded"));
  EXPECT_GT(decoded, 40);  // about 4 s of 15 frames a second once playing
  EXPECT_LE(decoded, 5000 / kSimGapMs + 1);

  const std::string path = run.Value("recording");
  ASSERT_FALSE(path.empty()) << run.out;
  EXPECT_TRUE(std::regex_match(path, std::regex(media.str() + "/viewer/\\d{4}-\\d\\d-\\d\\d/"
                                                "\\d{4}-\\d\\d-\\d\\d-\\d\\d-\\d\\d-\\d\\d-speex\\.mp4")))
      << path;
  Mp4Facts facts;
  std::string why;
  ASSERT_TRUE(ReadMp4(path, facts, why)) << why;
  EXPECT_EQ(facts.timeBase.num, 1);
  EXPECT_EQ(facts.timeBase.den, 90000);
  // Every frame that was shown is in the file: the recorded interval.
  EXPECT_EQ(static_cast<int>(facts.durations.size()), decoded);
  EXPECT_EQ(facts.decoded, decoded);
  ASSERT_FALSE(facts.keys.empty());
  EXPECT_TRUE(facts.keys[0]) << "the first frame shown is a key frame";
  for (std::size_t i = 0; i < facts.keys.size(); ++i) EXPECT_EQ(facts.keys[i], i % 30 == 0) << i;
}

TEST_F(Watch, SegmentBeingWrittenSurvivesAKill) {
  ChildProcess watch(CliPath(), Args("speex", {"--seconds", "60", "--record"}));
  ASSERT_FALSE(watch.WaitForLine("state: playing", 30s).empty()) << watch.ReadErrors();
  fs::path file;
  // Wait for more than one fragment: a key frame comes every 2 s.
  ASSERT_TRUE(WaitFor([&] {
    for (auto& day : fs::recursive_directory_iterator(media.path()))
      if (day.path().extension() == ".mp4" && fs::file_size(day.path()) > 150000) return file = day.path(), true;
    return false;
  }, 20s));
  ASSERT_EQ(kill(watch.pid(), SIGKILL), 0);
  watch.Stop();
  Mp4Facts facts;
  std::string why;
  ASSERT_TRUE(ReadMp4(file.string(), facts, why)) << why;
  EXPECT_GE(facts.durations.size(), 15u);
  EXPECT_EQ(facts.decoded, static_cast<int>(facts.durations.size()));
}

TEST_F(Watch, SnapshotIsA24BitBitmapOfThePicture) {
  WatchRun run = Run("aac", {"--seconds", "3", "--snapshot"});
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.Value("message"), "视频截图保存成功");
  const std::string path = run.Value("snapshot");
  ASSERT_TRUE(fs::exists(path)) << run.out;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(bytes.size(), 54u);
  auto u32 = [&](std::size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                 static_cast<uint8_t>(bytes[at + 2]) << 16 | static_cast<uint8_t>(bytes[at + 3]) << 24);
  };
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(u32(2), bytes.size());
  EXPECT_EQ(u32(10), 54u);
  EXPECT_EQ(u32(18), 640u);
  EXPECT_EQ(static_cast<int32_t>(u32(22)), -360);
  EXPECT_EQ(bytes[28], 24);
  EXPECT_EQ(u32(34), 640u * 360 * 3);
  // The caption band of the sim's picture is near black at the top right.
  const std::size_t topRight = 54 + (1 * 640 + 630) * 3;
  for (int c = 0; c < 3; ++c) EXPECT_LT(static_cast<uint8_t>(bytes[topRight + c]), 60);
}

TEST_F(Watch, ListeningWritesTheCamerasToneForSpeexAndAac) {
  struct Case {
    const char* sid;
    int channels, rate;
  };
  for (Case k : {Case{"speex", 1, 8000}, Case{"aac", 2, 16000}}) {
    SCOPED_TRACE(k.sid);
    const std::string out = (media.path() / (std::string(k.sid) + ".wav")).string();
    WatchRun run = Run(k.sid, {"--seconds", "4", "--listen", out});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    Wav wav;
    std::string why;
    ASSERT_TRUE(ReadWav(out, wav, why)) << why;
    EXPECT_EQ(wav.channels, k.channels);
    EXPECT_EQ(static_cast<int>(wav.sampleRate), k.rate);
    ASSERT_GE(wav.samples.size(), static_cast<std::size_t>(k.rate * k.channels));  // a second of sound at least
    EXPECT_NEAR(DominantHz(Channel(wav.samples, k.channels, 0), k.rate), sim::kToneHz, 15);
  }
}

TEST_F(Watch, TalkBackReachesTheCameraAsTheSameTone) {
  struct Case {
    const char* sid;
    int rate;
  };
  for (Case k : {Case{"speex", 8000}, Case{"aac", 16000}}) {
    SCOPED_TRACE(k.sid);
    WatchRun run = Run(k.sid, {"--seconds", "5", "--talk", WriteToneWav(media, k.rate, 4)});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    Wav heard;
    std::string why;
    ASSERT_TRUE(WaitFor([&] { return ReadWav(sim.TalkWavPath(k.sid), heard, why) && heard.samples.size() > 8000u; },
                        5s))
        << why << sim.Log();
    EXPECT_EQ(static_cast<int>(heard.sampleRate), k.rate);
    EXPECT_NEAR(DominantHz(heard.samples, k.rate), 1000, 15);
  }
}

TEST_F(Watch, RefusesBadFlags) {
  EXPECT_EQ(Run("speex", {"--seconds", "0"}).exitCode, 2);
  EXPECT_EQ(Run("speex", {"--quality", "123"}).exitCode, 2);
  EXPECT_EQ(Run("speex", {"--ptz"}).exitCode, 2);
  EXPECT_EQ(Run("speex", {"--nonsense"}).exitCode, 2);
}

}  // namespace
}  // namespace lumivex::test
