// The playback window on the offscreen platform against lumivex-sim: the
// catalogue in the four lists and their refills, the refusals that close
// the window, the selection check of "开始播放", the keys, and a recorded
// hour played, paused and skipped through. With LUMIVEX_TEST_SHOTS=DIR the
// playing window is saved as a PNG.

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/net_info.h"
#include "stream/audio_memory.h"
#include "stream/video_status.h"
#include "support/fake_home.h"
#include "ui/app_context.h"
#include "ui/geometry/playback_layout.h"
#include "ui/geometry/video_overlay.h"
#include "ui/image_button.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/playback/playback_canvas.h"
#include "ui/playback/playback_window.h"
#include "ui/sim_launcher.h"
#include "webservice/camera_list.h"
#include "webservice/handshake.h"
#include "webservice/http.h"
#include "webservice/login.h"

using namespace lumivex;
namespace fs = std::filesystem;

namespace {

constexpr int kBoundMs = 15000;
constexpr int kPlayBoundMs = 30000;

// cam01 lists four years; cam02 a day without hours; the rest refuse.
const char* kScenario = R"({
  "accounts": [{"user": "demo", "password": "demo123",
                "devices": ["cam01", "cam02", "cam03", "cam04", "cam05", "cam06"]}],
  "devices": [
    {"sid": "cam01", "name": "Front door", "admin": "demo",
     "videoDaylist": "20130101,01;20140520,08,09,13;20140521,10;20140601,23;20150102,00,22;20160101,05"},
    {"sid": "cam02", "name": "Hallway", "admin": "demo", "videoDaylist": "20240410,12;20240411"},
    {"sid": "cam03", "name": "Warehouse", "admin": "demo", "sdcard": false, "videoDaylist": "20240410,12"},
    {"sid": "cam04", "name": "Porch", "admin": "demo", "videoDaylist": ""},
    {"sid": "cam05", "name": "Shed", "admin": "demo", "videoDaylist": "20240410,12",
     "statuses": {"playBack": "OFFLINE"}},
    {"sid": "cam06", "name": "Attic", "admin": "demo", "videoDaylist": "20240410,12",
     "statuses": {"playBack": "NODEV"}}
  ]
})";

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QStringList Rows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

// The message boxes shown while a box holds the GUI thread in its own loop
// (the window's refusals wait for the user): each is taken from a timer,
// with the title label as it read meanwhile.
class BoxWatcher {
 public:
  explicit BoxWatcher(const CPlayback& window) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, &window] {
      const QStringList taken = test::TakeBoxes();
      if (taken.isEmpty()) return;
      boxes << taken;
      titleMeanwhile = window.label(kPlaybackTitle)->text();
    });
    timer_.start();
  }
  QStringList boxes;
  QString titleMeanwhile;

 private:
  QTimer timer_;
};

void SaveShot(QWidget& widget, const char* name) {
  const QString folder = qEnvironmentVariable("LUMIVEX_TEST_SHOTS");
  if (!folder.isEmpty()) widget.grab().save(folder + "/" + name + ".png", "PNG");
}

}  // namespace

class PlaybackWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void cleanup() { test::TakeBoxes(); }

  void layoutInPixels();
  void canvasPaintsPicturesAndStatus();
  void catalogueFillsTheListsAndTheirRefills();
  void dayWithoutHoursAsksForAnHour();
  void refusalsCloseTheWindowAfterTheirBox();
  void enterDoesNothingEscapeCloses();
  void playsAnHourAndFollowsTheControls();
  void mainWindowOpensItForTheDevice();

 private:
  bool SignedIn();
  // The window of a scenario camera, its catalogue loaded (or refused).
  std::unique_ptr<CPlayback> Open(const char* sid);

  std::unique_ptr<test::FakeHome> home_;
  std::unique_ptr<test::UiSim> sim_;
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<AppContext> app_;
  MemoryDevices audio_;
  DisplayClock clock_{1};  // the wall's, in the program
  bool signedIn_ = false;
};

