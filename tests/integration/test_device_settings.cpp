// The six device settings operations against lumivex-sim: every outcome's
// message, the record on the client and the state the service keeps
// (read back by a second client's listing), and the configuration file.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

#include "config/user_config.h"
#include "integration/sim_fixture.h"
#include "webservice/account.h"
#include "webservice/device_settings.h"

namespace lumivex::test {
namespace {

using Messages = std::vector<std::string>;

// "fail_1" and "fail_0" refuse every change (field values 1 and 0).
const char* kScenario = R"({
  "accounts": [{"user": "owner1", "password": "secret77",
                "devices": ["cam_a", "cam_b", "cam_off", "fail_1", "fail_0", "cam_gone"]}],
  "devices": [
    {"sid": "cam_a", "name": "Front", "admin": "owner1", "alarmStatus": 0,
     "alarmStartTime": 7, "alarmEndTime": 19, "ledStatus": 1, "soundLeadStatus": 1},
    {"sid": "cam_b", "admin": "owner1", "alarmStatus": 1, "alarmStartTime": 3, "alarmEndTime": 4,
     "ledStatus": 0, "soundLeadStatus": 0},
    {"sid": "cam_off", "admin": "owner1", "status": 0, "alarmStatus": 1,
     "alarmStartTime": 7, "alarmEndTime": 19},
    {"sid": "fail_1", "name": "Fail one", "admin": "owner1", "alarmStatus": 0, "alarmStartTime": 5,
     "alarmEndTime": 6, "ledStatus": 1, "soundLeadStatus": 1,
     "statuses": {"setAlarm": "FAIL", "setAlarmTime": "FAIL", "setLed": "FAIL", "setVoice": "FAIL",
                  "devName": "FAIL", "deleteDev": "FAIL"}},
    {"sid": "fail_0", "admin": "owner1", "alarmStatus": 1, "ledStatus": 0, "soundLeadStatus": 0,
     "statuses": {"setAlarm": "FAIL", "setLed": "FAIL", "setVoice": "FAIL"}},
    {"sid": "cam_gone", "name": "Gone", "admin": "owner1", "statuses": {"devName": "NODEV"}}
  ]
})";

class DeviceSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { client = SignedIn(); }
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }

  std::unique_ptr<SimClient> SignedIn() {
    auto c = std::make_unique<SimClient>(sim);
    EXPECT_TRUE(c->SignIn("owner1", "secret77", true));
    EXPECT_TRUE(c->cameras.Update(c->ctx));
    return c;
  }
  int Index(const char* sid) { return client->cameras.IndexOf(sid); }
  CameraInfo Info(const char* sid) { return client->cameras.Get(Index(sid)).value_or(CameraInfo{}); }
  // The device as the service now lists it to a new client.
  CameraInfo Listed(const char* sid) {
    std::unique_ptr<SimClient> other = SignedIn();
    return other->cameras.Get(other->cameras.IndexOf(sid)).value_or(CameraInfo{});
  }
  Messages Shown() {
    Messages m = client->notifier.messages();
    client->notifier.Clear();
    return m;
  }

  SimServer sim{kScenario};
  std::unique_ptr<SimClient> client;
};

TEST_F(DeviceSettingsTest, AlarmSwitchOnAndOff) {
  EXPECT_EQ(SetAlarm(client->ctx, client->cameras, Index("cam_a"), true), 1);
  EXPECT_EQ(Shown(), Messages{"提示|开启成功"});
  EXPECT_EQ(Info("cam_a").alarmStatus, 1);
  EXPECT_EQ(Listed("cam_a").alarmStatus, 1);

  EXPECT_EQ(SetAlarm(client->ctx, client->cameras, Index("cam_a"), false), 1);
  EXPECT_EQ(Shown(), Messages{"提示|关闭成功"});
  EXPECT_EQ(Info("cam_a").alarmStatus, 0);
  EXPECT_EQ(Listed("cam_a").alarmStatus, 0);
}

TEST_F(DeviceSettingsTest, AlarmSwitchFailuresNameTheRequestedState) {
  EXPECT_EQ(SetAlarm(client->ctx, client->cameras, Index("fail_1"), true), 0);
  EXPECT_EQ(SetAlarm(client->ctx, client->cameras, Index("fail_0"), false), 0);
  EXPECT_EQ(SetAlarm(client->ctx, client->cameras, Index("cam_off"), false), 0);  // OFFLINE
  EXPECT_EQ(Shown(), (Messages{"提示|开启失败", "提示|关闭失败", "提示|关闭失败"}));
  EXPECT_EQ(Info("fail_1").alarmStatus, 0);
  EXPECT_EQ(Info("fail_0").alarmStatus, 1);
  EXPECT_EQ(Info("cam_off").alarmStatus, 1);
  EXPECT_EQ(Listed("cam_off").alarmStatus, 1);
}

