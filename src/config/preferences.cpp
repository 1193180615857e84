#include "config/preferences.h"

#include "config/config_section.h"
#include "config/user_config.h"
#include "config/user_settings.h"
#include "core/autostart.h"
#include "core/folders.h"
#include "core/logging.h"

namespace lumivex {
namespace {

constexpr int kFirstSearched = 2;  // the search starts at the third entry

std::string_view EntryText(int entry) {
  return entry >= 0 && entry < static_cast<int>(kFileLengthEntries.size()) ? kFileLengthEntries[entry] : "";
}

const char* SwitchText(bool on) { return on ? "1" : "0"; }

std::string CheckFolder(const std::string& stored, const std::string& folder, const char* what) {
  if (folder.empty() || folder == stored) return "";
  if (!FolderText::Fits(folder)) return std::string(what) + "过长，请重新选择";
  if (!MakeWritableFolder(folder)) return std::string(what) + "不可写，请重新选择";
  return "";
}

bool SaveBasicPage(UserSettings& settings, const BasicPreferences& basic) {
  const std::string length(EntryText(basic.fileLengthEntry));
  bool saved = EditUserConfig(settings.configPath, [&](MarkupDocument& doc) {
    ConfigSection config1(doc, "config1");
    config1.SetText("VideoPath", basic.VideoPath);
    config1.SetText("ImagePath", basic.ImagePath);
    config1.SetText("FileLength", length);
    config1.SetText("ToTray", SwitchText(basic.ToTray));
    config1.SetText("ShowClose", SwitchText(basic.ShowClose));
    config1.SetText("AutoLogin", SwitchText(basic.AutoLogin));
    config1.SetText("AutoPlay", SwitchText(basic.AutoPlay));
    return true;
  });
  if (!saved) return false;
  // After the file, so that a failed save leaves the running client as the file is.
  settings.storage.Update([&](StorageFolders& storage) {
    storage.VideoPath.Set(basic.VideoPath);
    storage.ImagePath.Set(basic.ImagePath);
    storage.FileLength = DecimalPrefix(length);
  });
  settings.ToTray = basic.ToTray;
  settings.ShowClose = basic.ShowClose;
  settings.AutoLogin = basic.AutoLogin;
  settings.AutoPlay = basic.AutoPlay;
  return true;
}

bool SaveUpdatePage(UserSettings& settings, int mode) {
  if (mode < kUpdateAutomatic || mode > kUpdateOff) return true;
  if (!SetConfigText(settings.configPath, "config1", "Update", DecimalText(mode))) return false;
  settings.Update = mode;
  return true;
}

}  // namespace

int FileLengthEntryOf(std::string_view text) {
  if (text.empty()) return -1;
  const int count = static_cast<int>(kFileLengthEntries.size());
  for (int i = 0; i < count; ++i) {
    int entry = (kFirstSearched + i) % count;
    if (kFileLengthEntries[entry].starts_with(text)) return entry;
  }
  return -1;
}

bool ReadSheetValues(const std::string& configPath, SheetValues& values) {
  values = SheetValues{};
  bool loaded = ReadUserConfig(configPath, [&](MarkupDocument& doc) {
    ConfigSection config1(doc, "config1");
    BasicPreferences& b = values.basic;
    b.VideoPath = config1.Text("VideoPath");
    b.ImagePath = config1.Text("ImagePath");
    b.fileLengthEntry = FileLengthEntryOf(config1.Text("FileLength"));
    b.ToTray = config1.Switch("ToTray");
    b.ShowClose = config1.Switch("ShowClose");
    b.AutoLogin = config1.Switch("AutoLogin");
    b.AutoPlay = config1.Switch("AutoPlay");
    const std::string update = config1.Text("Update");
    const int mode = DecimalPrefix(update);
    if (!update.empty() && mode >= kUpdateAutomatic && mode <= kUpdateOff) values.update = mode;
  });
  if (loaded) values.basic.autostart = AutostartEnabled();
  return loaded;
}

std::string CheckChangedStorageFolders(const BasicPreferences& stored, const BasicPreferences& basic) {
  std::string refusal = CheckFolder(stored.VideoPath, basic.VideoPath, "视频文件存储路径");
  return refusal.empty() ? CheckFolder(stored.ImagePath, basic.ImagePath, "截图文件存储路径") : refusal;
}

SheetSave SaveSheetValues(UserSettings& settings, const SheetValues& values,
                          const std::string& autostartProgram) {
  SheetSave result;
  SheetValues stored;
  ReadSheetValues(settings.configPath, stored);  // a file that does not load is refused below
  result.refusal = CheckChangedStorageFolders(stored.basic, values.basic);
  if (!result.refusal.empty()) return result;
  if (!SaveBasicPage(settings, values.basic)) {
    LogLine("settings: the configuration file does not load; nothing saved");
    return result;
  }
  // A failed write or removal of the entry is ignored, as the sheet always did.
  if (!autostartProgram.empty() && !SetAutostart(values.basic.autostart, autostartProgram))
    LogLine("settings: the autostart entry was not changed");
  result.saved = SaveUpdatePage(settings, values.update);
  return result;
}

}  // namespace lumivex
