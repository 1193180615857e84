// Automatic quality end to end: a client signed in to lumivex-sim turns it
// on in the quality menu (kept in the configuration file), and the wall
// asks the camera for the level its window fits as the layout goes from
// 2x2 to 4x4 to the whole wall; the camera's stream takes each rate at a
// key frame and the bytes received follow. A level picked by hand ends it.

#include <QMenu>
#include <QtTest>

#include <pugixml.hpp>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/user_config.h"
#include "stream/camera.h"
#include "support/fake_home.h"
#include "ui/app_context.h"
#include "ui/camera_registry.h"
#include "ui/image_button.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/sim_launcher.h"
#include "ui/video_wall_widget.h"
#include "webservice/http.h"

using namespace lumivex;

namespace {

constexpr int kBoundMs = 20000;

// The camera starts at the highest rate, so that the first window asks for less.
const char* kScenario =
    "{\"accounts\": [{\"user\": \"alice\", \"password\": \"secret77\", \"devices\": [\"cam01\"]}],"
    " \"devices\": [{\"sid\": \"cam01\", \"name\": \"Hall\", \"type\": \"c1\", \"admin\": \"alice\","
    " \"connection\": {\"status\": 2, \"transVideoLong\": -1}, \"camera\": {\"bitRate\": 1200000}}]}";

std::string ConfigValue(const std::string& path, const char* element) {
  pugi::xml_document doc;
  if (!doc.load_file(path.c_str())) return "<no file>";
  pugi::xml_node node = doc.child("config").child("config1").child(element);
  return node ? node.child_value() : "<none>";
}

// The rates of the control log's lines for cam01 that hold text, in order:
// a message's "bitRate" member, or the number after the text.
std::vector<std::string> Rates(const std::string& log, const std::string& text) {
  std::vector<std::string> rates;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find(" cam01 ") == std::string::npos || line.find(text) == std::string::npos) continue;
    const std::string member = "\"bitRate\":\"";
    auto at = line.find(member);
    at = at == std::string::npos ? line.find(text) + text.size() + 1 : at + member.size();
    rates.push_back(line.substr(at, line.find_first_not_of("0123456789", at) - at));
  }
  return rates;
}

}  // namespace

class AutoQualityTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(InitHttpLibrary()); }
  void cleanupTestCase() { CleanupHttpLibrary(); }
  void wallAsksForTheLevelItsWindowsFit();

 private:
  // Waits for the stream to take rate, then the bytes a second it brings.
  int BytesAfterSwitch(test::UiSim& sim, CCamera& camera, const std::string& rate, std::size_t switches) {
    if (!QTest::qWaitFor([&] { return Rates(sim.ControlLog(), "clip-switch").size() >= switches; }, kBoundMs))
      return -1;
    if (Rates(sim.ControlLog(), "clip-switch").back() != rate) return -1;
    // Two meter readings of the new stream alone: the second is a whole second of it.
    QTest::qWait(2200);
    return camera.lastSecondBytes;
  }
};

void AutoQualityTest::wallAsksForTheLevelItsWindowsFit() {
  if (test::SimProgram().empty()) QSKIP("lumivex-sim is not built");
  test::FakeHome home;
  test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "config");
  AppContext app(dir.str());
  app.resFolder = LUMIVEX_RES_DIR;
  test::UiSim sim(kScenario);
  QVERIFY2(sim.ok(), sim.Log().c_str());
  QVERIFY(test::SignInToSim(sim, app, "alice", "secret77"));
  QVERIFY(LoadUserSettings(app.settings, app.wall));
  QCOMPARE(app.settings.AutoQuality, 0);
  QCOMPARE(ConfigValue(app.settings.configPath, "AutoQuality"), std::string("<none>"));  // a file from before it

  CLumivexDlg window(app);
  int pick = kQualityAutoEntry;
  window.SetMenuRunner([&pick](QMenu& menu, const QPoint&) {
    for (QAction* action : menu.actions())
      if (action->data().toInt() == pick) return action;
    return static_cast<QAction*>(nullptr);
  });
  window.Open();
  window.resize(1400, 900);
  QVERIFY(QTest::qWaitFor([&] { return window.startupDone(); }, kBoundMs));
  CCanvas& wall = *window.canvas();
  // The widths the levels need: a 2x2 window from 400, a 4x4 one below, the whole wall from 960.
  QVERIFY2(wall.width() >= 960 && wall.width() / 2 < 960 && wall.width() / 2 >= 400 && wall.width() / 4 < 400,
           std::to_string(wall.width()).c_str());

  std::shared_ptr<CCamera> camera = window.cameras().Camera(0);
  QVERIFY(camera);
  window.StartLiveView(0);
  QVERIFY(QTest::qWaitFor([&] { return camera->m_VideoStatus == STATUS_VIDEO_PLAYING; }, kBoundMs));
  QCOMPARE(camera->bitRate.load(), 1200000);
  QTest::mouseClick(wall.window(camera->place()), Qt::LeftButton);
  QCOMPARE(wall.selectedCamera(), camera.get());
  window.button(kQualityLowButton)->click();  // the menu: "自动"
  QCOMPARE(app.settings.AutoQuality, 1);
  QCOMPARE(ConfigValue(app.settings.configPath, "AutoQuality"), std::string("1"));
  QCOMPARE(camera->bitRate.load(), 480000);  // the 2x2 window at once
  const int sd = BytesAfterSwitch(sim, *camera, "480000", 1);

  wall.ApplyLayout({4, 4, 0});
  QCOMPARE(camera->bitRate.load(), 88000);
  const int low = BytesAfterSwitch(sim, *camera, "88000", 2);

  QTest::mouseClick(wall.window(camera->place()), Qt::LeftButton);
  wall.SetFullWall(true);
  QCOMPARE(camera->bitRate.load(), 1200000);
  const int hd = BytesAfterSwitch(sim, *camera, "1200000", 3);

  const std::string log = sim.ControlLog();
  QCOMPARE(Rates(log, "resetBitRate"), (std::vector<std::string>{"480000", "88000", "1200000"}));
  QVERIFY2(low > 0 && low < sd && sd < hd,
           (std::to_string(low) + " < " + std::to_string(sd) + " < " + std::to_string(hd)).c_str());

  // A level by hand: automatic quality is off, and stays off when read again.
  pick = kQualitySdEntry;
  window.button(kQualityHdButton)->click();
  QCOMPARE(app.settings.AutoQuality, 0);
  QCOMPARE(ConfigValue(app.settings.configPath, "AutoQuality"), std::string("0"));
  QCOMPARE(camera->bitRate.load(), 480000);
  wall.SetFullWall(false);
  QCOMPARE(camera->bitRate.load(), 480000);  // no longer asked for
  camera->StopCleanCamera();
  test::TakeBoxes();
}

QTEST_MAIN(AutoQualityTest)
#include "test_auto_quality.moc"
