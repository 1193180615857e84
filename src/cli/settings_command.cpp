// lumivexctl settings: the settings sheet without a window. It shows what
// the sheet's pages would show and saves through the same code, in the same
// order. Unlike the sheet it leaves the autostart entry alone unless asked,
// and the entry it writes starts the desktop client, not lumivexctl.

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "cli/client.h"
#include "config/preferences.h"
#include "config/user_config.h"
#include "core/folders.h"
#include "core/program_folder.h"

namespace lumivex::cli {
namespace {

struct SettingsChange {
  SheetValues values;
  bool autostartGiven = false;
  std::optional<WallLayout> layout;
};

int Usage(const std::string& why) {
  std::fprintf(stderr, "lumivexctl: settings: %s\n", why.c_str());
  return kExitUsage;
}

// "" stays empty (no folder); anything else becomes an absolute folder with a final "/".
std::string FolderOption(const std::string& text) {
  if (text.empty()) return "";
  std::error_code ec;
  std::string folder = std::filesystem::absolute(text, ec).lexically_normal().string();
  if (ec) folder = text;
  return WithTrailingSlash(folder);
}

bool SwitchOption(const std::string& text, bool& value) {
  if (text != "0" && text != "1") return false;
  value = text == "1";
  return true;
}

bool LayoutOption(const std::string& text, WallLayout& layout) {
  static const std::map<std::string, WallLayout> kLayouts = {
      {"1x1", {1, 1, 0}}, {"2x2", {2, 2, 0}}, {"3x3", {3, 3, 0}},
      {"4x4", {4, 4, 0}}, {"3x3M", {3, 3, 1}}, {"4x4M", {4, 4, 1}}};
  auto it = kLayouts.find(text);
  if (it == kLayouts.end()) return false;
  layout = it->second;
  return true;
}

std::string LayoutText(const WallLayout& layout) {
  return std::to_string(layout.xNums) + "x" + std::to_string(layout.yNums) + (layout.FirstLarger ? "M" : "");
}

// One option and its value onto the values; false when either is not known.
bool ApplyOption(const std::string& name, const std::string& value, SettingsChange& change) {
  BasicPreferences& b = change.values.basic;
  if (name == "--video-path") {
    b.VideoPath = FolderOption(value);
  } else if (name == "--image-path") {
    b.ImagePath = FolderOption(value);
  } else if (name == "--file-length") {
    b.fileLengthEntry = -1;
    for (std::size_t i = 0; i < kFileLengthEntries.size(); ++i)
      if (kFileLengthEntries[i] == value) b.fileLengthEntry = static_cast<int>(i);
    if (b.fileLengthEntry < 0) return false;
  } else if (name == "--to-tray") {
    return SwitchOption(value, b.ToTray);
  } else if (name == "--show-close") {
    return SwitchOption(value, b.ShowClose);
  } else if (name == "--auto-login") {
    return SwitchOption(value, b.AutoLogin);
  } else if (name == "--auto-play") {
    return SwitchOption(value, b.AutoPlay);
  } else if (name == "--autostart") {
    if (value != "on" && value != "off") return false;
    b.autostart = value == "on";
    change.autostartGiven = true;
  } else if (name == "--update") {
    if (value != "0" && value != "1" && value != "2") return false;
    change.values.update = value[0] - '0';
  } else if (name == "--layout") {
    WallLayout layout;
    if (!LayoutOption(value, layout)) return false;
    change.layout = layout;
  } else {
    return false;
  }
  return true;
}

void Print(Client& c, const SheetValues& v, const WallLayout& layout) {
  const BasicPreferences& b = v.basic;
  auto line = [&c](const std::string& key, const std::string& value) { c.notifier().Print(key + ": " + value); };
  auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  line("video-path", b.VideoPath);
  line("image-path", b.ImagePath);
  line("file-length", b.fileLengthEntry >= 0 ? std::string(kFileLengthEntries[b.fileLengthEntry]) : "");
  line("to-tray", flag(b.ToTray));
  line("show-close", flag(b.ShowClose));
  line("auto-login", flag(b.AutoLogin));
  line("auto-play", flag(b.AutoPlay));
  line("autostart", b.autostart ? "on" : "off");
  line("update", v.update == kUpdateNone ? "" : std::to_string(v.update));
  line("layout", LayoutText(layout));
}

}  // namespace

int SettingsCommand(Client& c) {
  const auto& a = c.args();
  SettingsChange change;
  if (!ReadSheetValues(c.settings().configPath, change.values)) {
    std::fprintf(stderr, "lumivexctl: the configuration file %s does not load\n", c.settings().configPath.c_str());
    return kExitFailed;
  }
  if ((a.size() - 1) % 2 != 0) return Usage("every option takes a value");
  for (std::size_t i = 1; i + 1 < a.size(); i += 2) {
    if (!ApplyOption(a[i], a[i + 1], change)) return Usage("bad option or value: " + a[i] + " " + a[i + 1]);
  }
  if (a.size() > 1) {
    const std::string program = change.autostartGiven ? ExecutableFolder() + "/lumivex" : "";
    SheetSave saved = SaveSheetValues(c.settings(), change.values, program);
    if (!saved.refusal.empty()) c.notifier().MessageBox("提示", saved.refusal);
    if (!saved.saved) return kExitFailed;
    if (change.layout) {
      c.wall() = *change.layout;
      if (!SaveWindowState(c.settings(), c.wall())) return kExitFailed;
    }
    ReadSheetValues(c.settings().configPath, change.values);
  }
  Print(c, change.values, c.wall());
  return kExitOk;
}

}  // namespace lumivex::cli
