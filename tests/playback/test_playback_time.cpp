// The clock arithmetic of the playback labels, the positions the controls
// move to, and the audio's sync with the picture.

#include <gtest/gtest.h>

#include <vector>

#include "playback/playback_time.h"
#include "stream/audio_player.h"

namespace lumivex {
namespace {

std::string Label(ClockTime start, int32_t seconds) { return FormatClock(AddSeconds(start, seconds)); }

TEST(PlaybackTime, LabelsCarryAndGoRoundMidnight) {
  EXPECT_EQ(Label({23, 30, 0}, 3600), "00:30:00");  // the end label of an hour from 23:30
  EXPECT_EQ(Label({23, 59, 50}, 15), "00:00:05");
  EXPECT_EQ(Label({8, 59, 59}, 1), "09:00:00");
  EXPECT_EQ(Label({8, 0, 59}, 61), "08:02:00");     // seconds and minutes both carry
  EXPECT_EQ(Label({22, 0, 0}, 2 * 86400 + 7200), "00:00:00");
  EXPECT_EQ(FormatClock(Elapsed(3599)), "00:59:59");
  EXPECT_EQ(FormatClock(Elapsed(3600)), "01:00:00");
}

TEST(PlaybackTime, TheStartComesAsFourteenDigitsOfARealTime) {
  RecordingStart start;
  ASSERT_TRUE(ParseInitTime("20140520233000", start));
  EXPECT_EQ(start.year, 2014);
  EXPECT_EQ(start.month, 5);
  EXPECT_EQ(start.day, 20);
  EXPECT_EQ(start.time, (ClockTime{23, 30, 0}));
  for (const char* bad : {"", "2014052023300", "201405202330000", "2014052023300x", "20140520243000",
                          "20140520236000", "20140520233060", "20141320233000", "20140500233000", "-2014052023300"})
    EXPECT_FALSE(ParseInitTime(bad, start)) << bad;
}

TEST(PlaybackTime, TheSelectedHourGoesBothWays) {
  EXPECT_EQ(SelectedHour(2014, 5, 20, 8), "20140520-08");
  int32_t y, m, d, h;
  ASSERT_TRUE(ParseSelectedHour("20140520-08", y, m, d, h));
  EXPECT_EQ(SelectedHour(y, m, d, h), "20140520-08");
  for (const char* bad : {"20140520-24", "20141320-08", "20140520_08", "2014052008", "20140520-8", "x0140520-08"})
    EXPECT_FALSE(ParseSelectedHour(bad, y, m, d, h)) << bad;
}

TEST(PlaybackTime, MissingSelectionsAreAskedForInListOrder) {
  EXPECT_STREQ(MissingSelectionMessage(false, false, false, false), "请选择年份");
  EXPECT_STREQ(MissingSelectionMessage(true, false, true, true), "请选择月份");
  EXPECT_STREQ(MissingSelectionMessage(true, true, false, false), "请选择日期");
  EXPECT_STREQ(MissingSelectionMessage(true, true, true, false), "请选择小时");
  EXPECT_EQ(MissingSelectionMessage(true, true, true, true), nullptr);
}

TEST(PlaybackTime, StepsStayWithinTheRecording) {
  EXPECT_EQ(ForwardPosition(3595, 3600), 3600);
  EXPECT_EQ(ForwardPosition(100, 3600), 110);
  EXPECT_EQ(BackPosition(4), 0);
  EXPECT_EQ(BackPosition(100), 90);
  // The trackbar moved one already: one key press is ten seconds.
  EXPECT_EQ(LineStepPosition(101, +1, 3600), 110);
  EXPECT_EQ(LineStepPosition(99, -1, 3600), 90);
  EXPECT_EQ(LineStepPosition(3596, +1, 3600), 3600);
  EXPECT_EQ(LineStepPosition(3, -1, 3600), 0);
  EXPECT_EQ(NextSecondPosition(3599, 3600), 3600);
  EXPECT_EQ(NextSecondPosition(3600, 3600), 3600);
  // At the top of int32 (checked under UBSan): no step overflows or turns negative.
  constexpr int32_t kTop = INT32_MAX;
  EXPECT_EQ(ForwardPosition(kTop, kTop), kTop);
  EXPECT_EQ(ForwardPosition(kTop - 3, kTop), kTop);
  EXPECT_EQ(LineStepPosition(kTop, +1, kTop), kTop);
  EXPECT_EQ(LineStepPosition(INT32_MIN, -1, kTop), 0);
  EXPECT_EQ(NextSecondPosition(kTop, kTop), kTop);
  EXPECT_EQ(BackPosition(INT32_MIN), 0);
  EXPECT_EQ(BackPosition(kTop), kTop - 10);
  EXPECT_EQ(ForwardPosition(5, -1), 0);
}

// What happens to each of a run of audio entries, d = picture - audio.
std::vector<AudioSyncStep> Steps(std::initializer_list<int32_t> ds) {
  std::vector<AudioSyncStep> steps;
  bool farAhead = false;
  for (int32_t d : ds) steps.push_back(SyncStep(d, farAhead));
  return steps;
}

TEST(AudioSync, BehindIsDroppedAheadWaitsFarAheadDropsUntilClose) {
  using S = AudioSyncStep;
  EXPECT_EQ(Steps({501, 500, 0, -500}), (std::vector<S>{S::kDrop, S::kPlay, S::kPlay, S::kPlay}));
  EXPECT_EQ(Steps({-501, -1000, -5000}), (std::vector<S>{S::kWait, S::kWait, S::kWait}));
  // Beyond 5 s ahead: dropped until one is within 500 ms, even through
  // entries that would otherwise only wait.
  EXPECT_EQ(Steps({-5001, -3000, -501, -500, -3000}), (std::vector<S>{S::kDrop, S::kDrop, S::kDrop, S::kPlay, S::kWait}));
  EXPECT_EQ(Steps({-6000, 900, -200}), (std::vector<S>{S::kDrop, S::kDrop, S::kPlay}));
}

}  // namespace
}  // namespace lumivex
