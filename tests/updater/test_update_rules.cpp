#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "updater/update_rules.h"

namespace lumivex {
namespace {

TEST(UpdateCommandLineTest, UpdateFlagMayStandAnywhere) {
  EXPECT_TRUE(ParseUpdateCommandLine("-u http://h/setup").update);
  EXPECT_TRUE(ParseUpdateCommandLine("http://h/setup -u").update);
  EXPECT_TRUE(ParseUpdateCommandLine("x-uy").update);
  EXPECT_FALSE(ParseUpdateCommandLine("").update);
  EXPECT_FALSE(ParseUpdateCommandLine("http://h/setup").update);
  EXPECT_FALSE(ParseUpdateCommandLine("-U http://h/setup").update);
}

TEST(UpdateCommandLineTest, AddressRunsFromTheFirstSchemeToTheEnd) {
  UpdateCommandLine plain = ParseUpdateCommandLine("-u http://h:8080/a/setup.bin\"");
  EXPECT_EQ(plain.kind, UpdateAddress::Given);
  EXPECT_EQ(plain.address, "http://h:8080/a/setup.bin\"");  // the closing quote stays

  UpdateCommandLine secure = ParseUpdateCommandLine("-u https://h/x http://other/y");
  EXPECT_EQ(secure.kind, UpdateAddress::Given);
  EXPECT_EQ(secure.address, "https://h/x http://other/y");

  UpdateCommandLine plainFirst = ParseUpdateCommandLine("-u http://h/x https://other/y");
  EXPECT_EQ(plainFirst.address, "http://h/x https://other/y");
}

TEST(UpdateCommandLineTest, OtherSchemesGiveNoAddress) {
  for (const char* line : {"-u", "-u ftp://h/setup", "-u HTTP://h/setup", "-u http:/h", "-u h/setup"}) {
    UpdateCommandLine parsed = ParseUpdateCommandLine(line);
    EXPECT_EQ(parsed.kind, UpdateAddress::None) << line;
    EXPECT_TRUE(parsed.address.empty()) << line;
  }
}

TEST(UpdateCommandLineTest, AddressOver259BytesIsRefused) {
  std::string longest = "http://h/" + std::string(259 - 9, 'a');
  ASSERT_EQ(longest.size(), 259u);
  UpdateCommandLine fits = ParseUpdateCommandLine("-u " + longest);
  EXPECT_EQ(fits.kind, UpdateAddress::Given);
  EXPECT_EQ(fits.address, longest);

  UpdateCommandLine over = ParseUpdateCommandLine("-u " + longest + "b");
  EXPECT_EQ(over.kind, UpdateAddress::TooLong);
  EXPECT_TRUE(over.address.empty());
}

TEST(UpdateCommandLineTest, ArgumentsJoinWithoutTheProgramPath) {
  const char* argv[] = {"/opt/my-updates/lumivex-update", "-u", "http://h/a b"};
  EXPECT_EQ(JoinArguments(3, argv), "-u http://h/a b");
  EXPECT_EQ(JoinArguments(1, argv), "");
  EXPECT_FALSE(ParseUpdateCommandLine(JoinArguments(1, argv)).update);  // "-u" in the path does not count
}

TEST(ProgressRuleTest, PercentIsTruncatedAndBarScaledToItsWidth) {
  EXPECT_EQ(ProgressPercent(339, 1000), 33);  // 33.9 %
  EXPECT_EQ(BarFillWidth(33), 99);
  EXPECT_EQ(ProgressPercent(999, 1000), 99);
  EXPECT_EQ(ProgressPercent(1, 3), 33);
  EXPECT_EQ(ProgressPercent(2, 3), 66);
  EXPECT_EQ(ProgressPercent(0, 1000), 0);
  EXPECT_EQ(ProgressPercent(1000, 1000), 100);
  // received * 100 does not fit 64 bits here; the rule works in floating point.
  EXPECT_EQ(ProgressPercent(uint64_t{1} << 62, uint64_t{1} << 63), 50);
  EXPECT_EQ(BarFillWidth(0), 0);
  EXPECT_EQ(BarFillWidth(1), 3);
  EXPECT_EQ(BarFillWidth(100), 300);
}

TEST(ProgressRuleTest, UnknownTotalChangesNothingAndOverrunStaysInTheBar) {
  EXPECT_FALSE(ProgressPercent(5000, 0).has_value());
  EXPECT_EQ(ProgressPercent(3000, 1000), 100);
}

TEST(ProgressRuleTest, TrackerReportsEachChangeOnce) {
  ProgressTracker tracker;
  EXPECT_FALSE(tracker.Update(0, 0));
  EXPECT_FALSE(tracker.Update(700, 0));
  EXPECT_FALSE(tracker.Update(5, 1000));  // still 0 %, already shown
  EXPECT_EQ(tracker.Update(339, 1000), 33);
  EXPECT_FALSE(tracker.Update(339, 1000));
  EXPECT_FALSE(tracker.Update(0, 0));
  EXPECT_EQ(tracker.last(), 33);
  EXPECT_EQ(tracker.Update(1000, 1000), 100);
}

}  // namespace
}  // namespace lumivex
