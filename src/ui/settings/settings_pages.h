#pragma once
// The two pages of the settings sheet. Each shows the values the sheet read
// when it opened and hands back what the user made of them; only the sheet
// saves.

#include <QWidget>

#include "config/preferences.h"
#include "ui/settings/settings_sheet.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace lumivex {

namespace settings_controls {
// "基本设置"
inline constexpr char kToTray[] = "toTray";              // 1050
inline constexpr char kExit[] = "exit";                  // 1084
inline constexpr char kShowClose[] = "showClose";        // 1129
inline constexpr char kAutoPlay[] = "autoPlay";          // 1127
inline constexpr char kAutostart[] = "autostart";        // 1126
inline constexpr char kAutoLogin[] = "autoLogin";        // 1061
inline constexpr char kVideoPath[] = "videoPath";        // 1051
inline constexpr char kVideoBrowse[] = "videoBrowse";    // 1001
inline constexpr char kVideoOpen[] = "videoOpen";        // 1055
inline constexpr char kVideoAuto[] = "videoAuto";        // 1057
inline constexpr char kImagePath[] = "imagePath";        // 1119
inline constexpr char kImageBrowse[] = "imageBrowse";    // 1053
inline constexpr char kImageOpen[] = "imageOpen";        // 1056
inline constexpr char kImageAuto[] = "imageAuto";        // 1054
inline constexpr char kFileLength[] = "fileLength";      // 1160
// "其他设置"
inline constexpr char kUpdateAutomatic[] = "updateAutomatic";  // 1150
inline constexpr char kUpdateAsk[] = "updateAsk";              // 1151
inline constexpr char kUpdateOff[] = "updateOff";              // 1139
inline constexpr char kCheckUpdate[] = "checkUpdate";          // 1138
inline constexpr char kVersion[] = "version";                  // 1216
inline constexpr char kOldPassword[] = "oldPassword";          // 1133
inline constexpr char kNewPassword[] = "newPassword";          // 1053
inline constexpr char kConfirmPassword[] = "confirmPassword";  // 1135
inline constexpr char kOldHint[] = "oldHint";                  // 1155
inline constexpr char kNewHint[] = "newHint";                  // 1156
inline constexpr char kConfirmHint[] = "confirmHint";          // 1192
inline constexpr char kChangePassword[] = "changePassword";    // 1136
}  // namespace settings_controls

inline constexpr int kPageWidth = 544;
inline constexpr int kPageHeight = 330;

// "基本设置"
class CPage1 : public QWidget {
  Q_OBJECT

 public:
  // Nothing is checked when the file did not load (loaded false).
  CPage1(AppContext& app, const SettingsHooks& hooks, const BasicPreferences& values, bool loaded,
         QWidget* parent);

  BasicPreferences Values() const;

 private:
  // The path field with its "浏览...", "转到..." and "自动选择".
  struct FolderRow {
    StorageKind kind;
    QLineEdit* path = nullptr;
    QAbstractButton* browse = nullptr;
    QAbstractButton* open = nullptr;
    QCheckBox* automatic = nullptr;
  };

  void MakeFolderRow(FolderRow& row, const char* label, int top, const std::string& text,
                     const char* names[4]);
  void Browse(FolderRow& row);
  void Open(const FolderRow& row);
  void ChooseAutomatically(FolderRow& row, bool checked);

  AppContext& app_;
  const SettingsHooks& hooks_;
  QRadioButton* toTray_ = nullptr;
  QRadioButton* exit_ = nullptr;
  QCheckBox* showClose_ = nullptr;
  QCheckBox* autoPlay_ = nullptr;
  QCheckBox* autostart_ = nullptr;
  QCheckBox* autoLogin_ = nullptr;
  FolderRow video_{StorageKind::kVideo};
  FolderRow image_{StorageKind::kPicture};
  QComboBox* fileLength_ = nullptr;
};

// "其他设置": the update mode, "检测更新", the version, the password change.
class CPage5 : public QWidget {
  Q_OBJECT

 public:
  CPage5(AppContext& app, const SettingsHooks& hooks, int updateMode, QWidget* parent);

  int UpdateMode() const;  // kUpdateNone when no choice is checked
  bool checkingUpdate() const { return checking_; }
  bool changingPassword() const { return changing_; }

 signals:
  // The updater started; the client is to end.
  void updaterStarted();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct PasswordField {
    QLineEdit* edit = nullptr;
    QLabel* hint = nullptr;
  };

  void MakePasswordForm(int top);
  void CheckForUpdates();
  void ChangePassword();
  PasswordField& FieldNamed(const std::string& name);

  AppContext& app_;
  const SettingsHooks& hooks_;
  QButtonGroup* update_ = nullptr;
  QAbstractButton* check_ = nullptr;
  PasswordField old_, new_, confirm_;
  QAbstractButton* change_ = nullptr;
  bool checking_ = false;
  bool changing_ = false;
};

}  // namespace lumivex
