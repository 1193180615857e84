// Where the programs keep their files: portable beside a build or a --home,
// per-user XDG folders when installed; and the rolling log file.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "core/deployment.h"
#include "core/logging.h"
#include "core/program_folder.h"
#include "support/fake_home.h"
#include "support/temp_dir.h"

namespace lumivex {
namespace {

namespace fs = std::filesystem;

// An install prefix: prefix/bin beside prefix/share/lumivex/res.
struct Prefix {
  test::TempDir dir;
  std::string bin = (dir / "usr/bin").string();
  std::string res = (dir / "usr/share/lumivex/res").string();
  Prefix() {
    fs::create_directories(bin);
    fs::create_directories(res);
  }
};

TEST(Layout, InstalledProgramKeepsUserDataInXdgFolders) {
  test::FakeHome home;
  test::ScopedEnv state("XDG_STATE_HOME", nullptr);
  test::ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  test::ScopedEnv named("LUMIVEX_HOME", nullptr);
  Prefix prefix;
  ProgramLayout layout = LayoutFor("", prefix.bin);
  EXPECT_EQ(layout.kind, LayoutKind::kInstalled);
  EXPECT_EQ(layout.programFolder, home.str() + "/.config/lumivex");
  EXPECT_EQ(layout.logFolder, home.str() + "/.local/state/lumivex");
  EXPECT_EQ(layout.lockFile, home.str() + "/.config/lumivex/lumivex.lock");  // no runtime folder
  EXPECT_EQ(layout.systemIni, "/etc/lumivex/lumivex.ini");
  EXPECT_EQ(layout.resFolder, prefix.res);
  EXPECT_EQ(LogFileOf(layout, "lumivex"), home.str() + "/.local/state/lumivex/lumivex.log");

  test::TempDir xdg;
  fs::create_directories(xdg / "run");
  test::ScopedEnv stateSet("XDG_STATE_HOME", (xdg / "state").c_str());
  test::ScopedEnv runtimeSet("XDG_RUNTIME_DIR", (xdg / "run").c_str());
  test::ScopedEnv configSet("XDG_CONFIG_HOME", (xdg / "conf").c_str());
  layout = LayoutFor("", prefix.bin);
  EXPECT_EQ(layout.programFolder, (xdg / "conf/lumivex").string());
  EXPECT_EQ(layout.logFolder, (xdg / "state/lumivex").string());
  EXPECT_EQ(layout.lockFile, (xdg / "run/lumivex.lock").string());
  std::string error;
  ASSERT_TRUE(PrepareLayout(layout, error)) << error;
  EXPECT_TRUE(fs::is_directory(xdg / "conf/lumivex/config"));
  EXPECT_TRUE(fs::is_directory(xdg / "state/lumivex"));
}

TEST(Layout, BuildTreeHomeOptionAndEnvironmentStayPortable) {
  test::FakeHome home;
  test::ScopedEnv named("LUMIVEX_HOME", nullptr);
  test::TempDir build;
  fs::create_directories(build / "bin/res");
  ProgramLayout layout = LayoutFor("", (build / "bin").string());
  EXPECT_EQ(layout.kind, LayoutKind::kPortable);
  EXPECT_EQ(layout.programFolder, (build / "bin").string());
  EXPECT_EQ(layout.logFolder, (build / "bin/log").string());
  EXPECT_EQ(layout.lockFile, (build / "bin/lumivex.lock").string());
  EXPECT_TRUE(layout.systemIni.empty());
  EXPECT_EQ(layout.resFolder, (build / "bin/res").string());

  // A named folder wins even over an install prefix; the pictures stay the prefix's.
  Prefix prefix;
  test::TempDir data;
  layout = LayoutFor(data.str(), prefix.bin);
  EXPECT_EQ(layout.kind, LayoutKind::kPortable);
  EXPECT_EQ(layout.programFolder, data.str());
  EXPECT_EQ(layout.logFolder, data.str() + "/log");
  EXPECT_EQ(layout.resFolder, prefix.res);
  test::ScopedEnv namedSet("LUMIVEX_HOME", data.str().c_str());
  EXPECT_EQ(LayoutFor("", prefix.bin).programFolder, data.str());
}

TEST(Layout, FolderThatCannotBeMadeIsNamedWithTheReason) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "config", "a file where the folder should be");
  ProgramLayout layout;
  layout.programFolder = dir.str();
  layout.logFolder = dir.str() + "/log";
  std::string error;
  EXPECT_FALSE(PrepareLayout(layout, error));
  EXPECT_EQ(error.rfind(dir.str() + "/config: ", 0), 0u) << error;
  EXPECT_NE(error.find(std::strerror(ENOTDIR)), std::string::npos) << error;  // the system's words
}