void PlaybackWindowTest::initTestCase() {
  QVERIFY(InitHttpLibrary());
  home_ = std::make_unique<test::FakeHome>();
  dir_ = std::make_unique<test::TempDir>();
  fs::create_directories(dir_->path() / "config");
  app_ = std::make_unique<AppContext>(dir_->str());
  app_->resFolder = LUMIVEX_RES_DIR;
}

void PlaybackWindowTest::cleanupTestCase() {
  app_.reset();
  sim_.reset();
  CleanupHttpLibrary();
}

bool PlaybackWindowTest::SignedIn() {
  if (signedIn_) return true;
  if (test::SimProgram().empty()) return false;
  sim_ = std::make_unique<test::UiSim>(kScenario);
  if (!sim_->ok()) return false;
  if (!test::SignInToSim(*sim_, *app_, "demo", "demo123") || !app_->cameras.Update(app_->service)) return false;
  return signedIn_ = true;
}

std::unique_ptr<CPlayback> PlaybackWindowTest::Open(const char* sid) {
  const std::optional<CameraInfo> info = app_->cameras.Get(app_->cameras.IndexOf(sid));
  if (!info) return nullptr;
  auto window = std::make_unique<CPlayback>(*app_, audio_, clock_, *info);
  window->show();
  return window;
}

// The template's dialog units: the lists right of the fixed video area,
// the trackbar and the buttons below it, the title in the band.
void PlaybackWindowTest::layoutInPixels() {
  const ui::PlaybackLayout l = ui::LayOutPlayback();
  QCOMPARE(l.client.width, 924);
  QCOMPARE(l.client.height, 508);
  QCOMPARE(l.back, (ui::Rect{173, 465, 70, 30}));
  QCOMPARE(l.pause.x, 291);
  QVERIFY(l.lists[0].x >= l.canvas.right());
  QVERIFY(l.trackbar.y >= l.canvas.bottom() && l.currentTime.y >= l.canvas.bottom());
  QVERIFY(l.title.bottom() <= ui::kPlaybackBandHeight);
  for (std::size_t i = 1; i < l.lists.size(); ++i) QVERIFY(l.lists[i].x > l.lists[i - 1].right());
  QVERIFY(l.close.right() < l.client.width);
}

// What the session hands the canvas, painted as a user sees it.
void PlaybackWindowTest::canvasPaintsPicturesAndStatus() {
  CPlaybkCanvas canvas(LUMIVEX_RES_DIR, nullptr);
  QVERIFY(canvas.picturesLoaded());
  QCOMPARE(canvas.DrawingSize(), (PictureSize{640, 360}));
  QCOMPARE(canvas.size(), QSize(640, 360));
  auto painted = [&] { return canvas.grab().toImage().convertToFormat(QImage::Format_RGB32); };
  auto picture = [](const char* name) {
    return QImage(QStringLiteral(LUMIVEX_RES_DIR "/") + name).convertToFormat(QImage::Format_RGB32);
  };
  QCOMPARE(painted(), picture("CameraRectPlayback.bmp"));
  canvas.ShowStatus(StatusPicture::kFailed);
  QCOMPARE(painted(), picture("CameraRectPlayback2.bmp"));

  // Connecting: the blocks of step 0, then the canvas moves them on by
  // itself (the session only said "connecting").
  canvas.ShowStatus(StatusPicture::kConnecting);
  const ui::ProgressBlocks blocks = ui::ProgressBlockRects(640, 360, 0, ui::ProgressStyle::kPlayback);
  QCOMPARE(blocks.blocks.size(), std::size_t(6));
  auto activeBlock = [&](const QImage& image) {
    int active = -1;
    for (std::size_t k = 0; k < blocks.blocks.size(); ++k) {
      const ui::Rect& b = blocks.blocks[k];
      const QRgb pixel = image.pixel(b.x + b.width / 2, b.y + b.height / 2);
      if (pixel == ui::kProgressActiveArgb) active = active < 0 ? static_cast<int>(k) : 99;
      else if (pixel != ui::kProgressBlockArgb) return -2;
    }
    return active;
  };
  const QImage connecting = painted();
  QCOMPARE(activeBlock(connecting), blocks.active);
  QCOMPARE(connecting.pixel(5, 5), picture("CameraRectPlayback.bmp").pixel(5, 5));
  QTRY_COMPARE_WITH_TIMEOUT(activeBlock(painted()), (blocks.active + 1) % 6, 5000);

  // A picture at the drawing size, 1:1: blue = x, green = y.
  Picture& back = canvas.BackBuffer();
  back.Resize(640, 360);
  for (int y = 0; y < 360; ++y)
    for (int x = 0; x < 640; ++x) {
      uint8_t* px = back.pixels.data() + y * back.stride + x * 4;
      px[0] = static_cast<uint8_t>(x);
      px[1] = static_cast<uint8_t>(y);
      px[2] = 0x40;
      px[3] = 0xFF;
    }
  canvas.Present({});
  QCOMPARE(canvas.shown(), CPlaybkCanvas::Shown::kPicture);
  const QImage shown = painted();
  for (QPoint at : {QPoint(0, 0), QPoint(639, 359), QPoint(300, 200), QPoint(77, 311)})
    QCOMPARE(shown.pixel(at), qRgb(0x40, at.y() & 0xFF, at.x() & 0xFF));
}

