// The device dialogs the tree and the toolbar open. Each runs modally
// through the dialog runner; the operations they lead to are background
// jobs that report through the notifier.

#include <optional>

#include "app/device_access.h"
#include "ui/app_context.h"
#include "ui/dialogs/alarm_dialog.h"
#include "ui/dialogs/bind_user_dialog.h"
#include "ui/dialogs/device_dialogs.h"
#include "ui/main_window.h"
#include "ui/playback/playback_window.h"
#include "stream/camera.h"
#include "ui/qt_audio.h"
#include "webservice/camera_list.h"
#include "webservice/device_settings.h"

namespace lumivex {

bool CLumivexDlg::AcceptUnlockPattern(int device) {
  const std::optional<CameraInfo> info = app_.cameras.Get(device);
  if (!info) return false;
  const Global& g = app_.global;
  CVideoLock lock([&g, device = *info](const std::string& pattern) { return PatternUnlocks(g, device, pattern); },
                  this);
  return dialogRunner_(lock) == QDialog::Accepted;
}

bool CLumivexDlg::ConfirmPassword() {
  CPwdConf confirm(app_.settings.rememberedPassword.str(), this);
  return dialogRunner_(confirm) == QDialog::Accepted;
}

void CLumivexDlg::OpenAlarm(int device) {
  if (!app_.cameras.Get(device)) return;
  CAlarm alarm(app_, device, this);
  dialogRunner_(alarm);
}

void CLumivexDlg::OpenRename(int device) {
  const std::optional<CameraInfo> info = app_.cameras.Get(device);
  if (!info) return;
  CRename rename(app_.notifier, QString::fromStdString(info->name), this);
  if (dialogRunner_(rename) != QDialog::Accepted) return;
  ServiceContext& service = app_.service;
  CameraList& cameras = app_.cameras;
  const std::string name = rename.name();
  // The operation repaints the tree itself once the list holds the name.
  app_.jobs.Run<int>(
      this, [&service, &cameras, device, name] { return RenameDevice(service, cameras, device, name); }, [](int) {});
}

void CLumivexDlg::OpenBoundUsers(int device) {
  const std::optional<CameraInfo> info = app_.cameras.Get(device);
  if (!info) return;
  CBindUser users(app_, info->sid.str(), this);
  dialogRunner_(users);
}

// The playback window comes with its own session, apart from the live one.
void CLumivexDlg::OpenPlayback(int device) {
  const std::optional<CameraInfo> info = app_.cameras.Get(device);
  if (!info) return;
  CPlayback playback(app_, *audioDevices_, env_->displayClock, *info, this);
  dialogRunner_(playback);
}

}  // namespace lumivex
