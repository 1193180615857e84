// The device list against lumivex-sim: paging, merging on refresh, the
// records as listed, and the LAN probe.

#include <gtest/gtest.h>

#include <string>

#include "integration/sim_fixture.h"
#include "webservice/device_settings.h"
#include "webservice/envelope.h"

namespace lumivex::test {
namespace {

// n devices "d00".."d<n-1>" on account "own<n>".
std::string Devices(int n, const std::string& prefix) {
  std::string list;
  for (int i = 0; i < n; ++i) list += (i ? ",\"" : "\"") + prefix + std::to_string(100 + i) + "\"";
  return list;
}

std::string DeviceObjects(int n, const std::string& prefix) {
  std::string objects;
  for (int i = 0; i < n; ++i)
    objects += R"({"sid": ")" + prefix + std::to_string(100 + i) + R"(", "admin": "own25"},)";
  return objects;
}

std::string Scenario() {
  return R"({
    "accounts": [
      {"user": "own0", "password": "secret77"},
      {"user": "own10", "password": "secret77", "devices": [)" + Devices(10, "t") + R"(]},
      {"user": "own25", "password": "secret77", "devices": [)" + Devices(25, "v") + R"(]},
      {"user": "twice", "password": "secret77", "devices": ["cam1", "cam2", "cam1"]},
      {"user": "nouser", "password": "secret77", "statuses": {"devList": "NOUSR"}},
      {"user": "lan_user", "password": "secret77", "devices": ["cam1", "cam2", "cam3"]}
    ],
    "devices": [)" + DeviceObjects(10, "t") + DeviceObjects(25, "v") + R"(
      {"sid": "cam1", "name": "前门", "type": "y1", "admin": "twice", "alarmStatus": 1,
       "alarmStartTime": 7, "alarmEndTime": 19, "ledStatus": 0, "soundLeadStatus": 1, "lock": 1,
       "lockPattern": "159", "version": "3.1.4", "status": 1, "showLED": 1, "showSound": 0,
       "lan": {"id": "CAM1", "ip": "127.0.0.1", "mac": "02a0b0c0d0e1", "value": 258, "repeat": 2}},
      {"sid": "cam2", "name": "Garage", "type": "q2", "status": 0, "admin": "lan_user"},
      {"sid": "cam3", "name": "Shed", "admin": "lan_user",
       "lan": {"ip": "127.0.0.3", "mac": "02a0b0c0d0e3"}}
    ]
  })";
}

class DeviceListTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }
  SimServer sim{Scenario()};
};

TEST_F(DeviceListTest, PagesOfTenUntilAShortPage) {
  for (int n : {0, 10, 25}) {
    SCOPED_TRACE(n);
    SimClient c(sim);
    ASSERT_TRUE(c.SignIn("own" + std::to_string(n), "secret77"));
    ASSERT_TRUE(c.cameras.Update(c.ctx));
    std::vector<CameraInfo> all = c.cameras.Snapshot();
    ASSERT_EQ(static_cast<int>(all.size()), n);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(all[i].sid, (n == 10 ? "t" : "v") + std::to_string(100 + i));
      EXPECT_EQ(all[i].listed, 1);
    }
    if (n == 25) {
      EXPECT_EQ(all[0].init, 1);
    }
    if (n == 10) {
      EXPECT_EQ(all[0].init, 0);
    }
  }
}

