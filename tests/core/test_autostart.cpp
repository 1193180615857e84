// The autostart entry: the Exec quoting of the Desktop Entry rules against
// hand-worked answers, the written file checked by desktop-file-validate,
// and what counts as on.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/autostart.h"
#include "core/xdg.h"
#include "support/child_process.h"
#include "support/fake_home.h"

namespace lumivex {
namespace {

using test::FakeHome;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::string Validator() {
  for (const char* path : {"/usr/bin/desktop-file-validate", "/usr/local/bin/desktop-file-validate"})
    if (std::filesystem::exists(path)) return path;
  return "";
}

TEST(AutostartTest, ExecQuotingFollowsTheDesktopEntryRules) {
  EXPECT_EQ(DesktopExecArgument("/usr/bin/lumivex"), "/usr/bin/lumivex");
  EXPECT_EQ(DesktopExecArgument("/opt/my apps/lumivex"), "\"/opt/my apps/lumivex\"");
  // '"' '$' '\' take a backslash inside the quotes, and every backslash is
  // doubled again by the string rules; '%' is doubled even unquoted.
  EXPECT_EQ(DesktopExecArgument("/opt/a\"b$c\\d/lumivex"), "\"/opt/a\\\\\"b\\\\$c\\\\\\\\d/lumivex\"");
  EXPECT_EQ(DesktopExecArgument("/opt/100%/lumivex"), "/opt/100%%/lumivex");
  EXPECT_EQ(DesktopExecArgument("/opt/(x)/lumivex"), "\"/opt/(x)/lumivex\"");
  // Nothing an entry cannot carry: a relative path, a line break, bad UTF-8.
  EXPECT_EQ(DesktopExecArgument("lumivex"), "");
  EXPECT_EQ(DesktopExecArgument("/opt/a\nb"), "");
  EXPECT_EQ(DesktopExecArgument("/opt/\xFF"), "");
}

TEST(AutostartTest, WrittenEntryValidatesReadsBackAndIsRemoved) {
  FakeHome home;
  const std::string entry = AutostartEntryPath();
  EXPECT_EQ(entry, home.autostartEntry());
  EXPECT_FALSE(AutostartEnabled());
  EXPECT_TRUE(SetAutostart(false, "/usr/bin/lumivex")) << "removing what is not there";

  const std::string program = "/opt/Lumivex Client/bin/lumi\"vex$1";
  ASSERT_TRUE(SetAutostart(true, program));
  EXPECT_TRUE(AutostartEnabled());
  const std::string text = ReadFileBytes(entry);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nExec=\"/opt/Lumivex Client/bin/lumi\\\\\"vex\\\\$1\"\n"), std::string::npos) << text;
  if (Validator().empty()) {
    GTEST_SKIP() << "desktop-file-validate is missing (Debian package desktop-file-utils)";
  }
  test::ProcessResult check = test::RunProgram(Validator(), {entry});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  EXPECT_EQ(check.out + check.err, "");

  ASSERT_TRUE(SetAutostart(false, program));
  EXPECT_FALSE(std::filesystem::exists(entry));
  EXPECT_FALSE(AutostartEnabled());
}

TEST(AutostartTest, OnlyAnEntryWithAnExecAndNotHiddenCountsAsOn) {
  FakeHome home;
  std::filesystem::create_directories(home.config() + "/autostart");
  const std::string entry = home.autostartEntry();
  auto enabled = [&](const std::string& text) {
    WriteFileBytes(entry, text);
    return AutostartEntryEnabled(entry);
  };
  EXPECT_TRUE(enabled("[Desktop Entry]\nType=Application\nExec = /usr/bin/lumivex \n"));
  EXPECT_FALSE(enabled("[Desktop Entry]\nType=Application\nExec=\n"));
  EXPECT_FALSE(enabled("[Desktop Entry]\nExec=/usr/bin/lumivex\nHidden=true\n"));
  EXPECT_TRUE(enabled("[Desktop Entry]\nExec=/usr/bin/lumivex\nHidden=false\n"));
  EXPECT_FALSE(enabled("[Desktop Action x]\nExec=/usr/bin/lumivex\n")) << "another group's Exec";
  EXPECT_FALSE(enabled(""));
}

TEST(AutostartTest, XdgConfigHomeIsTakenOnlyWhenAbsolute) {
  FakeHome home;
  {
    test::ScopedEnv config("XDG_CONFIG_HOME", "/srv/conf/");
    EXPECT_EQ(XdgConfigHome(), "/srv/conf");
    EXPECT_EQ(AutostartEntryPath(), "/srv/conf/autostart/lumivex.desktop");
  }
  test::ScopedEnv relative("XDG_CONFIG_HOME", "conf");
  EXPECT_EQ(XdgConfigHome(), home.config());
}

}  // namespace
}  // namespace lumivex
