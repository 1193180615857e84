// lumivexctl as a user runs it: against lumivex-sim, with its exit statuses,
// its printed notices and the updater it starts.

#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "integration/sim_fixture.h"
#include "support/wait_for.h"

namespace lumivex::test {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliTest : public ::testing::Test {
 protected:
  ProcessResult Ctl(SimServer& sim, std::vector<std::string> args, std::vector<std::string> env = {}) {
    std::vector<std::string> all = sim.CliOptions(home.str());
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(CliPath(), all, std::chrono::seconds(60), env);
  }
  TempDir home;
};

TEST_F(CliTest, DemoDevicesAreListedAsJsonLines) {
  SimServer sim(ReadText(std::string(LUMIVEX_SCENARIO_DIR) + "/demo.json"));
  ProcessResult r = Ctl(sim, {"-u", "demo", "-p", "demo123", "devices"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  std::vector<std::string> sids;
  for (const std::string& line : Lines(r.out)) {
    Json::Value v;
    ASSERT_TRUE(Json::Reader().parse(line, v)) << line;
    sids.push_back(v["sid"].asString());
    for (const char* key : {"name", "showAlarm", "alarmStatus", "alarmStartTime", "alarmEndTime", "ledStatus",
                            "soundLeadStatus", "lock", "lockPsd", "type", "version", "img", "init", "status",
                            "listed", "showLED", "showSound", "onLan", "lanIp", "lanMac", "lanPort"})
      EXPECT_TRUE(v.isMember(key)) << key;
  }
  EXPECT_EQ(sids, (std::vector<std::string>{"cam01", "cam02", "cam03", "cam04", "cam05", "cam06", "cam07",
                                            "cam08", "cam09"}));
  EXPECT_EQ(sim.Refusals(), "");
}

TEST_F(CliTest, RememberedPasswordSignsInWithoutTypingAndRefusalsExitOne) {
  SimServer sim(R"({"accounts": [{"user": "alice", "password": "secret77"}]})");
  ProcessResult first = Ctl(sim, {"-u", "alice", "-p", "secret77", "--remember", "login"});
  ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
  EXPECT_NE(first.out.find("signed in: alice"), std::string::npos);

  ProcessResult again = Ctl(sim, {"-u", "alice", "login"});
  EXPECT_EQ(again.exitCode, 0) << again.out << again.err;

  ProcessResult wrong = Ctl(sim, {"-u", "alice", "-p", "wrong999", "login"});
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.out.find("status: 密码错误！"), std::string::npos) << wrong.out;
  EXPECT_EQ(sim.Refusals(), "");
}

TEST_F(CliTest, UsageErrorsAndInputChecksExitTwo) {
  SimServer sim(R"({"accounts": [{"user": "alice", "password": "secret77"}]})");
  EXPECT_EQ(Ctl(sim, {"frobnicate"}).exitCode, 2);
  EXPECT_EQ(Ctl(sim, {"-u", "alice", "-p", "secret77", "alarm", "cam1"}).exitCode, 2);
  ProcessResult badName = Ctl(sim, {"-u", "a!", "-p", "secret77", "login"});
  EXPECT_EQ(badName.exitCode, 2);
  EXPECT_NE(badName.out.find("tip: 用户名必须为字母、数字、下划线，长度为4-20位"), std::string::npos);
  ProcessResult help = RunProgram(CliPath(), {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"devices", "probe-lan", "alarm-time", "bound-users", "recover", "check-update",
                              "playback-list", "message: "})
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

// The service demands an update during the handshake: the updater starts
// with "-u" and the client ends with exit status 0.
TEST_F(CliTest, ForcedUpdateStartsTheUpdaterAndEndsWithZero) {
  SimServer sim(R"({"faults": {"security": {"status": "UPATE"}}})");
  std::string marker = (home / "updater-ran").string();
  std::string updater = (home / "fake-updater").string();
  WriteFileBytes(updater, "#!/bin/sh\nprintf '%s|' \"$@\" > " + marker + ".tmp && mv " + marker + ".tmp " +
                              marker + "\n");
  chmod(updater.c_str(), 0755);
  ProcessResult r = Ctl(sim, {"-u", "alice", "-p", "secret77", "devices"}, {"LUMIVEX_UPDATER=" + updater});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("message: 检测到系统有重要更新，请下载更新！"), std::string::npos) << r.out;
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
  EXPECT_EQ(ReadText(marker), "-u||");
}

}  // namespace
}  // namespace lumivex::test
