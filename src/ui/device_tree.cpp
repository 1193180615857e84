#include "ui/device_tree.h"

#include <QLineEdit>
#include <QMenu>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <set>

#include "config/user_settings.h"
#include "core/deployment.h"
#include "core/logging.h"
#include "ui/device_tree_actions.h"
#include "ui/device_tree_workers.h"
#include "ui/geometry/pictures.h"
#include "webservice/camera_list.h"
#include "webservice/service_context.h"

namespace lumivex::ui {
namespace {

constexpr int kLineStep = 32;
constexpr int kLoadingStepMs = 400;

QFont TreeFont(int weight) {
  QFont font;
  font.setFamilies({"Microsoft YaHei", "微软雅黑", "WenQuanYi Micro Hei", "Noto Sans CJK SC"});
  // The original's 18 pixels were the whole character cell.
  font.setPixelSize(14);
  font.setWeight(static_cast<QFont::Weight>(weight));
  return font;
}

QPixmap LoadPicture(const std::string& folder, const char* name) {
  // A missing file leaves the picture empty; rows are drawn without it.
  return QPixmap(QString::fromStdString(folder + "/" + name));
}

}  // namespace

CTreeCtrl1::CTreeCtrl1(DeviceTreeContext context, QWidget* parent)
    : QAbstractScrollArea(parent),
      context_(std::move(context)),
      groups_(context_.service.settings.configPath),
      labelFont_(TreeFont(700)),
      nameFont_(TreeFont(400)),
      headerFont_(TreeFont(400)) {
  expandedPicture_ = LoadPicture(context_.resFolder, pictures::kExpand);
  collapsedPicture_ = LoadPicture(context_.resFolder, pictures::kCollapse);
  defaultPicture_ = LoadPicture(context_.resFolder, pictures::kThumbnail);
  lockedPicture_ = LoadPicture(context_.resFolder, pictures::kThumbnailLocked);

  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  verticalScrollBar()->setSingleStep(kLineStep);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

  menuRunner_ = [](QMenu& menu, const QPoint& pos) { return menu.exec(pos); };
  DeviceTreeWorkers::Hooks hooks;
  hooks.updateAfterRefresh = [this] { return UpdateAfterRefresh(); };
  hooks.listingFailed = [this] { SetListing(Listing::kFailed); };
  hooks.thumbnailJobs = [this] { return ThumbnailJobs(); };
  hooks.setPicture = [this](int device, const QImage& picture) {
    if (model_.HasCamera(device)) thumbnails_[device] = picture;
  };
  hooks.repaint = [this] { viewport()->update(); };
  loadingTimer_ = new QTimer(this);
  connect(loadingTimer_, &QTimer::timeout, this, [this] {
    ++loadingStep_;
    viewport()->update();
  });
  loadingTimer_->start(kLoadingStepMs);
  workers_ = std::make_unique<DeviceTreeWorkers>(*this, context_.service, context_.cameras,
                                                 std::move(hooks), context_.refreshPeriod);
}

CTreeCtrl1::~CTreeCtrl1() {
  workers_.reset();  // no worker may call back while the tree goes
  SaveExpandedStates();
}

void CTreeCtrl1::SaveExpandedStates() {
  if (!built_) return;
  std::vector<DeviceGroup> states;
  for (const GroupEntry& group : model_.groups())
    states.push_back({group.GID, group.name, group.expanded});
  if (!groups_.SaveExpanded(states)) LogLine("Tree: the expanded states were not saved");
}

std::vector<CameraInfo> CTreeCtrl1::Devices() const { return context_.cameras.Snapshot(); }

DeviceTreeModel::Online CTreeCtrl1::OnlineOf(const std::vector<CameraInfo>& devices) {
  return [&devices](int device) {
    return device >= 0 && device < static_cast<int>(devices.size()) && devices[device].online();
  };
}

bool CTreeCtrl1::Update() {
  LogLine("Tree:Update[Start]");
  std::vector<CameraInfo> devices = Devices();
  std::vector<std::string> ids;
  std::vector<int> indexes;
  std::set<std::string> seen;  // a device listed twice gets one row
  for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
    if (!devices[i].listed || !seen.insert(devices[i].sid.str()).second) continue;
    ids.push_back(devices[i].sid.str());
    indexes.push_back(i);
  }
  std::vector<CameraPlacement> placements;
  std::vector<DeviceGroup> groups;
  if (!groups_.SyncCameras({}, ids, placements, groups)) {
    LogLine("Tree: the configuration does not load; no tree");
    return false;
  }
  model_.Clear();
  thumbnails_.clear();
  selectedItem_ = hotItem_ = {};
  for (const DeviceGroup& group : groups) model_.AddGroup(group.name, group.GID, group.expanded);
  for (std::size_t k = 0; k < placements.size(); ++k) {
    if (placements[k].videoStore) context_.actions.SwitchRecordingOn(indexes[k]);
    model_.AppendCamera(placements[k].groupId, indexes[k]);
  }
  built_ = true;
  Changed();
  workers_->StartPeriodic();
  LogLine("Tree:Update[End]");
  return true;
}