TEST_F(DeviceSettingsTest, AlarmPeriodSetsHoursAndSwitchesTheAlarmOn) {
  EXPECT_EQ(SetAlarmTime(client->ctx, client->cameras, Index("cam_a"), 22, 6), 1);
  EXPECT_EQ(Shown(), Messages{"提示|设置成功"});
  CameraInfo a = Info("cam_a");
  EXPECT_EQ(a.alarmStatus, 1);
  EXPECT_EQ(a.alarmStartTime, 22);
  EXPECT_EQ(a.alarmEndTime, 6);
  CameraInfo seen = Listed("cam_a");
  EXPECT_EQ(seen.alarmStatus, 1);
  EXPECT_EQ(seen.alarmStartTime, 22);
  EXPECT_EQ(seen.alarmEndTime, 6);

  // Equal hours: an all-day period, sent as it is.
  EXPECT_EQ(SetAlarmTime(client->ctx, client->cameras, Index("cam_b"), 8, 8), 1);
  EXPECT_EQ(Shown(), Messages{"提示|设置成功"});
  EXPECT_EQ(Listed("cam_b").alarmStartTime, 8);
  EXPECT_EQ(Listed("cam_b").alarmEndTime, 8);
  EXPECT_EQ(Info("cam_b").alarmEndTime, 8);
}

TEST_F(DeviceSettingsTest, AlarmPeriodOfflineAndFailureKeepTheHours) {
  EXPECT_EQ(SetAlarmTime(client->ctx, client->cameras, Index("cam_off"), 1, 2), 0);
  EXPECT_EQ(SetAlarmTime(client->ctx, client->cameras, Index("fail_1"), 1, 2), 0);
  EXPECT_EQ(Shown(), (Messages{"提示|设备离线", "提示|设置失败"}));
  EXPECT_EQ(Info("cam_off").alarmStartTime, 7);
  EXPECT_EQ(Info("cam_off").alarmEndTime, 19);
  EXPECT_EQ(Info("fail_1").alarmStatus, 0);
  EXPECT_EQ(Info("fail_1").alarmStartTime, 5);
  EXPECT_EQ(Info("fail_1").alarmEndTime, 6);
  EXPECT_EQ(Listed("cam_off").alarmStartTime, 7);
}

TEST_F(DeviceSettingsTest, LedAndVoiceAskForTheOppositeState) {
  CameraList& list = client->cameras;
  EXPECT_EQ(SetLed(client->ctx, list, Index("cam_a")), 1);  // 1: sends off
  EXPECT_EQ(Info("cam_a").ledStatus, 0);
  EXPECT_EQ(Listed("cam_a").ledStatus, 0);
  EXPECT_EQ(SetLed(client->ctx, list, Index("cam_a")), 1);  // 0: sends on
  EXPECT_EQ(Info("cam_a").ledStatus, 1);
  EXPECT_EQ(Listed("cam_a").ledStatus, 1);
  EXPECT_EQ(SetLed(client->ctx, list, Index("cam_b")), 1);
  EXPECT_EQ(Listed("cam_b").ledStatus, 1);
  EXPECT_EQ(Shown(), (Messages{"提示|关闭LED成功", "提示|开启LED成功", "提示|开启LED成功"}));

  EXPECT_EQ(SetVoice(client->ctx, list, Index("cam_a")), 1);
  EXPECT_EQ(Info("cam_a").soundLeadStatus, 0);
  EXPECT_EQ(Listed("cam_a").soundLeadStatus, 0);
  EXPECT_EQ(SetVoice(client->ctx, list, Index("cam_b")), 1);
  EXPECT_EQ(Info("cam_b").soundLeadStatus, 1);
  EXPECT_EQ(Listed("cam_b").soundLeadStatus, 1);
  EXPECT_EQ(Shown(), (Messages{"提示|关闭语音播报成功", "提示|开启语音播报成功"}));
  EXPECT_EQ(Listed("cam_a").ledStatus, 1) << "the voice switch leaves the LED alone";
}

TEST_F(DeviceSettingsTest, LedAndVoiceFailuresFollowTheFieldAndKeepIt) {
  CameraList& list = client->cameras;
  EXPECT_EQ(SetLed(client->ctx, list, Index("fail_1")), 0);
  EXPECT_EQ(SetLed(client->ctx, list, Index("fail_0")), 0);
  EXPECT_EQ(SetVoice(client->ctx, list, Index("fail_1")), 0);
  EXPECT_EQ(SetVoice(client->ctx, list, Index("fail_0")), 0);
  EXPECT_EQ(Shown(), (Messages{"提示|关闭LED失败", "提示|开启LED失败", "提示|关闭语音播报失败",
                               "提示|开启语音播报失败"}));
  EXPECT_EQ(Info("fail_1").ledStatus, 1);
  EXPECT_EQ(Info("fail_0").ledStatus, 0);
  EXPECT_EQ(Info("fail_1").soundLeadStatus, 1);
  EXPECT_EQ(Info("fail_0").soundLeadStatus, 0);

  // No such device selected: nothing is sent or shown.
  EXPECT_EQ(SetLed(client->ctx, list, list.count()), 0);
  EXPECT_EQ(SetVoice(client->ctx, list, -1), 0);
  EXPECT_EQ(Shown(), Messages{});
}

