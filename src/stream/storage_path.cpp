#include "stream/storage_path.h"

#include <cstdio>
#include <ctime>

namespace lumivex {

LocalStamp LocalNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour, local.tm_min, local.tm_sec};
}

std::string DayFolder(std::string_view base, std::string_view userName, const LocalStamp& stamp) {
  char date[32];
  std::snprintf(date, sizeof date, "%4d-%02d-%02d/", stamp.year, stamp.month, stamp.day);
  std::string folder(base);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  folder.append(userName);
  folder += '/';
  folder += date;
  return folder;
}

std::string StampedName(const LocalStamp& stamp, std::string_view sid, std::string_view extension) {
  char time[48];
  std::snprintf(time, sizeof time, "%4d-%02d-%02d-%02d-%02d-%02d-", stamp.year, stamp.month, stamp.day,
                stamp.hour, stamp.minute, stamp.second);
  std::string name(time);
  name.append(sid);
  name += '.';
  name.append(extension);
  return name;
}

bool IsSafeNamePart(std::string_view part) {
  return !part.empty() && part != "." && part != ".." && part.find('/') == std::string_view::npos &&
         part.find('\0') == std::string_view::npos;
}

bool PrepareStampedPath(std::string_view base, std::string_view userName, std::string_view sid,
                        const LocalStamp& stamp, std::string_view extension, std::string& path) {
  if (!IsSafeNamePart(userName) || !IsSafeNamePart(sid)) return false;
  std::string folder = DayFolder(base, userName, stamp);
  if (!CreateFolderLevels(folder)) return false;
  path = folder + StampedName(stamp, sid, extension);
  return true;
}

}  // namespace lumivex
