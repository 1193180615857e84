// The main window on the offscreen platform, as a user meets it: where the
// toolbar stands, what each command answers without a usable camera, the
// quality menu, the focus ring, the caption buttons, the close prompt and
// the tray menu, the window exit, the about box; and the cameras following
// the device list. The devices come from a local service double.

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QScreen>
#include <QtTest>

#include <pugixml.hpp>

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "config/user_config.h"
#include "core/logging.h"
#include "core/version.h"
#include "stream/camera.h"
#include "support/http_test_server.h"
#include "ui/message_boxes.h"
#include "support/temp_dir.h"
#include "ui/about_box.h"
#include "ui/app_context.h"
#include "ui/camera_registry.h"
#include "ui/close_prompt.h"
#include "ui/device_tree.h"
#include "ui/main_window.h"
#include "ui/image_button.h"
#include "ui/qt_notifier.h"
#include "ui/tray.h"
#include "ui/video_wall_widget.h"
#include "webservice/crypto.h"
#include "webservice/http.h"
#include "webservice/service_double.h"

using namespace lumivex;
namespace names = close_controls;

namespace {

constexpr int kBoundMs = 10000;

struct Device {
  std::string sid, name, type;
  int showAlarm = 1;
};

std::string DeviceJson(const Device& d) {
  return "{\"sid\":\"" + d.sid + "\",\"name\":\"" + d.name + "\",\"showAlarm\":\"" + std::to_string(d.showAlarm) +
         "\",\"alarmStatus\":\"0\",\"alarmStartTime\":\"0\",\"alarmEndTime\":\"0\",\"ledStatus\":\"1\","
         "\"soundLeadStatus\":\"0\",\"lock\":\"0\",\"lockPsd\":\"\",\"type\":\"" + d.type +
         "\",\"version\":\"1.0\",\"img\":\"\",\"init\":1,\"status\":1,\"showLED\":\"1\",\"showSound\":\"1\"}";
}

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

using test::TakeBoxes;

std::string ConfigValue(const std::string& path, const char* section, const char* element) {
  pugi::xml_document doc;
  if (!doc.load_file(path.c_str())) return "<no file>";
  return doc.child("config").child(section).child(element).text().as_string("<none>");
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void toolbarAndCaptionAtTheirPlaces();
  void tipsWithoutASelection();
  void tipsWithACameraThatDoesNotPlay();
  void modelWithoutAudio();
  void talkBackWithoutAMicrophoneIsTold();
  void qualityMenuChecksTheCurrentQuality();
  void focusRingAndSwallowedKeys();
  void maximiseAndRestore();
  void closePromptChoices();
  void closeRequestWithoutThePrompt();
  void windowExitKeepsThePlacement();
  void aboutBox();
  void camerasFollowTheDeviceList();
  void failedListingIsShownAndRetried();

 private:
  void MakeApp();
  void Serve(std::vector<Device> devices);
  test::HttpReply Answer(const std::string& target);
  ImageButton* B(int id) { return window->button(id); }
  void Click(int id) { QTest::mouseClick(B(id), Qt::LeftButton); }
  QString TipAfter(int id) {
    Click(id);
    return CurrentTipText();
  }
  // Starts the device's live view (the double does not answer it, so it
  // fails) and selects its window as a click would.
  CCamera* SelectFailedCamera(const std::string& sid);
  void SetFolders() {
    app->settings.storage.Update([this](StorageFolders& f) {
      QVERIFY(f.ImagePath.Set((dir->path() / "pictures").string()));
      QVERIFY(f.VideoPath.Set((dir->path() / "video").string()));
    });
  }

  static test::ServiceDouble* service_;
  std::unique_ptr<test::TempDir> dir;
  std::unique_ptr<test::HttpTestServer> server;
  std::unique_ptr<AppContext> app;
  std::unique_ptr<CLumivexDlg> window;
  std::mutex mutex_;
  std::vector<Device> listed_;  // guarded by mutex_
  bool holdList_ = false;         // guarded by mutex_: devList waits while set
  bool failList_ = false;         // guarded by mutex_: devList answers 404
  std::condition_variable listReleased_;
};

test::ServiceDouble* MainWindowTest::service_ = nullptr;

void MainWindowTest::initTestCase() {
  if (qEnvironmentVariableIsSet("LUMIVEX_TEST_VERBOSE")) InitLogging(true);
  // No sound server, whatever this machine has: no microphone to open.
  qputenv("PULSE_SERVER", "unix:/nonexistent/lumivex-test");
  QVERIFY(InitHttpLibrary());
  service_ = new test::ServiceDouble;
}

void MainWindowTest::init() {
  dir = std::make_unique<test::TempDir>();
  std::filesystem::create_directories(dir->path() / "config");
  server = std::make_unique<test::HttpTestServer>([this](const std::string& target) { return Answer(target); });
  MakeApp();

  Serve({{"cam01", "Front door", "c1", 1}, {"cam02", "Nursery", "q2", 0}, {"cam03", "Office", "q1", 1}});
  window = std::make_unique<CLumivexDlg>(*app);
  window->Open();
  window->resize(1500, 800);
  QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  QTRY_VERIFY_WITH_TIMEOUT(window->startupDone(), kBoundMs);
  QCOMPARE(window->cameras().count(), 3);
}

// A client signed in to the double, before its main window.
void MainWindowTest::MakeApp() {
  app = std::make_unique<AppContext>(dir->str());
  app->resFolder = LUMIVEX_RES_DIR;
  Global& g = app->global;
  g.m_Scheme = "http";
  g.m_Host = "127.0.0.1";
  g.port = server->port();
  g.m_KeyValue = service_->keyValue;
  g.m_ServerExp = service_->expHex;
  g.m_ServerMod = service_->modHex;
  g.m_Mac = "00:1a:2b:3c:4d:5e";
  g.m_Token = "tok-7f3e";
  g.m_TimeStamp = "1700000000";
  app->service.keyPair = ClientKeyPair::Generate();
  QVERIFY(app->service.keyPair);
  g.m_ClientExp = app->service.keyPair->ExponentHex();
  g.m_ClientMod = app->service.keyPair->ModulusHex();
  app->settings.userName = "alice";
  app->settings.productMajor = 2;
  app->settings.productMinor = 0;
  QVERIFY(CreateDefaultUserConfig(app->settings, app->service.ConfigFolder(), [](StorageKind, std::string&) { return false; }));
  QVERIFY(LoadUserSettings(app->settings, app->wall));
}

void MainWindowTest::cleanup() {
  TakeBoxes();
  window.reset();
  app.reset();
  server.reset();
  dir.reset();
}

void MainWindowTest::Serve(std::vector<Device> devices) {
  std::lock_guard lock(mutex_);
  listed_ = std::move(devices);
}

test::HttpReply MainWindowTest::Answer(const std::string& target) {
  test::ServiceDouble::Request request;
  if (!service_->Open(target, request) || request.operation != "devList")
    return {404, "text/html", "<html>no such page</html>"};
  std::string page, result;
  test::FieldOf(request.fields, "page", page);
  std::unique_lock lock(mutex_);
  listReleased_.wait_for(lock, std::chrono::milliseconds(kBoundMs), [this] { return !holdList_; });
  if (failList_) return {404, "text/html", "<html>no such page</html>"};
  std::size_t first = (std::stoul(page) - 1) * 10;
  for (std::size_t i = first; i < listed_.size() && i < first + 10; ++i)
    result += (result.empty() ? "" : ",") + DeviceJson(listed_[i]);
  std::string sealed = "{\"status\":\"OK\"" +
                       test::ServiceDouble::InnerMembers("{\"result\":[" + result + "]}",
                                                         app->global.m_ClientExp.str(),
                                                         app->global.m_ClientMod.str()) +
                       "}";
  return {200, "text/plain", service_->SealShared(sealed)};
}

CCamera* MainWindowTest::SelectFailedCamera(const std::string& sid) {
  const int device = app->cameras.IndexOf(sid);
  std::shared_ptr<CCamera> camera = window->cameras().Camera(device);
  if (!camera) return nullptr;
  window->StartLiveView(device);
  if (!QTest::qWaitFor([&] { return camera->m_VideoStatus == STATUS_VIDEO_FAILED; }, kBoundMs)) return nullptr;
  CSubCanvas* w = window->canvas()->window(camera->place());
  if (!w) return nullptr;
  QTest::mouseClick(w, Qt::LeftButton);
  return window->canvas()->selectedCamera() == camera.get() ? camera.get() : nullptr;
}

void MainWindowTest::toolbarAndCaptionAtTheirPlaces() {
  // Client width 1500: a = 57, so the eleven places are at these x.
  const int x[] = {57, 164, 271, 378, 485, 592, 699, 806, 913, 1020, 1127};
  const std::vector<std::vector<int>> places = {
      {kSplitButton},         {kCloseDeviceButton}, {kQualityLowButton, kQualitySdButton, kQualityHdButton},
      {kAlarmButton},         {kPreviousPageButton}, {kNextPageButton},
      {kRotateButton},        {kSnapshotButton},     {kAudioOnButton, kAudioOffButton},
      {kTalkOnButton, kTalkOffButton}, {kRecordOnButton, kRecordOffButton}};
  for (std::size_t k = 0; k < places.size(); ++k)
    for (int id : places[k]) QCOMPARE(B(id)->geometry(), QRect(x[k], 800 - 55, 50, 40));
  QCOMPARE(window->canvas()->geometry(), QRect(5, 50, 1225, 680));
  QCOMPARE(window->tree()->geometry(), QRect(1235, 50, 260, 745));
  QCOMPARE(B(kCloseButton)->geometry(), QRect(1468, 4, 30, 20));
  QCOMPARE(B(kMaximizeButton)->geometry(), QRect(1438, 4, 30, 20));
  QCOMPARE(B(kRestoreButton)->geometry(), QRect(1438, 4, 30, 20));
  QCOMPARE(B(kMinimizeButton)->geometry(), QRect(1408, 4, 30, 20));
  QCOMPARE(B(kMenuButton)->geometry(), QRect(1378, 4, 30, 20));
  QCOMPARE(window->title()->text(), QStringLiteral("velmor:OrbelleV3.0"));
  QCOMPARE(window->title()->geometry(), QRect(10, 10, 190, 20));
  QCOMPARE(window->windowTitle(), Text(kApplicationName));

  // One of each pair shows when the window opens.
  for (int id : {kAudioOnButton, kTalkOnButton, kRecordOnButton, kQualityLowButton, kMaximizeButton})
    QVERIFY2(B(id)->isVisible(), qPrintable(QString::number(id)));
  for (int id : {kAudioOffButton, kTalkOffButton, kRecordOffButton, kQualitySdButton, kQualityHdButton,
                 kRestoreButton})
    QVERIFY2(!B(id)->isVisible(), qPrintable(QString::number(id)));

  const std::pair<int, const char*> tips[] = {
      {kSplitButton, "播放切分"},      {kCloseDeviceButton, "关闭设备"}, {kQualityLowButton, "视频清晰度"},
      {kAlarmButton, "报警设置"},      {kPreviousPageButton, "上一页"},  {kNextPageButton, "下一页"},
      {kRotateButton, "画面旋转"},     {kSnapshotButton, "视频截图"},    {kAudioOnButton, "开启设备音频"},
      {kAudioOffButton, "设备音频已开启"}, {kTalkOnButton, "开启本地音频"}, {kTalkOffButton, "本地音频已开启"},
      {kRecordOnButton, "开启录像"},   {kRecordOffButton, "录像已开启"}};
  for (const auto& [id, tip] : tips) QCOMPARE(B(id)->toolTip(), Text(tip));
}

void MainWindowTest::tipsWithoutASelection() {
  QVERIFY(!window->canvas()->selectedCamera());
  QCOMPARE(TipAfter(kQualityLowButton), Text("请选择设备"));
  QCOMPARE(TipAfter(kAlarmButton), Text("请选择操作设备"));
  QCOMPARE(TipAfter(kRotateButton), Text("请选择设备"));
  QCOMPARE(TipAfter(kAudioOnButton), Text("请选择通话窗口"));
  QCOMPARE(TipAfter(kTalkOnButton), Text("请选择通话窗口"));
  // The storage folder is looked at first.
  QVERIFY(app->settings.storage.Get().ImagePath.empty() && app->settings.storage.Get().VideoPath.empty());
  QCOMPARE(TipAfter(kSnapshotButton), Text("请设置截图文件存储路径"));
  QCOMPARE(TipAfter(kRecordOnButton), Text("请选择视频文件存储路径"));
  QVERIFY(B(kRecordOnButton)->isVisible());
  SetFolders();
  QCOMPARE(TipAfter(kSnapshotButton), Text("请选择视频播放窗口"));
  QCOMPARE(TipAfter(kRecordOnButton), Text("请选择开启录像的设备"));
  QVERIFY(B(kRecordOnButton)->isVisible() && !B(kRecordOffButton)->isVisible());

  // "关闭设备" asks for a window, and paging counts it all the same.
  Click(kCloseDeviceButton);
  QCOMPARE(TakeBoxes(), QStringList{Text("提示: 请选择要关闭的视频")});
  // "关闭" buttons without a camera to stop do nothing.
  Click(kAudioOnButton);
  QVERIFY(B(kAudioOnButton)->isVisible());
}

void MainWindowTest::tipsWithACameraThatDoesNotPlay() {
  SetFolders();
  CCamera* camera = SelectFailedCamera("cam01");
  QVERIFY(camera);
  QCOMPARE(TipAfter(kQualityLowButton), Text("设备未开始播放"));

  // Rotation goes round and is upright after four presses.
  for (int expected : {1, 2, 3, 0}) {
    Click(kRotateButton);
    QCOMPARE(camera->rotation.load(), expected);
  }
  Click(kSnapshotButton);
  QCOMPARE(camera->snapshotRequested.load(), 1);

  Click(kRecordOnButton);
  QCOMPARE(camera->recording.load(), 1);
  QVERIFY(!B(kRecordOnButton)->isVisible() && B(kRecordOffButton)->isVisible());
  QVERIFY(B(kRecordOffButton)->hasFocus());
  Click(kRecordOffButton);
  QCOMPARE(camera->recording.load(), 0);
  QVERIFY(B(kRecordOnButton)->isVisible() && B(kRecordOnButton)->hasFocus());

  // cam01 has an alarm: its dialog opens.
  QStringList opened;
  window->SetDialogRunner([&opened](QDialog& dialog) {
    opened << dialog.windowTitle();
    return int(QDialog::Rejected);
  });
  Click(kAlarmButton);
  QCOMPARE(opened, QStringList{Text("报警设置")});
  QCOMPARE(TakeBoxes(), QStringList());

  // A Q-series model refuses device audio and talk-back.
  QVERIFY(SelectFailedCamera("cam03"));
  Click(kAudioOnButton);
  QCOMPARE(TakeBoxes(), QStringList{Text(kApplicationName) + Text(": Q系列不支持该功能")});
  Click(kTalkOnButton);
  QCOMPARE(TakeBoxes(), QStringList{Text(kApplicationName) + Text(": Q系列不支持该功能")});
  QVERIFY(B(kAudioOnButton)->isVisible() && B(kTalkOnButton)->isVisible());
}

void MainWindowTest::talkBackWithoutAMicrophoneIsTold() {
  QVERIFY(SelectFailedCamera("cam01"));
  Click(kTalkOnButton);
  QTRY_COMPARE_WITH_TIMEOUT(CurrentTipText(), Text("无法打开本地音频设备"), kBoundMs);
  QTRY_VERIFY_WITH_TIMEOUT(B(kTalkOnButton)->isVisible() && !B(kTalkOffButton)->isVisible(), kBoundMs);
  QVERIFY(window->canvas()->audio().talkingCamera() == nullptr);
  const QString shots = qEnvironmentVariable("LUMIVEX_TEST_SHOTS");
  if (!shots.isEmpty()) QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/talk-without-microphone.png");
}

void MainWindowTest::modelWithoutAudio() {
  QVERIFY(SelectFailedCamera("cam02"));  // type "q2", no alarm
  QCOMPARE(app->global.m_LimitedSeries.load(), 1);
  for (int id : {kAudioOffButton, kTalkOffButton}) {
    QVERIFY(B(id)->isVisible() && B(id)->dimmed());
    QCOMPARE(B(id)->toolTip(), Text("该设备型号不支持此功能"));
  }
  QVERIFY(!B(kAudioOnButton)->isVisible() && !B(kTalkOnButton)->isVisible());
  QCOMPARE(TipAfter(kAlarmButton), Text("当前设备不支持报警"));
  // Nothing plays its audio, so "off" does nothing.
  Click(kAudioOffButton);
  QVERIFY(B(kAudioOffButton)->isVisible());

  QVERIFY(SelectFailedCamera("cam01"));
  QCOMPARE(app->global.m_LimitedSeries.load(), 0);
  QVERIFY(B(kAudioOnButton)->isVisible() && !B(kAudioOffButton)->isVisible() && !B(kAudioOffButton)->dimmed());
  QCOMPARE(B(kAudioOffButton)->toolTip(), Text("设备音频已开启"));
  QCOMPARE(B(kTalkOffButton)->toolTip(), Text("本地音频已开启"));
}

void MainWindowTest::qualityMenuChecksTheCurrentQuality() {
  CCamera* camera = SelectFailedCamera("cam01");
  QVERIFY(camera);
  // As if the stream played at 480000 bit/s.
  camera->m_VideoStatus = STATUS_VIDEO_PLAYING;
  camera->bitRate = 480000;
  QStringList entries, checked;
  QPoint shownAt;
  QSize menuSize;
  window->SetMenuRunner([&](QMenu& menu, const QPoint& at) -> QAction* {
    for (QAction* a : menu.actions()) {
      entries << a->text();
      if (a->isChecked()) checked << a->text();
    }
    shownAt = at;
    menuSize = menu.sizeHint();
    for (QAction* a : menu.actions())
      if (a->data().toInt() == kQualityHdEntry) return a;
    return static_cast<QAction*>(nullptr);
  });
  Click(kQualityLowButton);
  QCOMPARE(entries, (QStringList{Text("流畅"), Text("标清"), Text("高清"), Text("自动")}));
  QCOMPARE(checked, QStringList{Text("标清")});
  // Centred on the button's left edge, its bottom on the button's top.
  const QPoint button = B(kQualityLowButton)->mapToGlobal(QPoint(0, 0));
  QCOMPARE(shownAt, button - QPoint(menuSize.width() / 2, menuSize.height()));
  // No session to tell: the quality shown stays as it was.
  QVERIFY(B(kQualityLowButton)->isVisible() && !B(kQualityHdButton)->isVisible());
  camera->m_VideoStatus = STATUS_VIDEO_FAILED;
}

void MainWindowTest::focusRingAndSwallowedKeys() {
  std::vector<ImageButton*> ring = window->FocusRing();
  QCOMPARE(ring.size(), std::size_t{11});  // one of each pair and trio
  QCOMPARE(ring.front()->id(), int(kSplitButton));
  QCOMPARE(ring.back()->id(), int(kRecordOnButton));
  window->tree()->setFocus();  // no button has the focus
  QTest::keyClick(window.get(), Qt::Key_Tab);
  QVERIFY(B(kSplitButton)->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
  QVERIFY(B(kCloseDeviceButton)->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
  QVERIFY(B(kQualityLowButton)->hasFocus());  // the hidden qualities are skipped
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
  QVERIFY(B(kAlarmButton)->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
  QVERIFY(B(kSplitButton)->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);  // from the first to the last
  QVERIFY(B(kRecordOnButton)->hasFocus());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // and round again
  QVERIFY(B(kSplitButton)->hasFocus());

  QSignalSpy exited(window.get(), &CLumivexDlg::exited);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QVERIFY(window->isVisible());
  QCOMPARE(exited.count(), 0);
}

void MainWindowTest::maximiseAndRestore() {
  Click(kMaximizeButton);
  QCOMPARE(app->settings.IsMax, 1);
  QVERIFY(B(kRestoreButton)->isVisible() && !B(kMaximizeButton)->isVisible());
  Click(kRestoreButton);
  QCOMPARE(app->settings.IsMax, 0);
  QVERIFY(!B(kRestoreButton)->isVisible() && B(kMaximizeButton)->isVisible());
  // A double click on the background does the same, and ends whole-wall
  // mode: the next double click on the window fills the wall again.
  CCamera* camera = SelectFailedCamera("cam01");
  QVERIFY(camera);
  CSubCanvas* w = window->canvas()->window(camera->place());
  QTest::mouseDClick(w, Qt::LeftButton);
  QVERIFY(window->canvas()->fullWall() && w->fullCanvas());
  QTest::mouseDClick(window.get(), Qt::LeftButton, {}, QPoint(600, 20));
  QCOMPARE(app->settings.IsMax, 1);
  QVERIFY(B(kRestoreButton)->isVisible());
  QVERIFY(!window->canvas()->fullWall() && !w->fullCanvas());
  QTest::mouseDClick(w, Qt::LeftButton);
  QVERIFY(window->canvas()->fullWall() && w->fullCanvas());
  QCOMPARE(w->geometry(), window->canvas()->rect());
}

void MainWindowTest::closePromptChoices() {
  const std::string config = app->settings.configPath;
  auto controls = [](CClose& prompt) {
    return std::tuple{prompt.findChild<QRadioButton*>(names::kToTray), prompt.findChild<QRadioButton*>(names::kExit),
                      prompt.findChild<QCheckBox*>(names::kDontAsk), prompt.findChild<QAbstractButton*>(names::kOk),
                      prompt.findChild<QAbstractButton*>(names::kCancel)};
  };
  {  // As the settings stand: tray, and asking again.
    app->settings.ToTray = 1;
    app->settings.ShowClose = 1;
    CClose prompt(app->settings);
    auto [tray, exit, dontAsk, ok, cancel] = controls(prompt);
    QVERIFY(tray && exit && dontAsk && ok && cancel);
    QCOMPARE(tray->text(), Text("最小化到系统托盘"));
    QCOMPARE(exit->text(), Text("退出程序"));
    QCOMPARE(dontAsk->text(), Text("不再提示"));
    QVERIFY(tray->isChecked() && !dontAsk->isChecked());
    prompt.show();
    dontAsk->setChecked(true);
    ok->click();
    QCOMPARE(prompt.choice(), CClose::kToTray);
    QCOMPARE(ConfigValue(config, "config1", "ShowClose"), std::string("0"));
    QCOMPARE(app->settings.ShowClose, 0);
  }
  {  // Exit, asking again; "取消" changes nothing.
    app->settings.ToTray = 0;
    CClose prompt(app->settings);
    auto [tray, exit, dontAsk, ok, cancel] = controls(prompt);
    QVERIFY(exit->isChecked() && dontAsk->isChecked());
    dontAsk->setChecked(false);
    cancel->click();
    QCOMPARE(prompt.choice(), CClose::kCancelled);
    QCOMPARE(ConfigValue(config, "config1", "ShowClose"), std::string("0"));
  }
  {  // A file that does not load: "确定" does nothing, the prompt stays.
    test::WriteFileBytes(config, "not xml at all");
    CClose prompt(app->settings);
    auto [tray, exit, dontAsk, ok, cancel] = controls(prompt);
    prompt.show();
    dontAsk->setChecked(false);
    ok->click();
    QVERIFY(prompt.isVisible());
    QCOMPARE(prompt.choice(), CClose::kCancelled);
    QCOMPARE(app->settings.ShowClose, 0);
  }

  // "关" with the prompt: "退出程序" ends the program.
  QVERIFY(CreateDefaultUserConfig(app->settings, app->service.ConfigFolder(), [](StorageKind, std::string&) { return false; }));
  app->settings.ShowClose = 1;
  QSignalSpy exited(window.get(), &CLumivexDlg::exited);
  window->SetDialogRunner([&](QDialog& dialog) {
    auto* prompt = qobject_cast<CClose*>(&dialog);
    if (!prompt) return 0;
    auto [tray, exit, dontAsk, ok, cancel] = controls(*prompt);
    exit->setChecked(true);
    ok->click();
    return prompt->result();
  });
  Click(kCloseButton);
  QCOMPARE(exited.count(), 1);
  QVERIFY(!window->isVisible());
  QCOMPARE(ConfigValue(app->settings.configPath, "config1", "ShowClose"), std::string("1"));
}

void MainWindowTest::closeRequestWithoutThePrompt() {
  app->settings.ShowClose = 0;
  app->settings.ToTray = 1;
  QSignalSpy exited(window.get(), &CLumivexDlg::exited);
  Click(kCloseButton);
  QCOMPARE(exited.count(), 0);
  // With a notification area the window hides; without one it is minimised,
  // so that it can be brought back.
  if (window->tray().available()) {
    QVERIFY(!window->isVisible());
  } else {
    QTRY_VERIFY(window->isMinimized());
    window->Reveal();
    QTRY_VERIFY(window->isVisible() && !window->isMinimized());
  }
  // The tray menu hides and shows the window, and its entry says which.
  CTray& tray = window->tray();
  window->show();
  QCOMPARE(tray.menu().actions().size(), 2);
  QCOMPARE(tray.toggleEntry()->text(), Text("最小化到托盘"));
  QCOMPARE(tray.exitEntry()->text(), Text("退出"));
  tray.toggleEntry()->trigger();
  QVERIFY(!window->isVisible());
  tray.menu();
  QCOMPARE(tray.toggleEntry()->text(), Text("显示主窗口"));
  tray.toggleEntry()->trigger();
  QVERIFY(window->isVisible());
  tray.exitEntry()->trigger();
  QCOMPARE(exited.count(), 1);

  // Neither prompt nor tray: "关" ends the program.
  window->show();
  app->settings.ToTray = 0;
  Click(kCloseButton);
  QCOMPARE(exited.count(), 2);
}

void MainWindowTest::windowExitKeepsThePlacement() {
  window->setGeometry(100, 100, 1000, 700);
  QTRY_COMPARE(window->geometry(), QRect(100, 100, 1000, 700));
  WallLayout nine{3, 3, 1};
  window->canvas()->ApplyLayout(nine);
  window->WindowExit();
  const UserSettings& s = app->settings;
  QCOMPARE((std::vector<int>{s.MainX, s.MainY, s.MainX1, s.MainY1}), (std::vector<int>{100, 100, 1100, 800}));
  QVERIFY(app->wall == nine);
  // What the program writes as it ends, read back from the file.
  QVERIFY(SaveWindowState(app->settings, app->wall));
  QCOMPARE(ConfigValue(s.configPath, "config2", "MainX1"), std::string("1100"));
  QCOMPARE(ConfigValue(s.configPath, "config2", "xNums"), std::string("3"));
  QCOMPARE(ConfigValue(s.configPath, "config2", "FirstLarger"), std::string("1"));
}

void MainWindowTest::aboutBox() {
  QStringList seen;
  window->SetMenuRunner([&](QMenu& menu, const QPoint&) -> QAction* {
    for (QAction* a : menu.actions()) seen << a->text();
    return menu.actions().last();  // "联系我们"
  });
  QString version;
  window->SetDialogRunner([&](QDialog& dialog) {
    if (auto* field = dialog.findChild<QLineEdit*>(kAboutVersionName)) version = field->text();
    return 1;
  });
  Click(kMenuButton);
  QCOMPARE(seen, (QStringList{Text("系统设置"), Text("意见反馈"), Text("联系我们")}));
  QCOMPARE(version, Text("velmorOrbelle客户端 v2.0"));
}

void MainWindowTest::camerasFollowTheDeviceList() {
  CameraRegistry& cameras = window->cameras();
  std::shared_ptr<CCamera> kept = cameras.Camera(app->cameras.IndexOf("cam01"));
  std::shared_ptr<CCamera> dropped = cameras.Camera(app->cameras.IndexOf("cam03"));
  QVERIFY(kept && dropped);
  QCOMPARE(kept->name(), std::string("Front door"));
  // cam03 plays (it fails, having no service), and leaves the account.
  window->StartLiveView(app->cameras.IndexOf("cam03"));
  QTRY_COMPARE_WITH_TIMEOUT(dropped->m_VideoStatus.load(), STATUS_VIDEO_FAILED, kBoundMs);

  Serve({{"cam01", "Porch", "c1", 1}, {"cam02", "Nursery", "q2", 0}, {"cam04", "Attic", "c1", 1}});
  window->tree()->RunCommand(ui::kRefreshList);
  QTRY_VERIFY_WITH_TIMEOUT(!cameras.Camera(app->cameras.IndexOf("cam03")), kBoundMs);
  QTRY_VERIFY_WITH_TIMEOUT(cameras.Camera(app->cameras.IndexOf("cam04")), kBoundMs);
  // The same camera for the run, under its new name; the dropped one stopped.
  QCOMPARE(cameras.Camera(app->cameras.IndexOf("cam01")), kept);
  QCOMPARE(kept->name(), std::string("Porch"));
  QTRY_COMPARE_WITH_TIMEOUT(dropped->m_VideoStatus.load(), STATUS_READY, kBoundMs);
  QVERIFY(!dropped->place().valid());
  QCOMPARE(cameras.count(), 3);
}

// A listing that fails is told in the tree, not shown as an empty account,
// and a double click on that line lists again.
void MainWindowTest::failedListingIsShownAndRetried() {
  auto set = [this](bool hold, bool fail) {
    std::lock_guard lock(mutex_);
    holdList_ = hold;
    failList_ = fail;
    listReleased_.notify_all();
  };
  window.reset();
  MakeApp();
  set(true, true);
  window = std::make_unique<CLumivexDlg>(*app);
  window->Open();
  window->resize(1500, 800);
  QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  ui::CTreeCtrl1* tree = window->tree();
  const QString loading = tree->ListingLine();
  QVERIFY(loading.startsWith(QString::fromUtf8(ui::kListingLine)));
  QTRY_VERIFY_WITH_TIMEOUT(tree->ListingLine() != loading, kBoundMs);  // the dots move

  set(false, true);
  QTRY_VERIFY_WITH_TIMEOUT(window->startupDone(), kBoundMs);
  QCOMPARE(tree->listing(), ui::CTreeCtrl1::Listing::kFailed);
  QCOMPARE(tree->ListingLine(), QString::fromUtf8(ui::kListingFailedLine));
  QCOMPARE(window->cameras().count(), 0);
  const QString shots = qEnvironmentVariable("LUMIVEX_TEST_SHOTS");
  if (!shots.isEmpty()) window->grab().save(shots + "/main_window_listing_failed.png");
  // A click on a group's place does nothing: no group is shown.
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(100, 10));
  QVERIFY(!tree->selectedItem());

  set(false, false);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, QPoint(100, 10));
  QTRY_COMPARE_WITH_TIMEOUT(tree->listing(), ui::CTreeCtrl1::Listing::kListed, kBoundMs);
  QTRY_COMPARE_WITH_TIMEOUT(window->cameras().count(), 3, kBoundMs);
  QVERIFY(tree->ListingLine().isEmpty());
  QCOMPARE(tree->model().AllCameras().size(), 3u);
}

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
