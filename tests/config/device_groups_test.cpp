#include "config/device_groups.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>
#include <vector>

#include "config/user_config.h"
#include "support/temp_dir.h"

namespace lumivex {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using Strings = std::vector<std::string>;

// What a reader other than ours finds in config4.
struct Config4 {
  explicit Config4(const std::string& path) {
    loaded = doc.load_file(path.c_str());
    groupList = doc.child("config").child("config4").child("GroupList");
    cameraList = doc.child("config").child("config4").child("CameraList");
  }
  // "GID:EXPAND:name" of every Group element, in file order.
  Strings Groups() const {
    Strings out;
    for (pugi::xml_node g : groupList.children("Group"))
      out.push_back(std::string(g.attribute("GID").value()) + ":" + g.attribute("EXPAND").value() +
                    ":" + g.child_value());
    return out;
  }
  // "Id>GroupID" of every Camera element, in file order.
  Strings Cameras() const {
    Strings out;
    for (pugi::xml_node c : cameraList.children("Camera"))
      out.push_back(std::string(c.attribute("Id").value()) + ">" + c.attribute("GroupID").value());
    return out;
  }
  pugi::xml_document doc;
  bool loaded = false;
  pugi::xml_node groupList, cameraList;
};

Strings Names(const std::vector<DeviceGroup>& groups) {
  Strings out;
  for (const DeviceGroup& g : groups) out.push_back(std::to_string(g.GID) + ":" + g.name);
  return out;
}

class DeviceGroupsTest : public ::testing::Test {
 protected:
  // The file a first sign-in writes.
  std::string CreateDefault() {
    UserSettings s;
    s.userName = "alice";
    EXPECT_TRUE(CreateDefaultUserConfig(s, dir.str(), [](StorageKind, std::string&) { return false; }));
    return s.configPath;
  }
  // A hand-edited UTF-8 file with this config4 body.
  std::string Write(const std::string& config4) {
    std::string path = (dir / "bob_config.xml").string();
    WriteFileBytes(path, "<config><config1/><config4>" + config4 + "</config4></config>");
    return path;
  }
  static std::string Groups(int count) {
    std::string xml = "<GroupList>";
    for (int gid = 0; gid < count; ++gid)
      xml += "<Group GID=\"" + std::to_string(gid) + "\" EXPAND=\"1\">g" + std::to_string(gid) +
             "</Group>";
    return xml + "</GroupList><CameraList/>";
  }

