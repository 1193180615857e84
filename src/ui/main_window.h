#pragma once
// CLumivexDlg: the client's main window. The video wall on the left, the
// device tree on the right, the toolbar below the wall, and a caption band
// of its own with the menu, minimise, maximise/restore and close buttons.
// Every toolbar command acts on the camera of the selected wall window. The
// window owns the cameras (CameraRegistry), the tray icon, and decides on
// close whether the program hides in the tray or ends.
//
// Threads: everything here runs on the GUI thread but the start-up worker,
// which lists the devices, has the GUI thread build the registry and the
// tree, and then starts the automatic live views; it is joined when the
// window goes.

#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ui/device_tree_actions.h"
#include "ui/geometry/main_window_geometry.h"

class QAction;
class QDialog;
class QLabel;
class QMenu;

namespace lumivex {

struct AppContext;
struct StreamEnvironment;
enum class AudioFailure;
class CCamera;
class CCanvas;
class CTray;
class CameraRegistry;
class ImageButton;
class QtAudioDevices;

namespace ui {
class CTreeCtrl1;
}

// The identifiers of the toolbar and caption buttons.
enum MainButton : int {
  kSplitButton = 1006,
  kCloseDeviceButton = 1008,
  kQualityLowButton = 1212,
  kQualitySdButton = 1213,
  kQualityHdButton = 1214,
  kAlarmButton = 1238,
  kPreviousPageButton = 1003,
  kNextPageButton = 1004,
  kRotateButton = 1220,
  kSnapshotButton = 1007,
  kAudioOnButton = 1009,
  kAudioOffButton = 1193,
  kTalkOnButton = 1010,
  kTalkOffButton = 1011,
  kRecordOnButton = 1136,
  kRecordOffButton = 1194,
  kMenuButton = 1117,
  kMinimizeButton = 1089,
  kMaximizeButton = 1091,
  kRestoreButton = 1207,
  kCloseButton = 1090,
};

// Entries of the quality menu and of the "下" menu (QAction::data).
enum MainMenuEntry : int {
  kQualityLowEntry = 3903,
  kQualitySdEntry = 3904,
  kQualityHdEntry = 3905,
  kQualityAutoEntry = 3906,
  kSettingsEntry = 2000,
  kContactEntry = 2003,
  kFeedbackEntry = 2004,
  kAboutEntry = 16,
};

inline constexpr char kCaptionTitle[] = "velmor:OrbelleV3.0";

class CLumivexDlg : public QWidget, public ui::TreeActions {
  Q_OBJECT

 public:
  // Shows a menu at a place and returns the chosen entry (null for none).
  using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;
  // Runs a modal dialog and returns its result.
  using DialogRunner = std::function<int(QDialog& dialog)>;

  explicit CLumivexDlg(AppContext& app, QWidget* parent = nullptr);
  ~CLumivexDlg() override;

  // Shows the window where the settings place it, adds the tray icon's
  // menu and starts the start-up worker.
  void Open();
  bool startupDone() const { return startupDone_; }

  // Follows the camera of the selected window (the pairs, the quality).
  void RefreshToolbar(CCamera* camera);
  // "关" and the window's close message.
  void CloseRequest();
  // Ends the program: hides, keeps the placement and layout, signals exited.
  void WindowExit();
  // "大"/"原" and the double click on the background.
  void ToggleMaximized();
  // Back from the tray or a second instance, maximised when it was.
  void Reveal();

  ImageButton* button(int id) const;
  CCanvas* canvas() const { return canvas_; }
  ui::CTreeCtrl1* tree() const { return tree_; }
  CameraRegistry& cameras() { return *registry_; }
  CTray& tray() { return *tray_; }
  QLabel* title() const { return title_; }
  // The visible toolbar buttons in the order of the keyboard focus ring.
  std::vector<ImageButton*> FocusRing() const;

  void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }
  void SetDialogRunner(DialogRunner runner) { dialogRunner_ = std::move(runner); }

  // TreeActions
  void StartLiveView(int device) override;
  void StopLiveView(int device) override;
  void SwitchRecordingOn(int device) override;
  // main_window_dialogs.cpp: the device dialogs, run by the dialog runner.
  bool AcceptUnlockPattern(int device) override;
  bool ConfirmPassword() override;
  void OpenAlarm(int device) override;
  void OpenRename(int device) override;
  void OpenBoundUsers(int device) override;
  void OpenPlayback(int device) override;

 signals:
  // The window has exited; the program ends.
  void exited();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // main_window.cpp
  void MakeButtons();
  void Place();
  void SetMaximized(bool maximized);
  void HideToTray(bool fade);
  void MoveFocus(int step);
  void ShowSystemMenu(const QPoint& globalPos);
  void StartDrag(const QPoint& globalPos, ui::WindowHit hit);
  void DragTo(const QPoint& globalPos);
  QRect StoredRect() const;

  // main_window_startup.cpp
  void SyncCameras();
  void StartupWorker();
  std::vector<std::shared_ptr<CCamera>> AutoPlayCameras() const;
  // Runs call on the GUI thread and waits for it; none when the window goes first.
  template <typename T>
  std::optional<T> OnGui(std::function<T()> call);

  // main_window_commands.cpp
  void RunCommand(int id);
  void OnSelection(CCamera* camera);
  CCamera* Selected() const;
  void Tip(const char* text, int milliseconds);
  // The sound or the microphone could not be had: the tip, and its button
  // back to off.
  void AudioFailed(AudioFailure failure);
  void Box(const std::string& title, const std::string& text);
  // Shows shown and hides the other buttons of its pair or trio.
  void ShowOf(std::initializer_list<int> group, int shown, bool focus = false);
  void ShowQuality(int32_t bitRate);
  void SplitCommand();
  void CloseDeviceCommand();
  void QualityCommand(int pressed);
  // Saves the switch and hands it to the wall.
  void SetAutoQuality(bool on);
  void AlarmCommand();
  void RotateCommand();
  void SnapshotCommand();
  void AudioOnCommand();
  void AudioOffCommand();
  void TalkOnCommand();
  void TalkOffCommand();
  void RecordOnCommand();
  void RecordOffCommand();
  void MenuCommand();
  void ShowAbout();
  void ShowSettings();
  void ShowFeedback();
  QAction* RunMenu(QMenu& menu, const QPoint& globalPos);

  AppContext& app_;
  CCanvas* canvas_ = nullptr;
  ui::CTreeCtrl1* tree_ = nullptr;
  QLabel* title_ = nullptr;
  std::map<int, ImageButton*> buttons_;
  QPixmap dimmedAudio_, dimmedTalk_;
  CTray* tray_ = nullptr;
  MenuRunner menuRunner_;
  DialogRunner dialogRunner_;

  std::unique_ptr<QtAudioDevices> audioDevices_;
  std::unique_ptr<StreamEnvironment> env_;
  std::unique_ptr<CameraRegistry> registry_;
  QTimer syncTimer_;

  // Moving and resizing by hand, where the window system does not do it.
  ui::WindowHit dragHit_ = ui::WindowHit::kClient;
  bool dragging_ = false;
  QPoint dragStart_;
  QRect dragGeometry_;

  std::atomic<bool> stop_{false};
  std::atomic<bool> startupDone_{false};
  std::thread startup_;
};

}  // namespace lumivex
