#include "config/user_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace lumivex {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::vector<std::string> ChildNames(pugi::xml_node node) {
  std::vector<std::string> names;
  for (pugi::xml_node child : node.children()) names.push_back(child.name());
  return names;
}

std::vector<std::string> AttributeNames(pugi::xml_node node) {
  std::vector<std::string> names;
  for (pugi::xml_attribute a : node.attributes()) names.push_back(a.name());
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

class UserConfigTest : public ::testing::Test {
 protected:
  std::string Create(const char* user = "alice") {
    UserSettings s;
    s.userName = user;
    EXPECT_TRUE(CreateDefaultUserConfig(s, dir.str(), [](StorageKind kind, std::string& folder) {
      return DefaultStorageFolder(kind, [](std::string& root) {
        root = "/mnt/data";
        return true;
      }, folder);
    }));
    return s.configPath;
  }
  // A hand-written UTF-8 file, as a user might edit it.
  std::string Write(const std::string& body) {
    std::string path = (dir / "bob_config.xml").string();
    WriteFileBytes(path, "<config>" + body + "</config>");
    return path;
  }

  TempDir dir;
};

TEST_F(UserConfigTest, DefaultDocumentElementByElement) {
  std::string path = Create();
  EXPECT_EQ(path, (dir / "alice_config.xml").string());
  std::string bytes = ReadFileBytes(path);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE<\0", 4)) << "UTF-16LE mark, no declaration";
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(path.c_str()));
  pugi::xml_node config = doc.document_element();
  EXPECT_STREQ(config.name(), "config");
  using Names = std::vector<std::string>;
  EXPECT_EQ(ChildNames(doc), Names{"config"});
  EXPECT_EQ(ChildNames(config), (Names{"config1", "config2", "config3", "config4"}));

  pugi::xml_node c1 = config.child("config1");
  EXPECT_EQ(ChildNames(c1), (Names{"VideoPath", "ImagePath", "FileLength", "ToTray", "ShowClose",
                                   "AutoLogin", "AutoPlay", "Topmost", "Update", "User"}));
  EXPECT_STREQ(c1.child_value("VideoPath"), "/mnt/data/VideoFile/");
  EXPECT_STREQ(c1.child_value("ImagePath"), "/mnt/data/ImageFile/");
  const char* values1[][2] = {{"FileLength", "20"}, {"ToTray", "0"},  {"ShowClose", "1"},
                              {"AutoLogin", "0"},   {"AutoPlay", "0"}, {"Topmost", "0"},
                              {"Update", "1"}};
  for (auto& [name, value] : values1) EXPECT_STREQ(c1.child_value(name), value) << name;
  pugi::xml_node user = c1.child("User");
  EXPECT_EQ(AttributeNames(user), (Names{"ID", "Password"}));
  EXPECT_STREQ(user.attribute("ID").value(), "0");
  EXPECT_STREQ(user.attribute("Password").value(), "0");
  EXPECT_FALSE(user.first_child());

  pugi::xml_node c2 = config.child("config2");
  EXPECT_EQ(ChildNames(c2), (Names{"IsMax", "MainX", "MainY", "MainX1", "MainY1", "FirstLarger",
                                   "xNums", "yNums"}));
  for (const char* name : {"IsMax", "MainX", "MainY", "MainX1", "MainY1", "FirstLarger"})
    EXPECT_STREQ(c2.child_value(name), "0") << name;
  EXPECT_STREQ(c2.child_value("xNums"), "2");
  EXPECT_STREQ(c2.child_value("yNums"), "2");

  EXPECT_FALSE(config.child("config3").first_child());
  pugi::xml_node c4 = config.child("config4");
  EXPECT_EQ(ChildNames(c4), (Names{"GroupList", "CameraList"}));
  EXPECT_EQ(ChildNames(c4.child("GroupList")), Names{"Group"});
  pugi::xml_node group = c4.child("GroupList").child("Group");
  EXPECT_STREQ(group.child_value(), "我的Orbelle");
  EXPECT_EQ(AttributeNames(group), (Names{"GID", "EXPAND"}));
  EXPECT_STREQ(group.attribute("GID").value(), "0");
  EXPECT_STREQ(group.attribute("EXPAND").value(), "1");
  EXPECT_FALSE(c4.child("CameraList").first_child());
}

