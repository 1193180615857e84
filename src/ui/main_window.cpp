// The main window itself: its parts, placement, layout and painting, the
// caption band's behaviour (moving, resizing, maximising), the keyboard
// focus ring, the close request and the window exit.

#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWindow>

#include "core/logging.h"
#include "core/version.h"
#include "stream/camera.h"
#include "ui/app_context.h"
#include "ui/camera_registry.h"
#include "ui/close_prompt.h"
#include "ui/device_tree.h"
#include "ui/geometry/pictures.h"
#include "ui/image_button.h"
#include "ui/main_window_debug.h"
#include "ui/qt_audio.h"
#include "ui/split_canvas.h"
#include "ui/tray.h"
#include "ui/video_wall_widget.h"

namespace lumivex {
namespace {

namespace pictures = ui::pictures;
using ui::ToolbarPlace;

const QColor kHeaderColour(64, 155, 228);
constexpr int kFadeOutMs = 500;
constexpr int kSyncPeriodMs = 1000;

struct ButtonEntry {
  int id;
  const char* picture;
  const char* caption;  // drawn only when the pictures are missing
  const char* toolTip;  // toolbar buttons only
  ToolbarPlace place;
};

// In the order of the keyboard focus ring.
const ButtonEntry kToolbar[] = {
    {kSplitButton, pictures::kSplit, "屏幕切分", "播放切分", ToolbarPlace::kSplit},
    {kCloseDeviceButton, pictures::kCloseDevice, "关闭设备", "关闭设备", ToolbarPlace::kCloseDevice},
    {kQualityLowButton, pictures::kQualityLow, "流畅", "视频清晰度", ToolbarPlace::kQuality},
    {kQualitySdButton, pictures::kQualitySd, "标清", "视频清晰度", ToolbarPlace::kQuality},
    {kQualityHdButton, pictures::kQualityHd, "高清", "视频清晰度", ToolbarPlace::kQuality},
    {kAlarmButton, pictures::kAlarm, "报警开关", "报警设置", ToolbarPlace::kAlarm},
    {kPreviousPageButton, pictures::kPreviousPage, "<--上一页", "上一页", ToolbarPlace::kPreviousPage},
    {kNextPageButton, pictures::kNextPage, "下一页-->", "下一页", ToolbarPlace::kNextPage},
    {kRotateButton, pictures::kRotate, "旋转", "画面旋转", ToolbarPlace::kRotate},
    {kSnapshotButton, pictures::kSnapshot, "视频截图", "视频截图", ToolbarPlace::kSnapshot},
    {kAudioOnButton, pictures::kDeviceAudioStart, "开启设备音频", "开启设备音频", ToolbarPlace::kDeviceAudio},
    {kAudioOffButton, pictures::kDeviceAudioStop, "关闭设备音频", "设备音频已开启", ToolbarPlace::kDeviceAudio},
    {kTalkOnButton, pictures::kTalkStart, "z", "开启本地音频", ToolbarPlace::kLocalAudio},
    {kTalkOffButton, pictures::kTalkStop, "关闭本地音频", "本地音频已开启", ToolbarPlace::kLocalAudio},
    {kRecordOnButton, pictures::kRecordStart, "开启录像", "开启录像", ToolbarPlace::kRecording},
    {kRecordOffButton, pictures::kRecordStop, "关闭录像", "录像已开启", ToolbarPlace::kRecording},
};

const struct {
  int id;
  const char* picture;
  const char* caption;
} kCaption[] = {
    {kMenuButton, pictures::kMenu, "下"},         {kMinimizeButton, pictures::kMinimize, "小"},
    {kMaximizeButton, pictures::kMaximize, "大"}, {kRestoreButton, pictures::kRestore, "原"},
    {kCloseButton, pictures::kClose, "关"},
};

// The buttons that open hidden: the "off" halves of the pairs, the other
// qualities, and "原".
constexpr int kHiddenAtStart[] = {kAudioOffButton, kTalkOffButton, kRecordOffButton, kQualitySdButton,
                                  kQualityHdButton, kRestoreButton};

QRect Q(const ui::Rect& r) { return {r.x, r.y, r.width, r.height}; }

Qt::Edges EdgesOf(ui::WindowHit hit) {
  switch (hit) {
    case ui::WindowHit::kLeft:
      return Qt::LeftEdge;
    case ui::WindowHit::kRight:
      return Qt::RightEdge;
    case ui::WindowHit::kTop:
      return Qt::TopEdge;
    case ui::WindowHit::kBottom:
      return Qt::BottomEdge;
    case ui::WindowHit::kTopLeft:
      return Qt::TopEdge | Qt::LeftEdge;
    case ui::WindowHit::kTopRight:
      return Qt::TopEdge | Qt::RightEdge;
    case ui::WindowHit::kBottomLeft:
      return Qt::BottomEdge | Qt::LeftEdge;
    case ui::WindowHit::kBottomRight:
      return Qt::BottomEdge | Qt::RightEdge;
    case ui::WindowHit::kClient:
      break;
  }
  return {};
}

Qt::CursorShape CursorOf(ui::WindowHit hit) {
  switch (hit) {
    case ui::WindowHit::kLeft:
    case ui::WindowHit::kRight:
      return Qt::SizeHorCursor;
    case ui::WindowHit::kTop:
    case ui::WindowHit::kBottom:
      return Qt::SizeVerCursor;
    case ui::WindowHit::kTopLeft:
    case ui::WindowHit::kBottomRight:
      return Qt::SizeFDiagCursor;
    case ui::WindowHit::kTopRight:
    case ui::WindowHit::kBottomLeft:
      return Qt::SizeBDiagCursor;
    case ui::WindowHit::kClient:
      break;
  }
  return Qt::ArrowCursor;
}

}  // namespace

CLumivexDlg::CLumivexDlg(AppContext& app, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      app_(app),
      menuRunner_([](QMenu& menu, const QPoint& pos) { return menu.exec(pos); }),
      dialogRunner_([](QDialog& dialog) { return dialog.exec(); }) {
  setWindowTitle(QString::fromUtf8(kApplicationName));
  setWindowIcon(QIcon(QString::fromStdString(app.ResPath(pictures::kAppIcon))));
  setMinimumSize(ui::kMinWindowWidth, ui::kMinWindowHeight);
  setMouseTracking(true);
  setAutoFillBackground(false);

  MakeButtons();
  title_ = new QLabel(QString::fromLatin1(kCaptionTitle), this);
  title_->setObjectName(QStringLiteral("title"));
  QPalette palette = title_->palette();
  palette.setColor(QPalette::WindowText, Qt::white);
  title_->setPalette(palette);

  canvas_ = new CCanvas(this, app.resFolder, app.wall);
  // From a player's or a device's thread; the cameras, whose players call
  // it, go before this window does.
  canvas_->audio().SetFailureHandler([this](AudioFailure failure) {
    QMetaObject::invokeMethod(this, [this, failure] { AudioFailed(failure); }, Qt::QueuedConnection);
  });
  audioDevices_ = std::make_unique<QtAudioDevices>();
  env_ = std::make_unique<StreamEnvironment>(app.service, *canvas_, *audioDevices_);
  registry_ = std::make_unique<CameraRegistry>(*env_, app.cameras);
  canvas_->SetPanTiltModel([this](const CCamera& camera) {
    std::optional<CameraInfo> info = registry_->InfoOf(camera);
    return info && info->panTilt();
  });
  connect(canvas_, &CCanvas::selectionChanged, this, &CLumivexDlg::OnSelection);
  connect(canvas_, &CCanvas::layoutChanged, this, [this](WallLayout layout) { app_.wall = layout; });
  connect(canvas_, &CCanvas::qualityAsked, this, [this] {
    if (CCamera* camera = Selected()) ShowQuality(camera->bitRate);
  });
  canvas_->SetAutoQuality(app_.settings.AutoQuality != 0);

  tree_ = new ui::CTreeCtrl1(ui::DeviceTreeContext{app.service, app.cameras, *this, app.resFolder}, this);
  tree_->setObjectName(QStringLiteral("tree"));

  tray_ = new CTray(*this, windowIcon(), QString::fromUtf8(kApplicationName), [this] { Reveal(); });
  connect(tray_, &CTray::exitRequested, this, &CLumivexDlg::WindowExit);

  // Names and removals of a re-listing reach the cameras from here.
  syncTimer_.setInterval(kSyncPeriodMs);
  connect(&syncTimer_, &QTimer::timeout, this, &CLumivexDlg::SyncCameras);

  qApp->installEventFilter(this);
}

CLumivexDlg::~CLumivexDlg() {
  qApp->removeEventFilter(this);
  stop_ = true;
  if (startup_.joinable()) startup_.join();
  syncTimer_.stop();
  // The tree's workers call back into us; then the cameras, which hold the
  // wall's windows and audio choice, go before the wall.
  delete tree_;
  tree_ = nullptr;
  registry_.reset();
  env_.reset();
  audioDevices_.reset();
}

void CLumivexDlg::MakeButtons() {
  for (const ButtonEntry& entry : kToolbar) {
    auto* b = new ImageButton(app_.resFolder, entry.picture, entry.id, QString::fromUtf8(entry.caption),
                              ImageButton::Focus::kOnHover, this);
    b->setToolTip(QString::fromUtf8(entry.toolTip));
    buttons_[entry.id] = b;
  }
  for (const auto& entry : kCaption)
    buttons_[entry.id] = new ImageButton(app_.resFolder, entry.picture, entry.id, QString::fromUtf8(entry.caption),
                                        ImageButton::Focus::kNone, this);
  for (auto& [id, b] : buttons_) connect(b, &QAbstractButton::clicked, this, [this, id = id] { RunCommand(id); });
  for (int id : kHiddenAtStart) buttons_[id]->hide();
  dimmedAudio_.load(QString::fromStdString(app_.ResPath(pictures::kDeviceAudioStopDimmed)));
  dimmedTalk_.load(QString::fromStdString(app_.ResPath(pictures::kTalkStopDimmed)));
}

ImageButton* CLumivexDlg::button(int id) const {
  auto found = buttons_.find(id);
  return found == buttons_.end() ? nullptr : found->second;
}

void CLumivexDlg::Open() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  QRect work = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1040);
  const UserSettings& s = app_.settings;
  ui::Rect placed = ui::RestoredPlacement({s.MainX, s.MainY, s.MainX1, s.MainY1},
                                          {work.x(), work.y(), work.width(), work.height()});
  setGeometry(Q(placed));
  if (s.IsMax == 1)
    SetMaximized(true);
  else
    show();
  syncTimer_.start();
  startup_ = std::thread([this] { StartupWorker(); });
  ArmDebugScript(*this);
  LogLine("main window shown");
}

void CLumivexDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!tree_) return;  // still being built
  const ui::MainWindowLayout layout = ui::LayOutMainWindow(width(), height());
  for (const ButtonEntry& entry : kToolbar) buttons_[entry.id]->setGeometry(Q(layout.Toolbar(entry.place)));
  canvas_->setGeometry(Q(layout.wall));
  tree_->setGeometry(Q(layout.tree));
  buttons_[kCloseButton]->setGeometry(Q(layout.closeButton));
  buttons_[kMaximizeButton]->setGeometry(Q(layout.maximizeButton));
  buttons_[kRestoreButton]->setGeometry(Q(layout.maximizeButton));
  buttons_[kMinimizeButton]->setGeometry(Q(layout.minimizeButton));
  buttons_[kMenuButton]->setGeometry(Q(layout.menuButton));
  title_->setGeometry(Q(layout.title));
  update();
}

void CLumivexDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kHeaderColour);
  p.fillRect(QRect(0, ui::kHeaderHeight, width(), height() - ui::kHeaderHeight), Qt::white);
  p.setPen(kHeaderColour);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const ui::Rect frame = ui::LayOutMainWindow(width(), height()).treeFrame;
  p.drawRect(QRect(frame.x, frame.y, frame.width - 1, frame.height - 1));
}

