#pragma once
// CCanvas: the video wall of the main window. It owns the pool of 64 video
// windows and the page table that places them: a layout cuts the wall into
// cells, a page shows one window per cell, further windows wait on further
// pages. Starting sessions take the first free window; the user selects a
// window by clicking it, drags it onto another to exchange their places,
// and double-clicks it to let it fill the whole wall.
//
// Threads: camera threads call AssignWindow, ReleaseWindow, PlaceOf, Lease,
// currentPage and selectedCamera; mutex_ guards the page table, each
// window's camera and order, the selection and the whole-wall camera; a
// window changes camera only under its lease as well, so a layout change
// waits for a tick drawing into it. Everything else runs on the GUI
// thread, and anything a camera thread changes that needs widgets is
// carried there by a queued call. Lock order: a camera's own locks, then
// mutex_, then a window's lease, then its state lock. Cameras stop before
// the wall goes.

#include <QPointer>
#include <QWidget>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/user_settings.h"
#include "stream/audio_switch.h"
#include "stream/camera.h"  // complete: the signal carries a CCamera*
#include "stream/video_wall.h"
#include "ui/geometry/rect.h"
#include "ui/geometry/wall_cells.h"
#include "ui/video_window.h"

namespace lumivex {

class CSplitCanvas;

struct WallSlot {
  bool inUse = false;            // a camera is assigned
  CSubCanvas* window = nullptr;  // none on pages past the pool
};

class CCanvas : public QWidget, public VideoWall {
  Q_OBJECT

 public:
  // Whether a camera is a pan/tilt model (its type begins with "y").
  using PanTiltModel = std::function<bool(const CCamera&)>;

  // layout: from the configuration; anything but the six offered is 2x2.
  CCanvas(QWidget* parent, const std::string& resFolder, WallLayout layout);
  ~CCanvas() override;

  // VideoWall; any thread.
  WallPlace AssignWindow(CCamera& camera) override;
  void ReleaseWindow(CCamera& camera) override;
  WallPlace PlaceOf(const CCamera& camera) const override;
  SurfaceLease Lease(const CCamera& camera) override;
  int currentPage() const override { return currentPage_.load(); }
  AudioSwitch& audio() override { return audio_; }

  // The window of a slot, null when the slot has none.
  CSubCanvas* window(WallPlace place) const;
  CCamera* selectedCamera() const;

  // The cameras keep their order: page by page, window by window.
  void ApplyLayout(WallLayout layout);
  WallLayout layout() const;
  // One more close-video command: paging counts it as a shown camera.
  void CountClose() { ++closeCount; }
  // Fills the wall with the selected camera's window, or brings the grid back.
  void SetFullWall(bool full);
  bool fullWall() const;
  // The main window's background double click: whole-wall mode ends, the
  // grid returns as it stands (page and order kept), and the next double
  // click on the window fills the wall again.
  void ClearFullWall();

  // The layout chooser, its lower-left corner at point (global coordinates;
  // the upper-right corner of the main window's split button).
  void ShowLayoutChooser(QPoint bottomLeftOfButton);
  void HideLayoutChooser();
  bool layoutChooserVisible() const;
  CSplitCanvas* layoutChooser() const;

  // Automatic quality: every playing camera is asked for the level its
  // window's width fits (AutoQualityLevel) whenever the windows are placed
  // anew and when a window shows its first picture. GUI thread.
  void SetAutoQuality(bool on);
  bool autoQuality() const { return autoQuality_; }

  // Without it no window shows the pan/tilt buttons.
  void SetPanTiltModel(PanTiltModel model) { panTiltModel_ = std::move(model); }

 public slots:
  void NextPage();
  void PreviousPage();

 signals:
  // A window with a camera was pressed, or the selection was cleared (null):
  // the tree highlights the camera and the toolbar follows it.
  void selectionChanged(CCamera* camera);
  // The user chose another layout; the main window saves it.
  void layoutChanged(WallLayout layout);
  // Automatic quality asked a camera for another level.
  void qualityAsked();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  friend class CSubCanvas;

  // From the windows (GUI thread).
  void SelectWindow(CSubCanvas& window);
  void DropWindow(CSubCanvas& dragged, const QPoint& wallCursor);
  void ToggleFullWall(CSubCanvas& window);
  // A window went from a status picture to video (its camera's thread).
  void WindowPlaying();
  void ApplyAutoQuality();
  bool IsPanTiltModel(const CCamera& camera) const { return panTiltModel_ && panTiltModel_(camera); }

  WallPlace AssignLocked(CCamera& camera);
  WallPlace PlaceOfLocked(const CCamera& camera) const;
  CSubCanvas* WindowOfLocked(const CCamera* camera) const;
  int CamerasShownLocked() const;
  void TurnPage(int (*step)(int currentPage, int pageCount));
  void ChooseLayout(WallLayout layout);
  // The one writer of whole-wall mode: fullCamera and every window's flag
  // change together, so the two never disagree.
  void SetFullCameraLocked(CCamera* camera);
  // Puts every window where the page table, the page and whole-wall mode say.
  void ShowPage();

  std::array<CSubCanvas*, ui::kWallWindows> windows{};
  WallPictures pictures_;
  AudioSwitch audio_;
  PanTiltModel panTiltModel_;
  QPointer<CSplitCanvas> chooser_;  // made on first use
  std::vector<ui::Rect> cells_;      // of the layout on the present wall size

  mutable std::mutex mutex_;
  // Guarded by mutex_:
  WallLayout layout_;
  WallSlot slots_[ui::kWallPages][ui::kSlotsPerPage];
  CCamera* selectedCamera_ = nullptr;
  CCamera* fullCamera = nullptr;  // its window fills the wall

  std::atomic<int> currentPage_{0};
  int closeCount = 0;  // GUI thread
  bool autoQuality_ = false;  // GUI thread
};

}  // namespace lumivex