TEST_F(UserConfigTest, DefaultWithoutStorageDriveOrFolder) {
  UserSettings s;
  s.userName = "carol";
  ASSERT_TRUE(CreateDefaultUserConfig(s, dir.str(), [](StorageKind, std::string&) { return false; }));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(s.configPath.c_str()));
  EXPECT_STREQ(doc.child("config").child("config1").child_value("VideoPath"), "");
  EXPECT_TRUE(doc.child("config").child("config1").child("ImagePath"));

  s.userName = "dave";
  EXPECT_FALSE(CreateDefaultUserConfig(s, (dir / "missing").string(), nullptr));
  s.userName = "../x";
  EXPECT_FALSE(CreateDefaultUserConfig(s, dir.str(), nullptr));
}

TEST_F(UserConfigTest, ReadsValuesByNameWithTheConversionRules) {
  UserSettings s;
  s.configPath = Write(
      "<config2><yNums>3</yNums><MainY1> 700</MainY1><MainX>-12</MainX><IsMax>1</IsMax>"
      "<FirstLarger>1</FirstLarger><xNums>3</xNums><MainY>x</MainY><MainX1>900px</MainX1>"
      "</config2>"
      "<config1><Update>2</Update><AutoPlay>1</AutoPlay><ShowClose>1 </ShowClose>"
      "<ToTray>true</ToTray><FileLength>25min</FileLength><ImagePath>/img/</ImagePath>"
      "<AutoLogin>1</AutoLogin><VideoPath>/v/</VideoPath></config1>");
  WallLayout layout;
  ASSERT_TRUE(LoadUserSettings(s, layout));
  EXPECT_EQ(s.storage.Get().VideoPath, "/v/");
  EXPECT_EQ(s.storage.Get().ImagePath, "/img/");
  EXPECT_EQ(s.storage.Get().FileLength, 25);
  EXPECT_EQ(s.ToTray, 0);
  EXPECT_EQ(s.ShowClose, 0) << "on only for exactly \"1\"";
  EXPECT_EQ(s.AutoLogin, 1);
  EXPECT_EQ(s.AutoPlay, 1);
  EXPECT_EQ(s.Update, 2);
  EXPECT_EQ(s.IsMax, 1);
  EXPECT_EQ(s.MainX, -12);
  EXPECT_EQ(s.MainY, 0);
  EXPECT_EQ(s.MainX1, 900);
  EXPECT_EQ(s.MainY1, 700);
  EXPECT_EQ(layout, (WallLayout{3, 3, 1}));
}

TEST_F(UserConfigTest, UnloadableFileKeepsDefaultsAndIsNeverOverwritten) {
  std::string good = ReadFileBytes(Create());
  std::string path = (dir / "bob_config.xml").string();
  for (const std::string& bytes :
       {good.substr(0, good.size() / 2), std::string("not xml"), std::string("<config/><config/>")}) {
    WriteFileBytes(path, bytes);
    UserSettings s;
    s.configPath = path;
    WallLayout layout{4, 4, 1};
    EXPECT_FALSE(LoadUserSettings(s, layout));
    EXPECT_EQ(layout, (WallLayout{4, 4, 1})) << "left as it was";
    EXPECT_EQ(s.ShowClose, 1);
    EXPECT_EQ(s.ToTray + s.AutoLogin + s.AutoPlay + s.Update + s.storage.Get().FileLength, 0);
    EXPECT_TRUE(s.storage.Get().VideoPath.empty() && s.storage.Get().ImagePath.empty());

    s.MainX = 5;
    EXPECT_FALSE(SaveWindowState(s, layout));
    EXPECT_FALSE(SetConfigText(path, "config1", "ShowClose", "0"));
    EXPECT_FALSE(SetConfigAttrib(path, "config1", "User", "ID", "bob"));
    std::string text;
    EXPECT_FALSE(GetConfigText(path, "config1", "ShowClose", text));
    EXPECT_EQ(ReadFileBytes(path), bytes);
  }
}

TEST_F(UserConfigTest, LayoutsOutsideTheSixFallBackTo2x2) {
  const WallLayout offered[] = {{1, 1, 0}, {2, 2, 0}, {3, 3, 0}, {4, 4, 0}, {3, 3, 1}, {4, 4, 1}};
  for (const WallLayout& l : offered) EXPECT_TRUE(IsOfferedLayout(l));
  const WallLayout bad[] = {{2, 2, 1}, {1, 1, 1}, {3, 2, 0}, {0, 0, 0}, {5, 5, 0}, {4, 4, 2}, {-1, -1, 0}};
  for (const WallLayout& l : bad) EXPECT_EQ(OfferedLayoutOr2x2(l), WallLayout{});

  UserSettings s;
  s.configPath = Write("<config2><yNums>4</yNums><FirstLarger>0</FirstLarger></config2>");
  WallLayout layout{1, 1, 0};
  ASSERT_TRUE(LoadUserSettings(s, layout));
  EXPECT_EQ(layout, WallLayout{}) << "a missing xNums reads 0";
}

