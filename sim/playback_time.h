#pragma once
// The hour a playback session asks for ("request-date" "YYYYMMDD-HH"), the
// device's day list that must hold it, and the recording's clock: its
// start as the connect reply's playback-initTime and the time burned into
// its pictures.

#include <chrono>
#include <string>
#include <string_view>

namespace lumivex::sim {

using RecordingTime = std::chrono::sys_seconds;

struct RequestHour {
  std::string text;  // as it came, e.g. "20140520-08"
  std::string day;   // "20140520"
  int hour = 0;
  RecordingTime start;  // that day and hour, minute 0
};

// False with why when text is not eight digits of a real date, '-' and an
// hour 00 to 23.
bool ParseRequestHour(const std::string& text, RequestHour& out, std::string& why);

// Whether the day list ("20140520,08,09;20140521,10": entries by ';', a
// day of eight digits then ",HH" per hour) has that hour. A day without
// hours, or an entry that does not read, holds none.
bool DayListHolds(std::string_view dayList, const RequestHour& hour);

// "YYYYMMDDhhmmss".
std::string InitTimeText(RecordingTime t);
// "YYYY-MM-DD HH:MM:SS".
std::string StampText(RecordingTime t);

}  // namespace lumivex::sim
