#pragma once
// CTreeCtrl1: the device tree beside the video wall. It draws every row
// itself: a 22-pixel header per group and, under an expanded group, an
// 82-pixel row per camera (online ones first) with its thumbnail, name and
// state labels. Context menus carry every per-camera and group command;
// cameras are dragged between groups. Groups, names and each camera's group
// persist through DeviceGroups; the expanded states when the tree goes.
//
// Threads: everything here runs on the GUI thread; the refresh and periodic
// workers and the device operations hand their results back by queued calls
// (DeviceTreeWorkers).

#include <QAbstractScrollArea>
#include <QFont>
#include <QImage>
#include <QPixmap>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/device_groups.h"
#include "ui/device_tree_model.h"

class QLineEdit;
class QMenu;
class QPainter;
class QTimer;

namespace lumivex {
struct CameraInfo;
struct ServiceContext;
class CameraList;
}  // namespace lumivex

namespace lumivex::ui {

class DeviceTreeWorkers;
struct ThumbnailJob;
class TreeActions;

struct DeviceTreeContext {
  // Global, the notifier, and the settings, whose configPath is taken when
  // the tree is made (after sign-in).
  ServiceContext& service;
  CameraList& cameras;
  TreeActions& actions;
  std::string resFolder;  // the program's res/ folder
  std::chrono::milliseconds refreshPeriod{300000};
};

// The line in place of the rows until a listing succeeds.
inline constexpr char kListingLine[] = "正在获取设备列表";  // and up to three dots
inline constexpr char kListingFailedLine[] = "设备列表获取失败";

// Menu command identifiers; moving to the group at position p of the
// group list is kMoveToGroup + p.
enum TreeCommand {
  kRefreshList = 1034,
  kPlayVideo = 1035,
  kDeleteDevice = 1036,
  kRenameDevice = 1038,
  kBoundUsers = 1039,
  kPlayBack = 1040,
  kAlarmSettings = 1041,
  kSwitchLed = 1042,
  kSwitchVoice = 1043,
  kRenameGroup = 1051,
  kDeleteGroup = 1052,
  kAddGroup = 1053,
  kMoveToGroup = 3000,
};

class CTreeCtrl1 : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // How the listings went. Until one has succeeded the tree shows a line in
  // place of empty groups: a loading one, or a failure that a double click
  // retries; an account that has no device shows its empty groups.
  enum class Listing { kLoading, kListed, kFailed };

  // Shows the menu and returns the chosen entry (null when none).
  using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;

  CTreeCtrl1(DeviceTreeContext context, QWidget* parent = nullptr);
  ~CTreeCtrl1() override;

  // The tree build from the configuration and the CameraList; starts the
  // periodic worker. False, with no rows, when the configuration does not load.
  bool Update();
  // Rows for newly listed devices, none for those no longer listed.
  bool UpdateAfterRefresh();
  void SetListing(Listing listing);
  Listing listing() const { return listing_; }
  // The line the tree shows instead of its rows; empty when it shows rows.
  QString ListingLine() const;
  // The row of the device becomes the highlighted one (a wall window was
  // selected).
  void HighlightDevice(int device);
  // Ends an open group-name edit, keeping the text (a click elsewhere).
  void CommitGroupNameEditor();
  // A command of the context menus, on the selected item or device.
  void RunCommand(int command);
  void MoveToGroup(int32_t gid);

  const DeviceTreeModel& model() const { return model_; }
  TreeItem selectedItem() const { return selectedItem_; }
  TreeItem hotItem() const { return hotItem_; }
  QLineEdit* groupNameEditor() const { return groupNameEditor_; }
  bool refreshRunning() const;
  bool hasPicture(int device) const { return thumbnails_.count(device) != 0; }
  void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // device_tree.cpp
  std::vector<CameraInfo> Devices() const;
  static DeviceTreeModel::Online OnlineOf(const std::vector<CameraInfo>& devices);
  TreeItem HitAt(const QPoint& pos, bool toggle);
  void Changed();  // the scroll range follows the content; repaint
  void ForgetRow(int device);
  std::vector<ThumbnailJob> ThumbnailJobs() const;
  void SaveExpandedStates();

  // device_tree_paint.cpp
  void PaintListingLine(QPainter& painter, const QString& line) const;
  void PaintHeader(QPainter& painter, const GroupEntry& group, int top,
                   const DeviceTreeModel::Online& online) const;
  void PaintCamera(QPainter& painter, const CameraInfo& info, int device, int top) const;
  const QImage* Thumbnail(int device) const;
  QPixmap DragPicture(const CameraInfo& info, int device) const;

  // device_tree_input.cpp
  void LeftButtonDown(const QPoint& pos);
  void BeginDrag(const QPoint& pos);
  void Drop();
  void OpenGroupNameEditor(int32_t gid);
  void PlaceGroupNameEditor();
  void CloseGroupNameEditor();

  // device_tree_menu.cpp
  void ShowContextMenu(TreeItem hit, const QPoint& globalPos);
  bool AddCameraEntries(QMenu& menu, int device, std::vector<int32_t>& moveTargets);
  void PlayVideo();
  void PlayBack();
  void DeleteDevice();
  void ManageBoundUsers();
  void SwitchSetting(int command);
  void AddGroup();
  void DeleteGroup();
  std::optional<CameraInfo> SelectedDevice(int& device) const;
  int WatchableDevice();

  DeviceTreeContext context_;
  DeviceGroups groups_;
  DeviceTreeModel model_;
  bool built_ = false;
  Listing listing_ = Listing::kLoading;
  bool everListed_ = false;  // a listing has succeeded once
  QTimer* loadingTimer_ = nullptr;  // steps the loading line's dots
  int loadingStep_ = 0;

  TreeItem selectedItem_;
  TreeItem hotItem_;
  QLineEdit* groupNameEditor_ = nullptr;
  int32_t editorGroup_ = 0;

  bool dragging_ = false;
  bool dragArmed_ = false;
  int dragMoves_ = 0;
  int32_t dragSourceGroup_ = 0;
  int dragDevice_ = -1;
  QPixmap dragPicture_;
  QPoint dragPos_;
  int hoverMoves_ = 0;
  int wheelDelta_ = 0;

  QPixmap expandedPicture_, collapsedPicture_, defaultPicture_, lockedPicture_;
  std::map<int, QImage> thumbnails_;  // by device index: downloaded pictures
  QFont labelFont_, nameFont_, headerFont_;
  MenuRunner menuRunner_;

  std::unique_ptr<DeviceTreeWorkers> workers_;
};

}  // namespace lumivex::ui