// Moving and resizing go to the window system; where it cannot (no window
// manager), the window follows the mouse itself.
void CLumivexDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && event->position().y() < ui::kHeaderHeight)
    return ShowSystemMenu(event->globalPosition().toPoint());
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  tree_->CommitGroupNameEditor();
  const QPoint at = event->position().toPoint();
  ui::WindowHit hit = isMaximized() ? ui::WindowHit::kClient : ui::HitTestBorder(at.x(), at.y(), width(), height());
  QWindow* handle = windowHandle();
  bool systemDoes = handle && (hit == ui::WindowHit::kClient ? handle->startSystemMove()
                                                             : handle->startSystemResize(EdgesOf(hit)));
  if (!systemDoes && !isMaximized()) StartDrag(event->globalPosition().toPoint(), hit);
  event->accept();
}

// What the window system's menu of the caption would hold; the window has
// no system caption, so the band offers it.
void CLumivexDlg::ShowSystemMenu(const QPoint& globalPos) {
  QMenu menu(this);
  menu.addAction(QStringLiteral("&About Lumivex..."))->setData(kAboutEntry);
  QAction* chosen = RunMenu(menu, globalPos);
  if (chosen && chosen->data().toInt() == kAboutEntry) ShowAbout();
}

void CLumivexDlg::StartDrag(const QPoint& globalPos, ui::WindowHit hit) {
  dragging_ = true;
  dragHit_ = hit;
  dragStart_ = globalPos;
  dragGeometry_ = geometry();
}