void PlaybackWindowTest::catalogueFillsTheListsAndTheirRefills() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  std::unique_ptr<CPlayback> window = Open("cam01");
  QVERIFY(window);
  QCOMPARE(window->label(kPlaybackTitle)->text(), Text("正在加载播放列表..."));
  QTRY_VERIFY_WITH_TIMEOUT(!window->loading(), kBoundMs);
  QCOMPARE(window->label(kPlaybackTitle)->text(), QStringLiteral("Front door"));
  SaveShot(*window, "playback-loaded");
  QListWidget* years = window->list(kPlaybackYears);
  QListWidget* months = window->list(kPlaybackMonths);
  QListWidget* days = window->list(kPlaybackDays);
  QListWidget* hours = window->list(kPlaybackHours);
  // The fourth year has no room.
  QCOMPARE(Rows(years), (QStringList{"2013", "2014", "2015"}));
  QCOMPARE(Rows(months), QStringList{"01"});
  QCOMPARE(Rows(days), QStringList{"01"});
  QCOMPARE(Rows(hours), QStringList{"01"});
  for (QListWidget* list : {years, months, days, hours}) QCOMPARE(list->currentRow(), 0);

  // A click on a year, then on a month, as the user chooses them.
  QTest::mouseClick(years->viewport(), Qt::LeftButton, {}, years->visualItemRect(years->item(1)).center());
  QCOMPARE(years->currentRow(), 1);
  QCOMPARE(Rows(months), (QStringList{"05", "06"}));
  QCOMPARE(Rows(days), (QStringList{"20", "21"}));
  QCOMPARE(Rows(hours), (QStringList{"08", "09", "13"}));
  QTest::mouseClick(hours->viewport(), Qt::LeftButton, {}, hours->visualItemRect(hours->item(2)).center());
  QCOMPARE(hours->currentRow(), 2);
  QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, days->visualItemRect(days->item(1)).center());
  QCOMPARE(Rows(hours), QStringList{"10"});
  QCOMPARE(hours->currentRow(), 0);
  QTest::mouseClick(months->viewport(), Qt::LeftButton, {}, months->visualItemRect(months->item(1)).center());
  QCOMPARE(Rows(days), QStringList{"01"});
  QCOMPARE(Rows(hours), QStringList{"23"});
  QCOMPARE(days->currentRow(), 0);

  // Midnight is an hour, not an empty entry; the keyboard chooses too.
  years->setFocus();
  QTest::keyClick(years, Qt::Key_Down);
  QCOMPARE(years->currentItem()->text(), QStringLiteral("2015"));
  QCOMPARE(Rows(hours), (QStringList{"00", "22"}));
  QCOMPARE(test::TakeBoxes(), QStringList());
}