TEST_F(UserConfigTest, FolderOf260Utf16UnitsIsRefused) {
  // 257 letters and one character outside the BMP: 259 units; one letter more: 260.
  std::string fits = std::string(257, 'a') + "\xF0\x9F\x98\x80";
  std::string tooLong = "a" + fits;
  FolderText folder;
  EXPECT_TRUE(folder.Set(fits));
  EXPECT_FALSE(folder.Set(tooLong));
  EXPECT_EQ(folder, fits) << "the old value stays";
  EXPECT_FALSE(folder.Set("\xFF bad"));

  UserSettings s;
  s.configPath = Write("<config1><VideoPath>" + tooLong + "</VideoPath><ImagePath>" + fits +
                       "</ImagePath></config1>");
  s.storage.Update([](StorageFolders& f) { f.VideoPath.Set("/old/"); });
  WallLayout layout;
  ASSERT_TRUE(LoadUserSettings(s, layout));
  EXPECT_TRUE(s.storage.Get().VideoPath.empty());
  EXPECT_EQ(s.storage.Get().ImagePath, fits);
}

TEST_F(UserConfigTest, WindowStateAndSingleValuesRoundTrip) {
  std::string path = Create();
  UserSettings s;
  s.configPath = path;
  s.IsMax = 1;
  s.MainX = -8;
  s.MainY = 10;
  s.MainX1 = 1920;
  s.MainY1 = 1080;
  ASSERT_TRUE(SaveWindowState(s, WallLayout{4, 4, 1}));
  ASSERT_TRUE(SetConfigText(path, "config1", "ToTray", "1"));
  ASSERT_TRUE(SetConfigAttrib(path, "config1", "User", "Password", "secret"));

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(path.c_str()));
  pugi::xml_node c2 = doc.child("config").child("config2");
  EXPECT_STREQ(c2.child_value("MainX"), "-8");
  EXPECT_STREQ(c2.child_value("FirstLarger"), "1");
  EXPECT_STREQ(doc.child("config").child("config4").child("GroupList").child_value("Group"),
               "我的Orbelle");

  UserSettings back;
  back.configPath = path;
  WallLayout layout;
  ASSERT_TRUE(LoadUserSettings(back, layout));
  EXPECT_EQ(layout, (WallLayout{4, 4, 1}));
  EXPECT_EQ(back.IsMax, 1);
  EXPECT_EQ(back.MainX, -8);
  EXPECT_EQ(back.MainY1, 1080);
  EXPECT_EQ(back.ToTray, 1);
  std::string password;
  ASSERT_TRUE(GetConfigAttrib(path, "config1", "User", "Password", password));
  EXPECT_EQ(password, "secret");

  // A missing element changes nothing, but the file is still written.
  ino_t before = Inode(path);
  ASSERT_TRUE(SetConfigText(path, "config1", "NoSuchElement", "x"));
  EXPECT_NE(Inode(path), before);
  std::string text = "stale";
  ASSERT_TRUE(GetConfigText(path, "config1", "NoSuchElement", text));
  EXPECT_EQ(text, "");
}

// Every thread's change survives the others', and a reader that takes no
// lock never sees a half-written file.
TEST_F(UserConfigTest, ConcurrentUpdatesAllSurvive) {
  std::string path = Create();
  std::atomic<bool> done{false};
  std::atomic<int> badReads{0};
  std::thread reader([&] {
    while (!done) {
      MarkupDocument doc;
      if (!doc.Load(path)) ++badReads;
    }
  });
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i)
        SetConfigAttrib(path, "config1", "User", "T" + std::to_string(t), std::to_string(i));
    });
  }
  for (auto& w : writers) w.join();
  done = true;
  reader.join();

  EXPECT_EQ(badReads, 0);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(path.c_str()));
  pugi::xml_node user = doc.child("config").child("config1").child("User");
  for (int t = 0; t < 8; ++t)
    EXPECT_STREQ(user.attribute(("T" + std::to_string(t)).c_str()).value(), "9") << t;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace lumivex