void CLumivexDlg::DragTo(const QPoint& globalPos) {
  const QPoint d = globalPos - dragStart_;
  if (dragHit_ == ui::WindowHit::kClient) return move(dragGeometry_.topLeft() + d);
  QRect g = dragGeometry_;
  const Qt::Edges edges = EdgesOf(dragHit_);
  const QSize least = minimumSize();
  if (edges & Qt::LeftEdge) g.setLeft(std::min(g.left() + d.x(), g.right() - least.width() + 1));
  if (edges & Qt::RightEdge) g.setRight(std::max(g.right() + d.x(), g.left() + least.width() - 1));
  if (edges & Qt::TopEdge) g.setTop(std::min(g.top() + d.y(), g.bottom() - least.height() + 1));
  if (edges & Qt::BottomEdge) g.setBottom(std::max(g.bottom() + d.y(), g.top() + least.height() - 1));
  setGeometry(g);
}

void CLumivexDlg::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    DragTo(event->globalPosition().toPoint());
    return;
  }
  const QPoint at = event->position().toPoint();
  ui::WindowHit hit = isMaximized() ? ui::WindowHit::kClient : ui::HitTestBorder(at.x(), at.y(), width(), height());
  setCursor(CursorOf(hit));
  QWidget::mouseMoveEvent(event);
}

void CLumivexDlg::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

void CLumivexDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
  dragging_ = false;
  ToggleMaximized();
  canvas_->ClearFullWall();
}

void CLumivexDlg::ToggleMaximized() { SetMaximized(app_.settings.IsMax != 1); }

void CLumivexDlg::SetMaximized(bool maximized) {
  if (maximized)
    showMaximized();
  else
    showNormal();
  app_.settings.IsMax = maximized ? 1 : 0;
  ShowOf({kMaximizeButton, kRestoreButton}, maximized ? kRestoreButton : kMaximizeButton);
}

void CLumivexDlg::Reveal() {
  setWindowOpacity(1.0);
  if (app_.settings.IsMax == 1)
    showMaximized();
  else
    showNormal();
  raise();
  activateWindow();
}

