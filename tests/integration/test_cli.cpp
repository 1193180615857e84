// lumivexctl as a user runs it: against lumivex-sim, with its exit statuses,
// its printed notices and the updater it starts.

#include <algorithm>
#include <gtest/gtest.h>
#include <json/json.h>
#include <pugixml.hpp>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/version.h"
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
  EXPECT_EQ(Ctl(sim, {"--user", "alice", "--password", "secret77", "--remember", "login"}).exitCode, 0);
  EXPECT_EQ(Ctl(sim, {"login", "--host"}).exitCode, 2) << "the command's arguments are its own";
  EXPECT_EQ(RunProgram(CliPath(), {"--version"}).out, std::string("lumivexctl ") + kVersionText + "\n");
  ProcessResult help = RunProgram(CliPath(), {"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* command : {"devices", "probe-lan", "alarm-time", "bound-users", "recover", "check-update",
                              "playback-list", "message: "})
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

// Folders that cannot be made end the run at once, named with the reason;
// a good run leaves its log in the program folder's log/.
TEST_F(CliTest, FoldersThatCannotBeMadeAreNamedAndARunIsLogged) {
  SimServer sim(R"({"accounts": [{"user": "alice", "password": "secret77"}]})");
  ProcessResult good = Ctl(sim, {"-u", "alice", "-p", "secret77", "login"});
  ASSERT_EQ(good.exitCode, 0) << good.out << good.err;
  EXPECT_NE(ReadText(home.str() + "/log/lumivexctl.log").find("INFO  lumivexctl: signed in as alice"),
            std::string::npos);

  TempDir blocked;
  WriteFileBytes(blocked / "log", "a file where the log folder goes");
  std::vector<std::string> args = sim.CliOptions(blocked.str());
  for (const char* a : {"-u", "alice", "-p", "secret77", "login"}) args.push_back(a);
  ProcessResult r = RunProgram(CliPath(), args);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.rfind("lumivexctl: " + blocked.str() + "/log: ", 0), 0u) << r.err;
  EXPECT_EQ(r.out.find("signed in"), std::string::npos);
}

// A handshake that cannot reach the service says why, under the message.
TEST_F(CliTest, UnreachableServiceNamesTheCause) {
  SimServer sim(R"({"accounts": [{"user": "alice", "password": "secret77"}]})");
  std::vector<std::string> args = sim.CliOptions(home.str());
  auto port = std::find(args.begin(), args.end(), "--port");
  ASSERT_NE(port, args.end());
  *(port + 1) = "1";  // nothing listens on loopback port 1
  for (const char* a : {"-u", "alice", "-p", "secret77", "login"}) args.push_back(a);
  ProcessResult r = RunProgram(CliPath(), args);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.out.find("message: 请求失败，请稍后重试\nmessage: 无法连接到服务器\n"), std::string::npos) << r.out;
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

// "settings" shows the sheet's values and saves as "保存设置" does; the
// autostart entry it writes starts the desktop client.
TEST_F(CliTest, SettingsArePrintedAndSavedAsTheSheetSavesThem) {
  SimServer sim(R"({"accounts": [{"user": "alice", "password": "secret77"}]})");
  TempDir fakeHome;
  const std::vector<std::string> env = {"HOME=" + fakeHome.str(), "XDG_CONFIG_HOME="};
  auto settings = [&](std::vector<std::string> options) {
    std::vector<std::string> args = {"-u", "alice", "-p", "secret77", "settings"};
    args.insert(args.end(), options.begin(), options.end());
    return Ctl(sim, args, env);
  };
  ProcessResult shown = settings({});
  ASSERT_EQ(shown.exitCode, 0) << shown.out << shown.err;
  EXPECT_NE(shown.out.find("\nfile-length: 20\nto-tray: 0\nshow-close: 1\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\nautostart: off\nupdate: 1\nlayout: 2x2\n"), std::string::npos) << shown.out;

  const std::string video = home.str() + "/rec";
  ProcessResult saved = settings({"--video-path", video, "--file-length", "40", "--to-tray", "1", "--update", "0",
                                  "--autostart", "on", "--layout", "4x4M"});
  ASSERT_EQ(saved.exitCode, 0) << saved.out << saved.err;
  EXPECT_NE(saved.out.find("video-path: " + video + "/\n"), std::string::npos) << saved.out;
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((home.str() + "/config/alice_config.xml").c_str()));
  const pugi::xml_node config1 = doc.child("config").child("config1"), config2 = doc.child("config").child("config2");
  EXPECT_EQ(config1.child_value("VideoPath"), video + "/");
  EXPECT_STREQ(config1.child_value("FileLength"), "40");
  EXPECT_STREQ(config1.child_value("ToTray"), "1");
  EXPECT_STREQ(config1.child_value("Update"), "0");
  EXPECT_STREQ(config2.child_value("xNums"), "4");
  EXPECT_STREQ(config2.child_value("FirstLarger"), "1");
  const std::string entry = ReadText(fakeHome.str() + "/.config/autostart/lumivex.desktop");
  const std::string desktop = std::filesystem::path(CliPath()).parent_path().string() + "/lumivex";
  EXPECT_NE(entry.find("\nExec=" + desktop + "\n"), std::string::npos) << entry;

  // Refused: a length the list does not offer; a folder below a plain file.
  EXPECT_EQ(settings({"--file-length", "25"}).exitCode, 2);
  WriteFileBytes(home / "plain", "x");
  ProcessResult refused = settings({"--image-path", home.str() + "/plain/shots", "--autostart", "off"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("message: 截图文件存储路径不可写，请重新选择"), std::string::npos) << refused.out;
  EXPECT_TRUE(std::filesystem::exists(fakeHome.str() + "/.config/autostart/lumivex.desktop")) << "nothing saved";
  EXPECT_EQ(sim.Refusals(), "");
}

}  // namespace
}  // namespace lumivex::test