void PlaybackWindowTest::dayWithoutHoursAsksForAnHour() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  std::unique_ptr<CPlayback> window = Open("cam02");
  QVERIFY(window);
  QTRY_VERIFY_WITH_TIMEOUT(!window->loading(), kBoundMs);
  QListWidget* days = window->list(kPlaybackDays);
  QCOMPARE(Rows(days), (QStringList{"10", "11"}));
  QCOMPARE(Rows(window->list(kPlaybackHours)), QStringList{"12"});
  QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, days->visualItemRect(days->item(1)).center());
  QCOMPARE(window->list(kPlaybackHours)->count(), 0);
  QTest::mouseClick(window->button(kPlaybackStart), Qt::LeftButton);
  QCOMPARE(test::TakeBoxes(), QStringList{Text("提示: 请选择小时")});
  QCOMPARE(window->session()->status(), STATUS_READY);  // nothing started
}

void PlaybackWindowTest::refusalsCloseTheWindowAfterTheirBox() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  struct Case {
    const char* sid;
    const char* message;
    const char* title;  // label 1255 while the box shows
  };
  const Case cases[] = {{"cam03", "设备无存储卡", "设备无存储卡"},
                        {"cam04", "设备无视频回放列表", "设备无视频回放列表"},
                        {"cam05", "设备离线", "设备离线"},
                        {"cam06", "获取播放列表失败", ""}};
  for (const Case& c : cases) {
    std::unique_ptr<CPlayback> window = Open(c.sid);
    QVERIFY(window);
    BoxWatcher watcher(*window);
    QTRY_VERIFY_WITH_TIMEOUT(window->isHidden(), kBoundMs);
    QCOMPARE(watcher.boxes, QStringList{Text("提示: ") + Text(c.message)});
    QCOMPARE(watcher.titleMeanwhile, Text(c.title));
    QCOMPARE(window->result(), int(QDialog::Rejected));
    QVERIFY(!window->session());
  }
}

void PlaybackWindowTest::enterDoesNothingEscapeCloses() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  std::unique_ptr<CPlayback> window = Open("cam01");
  QVERIFY(window);
  QTRY_VERIFY_WITH_TIMEOUT(!window->loading(), kBoundMs);
  QListWidget* hours = window->list(kPlaybackHours);
  for (QWidget* target : {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(hours)}) {
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Return);
    QTest::keyClick(target, Qt::Key_Enter);
  }
  QVERIFY(window->isVisible());
  QCOMPARE(window->session()->status(), STATUS_READY);
  QCOMPARE(test::TakeBoxes(), QStringList());
  QTest::keyClick(hours, Qt::Key_Escape);
  QVERIFY(window->isHidden());
  QCOMPARE(window->result(), int(QDialog::Rejected));
  QVERIFY(!window->session());

  // The close button takes the same way out.
  window = Open("cam01");
  QTRY_VERIFY_WITH_TIMEOUT(!window->loading(), kBoundMs);
  QTest::mouseClick(window->button(kPlaybackClose), Qt::LeftButton);
  QVERIFY(window->isHidden());
  QVERIFY(!window->session());
}

