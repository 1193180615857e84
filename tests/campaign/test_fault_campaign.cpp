// Sixteen live sessions against the real lumivex-sim under each network and
// sim fault: nothing crashes, every session ends where its failure leads
// (the watchdog restarts the failed LAN sessions, relay sessions stay
// failed), the recordings read back, every thread ends with its stop, and
// the process leaks nothing (run under LeakSanitizer in the ASan tree).
// A table of the faults is printed at the end.

#include <gtest/gtest.h>

#include <cstdio>

#include "campaign/campaign_world.h"
#include "campaign/network_faults.h"
#include "stream/session_clock.h"
#include "support/wait_for.h"

namespace lumivex::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Row {
  std::string fault, mechanism, sessions, outcome, files;
  double seconds = 0;
};
std::vector<Row> rows;
std::string mechanismWhy;

bool Seen(const std::vector<int32_t>& states, std::initializer_list<int32_t> order) {
  auto at = states.begin();
  for (int32_t want : order) {
    at = std::find(at, states.end(), want);
    if (at == states.end()) return false;
    ++at;
  }
  return true;
}

bool Ever(const std::vector<int32_t>& states, int32_t state) {
  return std::find(states.begin(), states.end(), state) != states.end();
}

class Campaign : public ::testing::Test {
 protected:
  bool netem() const { return networkMechanism() == NetworkMechanism::kNetem; }

  // Impairs both proxies, or sets netem; empty parameters clear netem.
  void Impair(World& w, const ImpairmentProxy::Impairment& proxy, const std::string& netemParameters) {
    if (netem()) {
      std::string why;
      ASSERT_TRUE(SetNetem(netemParameters, why)) << why;
      return;
    }
    w.lanProxy->Impair(proxy);
    w.relayProxy->Impair(proxy);
  }
  void LinkDown(World& w, bool down) {
    if (netem()) {
      std::string why;
      ASSERT_TRUE(SetNetem(down ? "loss 100%" : "", why)) << why;
      return;
    }
    w.lanProxy->SetLinkDown(down);
    w.relayProxy->SetLinkDown(down);
  }

  // Frames each session shows over window: the fewest and the most.
  std::pair<uint64_t, uint64_t> ShownOver(World& w, std::chrono::milliseconds window) {
    std::vector<uint64_t> before;
    for (Session& s : w.sessions) before.push_back(s.camera->counters.shown);
    WaitFor([] { return false; }, window);  // the window itself is what is measured
    uint64_t fewest = UINT64_MAX, most = 0;
    for (std::size_t i = 0; i < w.sessions.size(); ++i) {
      const uint64_t n = w.sessions[i].camera->counters.shown - before[i];
      fewest = std::min(fewest, n);
      most = std::max(most, n);
    }
    return {fewest, most};
  }

  // Stops everything and checks what every fault must leave behind; one row of the table.
  void Finish(World& w, const std::string& fault, const std::string& mechanism, const std::string& outcome) {
    std::string problems;
    const long long longestStop = w.StopAll(problems);
    EXPECT_LT(longestStop, 1000) << "the longest stop";
    int samples = 0, frames = 0;
    const int files = w.CheckRecordings(problems, samples, frames);
    w.ThreadsBack(problems);
    EXPECT_EQ(problems, "");
    EXPECT_EQ(w.sim->Refusals(), "");
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    rows.push_back({fault, mechanism, std::to_string(World::kLan) + " LAN + " + std::to_string(World::kRelay) + " relay",
                    (HasFailure() ? "FAILED; " : "") + outcome + "; stops <= " + std::to_string(longestStop) + " ms",
                    std::to_string(files) + " MP4 read back: " + std::to_string(samples) + " samples, " +
                        std::to_string(frames) + " decoded",
                    seconds});
  }

  // LAN sessions fail and are started again by the watchdog; relay ones stay failed.
  void ExpectRestartedOrFailed(World& w) {
    ASSERT_TRUE(w.WaitAll(
        [&](Session& s) {
          const auto states = w.States(s);
          return s.relay ? s.camera->m_VideoStatus == STATUS_VIDEO_FAILED
                         : Seen(states, {STATUS_VIDEO_PLAYING, STATUS_VIDEO_FAILED, STATUS_VIDEO_PLAYING}) &&
                               s.camera->m_VideoStatus == STATUS_VIDEO_PLAYING;
        },
        20s))
        << w.sim->Log();
    // A watchdog period and more goes by: the relay sessions stay failed.
    EXPECT_FALSE(WaitFor(
        [&] {
          for (Session& s : w.sessions)
            if (s.relay && (s.camera->m_VideoStatus != STATUS_VIDEO_FAILED || w.StreamStarts(s.sid) != 1)) return true;
          return false;
        },
        2500ms));
    for (Session& s : w.sessions) {
      if (!s.relay) {
        EXPECT_GE(w.StreamStarts(s.sid), 2) << s.sid;
      }
    }
  }

