// The playback catalogue ("playBack.do") against lumivex-sim: the day list
// as stored, and the message of every refusal.

#include <gtest/gtest.h>

#include <string>

#include "integration/sim_fixture.h"
#include "playback/catalogue.h"

namespace lumivex::test {
namespace {

const char* kScenario = R"({
  "accounts": [{"user": "viewer", "password": "secret77",
                "devices": ["cam1", "span1", "off1", "nolist1", "nocard1", "err1", "odd1"]}],
  "devices": [
    {"sid": "cam1", "videoDaylist": "20140520,08,09,13;20140521,10"},
    {"sid": "span1", "videoDaylist": "20131231,23;20140101;20140102,00,01;"},
    {"sid": "off1", "status": 0, "videoDaylist": "20140520,08"},
    {"sid": "nolist1"},
    {"sid": "nocard1", "sdcard": false, "videoDaylist": "20140520,08"},
    {"sid": "err1", "videoDaylist": "20140520,08", "statuses": {"playBack": "ERROR"}},
    {"sid": "odd1", "videoDaylist": "20140520,08", "statuses": {"playBack": "BUSY"}}
  ]
})";

class PlaybackCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(client.SignIn("viewer", "secret77")); }
  void TearDown() override {
    EXPECT_TRUE(client.notifier.messages().empty()) << "the playback window shows the message";
    EXPECT_EQ(sim.Refusals(), "");
  }
  // The message of a failed load; "(loaded)" when it did not fail.
  std::string Failure(const std::string& sid) {
    PlaybackDayList list;
    std::string message = "(unset)";
    if (LoadPlaybackCatalogue(client.ctx, sid, list, message)) return "(loaded)";
    return message;
  }

  SimServer sim{kScenario};
  SimClient client{sim};
};

TEST_F(PlaybackCatalogueTest, DayListFillsYearsMonthsDaysAndHours) {
  PlaybackDayList list;
  std::string message = "(unset)";
  ASSERT_TRUE(LoadPlaybackCatalogue(client.ctx, "cam1", list, message));
  EXPECT_EQ(message, "");
  const auto& year = list.years[0];
  EXPECT_EQ(year.year, 2014);
  EXPECT_EQ(list.years[1].year, 0);
  EXPECT_EQ(year.months[0].month, 5);
  EXPECT_EQ(year.months[1].month, 0);
  const auto& days = year.months[0].days;
  EXPECT_EQ(days[0].day, 20);
  ASSERT_EQ(days[0].hourCount, 3);
  EXPECT_EQ(days[0].hours[0], 8);
  EXPECT_EQ(days[0].hours[1], 9);
  EXPECT_EQ(days[0].hours[2], 13);
  EXPECT_EQ(days[1].day, 21);
  ASSERT_EQ(days[1].hourCount, 1);
  EXPECT_EQ(days[1].hours[0], 10);
  EXPECT_EQ(days[2].day, 0);
}

TEST_F(PlaybackCatalogueTest, YearsInOrderAndADayWithoutHours) {
  PlaybackDayList list;
  std::string message;
  ASSERT_TRUE(LoadPlaybackCatalogue(client.ctx, "span1", list, message));
  EXPECT_EQ(list.years[0].year, 2013);
  EXPECT_EQ(list.years[0].months[0].month, 12);
  EXPECT_EQ(list.years[0].months[0].days[0].day, 31);
  EXPECT_EQ(list.years[0].months[0].days[0].hours[0], 23);
  const auto& january = list.years[1].months[0];
  EXPECT_EQ(list.years[1].year, 2014);
  EXPECT_EQ(january.month, 1);
  EXPECT_EQ(january.days[0].day, 1);
  EXPECT_EQ(january.days[0].hourCount, 0);
  EXPECT_EQ(january.days[1].day, 2);
  ASSERT_EQ(january.days[1].hourCount, 2);
  EXPECT_EQ(january.days[1].hours[0], 0);
  EXPECT_EQ(january.days[1].hours[1], 1);
}

TEST_F(PlaybackCatalogueTest, RefusalsGiveTheirMessages) {
  EXPECT_EQ(Failure("off1"), "设备离线");
  EXPECT_EQ(Failure("nolist1"), "设备无视频回放列表");
  EXPECT_EQ(Failure("nocard1"), "设备无存储卡");
  EXPECT_EQ(Failure("err1"), "获取播放列表失败");
  // Another status goes on to the inner layer, which such a reply lacks.
  EXPECT_EQ(Failure("odd1"), "获取播放列表失败");
  EXPECT_EQ(Failure("nosuch1"), "获取播放列表失败");  // NODEV
}

TEST(PlaybackCatalogueFaults, ErrorPageAndUnreachableServiceFail) {
  SimServer sim(R"({
    "accounts": [{"user": "viewer", "password": "secret77", "devices": ["cam1"]}],
    "devices": [{"sid": "cam1", "videoDaylist": "20140520,08"}],
    "faults": {"playBack": {"http404": true, "times": 1}}
  })");
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("viewer", "secret77"));
  PlaybackDayList list;
  std::string message;
  EXPECT_FALSE(LoadPlaybackCatalogue(c.ctx, "cam1", list, message));
  EXPECT_EQ(message, "获取播放列表失败");
  ASSERT_TRUE(LoadPlaybackCatalogue(c.ctx, "cam1", list, message)) << "the next answer is real";
  EXPECT_EQ(list.years[0].months[0].days[0].hours[0], 8);
  EXPECT_EQ(sim.Refusals(), "");
  sim.Stop();
  EXPECT_FALSE(LoadPlaybackCatalogue(c.ctx, "cam1", list, message));
  EXPECT_EQ(message, "获取播放列表失败");
}

}  // namespace
}  // namespace lumivex::test
