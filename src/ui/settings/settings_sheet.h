#pragma once
// CSetting, the settings sheet of "系统设置": a header band with the two
// tabs, the pages "基本设置" (CPage1) and "其他设置" (CPage5), both made at
// once, and "保存设置", which saves page 1, then page 5, then closes.

#include <QString>

#include <functional>
#include <string>

#include "config/user_config.h"
#include "ui/dialog_look.h"

class QAbstractButton;
class QWidget;

namespace lumivex {

struct AppContext;
class ImageButton;

// What the sheet does outside itself; tests put their own in.
struct SettingsHooks {
  // The folder browser: a folder, or an empty text when cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& start)> chooseFolder;
  // Shows a folder in the desktop's file browser.
  std::function<void(const QString& folder)> openFolder;
  // "自动选择".
  StorageChooser chooseStorage;
  // The program the autostart entry starts: the running one.
  std::string autostartProgram;
  // Ends the client once the updater has started.
  std::function<void()> endClient;
};

// The desktop's folder browser and file browser, DefaultStorageFolder, and
// this executable.
SettingsHooks DesktopSettingsHooks();

namespace settings_controls {
inline constexpr char kSave[] = "save";
inline constexpr char kCancel[] = "cancel";
inline constexpr char kClose[] = "close";
inline constexpr char kBasicPage[] = "basicPage";
inline constexpr char kOtherPage[] = "otherPage";
}  // namespace settings_controls

// The tab buttons, by their identifiers.
enum SettingsTab : int {
  kBasicTabSelected = 1257,
  kBasicTab = 1140,
  kOtherTabSelected = 1256,
  kOtherTab = 1144,
};

class CPage1;
class CPage5;

class CSetting : public BandedDialog {
  Q_OBJECT

 public:
  CSetting(AppContext& app, SettingsHooks hooks, QWidget* parent = nullptr);

  // The pages hold on to these: a change shows at their next use.
  SettingsHooks& hooks() { return hooks_; }
  CPage1* basicPage() const { return basic_; }
  CPage5* otherPage() const { return other_; }
  QAbstractButton* tab(int id) const;

 public slots:
  // "保存设置": stays open when the file does not load or a folder is refused.
  void Save();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void MakeTabs();
  void ShowPage(bool basic);
  // The updater started: the sheet closes and so does the client.
  void EndClient();

  AppContext& app_;
  SettingsHooks hooks_;
  CPage1* basic_ = nullptr;
  CPage5* other_ = nullptr;
  ImageButton* tabs_[4] = {};
};

}  // namespace lumivex
