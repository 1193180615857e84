#include "ui/video_wall_widget.h"

#include <QPainter>

#include <algorithm>

#include "ui/geometry/wall_paging.h"
#include "ui/split_canvas.h"

namespace lumivex {
namespace {

QRect ToQRect(const ui::Rect& r) { return {r.x, r.y, r.width, r.height}; }

}  // namespace

CCanvas::CCanvas(QWidget* parent, const std::string& resFolder, WallLayout layout)
    : QWidget(parent), pictures_(WallPictures::Load(resFolder)), layout_(OfferedLayoutOr2x2(layout)) {
  for (CSubCanvas*& w : windows) w = new CSubCanvas(*this, pictures_, this);
  ApplyLayout(layout_);
}

// The windows paint from pictures_ and call back into the wall: they go first.
CCanvas::~CCanvas() {
  for (CSubCanvas*& w : windows) {
    delete w;
    w = nullptr;
  }
}

WallPlace CCanvas::AssignWindow(CCamera& camera) {
  std::lock_guard lock(mutex_);
  return AssignLocked(camera);
}

WallPlace CCanvas::AssignLocked(CCamera& camera) {
  if (WallPlace existing = PlaceOfLocked(camera); existing.valid()) return existing;
  const int n = ui::WindowsPerPage(layout_);
  for (int page = 0; page < ui::kWallPages; ++page) {
    int best = -1;
    for (int s = 0; s < n; ++s) {
      const WallSlot& slot = slots_[page][s];
      if (!slot.window || slot.inUse) continue;
      if (best < 0 || slot.window->order() < slots_[page][best].window->order()) best = s;
    }
    if (best < 0) continue;
    WallSlot& slot = slots_[page][best];
    slot.inUse = true;
    slot.window->SetCamera(&camera);
    slot.window->SetSelected(&camera == selectedCamera_);
    return {page, best};
  }
  return {};
}

void CCanvas::ReleaseWindow(CCamera& camera) {
  bool selectionCleared = false;
  bool fullCleared = false;
  {
    std::lock_guard lock(mutex_);
    const WallPlace at = PlaceOfLocked(camera);
    if (!at.valid()) return;
    WallSlot& slot = slots_[at.page][at.index];
    slot.inUse = false;
    slot.window->SetCamera(nullptr);
    if (selectedCamera_ == &camera) {
      selectedCamera_ = nullptr;
      slot.window->SetSelected(false);
      selectionCleared = true;
    }
    if (fullCamera == &camera) {
      SetFullCameraLocked(nullptr);
      fullCleared = true;
    }
  }
  if (selectionCleared)
    QMetaObject::invokeMethod(this, [this] { emit selectionChanged(selectedCamera()); }, Qt::QueuedConnection);
  // An empty window filling the wall could not be left: the grid comes back.
  if (fullCleared) QMetaObject::invokeMethod(this, [this] { ShowPage(); }, Qt::QueuedConnection);
}

WallPlace CCanvas::PlaceOfLocked(const CCamera& camera) const {
  for (int page = 0; page < ui::kWallPages; ++page)
    for (int s = 0; s < ui::kSlotsPerPage; ++s) {
      const WallSlot& slot = slots_[page][s];
      if (slot.inUse && slot.window->camera() == &camera) return {page, s};
    }
  return {};
}

WallPlace CCanvas::PlaceOf(const CCamera& camera) const {
  std::lock_guard lock(mutex_);
  return PlaceOfLocked(camera);
}

SurfaceLease CCanvas::Lease(const CCamera& camera) {
  std::lock_guard lock(mutex_);
  const WallPlace at = PlaceOfLocked(camera);
  if (!at.valid()) return {};
  return SurfaceLease(*slots_[at.page][at.index].window, at.page == currentPage_);
}

CSubCanvas* CCanvas::WindowOfLocked(const CCamera* camera) const {
  if (!camera) return nullptr;
  const WallPlace at = PlaceOfLocked(*camera);
  return at.valid() ? slots_[at.page][at.index].window : nullptr;
}

CSubCanvas* CCanvas::window(WallPlace place) const {
  if (place.page < 0 || place.page >= ui::kWallPages || place.index < 0 || place.index >= ui::kSlotsPerPage)
    return nullptr;
  std::lock_guard lock(mutex_);
  return slots_[place.page][place.index].window;
}

CCamera* CCanvas::selectedCamera() const {
  std::lock_guard lock(mutex_);
  return selectedCamera_;
}

WallLayout CCanvas::layout() const {
  std::lock_guard lock(mutex_);
  return layout_;
}

void CCanvas::ApplyLayout(WallLayout layout) {
  layout = OfferedLayoutOr2x2(layout);
  {
    std::lock_guard lock(mutex_);
    // The cameras in their present order: old page by old page, by order.
    const int oldN = ui::WindowsPerPage(layout_);
    std::vector<CCamera*> cameras;
    for (int first = 0; first < ui::kWallWindows; first += oldN) {
      std::vector<CSubCanvas*> group(windows.begin() + first,
                                     windows.begin() + std::min(first + oldN, ui::kWallWindows));
      std::erase_if(group, [](CSubCanvas* w) { return !w->camera(); });
      std::stable_sort(group.begin(), group.end(), [](CSubCanvas* a, CSubCanvas* b) { return a->order() < b->order(); });
      for (CSubCanvas* w : group) cameras.push_back(w->camera());
    }
    layout_ = layout;
    for (auto& page : slots_) std::fill(std::begin(page), std::end(page), WallSlot{});
    SetFullCameraLocked(nullptr);
    const int n = ui::WindowsPerPage(layout);
    for (int i = 0; i < ui::kWallWindows; ++i) {
      CSubCanvas* w = windows[static_cast<std::size_t>(i)];
      w->SetCamera(nullptr);
      w->SetSelected(false);
      w->SetOrder(i % n);
      slots_[i / n][i % n].window = w;
    }
    currentPage_ = 0;
    for (CCamera* camera : cameras) AssignLocked(*camera);
  }
  cells_ = ui::LayoutCells(layout, width(), height());
  ShowPage();
}

void CCanvas::ShowPage() {
  std::array<QRect, ui::kWallWindows> geometry;
  std::array<bool, ui::kWallWindows> visible{};
  CSubCanvas* full = nullptr;
  {
    std::lock_guard lock(mutex_);
    const int n = ui::WindowsPerPage(layout_);
    const auto& page = slots_[currentPage_.load()];
    for (int s = 0; s < n; ++s)
      if (fullCamera && page[s].window && page[s].window->camera() == fullCamera) full = page[s].window;
    for (std::size_t i = 0; i < windows.size(); ++i) {
      CSubCanvas* w = windows[i];
      const auto order = static_cast<std::size_t>(w->order());
      geometry[i] = w == full ? rect() : order < cells_.size() ? ToQRect(cells_[order]) : QRect();
      visible[i] = full ? w == full : std::any_of(page, page + n, [w](const WallSlot& slot) { return slot.window == w; });
    }
  }
  for (std::size_t i = 0; i < windows.size(); ++i)
    if (!visible[i]) windows[i]->hide();
  for (std::size_t i = 0; i < windows.size(); ++i) {
    windows[i]->Place(geometry[i]);
    if (visible[i]) windows[i]->show();
  }
  if (full) full->raise();
  ApplyAutoQuality();
}

void CCanvas::SetAutoQuality(bool on) {
  autoQuality_ = on;
  ApplyAutoQuality();
}

void CCanvas::WindowPlaying() {
  // Queued: the wall, not the camera's thread, looks at the windows.
  QMetaObject::invokeMethod(this, [this] { ApplyAutoQuality(); }, Qt::QueuedConnection);
}

void CCanvas::ApplyAutoQuality() {
  if (!autoQuality_) return;
  bool asked = false;
  for (CSubCanvas* w : windows) {
    CCamera* camera = w->camera();
    if (!camera || camera->m_VideoStatus != STATUS_VIDEO_PLAYING) continue;
    const int32_t level = AutoQualityLevel(w->width());
    if (camera->bitRate != level) asked |= camera->SetQuality(level);
  }
  if (asked) emit qualityAsked();
}

void CCanvas::resizeEvent(QResizeEvent*) {
  cells_ = ui::LayoutCells(layout(), width(), height());
  ShowPage();
}

void CCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
}