  // A knob that spoils every stream after a while: garbage or absurd lengths.
  void SpoiledStream(const std::string& fault, const std::string& knob) {
    World w({"\"" + knob + "\": 2", ""});
    w.StartAll();
    ASSERT_TRUE(w.AllPlaying(15s)) << w.sim->Log();
    ExpectRestartedOrFailed(w);
    Finish(w, fault, "sim knob " + knob + " 2",
           "10 LAN failed, restarted by the watchdog, playing; 6 relay failed, not restarted");
  }

  const Clock::time_point start_ = Clock::now();
};

TEST_F(Campaign, Loss5Percent) {
  World w({"", "", !netem()});
  Impair(w, {0, 0, 0.05}, "loss 5%");
  w.StartAll();
  ASSERT_TRUE(w.AllPlaying(20s)) << w.sim->Log();
  const uint64_t fewest = ShownOver(w, 5s).first;
  EXPECT_GE(fewest, 30u) << "of about 75 frames in 5 s";
  for (Session& s : w.sessions) EXPECT_FALSE(Ever(w.States(s), STATUS_VIDEO_FAILED)) << s.sid;
  Impair(w, {}, "");
  Finish(w, "5 % loss", netem() ? "netem loss 5%" : "proxy: 5 % of chunks held 200-400 ms (TCP loss as its resend stall)",
         "16 playing throughout, >= " + std::to_string(fewest) + " frames in 5 s each");
}

TEST_F(Campaign, Delay200Jitter50) {
  World w({"", "", !netem()});
  Impair(w, {200, 50, 0}, "delay 200ms 50ms");
  w.StartAll();
  ASSERT_TRUE(w.AllPlaying(20s)) << w.sim->Log();
  const uint64_t fewest = ShownOver(w, 4s).first;
  EXPECT_GE(fewest, 40u) << "of about 60 frames in 4 s";
  for (Session& s : w.sessions) EXPECT_FALSE(Ever(w.States(s), STATUS_VIDEO_FAILED)) << s.sid;
  Impair(w, {}, "");
  Finish(w, "200 ms delay +-50 ms", netem() ? "netem delay 200ms 50ms" : "proxy: 200 +-50 ms each way, order kept",
         "16 playing throughout, >= " + std::to_string(fewest) + " frames in 4 s each");
}

TEST_F(Campaign, LinkCut10Seconds) {
  World w({"", "", !netem()});
  w.StartAll();
  ASSERT_TRUE(w.AllPlaying(15s)) << w.sim->Log();
  LinkDown(w, true);
  WaitFor([] { return false; }, 10s);  // the cut lasts 10 s
  std::vector<uint64_t> shownAtRestore;
  for (Session& s : w.sessions) shownAtRestore.push_back(s.camera->counters.shown);
  const int64_t restoredNs = SteadyNowNs();
  LinkDown(w, false);
  // Video again: a new session since the restore, or the old one going on.
  auto videoAgain = [&](Session& s) {
    const std::size_t i = &s - w.sessions.data();
    if (s.camera->m_VideoStatus != STATUS_VIDEO_PLAYING) return false;
    return s.camera->counters.startedNs > restoredNs ? s.camera->counters.shown > 0
                                                     : s.camera->counters.shown > shownAtRestore[i] + 5;
  };
  ASSERT_TRUE(w.WaitAll(
      [&](Session& s) { return videoAgain(s) || (s.relay && s.camera->m_VideoStatus == STATUS_VIDEO_FAILED); }, 25s))
      << w.sim->Log();
  int restarted = 0, relayFailed = 0;
  for (Session& s : w.sessions) {
    if (!s.relay && w.StreamStarts(s.sid) >= 2) ++restarted;
    if (s.relay && s.camera->m_VideoStatus == STATUS_VIDEO_FAILED) ++relayFailed;
  }
  if (!netem()) {  // the proxy breaks every connection that lived through the cut
    EXPECT_EQ(restarted, World::kLan);
    EXPECT_EQ(relayFailed, World::kRelay);
  }
  Finish(w, "link cut 10 s, restored",
         netem() ? "netem loss 100% for 10 s"
                 : "proxy: 10 s nothing forwarded, no connection served; then the old ones reset",
         std::to_string(World::kLan) + " LAN show video again (" + std::to_string(restarted) +
             " restarted by the watchdog); " + std::to_string(relayFailed) + " relay failed, not restarted");
}

TEST_F(Campaign, CameraStopsSendingWithoutClosing) {
  World w({"\"stallAfterSeconds\": 3", ""});
  w.StartAll();
  ASSERT_TRUE(w.AllPlaying(15s)) << w.sim->Log();
  // Every stream has stalled and its last frames are shown.
  WaitFor([] { return false; }, 4500ms);
  const uint64_t frozen = ShownOver(w, 2s).second;
  EXPECT_EQ(frozen, 0u) << "no picture comes from a stalled camera";
  // Nothing on the stream is a failure: the session waits on, playing.
  for (Session& s : w.sessions) {
    EXPECT_EQ(s.camera->m_VideoStatus, STATUS_VIDEO_PLAYING) << s.sid;
    EXPECT_FALSE(Ever(w.States(s), STATUS_VIDEO_FAILED)) << s.sid;
  }
  Finish(w, "camera stops sending, stays open", "sim knob stallAfterSeconds 3",
         "16 stay playing on a frozen picture (a silent stream is no failure)");
}