// The sim refuses a name that is not "%XX" for every byte, so success
// shows that "ab" went out as "%61%62".
TEST_F(DeviceSettingsTest, RenameSucceedsSilentlyAndRefusalsKeepTheName) {
  EXPECT_EQ(RenameDevice(client->ctx, client->cameras, Index("cam_a"), "ab"), 1);
  EXPECT_EQ(Info("cam_a").name, "ab");
  EXPECT_EQ(Listed("cam_a").name, "ab");
  EXPECT_EQ(RenameDevice(client->ctx, client->cameras, Index("cam_b"), "客厅 & 门:2"), 1);
  EXPECT_EQ(Listed("cam_b").name, "客厅 & 门:2");
  EXPECT_EQ(Shown(), Messages{});

  EXPECT_EQ(RenameDevice(client->ctx, client->cameras, Index("cam_gone"), "new"), 0);
  EXPECT_EQ(RenameDevice(client->ctx, client->cameras, Index("fail_1"), "new"), 0);
  EXPECT_EQ(Shown(), (Messages{"提示|该设备不存在", "提示|修改设备名称失败，请重试"}));
  EXPECT_EQ(Info("cam_gone").name, "Gone");
  EXPECT_EQ(Info("fail_1").name, "Fail one");
  EXPECT_EQ(Listed("fail_1").name, "Fail one");
}

class DeviceRemovalTest : public DeviceSettingsTest {
 protected:
  void SetUp() override {
    DeviceSettingsTest::SetUp();
    ASSERT_TRUE(EditUserConfig(client->settings.configPath, [](MarkupDocument& doc) {
      if (!IntoConfigElement(doc, "config4", "CameraList")) return false;
      for (const char* id : {"cam_a", "cam_b", "fail_1"}) {
        doc.AddChild("Camera");
        doc.IntoChild();
        doc.SetAttrib("GroupID", "0");
        doc.SetAttrib("Id", id);
        doc.SetAttrib("VideoStore", "0");
        doc.OutOfElem();
      }
      return true;
    }));
    ASSERT_EQ(ConfigCameras(), "cam_a;cam_b;fail_1;");
  }
  // The Id of every Camera entry of config4/CameraList, read with pugixml.
  std::string ConfigCameras() {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(client->settings.configPath.c_str()));
    std::string ids;
    for (auto c : doc.child("config").child("config4").child("CameraList").children("Camera"))
      ids += std::string(c.attribute("Id").value()) + ";";
    return ids;
  }
};

TEST_F(DeviceRemovalTest, SuccessDropsTheConfigEntryAndKeepsTheListEntry) {
  int count = client->cameras.count();
  EXPECT_EQ(RemoveDevice(client->ctx, client->cameras, Index("cam_a")), 1);
  EXPECT_EQ(Shown(), Messages{});
  EXPECT_EQ(ConfigCameras(), "cam_b;fail_1;");
  EXPECT_EQ(client->cameras.count(), count);
  ASSERT_GE(Index("cam_a"), 0);
  EXPECT_EQ(Info("cam_a").listed, 1);
  ASSERT_TRUE(client->cameras.Refresh(client->ctx));
  EXPECT_EQ(Info("cam_a").listed, 0);
  EXPECT_EQ(Info("cam_b").listed, 1);
  EXPECT_EQ(Listed("cam_a").sid.str(), "") << "the service no longer lists it";
}

TEST_F(DeviceRemovalTest, PasswordChangedElsewhereIsErrorPsd) {
  std::unique_ptr<SimClient> other = SignedIn();
  ASSERT_EQ(ChangePassword(other->ctx, "changed_77"), 1);
  // This client still sends the hash of the password it signed in with.
  EXPECT_EQ(RemoveDevice(client->ctx, client->cameras, Index("cam_a")), 0);
  EXPECT_EQ(Shown(), Messages{"提示|登陆密码错误，删除设备失败，请稍后重试"});
  EXPECT_EQ(ConfigCameras(), "cam_a;cam_b;fail_1;");
  ASSERT_TRUE(client->cameras.Refresh(client->ctx));
  EXPECT_EQ(Info("cam_a").listed, 1);
}

TEST_F(DeviceRemovalTest, DeviceRemovedElsewhereIsNoDevAndOtherStatusesFail) {
  std::unique_ptr<SimClient> other = SignedIn();
  ASSERT_EQ(RemoveDevice(other->ctx, other->cameras, other->cameras.IndexOf("cam_b")), 1);
  EXPECT_EQ(RemoveDevice(client->ctx, client->cameras, Index("cam_b")), 0);
  EXPECT_EQ(RemoveDevice(client->ctx, client->cameras, Index("fail_1")), 0);
  EXPECT_EQ(Shown(), (Messages{"提示|设备不存在，删除设备失败，请稍后重试", "提示|删除设备失败，请稍后重试"}));
  EXPECT_EQ(ConfigCameras(), "cam_a;cam_b;fail_1;");
  EXPECT_EQ(Listed("fail_1").sid.str(), "fail_1");
}

}  // namespace
}  // namespace lumivex::test