void PlaybackWindowTest::playsAnHourAndFollowsTheControls() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  std::unique_ptr<CPlayback> window = Open("cam01");
  QVERIFY(window);
  QTRY_VERIFY_WITH_TIMEOUT(!window->loading(), kBoundMs);
  QCOMPARE(window->canvas()->shown(), CPlaybkCanvas::Shown::kIdle);
  QTest::mouseClick(window->button(kPlaybackStart), Qt::LeftButton);  // 2013-01-01, 01 o'clock
  QTRY_VERIFY_WITH_TIMEOUT(window->canvas()->presented() > 0, kPlayBoundMs);
  QCOMPARE(window->session()->m_CurSelDate(), std::string("20130101-01"));
  QTRY_COMPARE_WITH_TIMEOUT(window->status(), STATUS_VIDEO_PLAYING, kBoundMs);
  QCOMPARE(window->canvas()->shown(), CPlaybkCanvas::Shown::kPicture);
  QSlider* trackbar = window->trackbar();
  const int gap = window->session()->playbackGap();
  QVERIFY(gap > 0);
  QCOMPARE(trackbar->maximum(), gap);
  // The sim records each listed hour from its start, for an hour.
  QCOMPARE(window->label(kPlaybackEndTime)->text(), QStringLiteral("02:00:00"));
  SaveShot(*window, "playback-playing");

  // Forward is ten seconds at once, long before the recording gets there.
  const int before = window->session()->position();
  QTest::mouseClick(window->button(kPlaybackForward), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(trackbar->value() >= before + 10, 2000);

  // A press of the right arrow moves the thumb ten seconds, not one; the
  // recording goes on by at most a second meanwhile.
  trackbar->setFocus();
  const int atKey = trackbar->value();
  QTest::keyClick(trackbar, Qt::Key_Right);
  QCOMPARE(trackbar->value(), std::min(atKey + 10, gap));
  QVERIFY(window->session()->position() - std::min(atKey + 10, gap) <= 1);
  QTest::keyClick(trackbar, Qt::Key_Left);
  QCOMPARE(trackbar->value(), atKey);
  QTest::keyClick(trackbar, Qt::Key_Home);
  QCOMPARE(trackbar->value(), 0);
  QVERIFY(window->session()->position() <= 1);
  QTRY_VERIFY_WITH_TIMEOUT(window->label(kPlaybackCurrentTime)->text().startsWith("01:00:0"), kBoundMs);

  // Pause and resume share one place; one of them shows.
  ImageButton* pause = window->button(kPlaybackPause);
  ImageButton* resume = window->button(kPlaybackResume);
  QVERIFY(pause->isVisible() && !resume->isVisible());
  QCOMPARE(pause->geometry(), resume->geometry());
  QTest::mouseClick(pause, Qt::LeftButton);
  QVERIFY(!pause->isVisible() && resume->isVisible());
  QVERIFY(window->session()->paused());
  const uint64_t shownAtPause = window->canvas()->presented();
  QTest::mouseClick(resume, Qt::LeftButton);
  QVERIFY(pause->isVisible() && !resume->isVisible());
  QVERIFY(!window->session()->paused());
  QTRY_VERIFY_WITH_TIMEOUT(window->canvas()->presented() > shownAtPause + 5, kBoundMs);

  QTest::mouseClick(window->button(kPlaybackClose), Qt::LeftButton);
  QVERIFY(!window->session());
  QVERIFY(window->isHidden());
}

// The tree's "视频回放" comes to OpenPlayback; the window runs modally
// through the dialog runner.
void PlaybackWindowTest::mainWindowOpensItForTheDevice() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  CLumivexDlg main(*app_);
  QString title;
  main.SetDialogRunner([&title](QDialog& dialog) {
    auto* playback = qobject_cast<CPlayback*>(&dialog);
    if (!playback) return dialog.exec();
    dialog.show();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!playback->loading(), kBoundMs); }();
    title = playback->label(kPlaybackTitle)->text();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    return dialog.result();
  });
  main.Open();
  QTRY_VERIFY_WITH_TIMEOUT(main.startupDone(), kBoundMs);
  main.OpenPlayback(app_->cameras.IndexOf("cam02"));
  QCOMPARE(title, QStringLiteral("Hallway"));
  QCOMPARE(test::TakeBoxes(), QStringList());
}

QTEST_MAIN(PlaybackWindowTest)
#include "test_playback_window.moc"