int CCanvas::CamerasShownLocked() const {
  int shown = 0;
  for (const auto& page : slots_)
    shown += static_cast<int>(std::count_if(std::begin(page), std::end(page), [](const WallSlot& s) { return s.inUse; }));
  return shown;
}

void CCanvas::TurnPage(int (*step)(int currentPage, int pageCount)) {
  int pages;
  {
    std::lock_guard lock(mutex_);
    pages = ui::PageCount(CamerasShownLocked(), closeCount, layout_);
  }
  const int next = step(currentPage_, pages);
  if (next == currentPage_) return;
  currentPage_ = next;
  ShowPage();
}

void CCanvas::NextPage() { TurnPage(&ui::NextPage); }

void CCanvas::PreviousPage() { TurnPage(&ui::PreviousPage); }

void CCanvas::SelectWindow(CSubCanvas& window) {
  CCamera* camera = window.camera();
  if (!camera) return;
  {
    std::lock_guard lock(mutex_);
    if (window.camera() != camera) return;  // released meanwhile
    if (selectedCamera_ != camera) {
      if (CSubCanvas* previous = WindowOfLocked(selectedCamera_)) previous->SetSelected(false);
      selectedCamera_ = camera;
    }
    window.SetSelected(true);
  }
  emit selectionChanged(camera);
}