void CTreeCtrl1::SetListing(Listing listing) {
  listing_ = listing;
  if (listing == Listing::kListed) everListed_ = true;
  if (listing == Listing::kLoading)
    loadingTimer_->start(kLoadingStepMs);
  else
    loadingTimer_->stop();
  LogLine(std::string("Tree: listing ") +
          (listing == Listing::kListed ? "done" : listing == Listing::kFailed ? "failed" : "runs"));
  viewport()->update();
}

QString CTreeCtrl1::ListingLine() const {
  if (everListed_ || !model_.AllCameras().empty()) return {};
  if (listing_ == Listing::kFailed) return QString::fromUtf8(kListingFailedLine);
  return QString::fromUtf8(kListingLine) + QString(loadingStep_ % 4, QChar('.'));
}

bool CTreeCtrl1::UpdateAfterRefresh() {
  SetListing(Listing::kListed);
  std::vector<CameraInfo> devices = Devices();
  std::vector<std::string> removedIds, addedIds;
  std::vector<int> removed, added;
  std::set<std::string> shown;
  for (int device : model_.AllCameras())
    if (device < static_cast<int>(devices.size())) shown.insert(devices[device].sid.str());
  for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
    const std::string& sid = devices[i].sid.str();
    bool hasRow = model_.HasCamera(i);
    if (hasRow && !devices[i].listed) {
      removedIds.push_back(sid);
      removed.push_back(i);
    } else if (!hasRow && devices[i].listed && shown.insert(sid).second) {
      addedIds.push_back(sid);
      added.push_back(i);
    }
  }
  std::vector<CameraPlacement> placements;
  std::vector<DeviceGroup> groups;
  if (!groups_.SyncCameras(removedIds, addedIds, placements, groups)) {
    LogLine("Tree: the configuration does not load; the tree stays as it is");
    return false;
  }
  for (int device : removed) ForgetRow(device);
  for (std::size_t k = 0; k < placements.size(); ++k)
    if (!model_.AppendCamera(placements[k].groupId, added[k]))
      model_.AppendCamera(kDefaultGroupId, added[k]);  // its group is not in this tree
  Changed();
  return true;
}

void CTreeCtrl1::ForgetRow(int device) {
  model_.RemoveCamera(device);
  thumbnails_.erase(device);
  if (selectedItem_ == TreeItem::Camera(device)) selectedItem_ = {};
  if (hotItem_ == TreeItem::Camera(device)) hotItem_ = {};
}

std::vector<ThumbnailJob> CTreeCtrl1::ThumbnailJobs() const {
  std::vector<ThumbnailJob> jobs;
  std::vector<CameraInfo> devices = Devices();
  for (int device : model_.AllCameras())
    if (device < static_cast<int>(devices.size()) && !devices[device].img.empty())
      jobs.push_back({device, ThumbnailUrl(context_.service.g, devices[device].img)});
  return jobs;
}

void CTreeCtrl1::HighlightDevice(int device) {
  hotItem_ = TreeItem::Camera(device);
  viewport()->update();
}

bool CTreeCtrl1::refreshRunning() const { return workers_->refreshRunning(); }

TreeItem CTreeCtrl1::HitAt(const QPoint& pos, bool toggle) {
  if (!viewport()->rect().contains(pos) || !ListingLine().isEmpty()) return {};
  std::vector<CameraInfo> devices = Devices();
  TreeItem hit = model_.HitTest(pos.y() + verticalScrollBar()->value(), OnlineOf(devices));
  if (toggle && hit.isGroup()) model_.ToggleExpanded(hit.id);
  return hit;
}

void CTreeCtrl1::Changed() {
  QScrollBar* bar = verticalScrollBar();
  int page = viewport()->height();
  bar->setPageStep(page);
  bar->setRange(0, std::max(0, model_.ContentHeight() - page));
  PlaceGroupNameEditor();
  viewport()->update();
}

void CTreeCtrl1::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Changed();
}

void CTreeCtrl1::scrollContentsBy(int, int) {
  PlaceGroupNameEditor();
  viewport()->update();
}

void CTreeCtrl1::wheelEvent(QWheelEvent* event) {
  // One line per notch; a touchpad's small steps add up to notches.
  wheelDelta_ += event->angleDelta().y();
  while (wheelDelta_ >= 120) {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    wheelDelta_ -= 120;
  }
  while (wheelDelta_ <= -120) {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    wheelDelta_ += 120;
  }
  event->accept();
}

}  // namespace lumivex::ui
