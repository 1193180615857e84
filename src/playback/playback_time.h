#pragma once
// The clock arithmetic of playback: the recording's start from the camera's
// reply, the time labels (start plus position, with carries), the selected
// hour as the camera is asked for it, and the positions that the controls
// move to. Shared by the playback window and lumivexctl.

#include <cstdint>
#include <string>
#include <string_view>

namespace lumivex {

struct ClockTime {
  int32_t hour = 0, minute = 0, second = 0;
  friend bool operator==(const ClockTime&, const ClockTime&) = default;
};

struct RecordingStart {
  int32_t year = 0, month = 0, day = 0;
  ClockTime time;
};

// "playback-initTime": fourteen digits, year in four, then month, day,
// hour, minute and second in two each. False for anything else, or for a
// time of day that does not exist (hour 24, minute 60 ...).
bool ParseInitTime(std::string_view digits, RecordingStart& out);

// start plus seconds: seconds or minutes above 59 carry one, hours go
// round the day.
ClockTime AddSeconds(ClockTime start, int32_t seconds);
// The hours, minutes and seconds of a position.
ClockTime Elapsed(int32_t seconds);
// "%02d:%02d:%02d"
std::string FormatClock(ClockTime time);

// m_CurSelDate: "%d%02d%02d-%02d", e.g. "20140520-08".
std::string SelectedHour(int32_t year, int32_t month, int32_t day, int32_t hour);
// The reverse, for the command line: false unless "YYYYMMDD-HH" with a
// month, day and hour that can be.
bool ParseSelectedHour(std::string_view text, int32_t& year, int32_t& month, int32_t& day, int32_t& hour);

// The message for the first list without a selection, in the order year,
// month, day, hour; null when all four have one.
const char* MissingSelectionMessage(bool year, bool month, bool day, bool hour);

inline constexpr int32_t kPlaybackStepSeconds = 10;

// Every position below stays within 0 and gap (0 when gap is negative),
// whatever position it starts from: no step can overflow.

// Ten seconds on, at most gap; ten back, at least 0.
int32_t ForwardPosition(int32_t position, int32_t gap);
int32_t BackPosition(int32_t position);
// After the trackbar's own one-line move to moved (direction +1 or -1),
// nine more that way, so that one key press moves ten seconds.
int32_t LineStepPosition(int32_t moved, int direction, int32_t gap);
// The frame clock's step to the next second, at most gap.
int32_t NextSecondPosition(int32_t position, int32_t gap);

}  // namespace lumivex
