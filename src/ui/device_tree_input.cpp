// Mouse and keys of the device tree: selection, hover, the drag of a camera
// to another group, and the inline group-name editor.

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>

#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "app/device_access.h"
#include "ui/device_tree.h"
#include "webservice/camera_list.h"
#include "webservice/service_context.h"

namespace lumivex::ui {
namespace {

constexpr int kHoverEvery = 9;  // hover is tested on every ninth move
constexpr int kDragAfter = 6;   // moves with the button down before a drag begins
constexpr int kIconWidth = 22;

}  // namespace

void CTreeCtrl1::mousePressEvent(QMouseEvent* event) {
  QPoint pos = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    LeftButtonDown(pos);
  } else if (event->button() == Qt::RightButton) {
    CommitGroupNameEditor();
    TreeItem hit = HitAt(pos, false);
    if (hit) selectedItem_ = hit;
    if (hit.isCamera()) context_.service.g.selectedDevice = hit.id;
    viewport()->update();
    ShowContextMenu(hit, event->globalPosition().toPoint());
  }
  event->accept();
}

void CTreeCtrl1::LeftButtonDown(const QPoint& pos) {
  CommitGroupNameEditor();
  TreeItem hit = HitAt(pos, true);
  if (hit) selectedItem_ = hit;
  if (hit.isCamera()) {
    context_.service.g.selectedDevice = hit.id;
    dragArmed_ = true;
    dragMoves_ = 0;
  }
  setFocus();
  Changed();
}

void CTreeCtrl1::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  if (listing_ == Listing::kFailed && !ListingLine().isEmpty() &&
      event->position().y() < DeviceTreeModel::kHeaderHeight) {
    LogLine("Tree: the listing is tried again");
    RunCommand(kRefreshList);
    return;
  }
  // This event stands for the second press, so a header toggles once more
  // and a double click leaves it as it was.
  TreeItem hit = HitAt(event->position().toPoint(), true);
  Changed();
  if (!hit.isCamera()) return;
  selectedItem_ = hit;
  context_.service.g.selectedDevice = hit.id;
  std::optional<CameraInfo> info = context_.cameras.Get(hit.id);
  if (!info) return;
  if (WatchAccessOf(*info) == WatchAccess::kOffline)
    context_.service.notifier.Tip("设备不在线", 1000);
  else
    PlayVideo();  // shows the lock message itself
}

void CTreeCtrl1::mouseMoveEvent(QMouseEvent* event) {
  QPoint pos = event->position().toPoint();
  event->accept();
  if (dragging_) {
    dragPos_ = pos;
    hotItem_ = HitAt(pos, false);
    viewport()->update();
    return;
  }
  if (dragArmed_) {
    if (++dragMoves_ >= kDragAfter) BeginDrag(pos);
    return;
  }
  if (++hoverMoves_ < kHoverEvery) return;
  hoverMoves_ = 0;
  TreeItem hit = HitAt(pos, false);
  if (hit == hotItem_) return;
  hotItem_ = hit;
  viewport()->update();
}

void CTreeCtrl1::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  dragArmed_ = false;
  if (!dragging_) return;
  dragging_ = false;
  Drop();
}

void CTreeCtrl1::BeginDrag(const QPoint& pos) {
  dragArmed_ = false;
  const GroupEntry* source =
      selectedItem_.isCamera() ? model_.GroupOf(selectedItem_.id) : nullptr;
  std::optional<CameraInfo> info = context_.cameras.Get(selectedItem_.id);
  if (!source || !info) return;
  dragSourceGroup_ = source->GID;
  dragDevice_ = selectedItem_.id;
  dragPicture_ = DragPicture(*info, dragDevice_);
  model_.CollapseAll();
  dragging_ = true;
  dragPos_ = pos;
  Changed();
}

void CTreeCtrl1::Drop() {
  // With every group collapsed only headers can be under the cursor.
  std::optional<CameraInfo> info = context_.cameras.Get(dragDevice_);
  if (hotItem_.isGroup() && info && groups_.MoveCamera(info->sid.str(), hotItem_.id) &&
      model_.MoveCamera(dragDevice_, hotItem_.id))
    model_.SetExpanded(dragSourceGroup_, true);
  dragDevice_ = -1;
  Changed();
}

void CTreeCtrl1::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      CommitGroupNameEditor();
      break;
    case Qt::Key_Escape:
      CloseGroupNameEditor();
      break;
    case Qt::Key_Left:
    case Qt::Key_Right:
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

bool CTreeCtrl1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == groupNameEditor_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    CloseGroupNameEditor();
    return true;
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

void CTreeCtrl1::OpenGroupNameEditor(int32_t gid) {
  CommitGroupNameEditor();
  const GroupEntry* group = model_.FindGroup(gid);
  if (!group) return;
  auto* editor = new QLineEdit(viewport());
  editor->setFrame(false);
  editor->setFont(headerFont_);
  editor->setMaxLength(static_cast<int>(kMaxGroupNameUnits));
  editor->setStyleSheet("QLineEdit { background: white; }");
  editor->setText(QString::fromStdString(group->name));
  editor->selectAll();
  editor->installEventFilter(this);
  connect(editor, &QLineEdit::returnPressed, this, [this] { CommitGroupNameEditor(); });
  groupNameEditor_ = editor;
  editorGroup_ = gid;
  PlaceGroupNameEditor();
  editor->show();
  editor->setFocus();
}

void CTreeCtrl1::PlaceGroupNameEditor() {
  if (!groupNameEditor_) return;
  std::vector<CameraInfo> devices = Devices();
  std::optional<TreeRow> row = model_.RowOf(TreeItem::Group(editorGroup_), OnlineOf(devices));
  if (!row) return;
  groupNameEditor_->setGeometry(kIconWidth, row->top - verticalScrollBar()->value(),
                                viewport()->width() - kIconWidth, DeviceTreeModel::kHeaderHeight);
}

void CTreeCtrl1::CloseGroupNameEditor() {
  if (!groupNameEditor_) return;
  QLineEdit* editor = groupNameEditor_;
  groupNameEditor_ = nullptr;
  editor->removeEventFilter(this);
  editor->hide();
  editor->deleteLater();  // it may be the sender of the signal being handled
  setFocus();
}

void CTreeCtrl1::CommitGroupNameEditor() {
  if (!groupNameEditor_) return;
  std::string name = StoredGroupName(groupNameEditor_->text().toStdString());
  int32_t gid = editorGroup_;
  CloseGroupNameEditor();
  const GroupEntry* group = model_.FindGroup(gid);
  if (!group || group->name == name) return;
  // An empty name is accepted; one the file cannot hold leaves the old name.
  if (!groups_.RenameGroup(gid, name)) return;
  model_.RenameGroup(gid, name);
  Changed();
}

}  // namespace lumivex::ui