TEST_F(DeviceListTest, RecordCarriesEveryFieldAndATwiceListedDeviceTwoEntries) {
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("twice", "secret77"));
  ASSERT_TRUE(c.cameras.Update(c.ctx));
  ASSERT_EQ(c.cameras.count(), 3);
  CameraInfo a = *c.cameras.Get(0);
  EXPECT_EQ(a.sid, "cam1");
  EXPECT_EQ(a.name, "前门");
  EXPECT_EQ(a.type, "y1");
  EXPECT_TRUE(a.panTilt());
  EXPECT_EQ(a.alarmStatus, 1);
  EXPECT_EQ(a.alarmStartTime, 7);
  EXPECT_EQ(a.alarmEndTime, 19);
  EXPECT_EQ(a.ledStatus, 0);
  EXPECT_EQ(a.lock, 1);
  EXPECT_EQ(a.lockPsd, TokenOf(kAppSecret, "159"));
  EXPECT_EQ(a.version, "3.1.4");
  EXPECT_EQ(a.init, 1);
  EXPECT_EQ(a.status, 1);
  EXPECT_EQ(a.showSound, 0);
  EXPECT_EQ(a.img, "/img/cam1.png");
  CameraInfo b = *c.cameras.Get(1);
  EXPECT_TRUE(b.withoutAudio());
  EXPECT_FALSE(b.online());
  EXPECT_EQ(b.init, 0);
  EXPECT_EQ(c.cameras.Get(2)->sid, "cam1");

  // Refresh updates the entry matched first and adds nothing.
  ASSERT_TRUE(c.cameras.Refresh(c.ctx));
  EXPECT_EQ(c.cameras.count(), 3);
}

TEST_F(DeviceListTest, NoSuchUserShowsItsMessageAndAddsNothing) {
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("nouser", "secret77"));
  EXPECT_FALSE(c.cameras.Update(c.ctx));
  EXPECT_EQ(c.cameras.count(), 0);
  EXPECT_EQ(c.notifier.messages(), std::vector<std::string>{"提示|该用户不存在"});
}

// Another client of the same account renames one device and removes another;
// a refresh brings the new name and marks the removed one as no longer listed.
TEST_F(DeviceListTest, RefreshAfterChangesMadeElsewhere) {
  SimClient mine(sim), other(sim);
  ASSERT_TRUE(mine.SignIn("own25", "secret77"));
  ASSERT_TRUE(other.SignIn("own25", "secret77"));
  ASSERT_TRUE(mine.cameras.Update(mine.ctx));
  ASSERT_TRUE(other.cameras.Update(other.ctx));
  ASSERT_EQ(RenameDevice(other.ctx, other.cameras, 3, "Renamed 改名"), 1);
  ASSERT_EQ(SetLed(other.ctx, other.cameras, 4), 1);
  ASSERT_EQ(RemoveDevice(other.ctx, other.cameras, 24), 1);

  ASSERT_TRUE(mine.cameras.Refresh(mine.ctx));
  ASSERT_EQ(mine.cameras.count(), 25);
  EXPECT_EQ(mine.cameras.Get(3)->name, "Renamed 改名");
  EXPECT_EQ(mine.cameras.Get(4)->ledStatus, 1) << "LED changes reach the record only at the next start";
  EXPECT_EQ(mine.cameras.Get(24)->listed, 0);
  EXPECT_EQ(mine.cameras.Get(23)->listed, 1);
}

TEST_F(DeviceListTest, LanProbeMarksDevicesWhoseAnswerDiffersOnlyInCase) {
  SimClient c(sim);
  ASSERT_TRUE(c.cameras.StartLanDiscovery(c.g, c.g.lanProbePort));
  ASSERT_TRUE(c.SignIn("lan_user", "secret77"));
  ASSERT_TRUE(c.cameras.Update(c.ctx));  // merges the probe's answers
  CameraInfo cam1 = *c.cameras.Get(c.cameras.IndexOf("cam1"));
  EXPECT_EQ(cam1.onLan, 1);
  EXPECT_EQ(cam1.lanIp, "127.0.0.1");
  EXPECT_EQ(cam1.lanMac, "02:a0:b0:c0:d0:e1");
  EXPECT_EQ(static_cast<uint16_t>(cam1.lanPort), 0x0201) << "258 sent high byte first, copied as received";
  EXPECT_EQ(c.cameras.Get(c.cameras.IndexOf("cam2"))->onLan, 0);
  EXPECT_EQ(c.cameras.Get(c.cameras.IndexOf("cam3"))->lanIp, "127.0.0.3");
  int answersFromCam1 = 0;
  for (const LanDevice& d : c.cameras.LanResults()) answersFromCam1 += d.id == "CAM1";
  EXPECT_EQ(answersFromCam1, 1) << "a repeated answer is kept once";
}

}  // namespace
}  // namespace lumivex::test
