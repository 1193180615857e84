#pragma once
// The settings sheet's values: what its two pages show of the user's
// configuration file and the autostart entry, and how "保存设置" writes them
// back. The desktop sheet and lumivexctl settings both go through here.

#include <array>
#include <string>
#include <string_view>

namespace lumivex {

struct UserSettings;

// The entries of the "视频文件最大长度" list, in their order.
inline constexpr std::array<std::string_view, 4> kFileLengthEntries = {"10", "20", "30", "40"};

// The entry that a stored FileLength selects: the first whose text begins
// with it, searching from the third entry on and wrapping to the first; -1
// when none does. An empty text selects none: the recorder then uses its
// default, which the list must not misstate.
int FileLengthEntryOf(std::string_view text);

// Page "基本设置".
struct BasicPreferences {
  std::string VideoPath;
  std::string ImagePath;
  int fileLengthEntry = -1;  // index into kFileLengthEntries, -1 for none
  bool ToTray = false;
  bool ShowClose = false;
  bool AutoLogin = false;
  bool AutoPlay = false;
  bool autostart = false;
};

// Update modes of page "其他设置".
inline constexpr int kUpdateAutomatic = 0;
inline constexpr int kUpdateAsk = 1;
inline constexpr int kUpdateOff = 2;
inline constexpr int kUpdateNone = -1;  // the file holds no mode of the three

struct SheetValues {
  BasicPreferences basic;
  int update = kUpdateNone;
};

// The pages as they open. False when the file does not load: the values
// then stay empty and unchecked.
bool ReadSheetValues(const std::string& configPath, SheetValues& values);

// Why a folder the user changed (one other than stored) cannot be kept
// ("视频文件存储路径不可写，请重新选择" ...); empty when each changed one can take
// files (their missing levels are made to find out). An empty folder, and
// one left as stored, are kept as they are: a stored folder on a disk that
// is away now must not block saving an unrelated switch, and the recorder
// reports a folder it cannot use when it records.
std::string CheckChangedStorageFolders(const BasicPreferences& stored, const BasicPreferences& basic);

struct SheetSave {
  bool saved = false;
  std::string refusal;  // not saved because of a folder: the message to show
};

// "保存设置": the changed folders checked against the file, then page "基本设置" (config1 and
// UserSettings, then the autostart entry for autostartProgram; an empty
// program leaves the entry as it is), then, only when that succeeded, page
// "其他设置" (Update; kUpdateNone writes none). A file that does not load
// saves nothing and refuses nothing.
SheetSave SaveSheetValues(UserSettings& settings, const SheetValues& values,
                          const std::string& autostartProgram);

}  // namespace lumivex
