// CPage1, "基本设置": the close behaviour, the switches, the two storage
// folders with their buttons, and the recording file length.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "core/folders.h"
#include "ui/app_context.h"
#include "ui/settings/settings_pages.h"
#include "ui/dialog_look.h"

namespace lumivex {
namespace {

namespace names = settings_controls;

constexpr int kLeft = 20;
constexpr int kRowHeight = 26;
constexpr int kFieldLeft = 124;
constexpr int kFieldWidth = 250;

QCheckBox* MakeCheck(const QString& text, const char* name, const QRect& where, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  box->setGeometry(where);
  box->setChecked(checked);
  return box;
}

}  // namespace

CPage1::CPage1(AppContext& app, const SettingsHooks& hooks, const BasicPreferences& values, bool loaded,
               QWidget* parent)
    : QWidget(parent), app_(app), hooks_(hooks) {
  MakeDialogLabel(QStringLiteral("点击关闭按钮时："), QRect(kLeft, 14, 130, kRowHeight), this);
  toTray_ = new QRadioButton(QStringLiteral("最小化到托盘"), this);
  toTray_->setObjectName(names::kToTray);
  toTray_->setGeometry(150, 14, 130, kRowHeight);
  exit_ = new QRadioButton(QStringLiteral("退出"), this);
  exit_->setObjectName(names::kExit);
  exit_->setGeometry(290, 14, 100, kRowHeight);
  auto* closeChoice = new QButtonGroup(this);
  closeChoice->addButton(toTray_);
  closeChoice->addButton(exit_);
  if (loaded) (values.ToTray ? toTray_ : exit_)->setChecked(true);

  showClose_ = MakeCheck(QStringLiteral("关闭时弹出提示"), names::kShowClose, QRect(kLeft, 48, 170, kRowHeight),
                         values.ShowClose, this);
  autoPlay_ = MakeCheck(QStringLiteral("启动时开启所有设备"), names::kAutoPlay, QRect(210, 48, 200, kRowHeight),
                        values.AutoPlay, this);
  autostart_ = MakeCheck(QStringLiteral("开机自动启动"), names::kAutostart, QRect(kLeft, 80, 170, kRowHeight),
                         values.autostart, this);
  autoLogin_ = MakeCheck(QStringLiteral("自动登录"), names::kAutoLogin, QRect(210, 80, 200, kRowHeight),
                         values.AutoLogin, this);

  const char* videoNames[] = {names::kVideoPath, names::kVideoBrowse, names::kVideoOpen, names::kVideoAuto};
  const char* imageNames[] = {names::kImagePath, names::kImageBrowse, names::kImageOpen, names::kImageAuto};
  MakeFolderRow(video_, "视频文件路径：", 124, values.VideoPath, videoNames);
  MakeFolderRow(image_, "截图文件路径：", 196, values.ImagePath, imageNames);

  MakeDialogLabel(QStringLiteral("视频文件最大长度："), QRect(kLeft, 272, 140, kRowHeight), this);
  fileLength_ = new QComboBox(this);
  fileLength_->setObjectName(names::kFileLength);
  fileLength_->setGeometry(160, 272, 80, kRowHeight);
  for (std::string_view entry : kFileLengthEntries)
    fileLength_->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
  fileLength_->setCurrentIndex(values.fileLengthEntry);
  MakeDialogLabel(QStringLiteral("分钟"), QRect(248, 272, 60, kRowHeight), this);
}

void CPage1::MakeFolderRow(FolderRow& row, const char* label, int top, const std::string& text,
                           const char* rowNames[4]) {
  MakeDialogLabel(QString::fromUtf8(label), QRect(kLeft, top, 104, kRowHeight), this);
  row.path = new QLineEdit(QString::fromStdString(text), this);
  row.path->setObjectName(rowNames[0]);
  row.path->setReadOnly(true);
  row.path->setGeometry(kFieldLeft, top, kFieldWidth, kRowHeight);
  row.path->setToolTip(row.path->text());
  row.browse = MakeDialogButton(QStringLiteral("浏览..."), rowNames[1], QRect(382, top, 70, kRowHeight), this);
  row.open = MakeDialogButton(QStringLiteral("转到..."), rowNames[2], QRect(458, top, 70, kRowHeight), this);
  row.automatic = MakeCheck(QStringLiteral("自动选择"), rowNames[3], QRect(kFieldLeft, top + 32, 120, kRowHeight),
                            false, this);
  connect(row.browse, &QAbstractButton::clicked, this, [this, &row] { Browse(row); });
  connect(row.open, &QAbstractButton::clicked, this, [this, &row] { Open(row); });
  connect(row.automatic, &QCheckBox::clicked, this, [this, &row](bool checked) { ChooseAutomatically(row, checked); });
}

void CPage1::Browse(FolderRow& row) {
  if (!hooks_.chooseFolder) return;
  QString folder = hooks_.chooseFolder(this, QStringLiteral("请选择目录"), row.path->text());
  if (folder.isEmpty()) return;
  row.path->setText(QString::fromStdString(WithTrailingSlash(folder.toStdString())));
  row.path->setToolTip(row.path->text());
}

// A folder that cannot be made is not opened, and nothing is said.
void CPage1::Open(const FolderRow& row) {
  const QString text = row.path->text();
  if (!PrepareFolderToOpen(text.toStdString()) || !hooks_.openFolder) return;
  hooks_.openFolder(text);
}

void CPage1::ChooseAutomatically(FolderRow& row, bool checked) {
  if (!checked) {
    row.browse->setEnabled(true);
    return;
  }
  std::string folder;
  if (!hooks_.chooseStorage || !hooks_.chooseStorage(row.kind, folder)) {
    row.automatic->setChecked(false);
    app_.notifier.MessageBox("提示", row.kind == StorageKind::kVideo ? "自动获取视频存储路径失败，请手动选择！"
                                                                      : "自动获取截图存储路径失败，请手动选择！");
    return;
  }
  row.path->setText(QString::fromStdString(folder));
  row.path->setToolTip(row.path->text());
  row.browse->setEnabled(false);
}

BasicPreferences CPage1::Values() const {
  BasicPreferences v;
  v.VideoPath = video_.path->text().toStdString();
  v.ImagePath = image_.path->text().toStdString();
  v.fileLengthEntry = fileLength_->currentIndex();
  v.ToTray = toTray_->isChecked();
  v.ShowClose = showClose_->isChecked();
  v.AutoLogin = autoLogin_->isChecked();
  v.AutoPlay = autoPlay_->isChecked();
  v.autostart = autostart_->isChecked();
  return v;
}

}  // namespace lumivex
