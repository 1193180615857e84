// Reaching cameras of every connection type through lumivex-sim, with the
// specified fall-backs; the frames must arrive byte-identical to those sent.

#include <gtest/gtest.h>

#include <chrono>

#include "integration/stream_check.h"

namespace lumivex::test {
namespace {

const char* kScenario = R"({
  "servers": {"defTranIP": "relay", "defTranPortTcp": "relay"},
  "accounts": [{"user": "viewer", "password": "secret77",
                "devices": ["lan", "mapped", "punched", "relayed", "slowlan", "refusedlan",
                            "silentpunch", "otherport", "early", "lossy"]}],
  "devices": [
    {"sid": "lan", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"audio": "aac"}},
    {"sid": "mapped", "admin": "viewer", "connection": {"status": 3, "transVideoLong": -1}},
    {"sid": "punched", "admin": "viewer", "connection": {"status": 4, "transVideoLong": -1}},
    {"sid": "relayed", "admin": "viewer", "connection": {"status": 5, "transVideoLong": -1}},
    {"sid": "slowlan", "admin": "viewer",
     "connection": {"status": 2, "devInner": "blackhole", "devPortTcp": "blackhole", "transVideoLong": -1}},
    {"sid": "refusedlan", "admin": "viewer",
     "connection": {"status": 2, "devInner": "refuse", "devPortTcp": "refuse", "transVideoLong": -1}},
    {"sid": "silentpunch", "admin": "viewer",
     "connection": {"status": 4, "tranIP": "refuse", "tranPortTcp": "refuse", "transVideoLong": -1},
     "camera": {"traversal": "silent"}},
    {"sid": "otherport", "admin": "viewer", "connection": {"status": 4, "transVideoLong": -1},
     "camera": {"helloFromOtherPort": true}},
    {"sid": "early", "admin": "viewer", "connection": {"status": 2, "transVideoLong": -1},
     "camera": {"mediaBeforeReply": true}},
    {"sid": "lossy", "admin": "viewer", "connection": {"status": 3, "transVideoLong": -1},
     "camera": {"dropFragment": {"frame": 3, "index": 1}}}
  ]
})";

class StreamTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }
  ConnectRun Connect(const std::string& sid, int frames = 20) {
    std::vector<std::string> options = sim.CliOptions(home.str());
    options.insert(options.end(), {"-u", "viewer", "-p", "secret77"});
    return RunConnect(options, sid, frames);
  }
  // Every frame received is one the camera sent, byte for byte.
  void ExpectIdentical(const ConnectRun& run, const std::string& sid, std::size_t atLeast) {
    EXPECT_GE(run.frames.size(), atLeast) << run.out << run.err;
    std::set<std::string> sent = SentFrames(sim, sid);
    for (const std::string& frame : run.frames) EXPECT_EQ(sent.count(frame), 1u) << sid << ": " << frame;
  }
  SimServer sim{kScenario};
  TempDir home;
};

TEST_F(StreamTest, EachConnectionTypeCarriesTheFramesUnchanged) {
  struct Case {
    const char* sid;
    int type;
  };
  for (Case k : {Case{"lan", 2}, Case{"mapped", 3}, Case{"punched", 4}, Case{"relayed", 5}}) {
    SCOPED_TRACE(k.sid);
    ConnectRun run = Connect(k.sid);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err << sim.Log();
    EXPECT_EQ(run.connectionType, k.type);
    ExpectIdentical(run, k.sid, 20);
  }
}

TEST_F(StreamTest, LanCameraThatDoesNotAnswerIsReachedThroughTheRelay) {
  auto start = std::chrono::steady_clock::now();
  ConnectRun run = Connect("slowlan", 5);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.connectionType, 5) << "counted as a relay session";
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4900));
  ExpectIdentical(run, "slowlan", 5);
}

TEST_F(StreamTest, RefusedLanConnectFailsWithoutTheRelay) {
  ConnectRun run = Connect("refusedlan", 5);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.frames.empty());
  EXPECT_TRUE(SentFrames(sim, "refusedlan").empty()) << "the relay must not have reached the camera";
}

TEST_F(StreamTest, NoTraversalAnswerFallsBackToTheLoginsDefaultRelay) {
  // The reply's own relay refuses: only the login's default relay can work.
  ConnectRun run = Connect("silentpunch", 5);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(run.connectionType, 5);
  ExpectIdentical(run, "silentpunch", 5);
}

TEST_F(StreamTest, HelloFromAnotherAddressThanAnnouncedIsFollowed) {
  ConnectRun run = Connect("otherport", 10);
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err << sim.Log();
  EXPECT_EQ(run.connectionType, 4);
  ExpectIdentical(run, "otherport", 10);
}

TEST_F(StreamTest, MediaBeforeTheReplyIsSkippedAndALostFragmentDropsOneFrame) {
  ConnectRun early = Connect("early", 10);
  ASSERT_EQ(early.exitCode, 0) << early.out << early.err;
  ExpectIdentical(early, "early", 10);

  ConnectRun lossy = Connect("lossy", 10);
  ASSERT_EQ(lossy.exitCode, 0) << lossy.out << lossy.err;
  ExpectIdentical(lossy, "lossy", 10);
  EXPECT_NE(lossy.err.find("incomplete frames dropped"), std::string::npos) << lossy.err;
}

}  // namespace
}  // namespace lumivex::test
