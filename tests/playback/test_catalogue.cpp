// The day list of recordings and its "playBack.do" request.

#include <gtest/gtest.h>

#include <string>

#include "playback/catalogue.h"
#include "webservice/service_fixture.h"

namespace lumivex {
namespace {

using test::HttpReply;
using test::ServiceDouble;
using test::Strings;

std::string Hours(const PlaybackDayList::Day& day) {
  std::string out;
  for (int i = 0; i < day.hourCount; ++i) out += std::to_string(day.hours[i]) + " ";
  return out;
}

TEST(DayList, TheExampleGivesTwoDaysWithTheirHours) {
  PlaybackDayList list;
  ParseDayList("20140520,08,09,13;20140521,10", list);
  ASSERT_EQ(list.years[0].year, 2014);
  EXPECT_EQ(list.years[1].year, 0);
  const auto& may = list.years[0].months[0];
  EXPECT_EQ(may.month, 5);
  EXPECT_EQ(list.years[0].months[1].month, 0);
  EXPECT_EQ(may.days[0].day, 20);
  EXPECT_EQ(Hours(may.days[0]), "8 9 13 ");
  EXPECT_EQ(may.days[1].day, 21);
  EXPECT_EQ(Hours(may.days[1]), "10 ");
  EXPECT_EQ(may.days[2].day, 0);

  PlaybackDayList again;
  ParseDayList("20140520,08,09,13;20140521,10;", again);  // a final ";" changes nothing
  EXPECT_EQ(Hours(again.years[0].months[0].days[1]), "10 ");
}

TEST(DayList, ADateAloneAddsADayWithoutHours) {
  PlaybackDayList list;
  ParseDayList("20231224;20231225,00,23", list);
  const auto& december = list.years[0].months[0];
  EXPECT_EQ(december.days[0].day, 24);
  EXPECT_EQ(december.days[0].hourCount, 0);
  EXPECT_EQ(Hours(december.days[1]), "0 23 ");
}

TEST(DayList, ARepeatedDayAddsItsHoursAgainButNeverBeyond24) {
  std::string all;
  for (int h = 0; h < 24; ++h) all += (h < 10 ? ",0" : ",") + std::to_string(h);
  PlaybackDayList list;
  ParseDayList("20240101,05;20240101,05,06;20240101" + all, list);
  const auto& day = list.years[0].months[0].days[0];
  EXPECT_EQ(day.hourCount, 24);
  EXPECT_EQ(day.hours[0], 5);
  EXPECT_EQ(day.hours[1], 5);
  EXPECT_EQ(day.hours[2], 6);
  EXPECT_EQ(day.hours[3], 0);
  EXPECT_EQ(day.hours[23], 20) << "hours 0 to 20 fill the rest";
  EXPECT_EQ(list.years[0].months[0].days[1].day, 0) << "still one day";
}

TEST(DayList, FourYearsKeepTheFirstThreeAndFullMonthsAndDaysDropTheRest) {
  PlaybackDayList list;
  ParseDayList("20200101,01;20210101,01;20220101,01;20230101,01;20200101,02", list);
  EXPECT_EQ(list.years[0].year, 2020);
  EXPECT_EQ(list.years[2].year, 2022);
  EXPECT_EQ(Hours(list.years[0].months[0].days[0]), "1 2 ") << "a known year still takes entries";

  std::string months;
  for (int m = 1; m <= 13; ++m) months += "2020" + std::string(m < 10 ? "0" : "") + std::to_string(m) + "01;";
  ParseDayList(months, list);
  EXPECT_EQ(list.years[0].months[11].month, 12);
  EXPECT_EQ(list.years[1].year, 0) << "month 13 found no room and made no year";

  std::string days;
  for (int d = 1; d <= 32; ++d) days += "202001" + std::string(d < 10 ? "0" : "") + std::to_string(d) + ";";
  ParseDayList(days, list);
  EXPECT_EQ(list.years[0].months[0].days[30].day, 31);
  EXPECT_EQ(list.years[0].months[1].month, 0);
}

TEST(DayList, MalformedEntriesAreSkipped) {
  PlaybackDayList list;
  ParseDayList(";2014;00000000,01;20140520,xx,25,07,3;;", list);
  EXPECT_EQ(list.years[0].year, 2014);
  EXPECT_EQ(list.years[1].year, 0);
  EXPECT_EQ(Hours(list.years[0].months[0].days[0]), "7 ");
}

class Catalogue : public test::ServiceFixture {
 protected:
  PlaybackDayList list_;
  std::string message_;
};

TEST_F(Catalogue, SendsItsFieldsAndParsesTheDayList) {
  Script([&](const ServiceDouble::Request&) {
    return Ok(R"({"playBack":{"videoDaylist":"20140520,08,09,13;20140521,10"}})");
  });
  ASSERT_TRUE(LoadPlaybackCatalogue(ctx_, "S1", list_, message_));
  EXPECT_EQ(message_, "");
  EXPECT_EQ(Fields(), Strings{"playBack uid:alice&sid:S1&mac:" + std::string(kMac) + "&" +
                              ExpMod() + "&token:" + kToken});
  EXPECT_EQ(Hours(list_.years[0].months[0].days[0]), "8 9 13 ");
}

TEST_F(Catalogue, EveryRefusalHasItsMessage) {
  struct Case {
    HttpReply reply;
    const char* message;
  };
  for (const Case& c : {Case{Status("offline"), "设备离线"}, Case{Status("NOLIST"), "设备无视频回放列表"},
                        Case{Status("NOSDCARD"), "设备无存储卡"},
                        Case{Status("ERROR"), kCatalogueFailedMessage},
                        Case{NotJson(), kCatalogueFailedMessage},
                        Case{Ok(R"({"playBack":"20140520"})"), kCatalogueFailedMessage},
                        Case{Ok(R"({"playBack":{"videoDaylist":20140520}})"), kCatalogueFailedMessage}}) {
    HttpReply reply = c.reply;
    Script([reply](const ServiceDouble::Request&) { return reply; });
    EXPECT_FALSE(LoadPlaybackCatalogue(ctx_, "S1", list_, message_));
    EXPECT_EQ(message_, c.message);
  }
  EXPECT_TRUE(notifier_.Events().empty()) << "the window shows the message";
}

TEST_F(Catalogue, AnInnerTextOver8192BytesIsAFailure) {
  std::string days;
  while (days.size() < 9000) days += "20140520,08;";
  Script([&](const ServiceDouble::Request&) {
    return Ok(R"({"playBack":{"videoDaylist":")" + days + "\"}}");
  });
  EXPECT_FALSE(LoadPlaybackCatalogue(ctx_, "S1", list_, message_));
  EXPECT_EQ(message_, kCatalogueFailedMessage);
}

}  // namespace
}  // namespace lumivex
