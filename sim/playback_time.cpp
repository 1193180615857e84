#include "sim/playback_time.h"

#include <algorithm>
#include <cstdio>

namespace lumivex::sim {
namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view digits) {
  int n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

struct Parts {
  int year, month, day, hour, minute, second;
};

Parts Split(RecordingTime t) {
  using namespace std::chrono;
  const sys_days day = floor<days>(t);
  const year_month_day ymd(day);
  const hh_mm_ss<seconds> clock(t - day);
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(clock.hours().count()),
          static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count())};
}

}  // namespace

bool ParseRequestHour(const std::string& text, RequestHour& out, std::string& why) {
  using namespace std::chrono;
  const std::string_view s(text);
  if (s.size() != 11 || !AllDigits(s.substr(0, 8)) || s[8] != '-' || !AllDigits(s.substr(9))) {
    why = "\"request-date\" \"" + text + "\" is not YYYYMMDD-HH";
    return false;
  }
  const year_month_day ymd{year(Number(s.substr(0, 4))), month(static_cast<unsigned>(Number(s.substr(4, 2)))),
                           day(static_cast<unsigned>(Number(s.substr(6, 2))))};
  const int hour = Number(s.substr(9));
  if (!ymd.ok() || hour > 23) {
    why = "\"request-date\" \"" + text + "\" is no date and hour of the calendar";
    return false;
  }
  out.text = text;
  out.day = text.substr(0, 8);
  out.hour = hour;
  out.start = sys_days(ymd) + hours(hour);
  return true;
}

bool DayListHolds(std::string_view list, const RequestHour& hour) {
  std::size_t at = 0;
  while (at <= list.size()) {
    std::size_t end = std::min(list.find(';', at), list.size());
    std::string_view entry = list.substr(at, end - at);
    at = end + 1;
    if (entry.substr(0, 8) != hour.day) continue;
    for (std::size_t p = 8; p + 3 <= entry.size() && entry[p] == ','; p += 3) {
      std::string_view hh = entry.substr(p + 1, 2);
      if (AllDigits(hh) && Number(hh) == hour.hour) return true;
    }
  }
  return false;
}

std::string InitTimeText(RecordingTime t) {
  const Parts p = Split(t);
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return text;
}

std::string StampText(RecordingTime t) {
  const Parts p = Split(t);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return text;
}

}  // namespace lumivex::sim