std::vector<ImageButton*> CLumivexDlg::FocusRing() const {
  std::vector<ImageButton*> ring;
  for (const ButtonEntry& entry : kToolbar) {
    ImageButton* b = buttons_.at(entry.id);
    if (b->isVisibleTo(this)) ring.push_back(b);
  }
  return ring;
}

void CLumivexDlg::MoveFocus(int step) {
  std::vector<ImageButton*> ring = FocusRing();
  if (ring.empty()) return;
  const int n = static_cast<int>(ring.size());
  int at = -1;
  for (int i = 0; i < n; ++i)
    if (ring[i]->hasFocus()) at = i;
  int next = at < 0 ? (step > 0 ? 0 : n - 1) : (at + step + n) % n;
  ring[next]->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

bool CLumivexDlg::focusNextPrevChild(bool next) {
  MoveFocus(next ? 1 : -1);
  return true;
}

void CLumivexDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Right:
      MoveFocus(1);
      return;
    case Qt::Key_Left:
      MoveFocus(-1);
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      return;  // swallowed: Esc never closes the window
    default:
      QWidget::keyPressEvent(event);
  }
}

// A left click anywhere in the window but on "屏幕切分" (or in the chooser
// itself) puts the layout chooser away.
bool CLumivexDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && canvas_ && canvas_->layoutChooserVisible()) {
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* mouse = static_cast<QMouseEvent*>(event);
    QWidget* chooser = canvas_->layoutChooser();
    QWidget* split = buttons_[kSplitButton];
    if (widget && mouse->button() == Qt::LeftButton && widget->window() == this && widget != split &&
        !split->isAncestorOf(widget) && widget != chooser && !(chooser && chooser->isAncestorOf(widget)))
      canvas_->HideLayoutChooser();
  }
  return QWidget::eventFilter(watched, event);
}

void CLumivexDlg::closeEvent(QCloseEvent* event) {
  event->ignore();  // the close request decides
  CloseRequest();
}

void CLumivexDlg::CloseRequest() {
  UserSettings& s = app_.settings;
  if (s.ShowClose) {
    CClose prompt(s, this);
    dialogRunner_(prompt);
    if (prompt.choice() == CClose::kToTray) HideToTray(true);
    if (prompt.choice() == CClose::kExitProgram) WindowExit();
  } else if (s.ToTray) {
    HideToTray(false);
  } else {
    WindowExit();
  }
}

// Without a notification area a hidden window could not be brought back:
// there it is minimised instead.
void CLumivexDlg::HideToTray(bool fade) {
  auto away = [this] {
    if (tray_->available())
      hide();
    else
      showMinimized();
    setWindowOpacity(1.0);
  };
  if (!fade) return away();
  auto* animation = new QPropertyAnimation(this, "windowOpacity", this);
  animation->setDuration(kFadeOutMs);
  animation->setStartValue(1.0);
  animation->setEndValue(0.0);
  connect(animation, &QPropertyAnimation::finished, this, away);
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

// The edges of the window as it is when not maximised or minimised, so that
// the next start restores a real placement.
QRect CLumivexDlg::StoredRect() const {
  return (isMaximized() || isMinimized()) ? normalGeometry() : geometry();
}

void CLumivexDlg::WindowExit() {
  const QRect r = StoredRect();
  hide();
  UserSettings& s = app_.settings;
  s.MainX = r.left();
  s.MainY = r.top();
  s.MainX1 = r.left() + r.width();
  s.MainY1 = r.top() + r.height();
  app_.wall = canvas_->layout();
  LogLine("main window exits");
  emit exited();
}

void RunMainWindow(AppContext& app) {
  CLumivexDlg window(app);
  QEventLoop loop;
  QObject::connect(&window, &CLumivexDlg::exited, &loop, &QEventLoop::quit);
  QObject::connect(&app.instanceServer, &SingleInstanceServer::raiseRequested, &window,
                   [&window] { window.Reveal(); });
  window.Open();
  // Not a QDialog loop: hiding the window in the tray must not end it.
  loop.exec();
  // The cameras stop (and their recordings close) as the window goes.
}

}  // namespace lumivex