  TempDir dir;
};

TEST_F(DeviceGroupsTest, FirstListingPlacesEveryCameraInTheDefaultGroup) {
  std::string path = CreateDefault();
  DeviceGroups groups(path);
  std::vector<CameraPlacement> placements;
  std::vector<DeviceGroup> shown;
  ASSERT_TRUE(groups.SyncCameras({}, {"cam-a", "cam-b"}, placements, shown));
  EXPECT_EQ(Names(shown), Strings{"0:我的Orbelle"});
  EXPECT_TRUE(shown[0].expanded);
  ASSERT_EQ(placements.size(), 2u);
  EXPECT_EQ(placements[1].id, "cam-b");
  EXPECT_EQ(placements[1].groupId, 0);
  EXPECT_FALSE(placements[1].videoStore);

  Config4 file(path);
  ASSERT_TRUE(file.loaded);
  EXPECT_EQ(file.Cameras(), (Strings{"cam-a>0", "cam-b>0"}));
  pugi::xml_node camera = file.cameraList.child("Camera");
  Strings attributes;
  for (pugi::xml_attribute a : camera.attributes()) attributes.push_back(a.name());
  EXPECT_EQ(attributes, (Strings{"GroupID", "Id", "VideoStore"}));
  EXPECT_STREQ(camera.attribute("VideoStore").value(), "0");
  EXPECT_EQ(ReadFileBytes(path).substr(0, 2), "\xFF\xFE") << "saved in the encoding it was read";

  // A listing later: a known camera keeps its entry, a gone one loses it.
  ASSERT_TRUE(groups.SyncCameras({"cam-a"}, {"cam-b", "cam-c"}, placements, shown));
  EXPECT_EQ(Config4(path).Cameras(), (Strings{"cam-b>0", "cam-c>0"}));
}

TEST_F(DeviceGroupsTest, AddingGroupsUpToThirtyTwo) {
  // Lower numbers are free, yet the new GID is one above the largest.
  std::string path = Write("<GroupList><Group GID=\"0\" EXPAND=\"1\">d</Group>"
                           "<Group GID=\"7\" EXPAND=\"1\">x</Group></GroupList><CameraList/>");
  DeviceGroups groups(path);
  DeviceGroup added;
  ASSERT_EQ(groups.AddGroup(added), DeviceGroups::AddResult::kAdded);
  EXPECT_EQ(added.GID, 8);
  EXPECT_EQ(added.name, "我的分组");
  EXPECT_FALSE(added.expanded);
  EXPECT_EQ(Config4(path).Groups(), (Strings{"0:1:d", "7:1:x", "8:0:我的分组"}));

  path = Write(Groups(31));
  ASSERT_EQ(DeviceGroups(path).AddGroup(added), DeviceGroups::AddResult::kAdded);
  EXPECT_EQ(added.GID, 31);
  std::string full = ReadFileBytes(path);
  EXPECT_EQ(DeviceGroups(path).AddGroup(added), DeviceGroups::AddResult::kFull);
  EXPECT_EQ(ReadFileBytes(path), full) << "nothing written at the limit";

  EXPECT_EQ(DeviceGroups((dir / "none.xml").string()).AddGroup(added),
            DeviceGroups::AddResult::kFailed);
}

TEST_F(DeviceGroupsTest, NewGroupNumberWhenTheLargestIsTaken) {
  std::string path = Write("<GroupList><Group GID=\"0\"/><Group GID=\"1\"/>"
                           "<Group GID=\"2147483647\"/></GroupList>");
  DeviceGroup added;
  ASSERT_EQ(DeviceGroups(path).AddGroup(added), DeviceGroups::AddResult::kAdded);
  EXPECT_EQ(added.GID, 2) << "no overflow past the int32 limit";
}

TEST_F(DeviceGroupsTest, RenamingChecksTheName) {
  std::string path = CreateDefault();
  DeviceGroups groups(path);
  DeviceGroup added;
  ASSERT_EQ(groups.AddGroup(added), DeviceGroups::AddResult::kAdded);

  ASSERT_TRUE(groups.RenameGroup(added.GID, "车库 & <门口>"));
  EXPECT_EQ(Config4(path).Groups()[1], "1:0:车库 & <门口>");

  // 259 UTF-16 units fit; a character outside the BMP takes two of them.
  std::string longest(257, 'a');
  longest += "\xF0\x9F\x93\xB7";  // U+1F4F7
  EXPECT_TRUE(IsGroupName(longest));
  EXPECT_TRUE(groups.RenameGroup(added.GID, longest));
  EXPECT_EQ(Config4(path).Groups()[1], "1:0:" + longest);
  EXPECT_FALSE(groups.RenameGroup(added.GID, longest + "b"));
  EXPECT_FALSE(groups.RenameGroup(added.GID, "tab\there"));
  EXPECT_FALSE(groups.RenameGroup(added.GID, "line\nbreak"));
  EXPECT_FALSE(groups.RenameGroup(added.GID, std::string("nu\0l", 4)));
  EXPECT_FALSE(groups.RenameGroup(added.GID, "\xEF\xBF\xBE"));
  EXPECT_FALSE(groups.RenameGroup(added.GID, "bad \xC3 utf8"));
  EXPECT_EQ(Config4(path).Groups()[1], "1:0:" + longest) << "refused names leave the file alone";

  EXPECT_TRUE(groups.RenameGroup(added.GID, ""));
  EXPECT_EQ(Config4(path).Groups()[1], "1:0:");
  EXPECT_TRUE(groups.RenameGroup(added.GID, "   "));
  std::vector<DeviceGroup> shown;
  ASSERT_TRUE(groups.Load(shown));
  EXPECT_EQ(shown[1].name, StoredGroupName("   "));
  EXPECT_FALSE(groups.RenameGroup(99, "nobody"));
}

TEST_F(DeviceGroupsTest, DeletingAGroupMovesItsCamerasToTheDefaultGroup) {
  std::string path = Write(
      "<GroupList><Group GID=\"0\" EXPAND=\"1\">d</Group><Group GID=\"4\" EXPAND=\"0\">x</Group>"
      "<Group GID=\"5\" EXPAND=\"0\">y</Group></GroupList>"
      "<CameraList><Camera GroupID=\"4\" Id=\"a\" VideoStore=\"0\"/>"
      "<Camera GroupID=\"5\" Id=\"b\" VideoStore=\"0\"/>"
      "<Camera GroupID=\"4\" Id=\"c\" VideoStore=\"1\"/></CameraList>");
  DeviceGroups groups(path);
  EXPECT_FALSE(groups.DeleteGroup(0)) << "the default group stays";
  ASSERT_TRUE(groups.DeleteGroup(4));
  Config4 file(path);
  EXPECT_EQ(file.Groups(), (Strings{"0:1:d", "5:0:y"}));
  EXPECT_EQ(file.Cameras(), (Strings{"a>0", "b>5", "c>0"}));
  EXPECT_STREQ(file.cameraList.last_child().attribute("VideoStore").value(), "1");
  EXPECT_FALSE(groups.DeleteGroup(4));
}

TEST_F(DeviceGroupsTest, MovingACamera) {
  std::string path = Write(
      "<GroupList><Group GID=\"0\">d</Group><Group GID=\"3\">x</Group></GroupList>"
      "<CameraList><Camera GroupID=\"0\" Id=\"a\" VideoStore=\"0\"/></CameraList>");
  DeviceGroups groups(path);
  ASSERT_TRUE(groups.MoveCamera("a", 3));
  EXPECT_EQ(Config4(path).Cameras(), Strings{"a>3"});
  EXPECT_FALSE(groups.MoveCamera("a", 9)) << "no such group";
  EXPECT_EQ(Config4(path).Cameras(), Strings{"a>3"});
  // An entry lost from the file comes back with the move.
  ASSERT_TRUE(groups.MoveCamera("z", 0));
  EXPECT_EQ(Config4(path).Cameras(), (Strings{"a>3", "z>0"}));
}

TEST_F(DeviceGroupsTest, ExpandedStateWrittenForEveryGroup) {
  std::string path = Write("<GroupList><Group GID=\"0\" EXPAND=\"1\">d</Group>"
                           "<Group GID=\"2\" EXPAND=\"0\">x</Group>"
                           "<Group GID=\"2\" EXPAND=\"0\">copy</Group></GroupList>");
  DeviceGroups groups(path);
  ASSERT_TRUE(groups.SaveExpanded({{0, "d", false}, {2, "x", true}}));
  EXPECT_EQ(Config4(path).Groups(), (Strings{"0:0:d", "2:1:x", "2:0:copy"}))
      << "the ignored copy is left as it was";
}

TEST_F(DeviceGroupsTest, DamagedGroupListsAreReadSoundly) {
  std::string longName(300, 'n');
  std::string path = Write("<GroupList><Group GID=\"0\" EXPAND=\"7\">d</Group>"
                           "<Group GID=\"1\">" + longName + "</Group>"
                           "<Group GID=\"1\">again</Group><Group GID=\"x\">zero</Group>"
                           "</GroupList>");
  std::vector<DeviceGroup> shown;
  ASSERT_TRUE(DeviceGroups(path).Load(shown));
  EXPECT_EQ(Names(shown), (Strings{"0:d", "1:" + longName.substr(0, 259)}))
      << "duplicates (a GID that is no number reads 0) ignored, the long name cut";
  EXPECT_TRUE(shown[0].expanded) << "non-zero EXPAND";

  ASSERT_TRUE(DeviceGroups(Write(Groups(40))).Load(shown));
  EXPECT_EQ(shown.size(), 32u);
  EXPECT_EQ(shown.back().name, "g31");

  EXPECT_FALSE(DeviceGroups((dir / "missing.xml").string()).Load(shown));
  WriteFileBytes(dir / "broken.xml", "<config><config4>");
  EXPECT_FALSE(DeviceGroups((dir / "broken.xml").string()).Load(shown));
}

TEST_F(DeviceGroupsTest, TheDefaultGroupComesBack) {
  std::string path = Write("<GroupList><Group GID=\"3\" EXPAND=\"1\">x</Group>"
                           "<Group GID=\"4\" EXPAND=\"0\">y</Group></GroupList>"
                           "<CameraList><Camera GroupID=\"3\" Id=\"a\" VideoStore=\"1\"/>"
                           "</CameraList>");
  std::vector<CameraPlacement> placements;
  std::vector<DeviceGroup> shown;
  ASSERT_TRUE(DeviceGroups(path).SyncCameras({}, {"a", "new"}, placements, shown));
  EXPECT_EQ(Names(shown), (Strings{"0:我的Orbelle", "3:x", "4:y"}));
  EXPECT_EQ(Config4(path).Groups(), (Strings{"0:1:我的Orbelle", "3:1:x", "4:0:y"}));
  EXPECT_EQ(placements[0].groupId, 3);
  EXPECT_TRUE(placements[0].videoStore);
  EXPECT_EQ(placements[1].groupId, 0);
  EXPECT_EQ(Config4(path).Cameras(), (Strings{"a>3", "new>0"}));

  // A file that lost config4 altogether.
  path = (dir / "bare.xml").string();
  WriteFileBytes(path, "<config><config1/></config>");
  ASSERT_TRUE(DeviceGroups(path).SyncCameras({}, {"a"}, placements, shown));
  EXPECT_EQ(Names(shown), Strings{"0:我的Orbelle"});
  EXPECT_EQ(Config4(path).Cameras(), Strings{"a>0"});
}

TEST_F(DeviceGroupsTest, CamerasOfUnknownGroupsGoToTheDefaultGroup) {
  std::string path = Write(
      "<GroupList><Group GID=\"0\">d</Group><Group GID=\"2\">x</Group></GroupList>"
      "<CameraList><Camera GroupID=\"9\" Id=\"lost\" VideoStore=\"0\"/>"
      "<Camera GroupID=\"2\" Id=\"twice\" VideoStore=\"0\"/>"
      "<Camera GroupID=\"0\" Id=\"twice\" VideoStore=\"1\"/></CameraList>");
  std::vector<CameraPlacement> placements;
  std::vector<DeviceGroup> shown;
  ASSERT_TRUE(DeviceGroups(path).SyncCameras({}, {"lost", "twice"}, placements, shown));
  EXPECT_EQ(placements[0].groupId, 0);
  EXPECT_EQ(placements[1].groupId, 2) << "of two entries with one Id the first counts";
  EXPECT_FALSE(placements[1].videoStore);
  EXPECT_EQ(Config4(path).Cameras(), (Strings{"lost>0", "twice>2", "twice>0"}));

  // Removal takes every entry of the Id.
  ASSERT_TRUE(DeviceGroups(path).SyncCameras({"twice"}, {}, placements, shown));
  EXPECT_EQ(Config4(path).Cameras(), Strings{"lost>0"});
}

TEST_F(DeviceGroupsTest, AnUnreadableFileIsLeftAlone) {
  std::string path = (dir / "broken_config.xml").string();
  WriteFileBytes(path, "<config><config4></config>");
  DeviceGroups groups(path);
  std::vector<CameraPlacement> placements;
  std::vector<DeviceGroup> shown;
  DeviceGroup added;
  EXPECT_FALSE(groups.SyncCameras({}, {"a"}, placements, shown));
  EXPECT_EQ(groups.AddGroup(added), DeviceGroups::AddResult::kFailed);
  EXPECT_FALSE(groups.RenameGroup(0, "x"));
  EXPECT_FALSE(groups.MoveCamera("a", 0));
  EXPECT_FALSE(groups.SaveExpanded({{0, "d", true}}));
  EXPECT_EQ(ReadFileBytes(path), "<config><config4></config>");
}

}  // namespace
}  // namespace lumivex
