// A user's configuration file as the client reads it: the settings and wall
// layout, the settings sheet, and a change saved back (which must load
// again). Input: the file's bytes, UTF-8 or UTF-16 with or without a mark.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "config/preferences.h"
#include "config/user_config.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace lumivex;
  static const std::string path = fuzz::MakeScratchFolder("config") + "/alice_config.xml";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  UserSettings settings;
  settings.configPath = path;
  WallLayout layout;
  bool loaded = LoadUserSettings(settings, layout);
  SheetValues values;
  ReadSheetValues(path, values);
  if (loaded && SetConfigText(path, "config1", "AutoLogin", "1")) {
    UserSettings again;
    again.configPath = path;
    WallLayout layoutAgain;
    if (!LoadUserSettings(again, layoutAgain)) __builtin_trap();  // a saved file must load
  }
  return 0;
}
