// The toolbar and caption commands of the main window. Each acts on the
// camera of the selected wall window; without a usable one it answers with
// its tip or message and changes nothing.

#include <QAction>
#include <QMenu>

#include "config/user_config.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/startup.h"
#include "core/version.h"
#include "stream/camera.h"
#include "ui/about_box.h"
#include "ui/app_context.h"
#include "ui/camera_registry.h"
#include "ui/device_tree.h"
#include "ui/dialogs/account_dialogs.h"
#include "ui/main_window.h"
#include "ui/image_button.h"
#include "ui/qt_notifier.h"
#include "ui/settings/settings_sheet.h"
#include "ui/video_wall_widget.h"

namespace lumivex {
namespace {

constexpr int kShortTipMs = 1300;
constexpr int kPathTipMs = 2000;
constexpr char kNoAudioModel[] = "该设备型号不支持此功能";
constexpr char kQSeriesRefusal[] = "Q系列不支持该功能";

struct Quality {
  int button;
  int entry;
  int32_t bitRate;
  const char* text;
};
const Quality kQualities[] = {
    {kQualityLowButton, kQualityLowEntry, kQualityLevels[0], "流畅"},
    {kQualitySdButton, kQualitySdEntry, kQualityLevels[1], "标清"},
    {kQualityHdButton, kQualityHdEntry, kQualityLevels[2], "高清"},
};

}  // namespace

void CLumivexDlg::RunCommand(int id) {
  if (id != kSplitButton) canvas_->HideLayoutChooser();
  switch (id) {
    case kSplitButton:
      return SplitCommand();
    case kCloseDeviceButton:
      return CloseDeviceCommand();
    case kQualityLowButton:
    case kQualitySdButton:
    case kQualityHdButton:
      return QualityCommand(id);
    case kAlarmButton:
      return AlarmCommand();
    case kPreviousPageButton:
      return canvas_->PreviousPage();
    case kNextPageButton:
      return canvas_->NextPage();
    case kRotateButton:
      return RotateCommand();
    case kSnapshotButton:
      return SnapshotCommand();
    case kAudioOnButton:
      return AudioOnCommand();
    case kAudioOffButton:
      return AudioOffCommand();
    case kTalkOnButton:
      return TalkOnCommand();
    case kTalkOffButton:
      return TalkOffCommand();
    case kRecordOnButton:
      return RecordOnCommand();
    case kRecordOffButton:
      return RecordOffCommand();
    case kMenuButton:
      return MenuCommand();
    case kMinimizeButton:
      return showMinimized();
    case kMaximizeButton:
      return SetMaximized(true);
    case kRestoreButton:
      return SetMaximized(false);
    case kCloseButton:
      return CloseRequest();
    default:
      return;
  }
}

CCamera* CLumivexDlg::Selected() const { return canvas_->selectedCamera(); }

void CLumivexDlg::Tip(const char* text, int milliseconds) { ShowTip(this, QString::fromUtf8(text), milliseconds); }

void CLumivexDlg::Box(const std::string& title, const std::string& text) { app_.notifier.MessageBox(title, text); }

void CLumivexDlg::ShowOf(std::initializer_list<int> group, int shown, bool focus) {
  for (int id : group)
    if (id != shown) buttons_[id]->hide();
  buttons_[shown]->show();
  if (focus) buttons_[shown]->setFocus(Qt::OtherFocusReason);
}

void CLumivexDlg::ShowQuality(int32_t bitRate) {
  for (const Quality& q : kQualities)
    if (q.bitRate == bitRate) ShowOf({kQualityLowButton, kQualitySdButton, kQualityHdButton}, q.button);
}

void CLumivexDlg::OnSelection(CCamera* camera) {
  if (!camera) return;
  RefreshToolbar(camera);
  int device = registry_->DeviceOf(*camera);
  if (device >= 0) tree_->HighlightDevice(device);
}

void CLumivexDlg::RefreshToolbar(CCamera* camera) {
  if (!camera) return;
  std::optional<CameraInfo> info = registry_->InfoOf(*camera);
  const bool withoutAudio = info && info->withoutAudio();
  app_.global.m_LimitedSeries = withoutAudio ? 1 : 0;
  AudioSwitch& audio = canvas_->audio();
  if (withoutAudio) {
    ShowOf({kAudioOnButton, kAudioOffButton}, kAudioOffButton);
    ShowOf({kTalkOnButton, kTalkOffButton}, kTalkOffButton);
  } else {
    ShowOf({kAudioOnButton, kAudioOffButton}, audio.audioCamera() == camera ? kAudioOffButton : kAudioOnButton);
    ShowOf({kTalkOnButton, kTalkOffButton}, audio.talkingCamera() == camera ? kTalkOffButton : kTalkOnButton);
  }
  buttons_[kAudioOffButton]->SetDimmed(withoutAudio ? dimmedAudio_ : QPixmap());
  buttons_[kTalkOffButton]->SetDimmed(withoutAudio ? dimmedTalk_ : QPixmap());
  buttons_[kAudioOffButton]->setToolTip(QString::fromUtf8(withoutAudio ? kNoAudioModel : "设备音频已开启"));
  buttons_[kTalkOffButton]->setToolTip(QString::fromUtf8(withoutAudio ? kNoAudioModel : "本地音频已开启"));
  ShowOf({kRecordOnButton, kRecordOffButton}, camera->recording ? kRecordOffButton : kRecordOnButton);
  ShowQuality(camera->bitRate);
}

void CLumivexDlg::SplitCommand() {
  if (canvas_->layoutChooserVisible()) return canvas_->HideLayoutChooser();
  QWidget* split = buttons_[kSplitButton];
  canvas_->ShowLayoutChooser(split->mapToGlobal(QPoint(split->width(), 0)));
}

void CLumivexDlg::CloseDeviceCommand() {
  canvas_->CountClose();
  if (CCamera* camera = Selected()) {
    if (camera->m_VideoStatus != STATUS_READY && !camera->stopRunning()) camera->StopCleanCameraAsync();
  } else {
    Box(kPromptTitle, "请选择要关闭的视频");
  }
  ShowOf({kAudioOnButton, kAudioOffButton}, kAudioOnButton);
  ShowOf({kTalkOnButton, kTalkOffButton}, kTalkOnButton);
  ShowOf({kRecordOnButton, kRecordOffButton}, kRecordOnButton);
  ShowOf({kQualityLowButton, kQualitySdButton, kQualityHdButton}, kQualityLowButton);
}

void CLumivexDlg::QualityCommand(int pressed) {
  CCamera* camera = Selected();
  if (!camera) return Tip("请选择设备", kShortTipMs);
  std::optional<CameraInfo> info = registry_->InfoOf(*camera);
  if (!info || !info->online() || camera->m_VideoStatus != STATUS_VIDEO_PLAYING)
    return Tip("设备未开始播放", kShortTipMs);
  QMenu menu(this);
  for (const Quality& q : kQualities) {
    QAction* entry = menu.addAction(QString::fromUtf8(q.text));
    entry->setData(q.entry);
    entry->setCheckable(true);
    entry->setChecked(camera->bitRate == q.bitRate);
  }
  QAction* automatic = menu.addAction(QStringLiteral("自动"));
  automatic->setData(kQualityAutoEntry);
  automatic->setCheckable(true);
  automatic->setChecked(app_.settings.AutoQuality != 0);
  // Centred on the button's left edge, standing on its top.
  QWidget* button = buttons_[pressed];
  QSize size = menu.sizeHint();
  QPoint at = button->mapToGlobal(QPoint(-size.width() / 2, -size.height()));
  QAction* chosen = RunMenu(menu, at);
  if (!chosen) return;
  if (chosen->data().toInt() == kQualityAutoEntry) return SetAutoQuality(app_.settings.AutoQuality == 0);
  for (const Quality& q : kQualities) {
    if (chosen->data().toInt() != q.entry) continue;
    SetAutoQuality(false);  // a level picked by hand is the user's from now on
    // The button shows the quality only when the camera's session took it.
    if (camera == Selected() && camera->SetQuality(q.bitRate))
      ShowOf({kQualityLowButton, kQualitySdButton, kQualityHdButton}, q.button);
  }
}

void CLumivexDlg::SetAutoQuality(bool on) {
  if ((app_.settings.AutoQuality != 0) == on) return;
  app_.settings.AutoQuality = on ? 1 : 0;
  if (!SaveAutoQuality(app_.settings)) LogLine("AutoQuality not saved in " + app_.settings.configPath);
  canvas_->SetAutoQuality(on);
  if (CCamera* camera = Selected()) ShowQuality(camera->bitRate);
}

void CLumivexDlg::AlarmCommand() {
  CCamera* camera = Selected();
  if (!camera) return Tip("请选择操作设备", kShortTipMs);
  std::optional<CameraInfo> info = registry_->InfoOf(*camera);
  if (!info || info->showAlarm != 1) return Tip("当前设备不支持报警", kShortTipMs);
  OpenAlarm(registry_->DeviceOf(*camera));
}

void CLumivexDlg::RotateCommand() {
  CCamera* camera = Selected();
  if (!camera) return Tip("请选择设备", kShortTipMs);
  camera->Rotate();
}

void CLumivexDlg::SnapshotCommand() {
  if (app_.settings.storage.Get().ImagePath.empty()) return Tip("请设置截图文件存储路径", kPathTipMs);
  CCamera* camera = Selected();
  if (!camera) return Tip("请选择视频播放窗口", kShortTipMs);
  camera->snapshotRequested = 1;
}

void CLumivexDlg::AudioOnCommand() {
  CCamera* camera = Selected();
  if (!camera) return Tip("请选择通话窗口", kShortTipMs);
  AudioSwitch& audio = canvas_->audio();
  if (audio.audioCamera() == camera) return;
  std::optional<CameraInfo> info = registry_->InfoOf(*camera);
  if (info && info->qSeries()) return Box(kApplicationName, kQSeriesRefusal);
  audio.Listen(camera);
  ShowOf({kAudioOnButton, kAudioOffButton}, kAudioOffButton, true);
}

void CLumivexDlg::AudioOffCommand() {
  AudioSwitch& audio = canvas_->audio();
  if (!audio.audioCamera()) return;
  audio.Mute();
  ShowOf({kAudioOnButton, kAudioOffButton}, kAudioOnButton, true);
}

void CLumivexDlg::TalkOnCommand() {
  CCamera* camera = Selected();
  if (!camera) return Tip("请选择通话窗口", kShortTipMs);
  AudioSwitch& audio = canvas_->audio();
  if (audio.talkingCamera() == camera) return;
  std::optional<CameraInfo> info = registry_->InfoOf(*camera);
  if (info && info->qSeries()) return Box(kApplicationName, kQSeriesRefusal);
  audio.Talk(camera);
  ShowOf({kTalkOnButton, kTalkOffButton}, kTalkOffButton, true);
}

void CLumivexDlg::AudioFailed(AudioFailure failure) {
  Tip(AudioFailureTip(failure), kAudioFailureTipMs);
  if (failure == AudioFailure::kInput) ShowOf({kTalkOnButton, kTalkOffButton}, kTalkOnButton);
  else ShowOf({kAudioOnButton, kAudioOffButton}, kAudioOnButton);
}

void CLumivexDlg::TalkOffCommand() {
  AudioSwitch& audio = canvas_->audio();
  if (!audio.talkingCamera()) return;
  audio.StopTalk();
  ShowOf({kTalkOnButton, kTalkOffButton}, kTalkOnButton, true);
}

void CLumivexDlg::RecordOnCommand() {
  if (app_.settings.storage.Get().VideoPath.empty()) return Tip("请选择视频文件存储路径", kPathTipMs);
  CCamera* camera = Selected();
  if (!camera) return Tip("请选择开启录像的设备", kShortTipMs);
  camera->recording = 1;
  ShowOf({kRecordOnButton, kRecordOffButton}, kRecordOffButton, true);
}

void CLumivexDlg::RecordOffCommand() {
  CCamera* camera = Selected();
  if (!camera) return;
  camera->recording = 0;
  ShowOf({kRecordOnButton, kRecordOffButton}, kRecordOnButton, true);
}

void CLumivexDlg::MenuCommand() {
  QMenu menu(this);
  const std::pair<const char*, int> entries[] = {
      {"系统设置", kSettingsEntry}, {"意见反馈", kFeedbackEntry}, {"联系我们", kContactEntry}};
  for (const auto& [text, id] : entries) menu.addAction(QString::fromUtf8(text))->setData(id);
  QWidget* button = buttons_[kMenuButton];
  QAction* chosen = RunMenu(menu, button->mapToGlobal(QPoint(-50, button->height())));
  if (!chosen) return;
  switch (chosen->data().toInt()) {
    case kContactEntry:
      return ShowAbout();
    case kSettingsEntry:
      return ShowSettings();
    case kFeedbackEntry:
      return ShowFeedback();
    default:
      return;
  }
}

void CLumivexDlg::ShowFeedback() {
  CFeedback feedback(app_, this);
  dialogRunner_(feedback);
}

void CLumivexDlg::ShowSettings() {
  SettingsHooks hooks = DesktopSettingsHooks();
  // After the sheet's own loop has ended.
  hooks.endClient = [this] { QMetaObject::invokeMethod(this, &CLumivexDlg::WindowExit, Qt::QueuedConnection); };
  CSetting sheet(app_, std::move(hooks), this);
  dialogRunner_(sheet);
}

void CLumivexDlg::ShowAbout() {
  CAboutDlg about(app_.settings.productMajor, app_.settings.productMinor, this);
  dialogRunner_(about);
}

QAction* CLumivexDlg::RunMenu(QMenu& menu, const QPoint& globalPos) { return menuRunner_(menu, globalPos); }

}  // namespace lumivex
