// The device tree's context menus and the commands they carry.

#include <QMenu>
#include <QPointer>
#include <QScrollBar>

#include "app/device_access.h"
#include "core/global.h"
#include "core/notifier.h"
#include "ui/device_tree.h"
#include "ui/device_tree_actions.h"
#include "ui/dialog_look.h"
#include "ui/device_tree_workers.h"
#include "webservice/camera_list.h"
#include "webservice/device_settings.h"
#include "webservice/service_context.h"

namespace lumivex::ui {
namespace {

void AddEntry(QMenu& menu, const char* text, int command) {
  menu.addAction(QString::fromUtf8(text))->setData(command);
}

}  // namespace

void CTreeCtrl1::ShowContextMenu(TreeItem hit, const QPoint& globalPos) {
  QMenu menu;  // not a child: the tree may go while the menu is open
  std::vector<int32_t> moveTargets;  // GID of the group at each position p
  if (hit.isCamera()) {
    if (!AddCameraEntries(menu, hit.id, moveTargets)) return;
  } else {
    AddEntry(menu, "添加分组", kAddGroup);
    if (!hit) AddEntry(menu, "刷新列表", kRefreshList);
    if (hit.isGroup() && hit.id != kDefaultGroupId) {
      AddEntry(menu, "删除分组", kDeleteGroup);
      AddEntry(menu, "修改分组名称", kRenameGroup);
    }
  }
  QPointer<CTreeCtrl1> alive(this);
  QAction* chosen = menuRunner_(menu, globalPos);
  if (!alive || !chosen || !chosen->data().isValid()) return;
  int command = chosen->data().toInt();
  std::size_t position = static_cast<std::size_t>(command - kMoveToGroup);
  if (command >= kMoveToGroup && position < moveTargets.size())
    MoveToGroup(moveTargets[position]);
  else
    RunCommand(command);
}

bool CTreeCtrl1::AddCameraEntries(QMenu& menu, int device, std::vector<int32_t>& moveTargets) {
  std::optional<CameraInfo> info = context_.cameras.Get(device);
  const GroupEntry* own = model_.GroupOf(device);
  if (!info || !own) return false;
  const bool online = info->online();
  AddEntry(menu, "刷新列表", kRefreshList);
  if (online) AddEntry(menu, "播放视频", kPlayVideo);
  AddEntry(menu, "删除设备", kDeleteDevice);
  if (online) AddEntry(menu, "视频回放", kPlayBack);
  if (MayOpenAlarm(*info)) AddEntry(menu, "报警设置", kAlarmSettings);
  if (info->showLED != 0)
    AddEntry(menu, info->ledStatus == 1 ? "关闭LED灯" : "开启LED灯", kSwitchLed);
  if (info->showSound != 0)
    AddEntry(menu, info->soundLeadStatus == 1 ? "关闭语音播报" : "开启语音播报", kSwitchVoice);
  AddEntry(menu, "修改设备名称", kRenameDevice);
  if (IsAdministrator(*info)) AddEntry(menu, "管理绑定用户", kBoundUsers);
  if (model_.groups().size() <= 1) return true;

  std::vector<DeviceGroup> groups;
  if (!groups_.Load(groups)) return false;  // no menu without the configuration
  QMenu* sub = menu.addMenu(QString::fromUtf8("移动到分组..."));
  for (std::size_t p = 0; p < groups.size(); ++p) {
    moveTargets.push_back(groups[p].GID);
    if (groups[p].GID == own->GID) continue;
    sub->addAction(QString::fromStdString(groups[p].name))
        ->setData(kMoveToGroup + static_cast<int>(p));
  }
  return true;
}

void CTreeCtrl1::RunCommand(int command) {
  switch (command) {
    case kRefreshList:
      if (workers_->StartRefresh() && !everListed_) SetListing(Listing::kLoading);
      break;
    case kPlayVideo:
      PlayVideo();
      break;
    case kPlayBack:
      PlayBack();
      break;
    case kDeleteDevice:
      DeleteDevice();
      break;
    case kRenameDevice:
      if (int device; SelectedDevice(device)) context_.actions.OpenRename(device);
      break;
    case kBoundUsers:
      ManageBoundUsers();
      break;
    case kAlarmSettings:
      if (selectedItem_.isCamera()) context_.actions.OpenAlarm(selectedItem_.id);
      break;
    case kSwitchLed:
    case kSwitchVoice:
      SwitchSetting(command);
      break;
    case kRenameGroup:
      if (selectedItem_.isGroup()) OpenGroupNameEditor(selectedItem_.id);
      break;
    case kDeleteGroup:
      DeleteGroup();
      break;
    case kAddGroup:
      AddGroup();
      break;
    default:
      break;
  }
}

std::optional<CameraInfo> CTreeCtrl1::SelectedDevice(int& device) const {
  device = context_.service.g.selectedDevice;
  return context_.cameras.Get(device);
}

// The selected device when it may be watched: online, and unlocked by its
// pattern when locked (a camera locked by its admin cannot be); -1 otherwise.
int CTreeCtrl1::WatchableDevice() {
  int device = -1;
  std::optional<CameraInfo> info = SelectedDevice(device);
  if (!info) return -1;
  switch (WatchAccessOf(*info)) {
    case WatchAccess::kLockedByAdministrator:
      context_.service.notifier.MessageBox("提示", kLockedByAdministrator);
      return -1;
    case WatchAccess::kOffline:
      return -1;
    case WatchAccess::kNeedsPattern:
      return context_.actions.AcceptUnlockPattern(device) ? device : -1;
    case WatchAccess::kOpen:
      return device;
  }
  return -1;
}

void CTreeCtrl1::PlayVideo() {
  if (int device = WatchableDevice(); device >= 0) context_.actions.StartLiveView(device);
}

void CTreeCtrl1::PlayBack() {
  if (int device = WatchableDevice(); device >= 0) context_.actions.OpenPlayback(device);
}

void CTreeCtrl1::DeleteDevice() {
  int device = -1;
  if (!SelectedDevice(device) || !context_.actions.ConfirmPassword()) return;
  ServiceContext& service = context_.service;
  CameraList& cameras = context_.cameras;
  workers_->RunOperation([&service, &cameras, device] { return RemoveDevice(service, cameras, device); },
                         [this, device](int removed) {
                           if (!removed) return;
                           // The worker took the Camera entry out of the file.
                           ForgetRow(device);
                           selectedItem_ = {};
                           context_.actions.StopLiveView(device);
                           Changed();
                         });
}

void CTreeCtrl1::ManageBoundUsers() {
  int device = -1;
  if (!SelectedDevice(device) || !context_.actions.ConfirmPassword()) return;
  context_.actions.OpenBoundUsers(device);
}

void CTreeCtrl1::SwitchSetting(int command) {
  int device = -1;
  if (!SelectedDevice(device)) return;
  ServiceContext& service = context_.service;
  CameraList& cameras = context_.cameras;
  bool led = command == kSwitchLed;
  workers_->RunOperation(
      [&service, &cameras, device, led] {
        return led ? SetLed(service, cameras, device) : SetVoice(service, cameras, device);
      },
      [this](int) { viewport()->update(); });
}

void CTreeCtrl1::AddGroup() {
  Notifier& notifier = context_.service.notifier;
  if (model_.groups().size() >= static_cast<std::size_t>(kMaxGroups)) {
    notifier.MessageBox("提示", "分组个数已经达到上限.");
    return;
  }
  DeviceGroup added;
  DeviceGroups::AddResult result = groups_.AddGroup(added);
  if (result == DeviceGroups::AddResult::kFull) notifier.MessageBox("提示", "分组个数已经达到上限.");
  if (result != DeviceGroups::AddResult::kAdded) return;
  if (!model_.AddGroup(added.name, added.GID, false)) return;
  selectedItem_ = TreeItem::Group(added.GID);
  Changed();
  if (model_.ContentHeight() > viewport()->height())
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  OpenGroupNameEditor(added.GID);
}

void CTreeCtrl1::DeleteGroup() {
  const GroupEntry* group = selectedItem_.isGroup() ? model_.FindGroup(selectedItem_.id) : nullptr;
  if (!group || group->GID == kDefaultGroupId) return;
  int32_t gid = group->GID;
  const QString question = QStringLiteral("确定要删除分组[%1]？").arg(QString::fromStdString(group->name));
  if (!AskOkCancel(this, QStringLiteral("提示"), question)) return;
  if (!groups_.DeleteGroup(gid)) return;
  model_.RemoveGroup(gid);
  selectedItem_ = {};
  if (hotItem_ == TreeItem::Group(gid)) hotItem_ = {};
  Changed();
}

void CTreeCtrl1::MoveToGroup(int32_t gid) {
  int device = -1;
  std::optional<CameraInfo> info = SelectedDevice(device);
  if (!info || !model_.HasCamera(device) || !groups_.MoveCamera(info->sid.str(), gid)) return;
  model_.MoveCamera(device, gid);
  Changed();
}

}  // namespace lumivex::ui
