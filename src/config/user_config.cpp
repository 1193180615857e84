#include "config/user_config.h"

#include <mutex>

#include "config/config_section.h"
#include "config/storage_drive.h"
#include "core/logging.h"
#include "core/text.h"

namespace lumivex {
namespace {

std::mutex& ConfigMutex() {
  static std::mutex mutex;
  return mutex;
}

void ReadFolder(FolderText& field, const std::string& text, std::string_view name) {
  if (field.Set(text)) return;
  field.clear();
  LogLine(std::string(name) + " in the config file is not a folder of at most 259 characters; "
          "ignored");
}

std::string DefaultFolder(const StorageChooser& chooseStorage, StorageKind kind) {
  std::string folder;
  if (!chooseStorage || !chooseStorage(kind, folder)) return "";
  if (FolderText::Fits(folder)) return folder;
  LogLine("storage folder " + folder + " is too long; left empty");
  return "";
}

void AddDefaultConfig1(MarkupDocument& doc, const StorageChooser& chooseStorage) {
  doc.AddChild("config1");
  doc.IntoChild();
  doc.AddChild("VideoPath", DefaultFolder(chooseStorage, StorageKind::kVideo));
  doc.AddChild("ImagePath", DefaultFolder(chooseStorage, StorageKind::kPicture));
  doc.AddChild("FileLength", "20");
  doc.AddChild("ToTray", "0");
  doc.AddChild("ShowClose", "1");
  doc.AddChild("AutoLogin", "0");
  doc.AddChild("AutoPlay", "0");
  doc.AddChild("Topmost", "0");
  doc.AddChild("Update", "1");
  doc.AddChild("User");
  doc.IntoChild();
  doc.SetAttrib("ID", "0");
  doc.SetAttrib("Password", "0");
  doc.OutOfElem();
  doc.OutOfElem();
}

void AddDefaultConfig2(MarkupDocument& doc) {
  doc.AddChild("config2");
  doc.IntoChild();
  for (const char* name : {"IsMax", "MainX", "MainY", "MainX1", "MainY1", "FirstLarger"})
    doc.AddChild(name, "0");
  doc.AddChild("xNums", "2");
  doc.AddChild("yNums", "2");
  doc.OutOfElem();
}

void AddDefaultConfig4(MarkupDocument& doc) {
  doc.AddChild("config4");
  doc.IntoChild();
  doc.AddChild("GroupList");
  doc.IntoChild();
  doc.AddChild("Group", "我的Orbelle");
  doc.IntoChild();
  doc.SetAttrib("GID", "0");
  doc.SetAttrib("EXPAND", "1");
  doc.OutOfElem();
  doc.OutOfElem();
  doc.AddChild("CameraList");
  doc.OutOfElem();
}

}  // namespace

std::string UserConfigPath(const std::string& configFolder, const std::string& userName) {
  if (userName.empty() || userName.find('/') != std::string::npos ||
      userName.find('\0') != std::string::npos)
    return "";
  std::string folder = configFolder;
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder + userName + "_config.xml";
}

bool CreateDefaultUserConfig(UserSettings& settings, const std::string& configFolder) {
  return CreateDefaultUserConfig(settings, configFolder,
                                 [](StorageKind kind, std::string& folder) { return DefaultStorageFolder(kind, folder); });
}

bool CreateDefaultUserConfig(UserSettings& settings, const std::string& configFolder,
                             const StorageChooser& chooseStorage) {
  settings.configPath = UserConfigPath(configFolder, settings.userName.str());
  if (settings.configPath.empty()) return false;

  MarkupDocument doc;
  doc.CreateRoot(kConfigRoot);
  doc.FindRoot(kConfigRoot);
  AddDefaultConfig1(doc, chooseStorage);
  AddDefaultConfig2(doc);
  doc.AddChild("config3");
  AddDefaultConfig4(doc);

  std::lock_guard lock(ConfigMutex());
  return doc.Save(settings.configPath);
}

bool LoadUserSettings(UserSettings& settings, WallLayout& layout) {
  std::lock_guard lock(ConfigMutex());
  MarkupDocument doc;
  if (!doc.Load(settings.configPath)) return false;

  ConfigSection config1(doc, "config1");
  StorageFolders storage;
  ReadFolder(storage.VideoPath, config1.Text("VideoPath"), "VideoPath");
  ReadFolder(storage.ImagePath, config1.Text("ImagePath"), "ImagePath");
  storage.FileLength = config1.Number("FileLength");
  settings.storage.Set(storage);
  settings.ToTray = config1.Switch("ToTray");
  settings.ShowClose = config1.Switch("ShowClose");
  settings.AutoLogin = config1.Switch("AutoLogin");
  settings.AutoPlay = config1.Switch("AutoPlay");
  settings.Update = config1.Number("Update");
  settings.AutoQuality = config1.Switch("AutoQuality");  // a file from before it: off

  ConfigSection config2(doc, "config2");
  settings.IsMax = config2.Number("IsMax");
  settings.MainX = config2.Number("MainX");
  settings.MainY = config2.Number("MainY");
  settings.MainX1 = config2.Number("MainX1");
  settings.MainY1 = config2.Number("MainY1");
  WallLayout stored{config2.Number("xNums"), config2.Number("yNums"),
                    config2.Number("FirstLarger")};
  if (!IsOfferedLayout(stored)) LogLine("wall layout in the config file is not offered; 2x2");
  layout = OfferedLayoutOr2x2(stored);
  return true;
}

bool SaveWindowState(const UserSettings& settings, const WallLayout& layout) {
  return EditUserConfig(settings.configPath, [&](MarkupDocument& doc) {
    ConfigSection config2(doc, "config2");
    config2.SetNumber("IsMax", settings.IsMax);
    config2.SetNumber("MainX", settings.MainX);
    config2.SetNumber("MainY", settings.MainY);
    config2.SetNumber("MainX1", settings.MainX1);
    config2.SetNumber("MainY1", settings.MainY1);
    config2.SetNumber("xNums", layout.xNums);
    config2.SetNumber("yNums", layout.yNums);
    config2.SetNumber("FirstLarger", layout.FirstLarger);
    return true;
  });
}

bool SaveAutoQuality(const UserSettings& settings) {
  return EditUserConfig(settings.configPath, [&](MarkupDocument& doc) {
    return ConfigSection(doc, "config1").SetOrAddText("AutoQuality", settings.AutoQuality ? "1" : "0");
  });
}

bool EditUserConfig(const std::string& path, const std::function<bool(MarkupDocument&)>& edit) {
  std::lock_guard lock(ConfigMutex());
  MarkupDocument doc;
  if (!doc.Load(path) || !edit(doc)) return false;
  return doc.Save(path);
}

bool ReadUserConfig(const std::string& path, const std::function<void(MarkupDocument&)>& read) {
  std::lock_guard lock(ConfigMutex());
  MarkupDocument doc;
  if (!doc.Load(path)) return false;
  read(doc);
  return true;
}

bool IntoConfigElement(MarkupDocument& doc, std::string_view section, std::string_view element) {
  return doc.FindRoot(kConfigRoot) && doc.FindChild(section) && doc.IntoChild() &&
         doc.FindChild(element) && doc.IntoChild();
}

bool SetConfigText(const std::string& path, std::string_view section, std::string_view element,
                   std::string_view text) {
  return EditUserConfig(path, [&](MarkupDocument& doc) {
    if (IntoConfigElement(doc, section, element)) doc.SetText(text);
    return true;
  });
}

bool SetConfigAttrib(const std::string& path, std::string_view section,
                     std::string_view element, std::string_view attribute,
                     std::string_view value) {
  return EditUserConfig(path, [&](MarkupDocument& doc) {
    if (IntoConfigElement(doc, section, element)) doc.SetAttrib(attribute, value);
    return true;
  });
}

bool GetConfigText(const std::string& path, std::string_view section, std::string_view element,
                   std::string& text) {
  return ReadUserConfig(path, [&](MarkupDocument& doc) {
    text = IntoConfigElement(doc, section, element) ? doc.GetText() : "";
  });
}

bool GetConfigAttrib(const std::string& path, std::string_view section,
                     std::string_view element, std::string_view attribute, std::string& value) {
  return ReadUserConfig(path, [&](MarkupDocument& doc) {
    value = IntoConfigElement(doc, section, element) ? doc.GetAttrib(attribute) : "";
  });
}

}  // namespace lumivex