void CCanvas::DropWindow(CSubCanvas& dragged, const QPoint& cursor) {
  if (dragged.fullCanvas()) return ShowPage();  // nothing to exchange with: back in place
  {
    std::lock_guard lock(mutex_);
    const int n = ui::WindowsPerPage(layout_);
    CSubCanvas* target = nullptr;
    for (int s = 0; s < n && !target; ++s) {
      CSubCanvas* w = slots_[currentPage_.load()][s].window;
      const auto order = w ? static_cast<std::size_t>(w->order()) : cells_.size();
      if (order < cells_.size() && cells_[order].Contains(cursor.x(), cursor.y())) target = w;
    }
    if (!target) return;  // over a gap: the window stays where it was dropped
    const int order = target->order();
    target->SetOrder(dragged.order());
    dragged.SetOrder(order);
  }
  SelectWindow(dragged);
  ShowPage();
}

void CCanvas::ToggleFullWall(CSubCanvas& window) {
  CCamera* camera = window.camera();
  if (!camera) return;
  if (window.fullCanvas()) return ApplyLayout(layout());
  {
    std::lock_guard lock(mutex_);
    if (window.camera() != camera) return;
    SetFullCameraLocked(camera);
  }
  ShowPage();
}

void CCanvas::ClearFullWall() {
  {
    std::lock_guard lock(mutex_);
    if (!fullCamera) return;
    SetFullCameraLocked(nullptr);
  }
  ShowPage();
}

void CCanvas::SetFullCameraLocked(CCamera* camera) {
  fullCamera = camera;
  for (CSubCanvas* w : windows) w->SetFullCanvas(camera && w->camera() == camera);
}

void CCanvas::SetFullWall(bool full) {
  if (full == fullWall()) return;
  if (!full) return ApplyLayout(layout());
  CSubCanvas* w;
  {
    std::lock_guard lock(mutex_);
    const WallPlace at = selectedCamera_ ? PlaceOfLocked(*selectedCamera_) : WallPlace{};
    w = at.valid() && at.page == currentPage_ ? slots_[at.page][at.index].window : nullptr;
  }
  if (w) ToggleFullWall(*w);
}

bool CCanvas::fullWall() const {
  std::lock_guard lock(mutex_);
  return fullCamera != nullptr;
}

void CCanvas::ShowLayoutChooser(QPoint bottomLeftOfButton) {
  if (!chooser_) {
    chooser_ = new CSplitCanvas(parentWidget() ? parentWidget() : this, layout());
    connect(chooser_, &CSplitCanvas::chosen, this, &CCanvas::ChooseLayout);
  }
  chooser_->ShowAt(bottomLeftOfButton);
}

void CCanvas::HideLayoutChooser() {
  if (chooser_) chooser_->hide();
}

CSplitCanvas* CCanvas::layoutChooser() const { return chooser_.data(); }

bool CCanvas::layoutChooserVisible() const { return chooser_ && chooser_->isVisible(); }

// The layout on the wall already: nothing happens, even in whole-wall mode.
void CCanvas::ChooseLayout(WallLayout layout) {
  if (layout == this->layout()) return;
  ApplyLayout(layout);
  emit layoutChanged(this->layout());
}

}  // namespace lumivex
