#include "playback/playback_time.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace lumivex {
namespace {

bool Digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

int32_t Number(std::string_view digits) {
  int32_t value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

// position + step in 64 bits, then bounded by 0 and gap.
int32_t StepWithin(int32_t position, int32_t step, int32_t gap) {
  const int64_t moved = static_cast<int64_t>(position) + step;
  return static_cast<int32_t>(std::clamp<int64_t>(moved, 0, std::max(0, gap)));
}

bool ValidDate(int32_t month, int32_t day) { return month >= 1 && month <= 12 && day >= 1 && day <= 31; }

}  // namespace

bool ParseInitTime(std::string_view digits, RecordingStart& out) {
  if (digits.size() != 14 || !Digits(digits)) return false;
  RecordingStart start;
  start.year = Number(digits.substr(0, 4));
  start.month = Number(digits.substr(4, 2));
  start.day = Number(digits.substr(6, 2));
  start.time = {Number(digits.substr(8, 2)), Number(digits.substr(10, 2)), Number(digits.substr(12, 2))};
  if (!ValidDate(start.month, start.day) || start.time.hour > 23 || start.time.minute > 59 ||
      start.time.second > 59)
    return false;
  out = start;
  return true;
}

ClockTime AddSeconds(ClockTime start, int32_t seconds) {
  seconds = std::max(0, seconds);
  ClockTime sum{start.hour + seconds / 3600, start.minute + seconds / 60 % 60, start.second + seconds % 60};
  if (sum.second > 59) {
    sum.second -= 60;
    ++sum.minute;
  }
  if (sum.minute > 59) {
    sum.minute -= 60;
    ++sum.hour;
  }
  sum.hour %= 24;  // a recording longer than a day still shows a time of day
  return sum;
}

ClockTime Elapsed(int32_t seconds) {
  seconds = std::max(0, seconds);
  return {seconds / 3600, seconds / 60 % 60, seconds % 60};
}

std::string FormatClock(ClockTime time) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
  return text;
}

std::string SelectedHour(int32_t year, int32_t month, int32_t day, int32_t hour) {
  char text[64];
  std::snprintf(text, sizeof text, "%d%02d%02d-%02d", year, month, day, hour);
  return text;
}

bool ParseSelectedHour(std::string_view text, int32_t& year, int32_t& month, int32_t& day, int32_t& hour) {
  if (text.size() != 11 || text[8] != '-' || !Digits(text.substr(0, 8)) || !Digits(text.substr(9))) return false;
  const int32_t m = Number(text.substr(4, 2)), d = Number(text.substr(6, 2)), h = Number(text.substr(9));
  if (!ValidDate(m, d) || h > 23) return false;
  year = Number(text.substr(0, 4));
  month = m;
  day = d;
  hour = h;
  return true;
}

const char* MissingSelectionMessage(bool year, bool month, bool day, bool hour) {
  if (!year) return "请选择年份";
  if (!month) return "请选择月份";
  if (!day) return "请选择日期";
  if (!hour) return "请选择小时";
  return nullptr;
}

int32_t ForwardPosition(int32_t position, int32_t gap) {
  return StepWithin(position, kPlaybackStepSeconds, gap);
}

int32_t BackPosition(int32_t position) { return StepWithin(position, -kPlaybackStepSeconds, INT32_MAX); }

int32_t LineStepPosition(int32_t moved, int direction, int32_t gap) {
  return StepWithin(moved, (kPlaybackStepSeconds - 1) * (direction < 0 ? -1 : 1), gap);
}

int32_t NextSecondPosition(int32_t position, int32_t gap) { return StepWithin(position, 1, gap); }

}  // namespace lumivex