TEST_F(Campaign, GarbagePackets) { SpoiledStream("garbage packets", "garbageAfterSeconds"); }

TEST_F(Campaign, AbsurdLengths) { SpoiledStream("absurd lengths", "absurdLengthAfterSeconds"); }

TEST_F(Campaign, SlowReplies) {
  World w({"\"replyDelayMs\": 2500", ""});
  w.StartAll();
  const auto started = Clock::now();
  EXPECT_FALSE(WaitFor(
      [&] {
        for (Session& s : w.sessions)
          if (s.camera->m_VideoStatus != STATUS_VIDEO_CONNECTING) return true;
        return false;
      },
      2000ms))
      << "every session waits for its reply, connecting";
  ASSERT_TRUE(w.AllPlaying(15s)) << w.sim->Log();
  const double took = std::chrono::duration<double>(Clock::now() - started).count();
  for (Session& s : w.sessions) EXPECT_FALSE(Ever(w.States(s), STATUS_VIDEO_FAILED)) << s.sid;
  char text[96];
  std::snprintf(text, sizeof text, "16 connecting through the 2.5 s reply, all playing after %.1f s", took);
  Finish(w, "slow connect replies", "sim knob replyDelayMs 2500", text);
}

TEST_F(Campaign, GzipBombOnTheWebService) {
  World w({"", R"("faults": {"devList": {"gzipBomb": true}, "current": {"gzipBomb": true}})"});
  const long before = ResidentKib();
  const auto asked = Clock::now();
  EXPECT_FALSE(w.client->cameras.Update(w.client->ctx)) << "the device list is a failure, not an empty success";
  const double listSeconds = std::chrono::duration<double>(Clock::now() - asked).count();
  EXPECT_LT(listSeconds, 10.0);
  w.StartAll();
  ASSERT_TRUE(w.WaitAll([&](Session& s) { return Ever(w.States(s), STATUS_VIDEO_FAILED); }, 15s)) << w.sim->Log();
  const long grownMib = (ResidentKib() - before) / 1024;
  EXPECT_LT(grownMib, 256) << "the bomb expands to 1 GiB";
  for (Session& s : w.sessions) EXPECT_EQ(w.StreamStarts(s.sid), 0) << s.sid;
  char text[160];
  std::snprintf(text, sizeof text, "device list failed in %.1f s; 16 failed at negotiation; memory %+ld MiB",
                listSeconds, grownMib);
  Finish(w, "gzip bomb (devList, current)", "sim fault gzipBomb (1 GiB)", text);
}

TEST_F(Campaign, RelayResets) {
  World w({"", R"("relay": {"resetAfterSeconds": 3})"});
  w.StartAll();
  ASSERT_TRUE(w.AllPlaying(15s)) << w.sim->Log();
  ASSERT_TRUE(w.WaitAll([](Session& s) { return !s.relay || s.camera->m_VideoStatus == STATUS_VIDEO_FAILED; }, 10s))
      << w.sim->Log();
  EXPECT_FALSE(WaitFor(
      [&] {
        for (Session& s : w.sessions)
          if (s.relay ? s.camera->m_VideoStatus != STATUS_VIDEO_FAILED
                      : s.camera->m_VideoStatus != STATUS_VIDEO_PLAYING)
            return true;
        return false;
      },
      2500ms))
      << "relay sessions stay failed, LAN ones play on";
  for (Session& s : w.sessions) {
    if (!s.relay) {
      EXPECT_FALSE(Ever(w.States(s), STATUS_VIDEO_FAILED)) << s.sid;
    }
  }
  Finish(w, "relay resets (RST)", "sim knob relay.resetAfterSeconds 3",
         "6 relay failed, not restarted; 10 LAN playing throughout");
}

class Table : public ::testing::Environment {
 public:
  void TearDown() override {
    std::printf("\nnetwork faults: %s\n\n", mechanismWhy.c_str());
    std::printf("| fault | mechanism | sessions | outcome | files checked | time |\n|---|---|---|---|---|---|\n");
    for (const Row& r : rows)
      std::printf("| %s | %s | %s | %s | %s | %.1f s |\n", r.fault.c_str(), r.mechanism.c_str(), r.sessions.c_str(),
                  r.outcome.c_str(), r.files.c_str(), r.seconds);
    std::fflush(stdout);
  }
};

}  // namespace
}  // namespace lumivex::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Before any thread: netem moves the whole process into a namespace of its own.
  lumivex::test::ChooseNetworkMechanism(lumivex::test::mechanismWhy);
  std::printf("network faults: %s\n", lumivex::test::mechanismWhy.c_str());
  ::testing::AddGlobalTestEnvironment(new lumivex::test::Table);
  return RUN_ALL_TESTS();
}
