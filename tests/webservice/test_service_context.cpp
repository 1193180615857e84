// Starting the updater: the default of every context, through a stand-in
// program that writes down its command line.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "config/user_settings.h"
#include "core/global.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "webservice/service_context.h"
#include "webservice/service_fixture.h"

namespace lumivex {
namespace {

TEST(ServiceContext, DefaultUpdaterRunsTheProgramWithDashUAndTheAddress) {
  test::TempDir dir;
  std::string script = (dir / "fake-update").string();
  std::string out = (dir / "args").string();
  test::WriteFileBytes(script, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + out + ".tmp' && mv '" + out +
                                   ".tmp' '" + out + "'\n");
  ASSERT_EQ(::chmod(script.c_str(), 0700), 0);
  ::setenv("LUMIVEX_UPDATER", script.c_str(), 1);
  EXPECT_EQ(UpdaterPath(), script);

  Global g;
  UserSettings settings;
  test::RecordingNotifier notifier;
  ServiceContext ctx(g, settings, notifier, dir.str());
  EXPECT_EQ(ctx.ConfigFolder(), dir.str() + "/config");
  ASSERT_TRUE(ctx.startUpdater("http://dl.example/setup?v=2"));
  ASSERT_TRUE(test::WaitFor([&] { return std::filesystem::exists(out); }));
  EXPECT_EQ(test::ReadFileBytes(out), "-u|http://dl.example/setup?v=2|");

  ::setenv("LUMIVEX_UPDATER", (dir / "missing").c_str(), 1);
  EXPECT_FALSE(ctx.startUpdater(""));
  ::unsetenv("LUMIVEX_UPDATER");
  EXPECT_EQ(UpdaterPath().substr(UpdaterPath().rfind('/')), "/lumivex-update");
}

TEST(ServiceContext, StartProgramRefusesWhatCannotRun) {
  test::TempDir dir;
  std::string plain = (dir / "not-executable").string();
  test::WriteFileBytes(plain, "#!/bin/sh\n");
  EXPECT_FALSE(StartProgram(plain, {}));
  EXPECT_FALSE(StartProgram((dir / "absent").string(), {"-u", "x"}));
}

}  // namespace
}  // namespace lumivex
