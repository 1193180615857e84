// Painting of the device tree's rows and of the drag picture.

#include <QLinearGradient>
#include <QPainter>
#include <QScrollBar>

#include "ui/device_tree.h"
#include "webservice/camera_list.h"

namespace lumivex::ui {
namespace {

const QColor kBackground(253, 253, 253);
const QColor kHeaderHot(234, 235, 239);
const QColor kHeaderText(60, 60, 60);
const QColor kCameraSelected(225, 225, 255);
const QColor kCameraHot(230, 230, 255);
const QColor kNameText(100, 100, 100);
const QColor kOnlineText(64, 155, 228);
const QColor kOfflineText(150, 150, 150);
const QRect kPictureRect(10, 5, 96, 72);  // in the row
constexpr int kTextLeft = 114;
constexpr int kLanLabelLeft = 158;
constexpr int kHeaderTextLeft = 25;
const QPoint kDragHotSpot(10, 10);

void FillGradient(QPainter& painter, const QRect& rect, const QColor& bottom) {
  QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
  gradient.setColorAt(0, Qt::white);
  gradient.setColorAt(1, bottom);
  painter.fillRect(rect, gradient);
}

// Text whose top-left corner is at (x, y), on one line, clipped at the edge.
void DrawText(QPainter& painter, int x, int y, const QString& text) {
  painter.drawText(QRect(x, y, 100000, painter.fontMetrics().height()),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

}  // namespace

void CTreeCtrl1::PaintListingLine(QPainter& painter, const QString& line) const {
  const QRect rect(0, 0, viewport()->width(), DeviceTreeModel::kHeaderHeight);
  FillGradient(painter, rect, kHeaderHot);
  painter.setFont(headerFont_);
  painter.setPen(listing_ == Listing::kFailed ? kOfflineText : kHeaderText);
  DrawText(painter, kHeaderTextLeft, 3, line);
}

void CTreeCtrl1::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const int width = viewport()->width(), height = viewport()->height();
  painter.fillRect(0, 0, width, height, kBackground);

  if (QString line = ListingLine(); !line.isEmpty()) {
    PaintListingLine(painter, line);
    return;
  }
  std::vector<CameraInfo> devices = Devices();
  DeviceTreeModel::Online online = OnlineOf(devices);
  const int scroll = verticalScrollBar()->value();
  for (const TreeRow& row : model_.Rows(online)) {
    int top = row.top - scroll;
    if (top >= height) break;
    if (top + row.height <= 0) continue;
    if (row.item.isGroup()) {
      PaintHeader(painter, *model_.FindGroup(row.item.id), top, online);
    } else if (row.item.id < static_cast<int>(devices.size())) {
      PaintCamera(painter, devices[row.item.id], row.item.id, top);
    }
  }
  if (dragging_) painter.drawPixmap(dragPos_ - kDragHotSpot, dragPicture_);
}

void CTreeCtrl1::PaintHeader(QPainter& painter, const GroupEntry& group, int top,
                             const DeviceTreeModel::Online& online) const {
  const int width = viewport()->width();
  QRect rect(0, top, width, DeviceTreeModel::kHeaderHeight);
  if (hotItem_ == TreeItem::Group(group.GID)) FillGradient(painter, rect, kHeaderHot);
  const QPixmap& icon = group.expanded ? expandedPicture_ : collapsedPicture_;
  if (!icon.isNull()) painter.drawPixmap(QRect(0, top, 22, 22), icon);
  painter.setFont(headerFont_);
  painter.setPen(kHeaderText);
  DrawText(painter, kHeaderTextLeft, top + 3,
           QString::fromStdString(DeviceTreeModel::HeaderLabel(group, online)));
}

void CTreeCtrl1::PaintCamera(QPainter& painter, const CameraInfo& info, int device,
                             int top) const {
  const int width = viewport()->width();
  QRect rect(0, top, width, DeviceTreeModel::kCameraHeight);
  TreeItem item = TreeItem::Camera(device);
  if (selectedItem_ == item)
    painter.fillRect(rect, kCameraSelected);
  else if (hotItem_ == item)
    FillGradient(painter, rect, kCameraHot);

  QRect pictureRect = kPictureRect.translated(0, top);
  if (info.lock == 1) {
    if (!lockedPicture_.isNull()) painter.drawPixmap(pictureRect, lockedPicture_);
  } else if (const QImage* picture = Thumbnail(device)) {
    painter.drawImage(pictureRect, *picture);
  } else if (!defaultPicture_.isNull()) {
    painter.drawPixmap(pictureRect, defaultPicture_);
  }

  painter.setFont(nameFont_);
  painter.setPen(kNameText);
  DrawText(painter, kTextLeft, top + 20, QString::fromStdString(info.name));
  painter.setFont(labelFont_);
  painter.setPen(info.online() ? kOnlineText : kOfflineText);
  DrawText(painter, kTextLeft, top + 60, info.online() ? "[在线]" : "[离线]");
  if (info.onLan == 1 && info.online()) {
    painter.setPen(kOnlineText);
    DrawText(painter, kLanLabelLeft, top + 60, "[内网]");
  }
}

const QImage* CTreeCtrl1::Thumbnail(int device) const {
  auto it = thumbnails_.find(device);
  return it == thumbnails_.end() ? nullptr : &it->second;
}

QPixmap CTreeCtrl1::DragPicture(const CameraInfo& info, int device) const {
  QPixmap picture(200, DeviceTreeModel::kCameraHeight);
  picture.fill(kCameraSelected);
  QPainter painter(&picture);
  if (const QImage* thumbnail = Thumbnail(device))
    painter.drawImage(kPictureRect, *thumbnail);
  else if (!defaultPicture_.isNull())
    painter.drawPixmap(kPictureRect, defaultPicture_);
  return picture;
}

}  // namespace lumivex::ui