TEST(Layout, SystemDefaultsApplyOnlyWhenTheUserHasNoIni) {
  test::TempDir etc, user;
  test::WriteFileBytes(etc / "lumivex.ini", "host = 10.1.2.3\nca_file = ca.pem\n");
  ProgramLayout layout;
  layout.programFolder = user.str();
  layout.systemIni = (etc / "lumivex.ini").string();
  DeploymentSettings s;
  std::string error;
  ASSERT_TRUE(ResolveDeployment(layout, {{"port", "9443"}}, s, error)) << error;
  EXPECT_EQ(s.host, "10.1.2.3");
  EXPECT_EQ(s.caFile, (etc / "ca.pem").string());  // beside the system's file, not the user's
  EXPECT_EQ(s.port, 9443);

  test::WriteFileBytes(user / "lumivex.ini", "host = 127.0.0.9\n");
  DeploymentSettings own;
  ASSERT_TRUE(ResolveDeployment(layout, {}, own, error)) << error;
  EXPECT_EQ(own.host, "127.0.0.9");
  EXPECT_TRUE(own.caFile.empty());
}

int CountLines(const fs::path& file, const std::string& needle) {
  std::ifstream in(file);
  int count = 0;
  for (std::string line; std::getline(in, line);) count += line.find(needle) != std::string::npos;
  return count;
}

TEST(LogFile, InfoLinesRollOverAtTheSizeAndDebugOnlyWhenVerbose) {
  test::TempDir dir;
  LogOptions options;
  options.program = "lumivextest";
  options.file = (dir / "lumivex.log").string();
  options.maxFileBytes = 256 * 1024;  // log4cplus's smallest is 200 KiB
  options.backups = 2;
  std::string error;
  ASSERT_TRUE(InitLogging(options, error)) << error;
  LogLine("a debug line stays out");
  const std::string filler(200, 'x');
  for (int i = 0; i < 3000; ++i) LogInfo("line " + std::to_string(i) + " " + filler);  // ~660 KiB
  InitLogging(false);  // closes the file

  EXPECT_TRUE(fs::exists(dir / "lumivex.log.1"));
  EXPECT_TRUE(fs::exists(dir / "lumivex.log.2"));
  EXPECT_FALSE(fs::exists(dir / "lumivex.log.3"));
  for (const char* name : {"lumivex.log", "lumivex.log.1"})
    EXPECT_LE(fs::file_size(dir / name), options.maxFileBytes + 1024) << name;
  EXPECT_EQ(CountLines(dir / "lumivex.log", "a debug line"), 0);
  EXPECT_EQ(CountLines(dir / "lumivex.log", "line 2999 x"), 1);
  // Every line: date, time, level, program.
  std::ifstream in(dir / "lumivex.log");
  std::string first;
  std::getline(in, first);
  EXPECT_TRUE(std::regex_search(first, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} INFO  lumivextest: line )")))
      << first;

  options.verbose = true;
  options.file = (dir / "verbose.log").string();
  ASSERT_TRUE(InitLogging(options, error)) << error;
  LogLine("a debug line goes in");
  InitLogging(false);
  EXPECT_EQ(CountLines(dir / "verbose.log", "DEBUG lumivextest: a debug line goes in"), 1);

  options.file = (dir / "missing/folder/x.log").string();
  EXPECT_FALSE(InitLogging(options, error));
  EXPECT_EQ(error, options.file + ": No such file or directory");
  InitLogging(false);
}

}  // namespace
}  // namespace lumivex
