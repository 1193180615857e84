// The settings sheet's values: the file-length list's search, and "保存设置"
// read back from the file with pugixml. The sheet's refusals and failures
// are shown through its window (tests/ui/test_settings_sheet.cpp).

#include "config/preferences.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>

#include "config/user_config.h"
#include "config/user_settings.h"
#include "core/autostart.h"
#include "support/fake_home.h"

namespace lumivex {
namespace {

using test::ReadFileBytes;

TEST(FileLengthEntryOf, SearchesFromTheThirdEntryAndWraps) {
  const std::pair<const char*, int> cases[] = {{"10", 0}, {"20", 1}, {"30", 2}, {"40", 3}, {"25", -1},
                                               {"2", 1},  {"1", 0},  {"4", 3},  {"200", -1}, {"", -1}};
  for (const auto& [text, entry] : cases) EXPECT_EQ(FileLengthEntryOf(text), entry) << text;
}

class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.userName = "alice";
    ASSERT_TRUE(CreateDefaultUserConfig(settings, dir.str(), [](StorageKind, std::string&) { return false; }));
  }
  pugi::xml_node Config1() {
    doc.reset();
    doc.load_file(settings.configPath.c_str());
    return doc.child("config").child("config1");
  }

  test::FakeHome home;
  test::TempDir dir;
  UserSettings settings;
  pugi::xml_document doc;
};

TEST_F(PreferencesTest, SaveWritesEveryValueAndTheRunningSettings) {
  SheetValues values;
  ASSERT_TRUE(ReadSheetValues(settings.configPath, values));
  EXPECT_EQ(values.basic.fileLengthEntry, 1) << "a new file holds 20";
  EXPECT_EQ(values.update, kUpdateAsk);
  EXPECT_TRUE(values.basic.ShowClose);
  EXPECT_FALSE(values.basic.autostart);

  values.basic.VideoPath = dir.str() + "/video/";
  values.basic.ImagePath = dir.str() + "/shots/";
  values.basic.fileLengthEntry = 3;
  values.basic.ToTray = true;
  values.basic.ShowClose = false;
  values.basic.AutoPlay = true;
  values.basic.autostart = true;
  values.update = kUpdateOff;
  SheetSave result = SaveSheetValues(settings, values, "/usr/bin/lumivex");
  ASSERT_TRUE(result.saved) << result.refusal;
  pugi::xml_node c1 = Config1();
  EXPECT_EQ(std::string(c1.child_value("VideoPath")), dir.str() + "/video/");
  EXPECT_EQ(std::string(c1.child_value("ImagePath")), dir.str() + "/shots/");
  EXPECT_STREQ(c1.child_value("FileLength"), "40");
  EXPECT_STREQ(c1.child_value("ToTray"), "1");
  EXPECT_STREQ(c1.child_value("ShowClose"), "0");
  EXPECT_STREQ(c1.child_value("AutoLogin"), "0");
  EXPECT_STREQ(c1.child_value("AutoPlay"), "1");
  EXPECT_STREQ(c1.child_value("Update"), "2");
  const StorageFolders storage = settings.storage.Get();
  EXPECT_EQ(storage.VideoPath, dir.str() + "/video/");
  EXPECT_EQ(storage.FileLength, 40);
  EXPECT_EQ(settings.ToTray + settings.ShowClose + settings.AutoPlay + settings.Update, 1 + 0 + 1 + 2);
  EXPECT_TRUE(AutostartEnabled());
  EXPECT_TRUE(std::filesystem::is_directory(dir.str() + "/shots")) << "made when it was tried";

  // A stored length that selects no entry is saved as none: 0 minutes,
  // which the recorder takes as its default of 20.
  ASSERT_TRUE(SetConfigText(settings.configPath, "config1", "FileLength", "25"));
  ASSERT_TRUE(ReadSheetValues(settings.configPath, values));
  EXPECT_EQ(values.basic.fileLengthEntry, -1);
  EXPECT_TRUE(values.basic.autostart);
  values.basic.autostart = false;
  ASSERT_TRUE(SaveSheetValues(settings, values, "/usr/bin/lumivex").saved);
  EXPECT_STREQ(Config1().child_value("FileLength"), "");
  EXPECT_TRUE(Config1().child("FileLength"));
  EXPECT_EQ(settings.storage.Get().FileLength, 0);
  EXPECT_FALSE(AutostartEnabled());

  // A folder the settings could not hold is refused, not cut.
  values.basic.ImagePath = "/" + std::string(300, 'a') + "/";
  EXPECT_EQ(SaveSheetValues(settings, values, "").refusal, "截图文件存储路径过长，请重新选择");

  // Only a folder changed in the sheet is checked: a stored one that cannot
  // be used now neither blocks another change nor gets made.
  test::WriteFileBytes(dir.path() / "plain", "x");
  const std::string away = dir.str() + "/plain/video/";
  ASSERT_TRUE(SetConfigText(settings.configPath, "config1", "VideoPath", away));
  ASSERT_TRUE(ReadSheetValues(settings.configPath, values));
  values.basic.ToTray = !values.basic.ToTray;
  SheetSave unrelated = SaveSheetValues(settings, values, "");
  EXPECT_TRUE(unrelated.saved) << unrelated.refusal;
  EXPECT_EQ(std::string(Config1().child_value("VideoPath")), away);
  values.basic.VideoPath = dir.str() + "/plain/other/";
  EXPECT_EQ(SaveSheetValues(settings, values, "").refusal, "视频文件存储路径不可写，请重新选择");
}

}  // namespace
}  // namespace lumivex
