#pragma once
// Where recordings and snapshots go: one folder per user and day below the
// configured storage folder, one file per second and camera inside it.

#include <string>
#include <string_view>

#include "core/folders.h"

namespace lumivex {

struct LocalStamp {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

LocalStamp LocalNow();

// base + userName + "/" + "YYYY-MM-DD/". base is a folder ending with '/';
// one is added when it is missing, so the user name never runs into it.
std::string DayFolder(std::string_view base, std::string_view userName, const LocalStamp& stamp);

// "YYYY-MM-DD-hh-mm-ss-<sid>.<extension>"
std::string StampedName(const LocalStamp& stamp, std::string_view sid, std::string_view extension);

// True when the text can stand as one level of a path: not empty, not "."
// or "..", no '/' and no NUL. A user name or device id that is not would
// put files outside the user's folder.
bool IsSafeNamePart(std::string_view part);

// The day folder created and the stamped file path in it. False, path
// untouched, when userName or sid is not a safe name part or a level of the
// folder cannot be created.
bool PrepareStampedPath(std::string_view base, std::string_view userName, std::string_view sid,
                        const LocalStamp& stamp, std::string_view extension, std::string& path);

}  // namespace lumivex
