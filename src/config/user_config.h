#pragma once
// The per-user configuration file "<user>_config.xml" in the program's
// config folder: the default document, the whole-section reads and writes,
// and the load-modify-save that every other change goes through.
//
// Threads: one process-wide lock is held around every load-modify-save (and
// every read below), so two writers never lose each other's change. The
// callbacks run under that lock and must not call back into these functions.

#include <functional>
#include <string>
#include <string_view>

#include "config/markup_document.h"
#include "config/storage_drive.h"
#include "config/user_settings.h"

namespace lumivex {

// configFolder joined with userName + "_config.xml"; empty when the name is
// empty or could leave the folder (a "/").
std::string UserConfigPath(const std::string& configFolder, const std::string& userName);

// Fills folder with the default folder of a kind; false when there is none.
using StorageChooser = std::function<bool(StorageKind kind, std::string& folder)>;

// Sets configPath from userName and writes the default document there,
// replacing any file. The folder must exist. The storage folders come from
// DefaultStorageFolder unless a chooser is given.
bool CreateDefaultUserConfig(UserSettings& settings, const std::string& configFolder);
bool CreateDefaultUserConfig(UserSettings& settings, const std::string& configFolder,
                             const StorageChooser& chooseStorage);

// Reads config1 and config2 of configPath. When the file does not load,
// nothing changes and the result is false.
bool LoadUserSettings(UserSettings& settings, WallLayout& layout);

// Writes the window placement and the wall layout into config2 of configPath.
bool SaveWindowState(const UserSettings& settings, const WallLayout& layout);

// Writes settings.AutoQuality into config1 of configPath, adding the
// element to a file that has none.
bool SaveAutoQuality(const UserSettings& settings);

// Load, edit, save under the lock. A file that does not load is left alone
// and the result is false; an edit returning false saves nothing.
bool EditUserConfig(const std::string& path, const std::function<bool(MarkupDocument&)>& edit);

// Load and read under the lock; false when the file does not load.
bool ReadUserConfig(const std::string& path, const std::function<void(MarkupDocument&)>& read);

// Makes config/<section>/<element> the current element.
bool IntoConfigElement(MarkupDocument& doc, std::string_view section, std::string_view element);

// Single values. A missing element or attribute reads as empty text; setting
// one that is missing changes nothing but the file is still saved.
bool SetConfigText(const std::string& path, std::string_view section, std::string_view element,
                   std::string_view text);
bool SetConfigAttrib(const std::string& path, std::string_view section,
                     std::string_view element, std::string_view attribute,
                     std::string_view value);
bool GetConfigText(const std::string& path, std::string_view section, std::string_view element,
                   std::string& text);
bool GetConfigAttrib(const std::string& path, std::string_view section,
                     std::string_view element, std::string_view attribute, std::string& value);

}  // namespace lumivex
