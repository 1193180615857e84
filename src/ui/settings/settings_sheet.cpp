#include "ui/settings/settings_sheet.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>

#include "config/preferences.h"
#include "config/storage_drive.h"
#include "core/logging.h"
#include "core/program_folder.h"
#include "ui/app_context.h"
#include "ui/geometry/main_window_geometry.h"
#include "ui/geometry/pictures.h"
#include "ui/image_button.h"
#include "ui/settings/settings_pages.h"
#include "ui/dialog_look.h"

namespace lumivex {
namespace {

namespace names = settings_controls;
namespace pictures = ui::pictures;

constexpr int kBandHeight = 47;
constexpr int kPageLeft = 8;
constexpr int kWidth = kPageLeft * 2 + kPageWidth;
constexpr int kButtonTop = kBandHeight + kPageHeight + 12;
constexpr int kHeight = kButtonTop + 30 + 14;
constexpr int kTabLeft = 16;
constexpr int kTabGap = 4;

}  // namespace

SettingsHooks DesktopSettingsHooks() {
  SettingsHooks hooks;
  hooks.chooseFolder = [](QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
  };
  hooks.openFolder = [](const QString& folder) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
      LogLine("settings: no file browser opened " + folder.toStdString());
  };
  hooks.chooseStorage = [](StorageKind kind, std::string& folder) { return DefaultStorageFolder(kind, folder); };
  hooks.autostartProgram = ExecutablePath();
  return hooks;
}

CSetting::CSetting(AppContext& app, SettingsHooks hooks, QWidget* parent)
    : BandedDialog(parent, kBandHeight), app_(app), hooks_(std::move(hooks)) {
  setWindowTitle(QStringLiteral("系统设置"));
  setFixedSize(kWidth, kHeight);

  SheetValues values;
  const bool loaded = ReadSheetValues(app_.settings.configPath, values);
  if (!loaded) LogLine("settings: the configuration file does not load; the pages open empty");
  basic_ = new CPage1(app_, hooks_, values.basic, loaded, this);
  other_ = new CPage5(app_, hooks_, values.update, this);
  basic_->setObjectName(names::kBasicPage);
  other_->setObjectName(names::kOtherPage);
  for (QWidget* page : {static_cast<QWidget*>(basic_), static_cast<QWidget*>(other_)})
    page->setGeometry(kPageLeft, kBandHeight, kPageWidth, kPageHeight);
  connect(other_, &CPage5::updaterStarted, this, &CSetting::EndClient);
  MakeTabs();
  ShowPage(true);

  auto* close = new ImageButton(app_.resFolder, pictures::kClose, 0, QStringLiteral("关闭"),
                                ImageButton::Focus::kNone, this);
  close->setObjectName(names::kClose);
  close->setGeometry(kWidth - ui::kCaptionButtonWidth - 1, 1, ui::kCaptionButtonWidth, ui::kCaptionButtonHeight);
  connect(close, &QAbstractButton::clicked, this, &QDialog::reject);

  QPushButton* save = MakeDialogButton(QStringLiteral("保存设置"), names::kSave,
                                      QRect(kWidth - 236, kButtonTop, 110, 30), this);
  QPushButton* cancel = MakeDialogButton(QStringLiteral("取消"), names::kCancel,
                                        QRect(kWidth - 116, kButtonTop, 100, 30), this);
  connect(save, &QPushButton::clicked, this, &CSetting::Save);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSetting::MakeTabs() {
  const std::pair<int, const char*> tabs[] = {{kBasicTabSelected, pictures::kTabSelected},
                                              {kBasicTab, pictures::kTabClickable},
                                              {kOtherTabSelected, pictures::kTabSelected},
                                              {kOtherTab, pictures::kTabClickable}};
  for (int i = 0; i < 4; ++i) {
    const bool basic = i < 2, selected = i % 2 == 0;
    auto* tab = new ImageButton(app_.resFolder, tabs[i].second, tabs[i].first,
                                basic ? QStringLiteral("基本设置") : QStringLiteral("其他设置"),
                                ImageButton::Focus::kNone, this);
    tab->ShowCaption(selected ? kDialogBlue : QColor(Qt::white));
    // A pair shares one place: the selected look over the clickable one.
    const int left = kTabLeft + (basic ? 0 : pictures::kTabWidth + kTabGap);
    tab->setGeometry(left, kBandHeight - pictures::kTabHeight, pictures::kTabWidth, pictures::kTabHeight);
    if (selected)
      tab->setCursor(Qt::ArrowCursor);  // the look of the page shown does nothing
    else
      connect(tab, &QAbstractButton::clicked, this, [this, basic] { ShowPage(basic); });
    tabs_[i] = tab;
  }
}

QAbstractButton* CSetting::tab(int id) const {
  for (ImageButton* t : tabs_)
    if (t && t->id() == id) return t;
  return nullptr;
}

void CSetting::ShowPage(bool basic) {
  basic_->setVisible(basic);
  other_->setVisible(!basic);
  tab(kBasicTabSelected)->setVisible(basic);
  tab(kBasicTab)->setVisible(!basic);
  tab(kOtherTabSelected)->setVisible(!basic);
  tab(kOtherTab)->setVisible(basic);
}

void CSetting::Save() {
  SheetSave result = SaveSheetValues(app_.settings, {basic_->Values(), other_->UpdateMode()},
                                     hooks_.autostartProgram);
  if (!result.refusal.empty()) app_.notifier.MessageBox("提示", result.refusal);
  if (result.saved) accept();
}

void CSetting::EndClient() {
  reject();
  if (hooks_.endClient) hooks_.endClient();
}

// Enter does nothing anywhere in the sheet; Esc closes it unsaved.
void CSetting::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event)) return;
  QDialog::keyPressEvent(event);
}

}  // namespace lumivex
