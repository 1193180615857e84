// The settings sheet on the offscreen platform: what its pages show of the
// configuration file, the folder buttons, the save order and its failures,
// the keys, and, against lumivex-sim, a signed-in client that chooses its
// folders in the sheet, records and snapshots from the toolbar, and checks
// for an update. With LUMIVEX_TEST_SHOTS=DIR it saves a picture of each page.

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <pugixml.hpp>

#include <filesystem>
#include <memory>
#include <string>

#include "config/storage_drive.h"
#include "config/user_config.h"
#include "core/autostart.h"
#include "core/net_info.h"
#include "core/version.h"
#include "qtcommon/qt_translations.h"
#include "stream/camera.h"
#include "support/fake_home.h"
#include "support/mp4_check.h"
#include "ui/app_context.h"
#include "ui/camera_registry.h"
#include "ui/image_button.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"
#include "ui/sim_launcher.h"
#include "ui/video_wall_widget.h"
#include "webservice/handshake.h"
#include "webservice/http.h"
#include "webservice/login.h"

using namespace lumivex;
namespace fs = std::filesystem;
namespace names = settings_controls;

namespace {

constexpr int kBoundMs = 15000;

// Not a raw string: moc takes the "//" of a URL in one for a comment.
const char* kScenario =
    "{\"accounts\": [{\"user\": \"alice\", \"password\": \"secret77\", \"devices\": [\"cam01\"]}],"
    " \"devices\": [{\"sid\": \"cam01\", \"name\": \"Hall\", \"type\": \"c1\", \"admin\": \"alice\","
    " \"connection\": {\"status\": 3, \"transVideoLong\": -1}}],"
    " \"update\": {\"resourceUrl\": \"https://127.0.0.1/setup.bin\", \"updateStatus\": 0}}";

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

std::string ConfigValue(const std::string& path, const char* element) {
  pugi::xml_document doc;
  if (!doc.load_file(path.c_str())) return "<no file>";
  pugi::xml_node node = doc.child("config").child("config1").child(element);
  return node ? node.child_value() : "<none>";
}

template <typename T>
T* Child(QWidget& parent, const char* name) {
  return parent.findChild<T*>(QString::fromLatin1(name));
}

// The first file below folder whose name ends with suffix; empty when none.
std::string FindFile(const std::string& folder, const std::string& suffix) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file() && it->path().string().ends_with(suffix)) return it->path().string();
  return "";
}

uint32_t Le32(const std::string& b, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

void SaveShot(QWidget& widget, const char* name) {
  const QString folder = qEnvironmentVariable("LUMIVEX_TEST_SHOTS");
  if (!folder.isEmpty()) widget.grab().save(folder + "/" + name + ".png", "PNG");
}

}  // namespace

class SettingsSheetTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(InitHttpLibrary());
    QVERIFY(InstallQtTranslations());
  }
  void cleanupTestCase() { CleanupHttpLibrary(); }
  void init();
  void cleanup();

  void pagesShowTheFile();
  void tabsSwitchThePages();
  void folderButtons();
  void chooseAutomaticallyOnAOneDiskMachine();
  void saveKeepsTheSheetOpenWhenItCannot();
  void unchangedFolderDoesNotBlockSaving();
  void enterIsSwallowedAndEscapeDiscards();
  void otherPageModeVersionAndPasswordChecks();
  void signedInClientRecordsIntoTheChosenFolders();

 private:
  std::unique_ptr<CSetting> Open() {
    auto sheet = std::make_unique<CSetting>(*app, hooks);
    sheet->show();
    return sheet;
  }

  std::unique_ptr<test::FakeHome> home;
  std::unique_ptr<test::TempDir> dir;
  std::unique_ptr<AppContext> app;
  SettingsHooks hooks;
  QStringList opened;
};

void SettingsSheetTest::init() {
  home = std::make_unique<test::FakeHome>();
  dir = std::make_unique<test::TempDir>();
  fs::create_directories(dir->path() / "config");
  app = std::make_unique<AppContext>(dir->str());
  app->resFolder = LUMIVEX_RES_DIR;
  app->settings.userName = "alice";
  app->settings.productMajor = kProductMajor;
  app->settings.productMinor = kProductMinor;
  QVERIFY(CreateDefaultUserConfig(app->settings, app->service.ConfigFolder(),
                                  [](StorageKind, std::string&) { return false; }));
  opened.clear();
  hooks = SettingsHooks{};
  hooks.openFolder = [this](const QString& folder) { opened << folder; };
  hooks.autostartProgram = "/usr/bin/lumivex";
}

void SettingsSheetTest::cleanup() {
  test::TakeBoxes();
  app.reset();
  dir.reset();
  home.reset();
}

void SettingsSheetTest::pagesShowTheFile() {
  const std::string& path = app->settings.configPath;
  QVERIFY(SetConfigText(path, "config1", "ToTray", "1"));
  QVERIFY(SetConfigText(path, "config1", "AutoPlay", "1"));
  QVERIFY(SetConfigText(path, "config1", "VideoPath", "/srv/video/"));
  QVERIFY(SetAutostart(true, "/usr/bin/lumivex"));
  {
    auto sheet = Open();
    QCOMPARE(Child<QComboBox>(*sheet, names::kFileLength)->currentText(), QStringLiteral("20"));
    QVERIFY(Child<QRadioButton>(*sheet, names::kToTray)->isChecked());
    QVERIFY(Child<QCheckBox>(*sheet, names::kShowClose)->isChecked());
    QVERIFY(Child<QCheckBox>(*sheet, names::kAutoPlay)->isChecked());
    QVERIFY(!Child<QCheckBox>(*sheet, names::kAutoLogin)->isChecked());
    QVERIFY(Child<QCheckBox>(*sheet, names::kAutostart)->isChecked());
    QCOMPARE(Child<QLineEdit>(*sheet, names::kVideoPath)->text(), QStringLiteral("/srv/video/"));
    QVERIFY(!Child<QCheckBox>(*sheet, names::kVideoAuto)->isChecked());
    QVERIFY(Child<QAbstractButton>(*sheet, names::kVideoBrowse)->isEnabled());
  }

  // "25" selects nothing; saving writes no length, and recording keeps its
  // default of 20 minutes.
  QVERIFY(SetConfigText(path, "config1", "FileLength", "25"));
  QVERIFY(SetConfigText(path, "config1", "VideoPath", ""));
  auto sheet = Open();
  QCOMPARE(Child<QComboBox>(*sheet, names::kFileLength)->currentIndex(), -1);
  Child<QCheckBox>(*sheet, names::kAutostart)->click();
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kSave), Qt::LeftButton);
  QCOMPARE(sheet->result(), int(QDialog::Accepted));
  QVERIFY(sheet->isHidden());
  QCOMPARE(ConfigValue(path, "FileLength"), std::string());
  QCOMPARE(app->settings.storage.Get().FileLength, 0);
  QCOMPARE(SegmentRecorder::kDefaultFileLength, 20);
  QCOMPARE(ConfigValue(path, "ToTray"), std::string("1"));
  QCOMPARE(ConfigValue(path, "ShowClose"), std::string("1"));
  QCOMPARE(app->settings.ToTray, 1);
  QVERIFY(!AutostartEnabled());
}

void SettingsSheetTest::tabsSwitchThePages() {
  auto sheet = Open();
  auto shown = [&](std::initializer_list<int> ids) {
    QList<int> visible;
    for (int id : {kBasicTabSelected, kBasicTab, kOtherTabSelected, kOtherTab})
      if (sheet->tab(id)->isVisible()) visible << id;
    return visible == QList<int>(ids);
  };
  QVERIFY(sheet->basicPage()->isVisible() && !sheet->otherPage()->isVisible());
  QVERIFY(shown({kBasicTabSelected, kOtherTab}));
  QCOMPARE(sheet->basicPage()->geometry(), QRect(8, 47, kPageWidth, kPageHeight));
  QCOMPARE(sheet->otherPage()->geometry(), QRect(8, 47, kPageWidth, kPageHeight));
  QCOMPARE(sheet->tab(kBasicTab)->geometry(), sheet->tab(kBasicTabSelected)->geometry());
  QCOMPARE(sheet->grab().toImage().pixelColor(sheet->width() / 2 + 150, 10), QColor(64, 155, 228));
  SaveShot(*sheet, "settings-basic");

  QTest::mouseClick(sheet->tab(kOtherTab), Qt::LeftButton);
  QVERIFY(!sheet->basicPage()->isVisible() && sheet->otherPage()->isVisible());
  QVERIFY(shown({kBasicTab, kOtherTabSelected}));
  QCOMPARE(sheet->otherPage()->grab().toImage().pixelColor(kPageWidth - 4, kPageHeight - 4), QColor(253, 253, 253));
  SaveShot(*sheet, "settings-other");
  QTest::mouseClick(sheet->tab(kOtherTabSelected), Qt::LeftButton);  // does nothing
  QVERIFY(sheet->otherPage()->isVisible());
  QTest::mouseClick(sheet->tab(kBasicTab), Qt::LeftButton);
  QVERIFY(sheet->basicPage()->isVisible() && shown({kBasicTabSelected, kOtherTab}));
}

void SettingsSheetTest::folderButtons() {
  QString offered = dir->str().c_str() + QStringLiteral("/media/A");
  QString title;
  hooks.chooseFolder = [&](QWidget*, const QString& t, const QString&) {
    title = t;
    return offered;
  };
  auto sheet = Open();
  auto* path = Child<QLineEdit>(*sheet, names::kImagePath);
  QVERIFY(path->isReadOnly());
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kImageBrowse), Qt::LeftButton);
  QCOMPARE(title, Text("请选择目录"));
  QCOMPARE(path->text(), offered + "/");
  offered.clear();  // cancelled
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kImageBrowse), Qt::LeftButton);
  QCOMPARE(path->text(), dir->str().c_str() + QStringLiteral("/media/A/"));

  // "转到..." makes the missing levels, then opens the folder.
  offered = dir->str().c_str() + QStringLiteral("/media/A/B");
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kVideoBrowse), Qt::LeftButton);
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kVideoOpen), Qt::LeftButton);
  QVERIFY(fs::is_directory(dir->path() / "media/A/B"));
  QCOMPARE(opened, QStringList{offered + "/"});

  // A level that cannot be made: nothing opens, nothing is said.
  test::WriteFileBytes(dir->path() / "plain", "x");
  offered = dir->str().c_str() + QStringLiteral("/plain/C");
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kVideoBrowse), Qt::LeftButton);
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kVideoOpen), Qt::LeftButton);
  QCOMPARE(opened.size(), 1);
  QCOMPARE(test::TakeBoxes(), QStringList());
}

void SettingsSheetTest::chooseAutomaticallyOnAOneDiskMachine() {
  const std::vector<MountEntry> mounts = ParseMounts("/dev/vda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n");
  hooks.chooseStorage = [&mounts](StorageKind kind, std::string& folder) {
    DrivePicker none = [&mounts](std::string& root) { return PickStorageDriveFrom(mounts, ProbeVolume, root); };
    return DefaultStorageFolder(kind, none, folder);
  };
  auto sheet = Open();
  auto* automatic = Child<QCheckBox>(*sheet, names::kVideoAuto);
  auto* browse = Child<QAbstractButton>(*sheet, names::kVideoBrowse);
  automatic->click();
  QCOMPARE(Child<QLineEdit>(*sheet, names::kVideoPath)->text(), QString::fromStdString(home->str() + "/Videos/Lumivex/"));
  QVERIFY(!browse->isEnabled());
  automatic->click();
  QVERIFY(browse->isEnabled());
  QCOMPARE(Child<QLineEdit>(*sheet, names::kVideoPath)->text(), QString::fromStdString(home->str() + "/Videos/Lumivex/"));
  Child<QCheckBox>(*sheet, names::kImageAuto)->click();
  QCOMPARE(Child<QLineEdit>(*sheet, names::kImagePath)->text(),
           QString::fromStdString(home->str() + "/Pictures/Lumivex/"));

  // With no home folder either: the message, and the box unchecked again.
  test::ScopedEnv noHome("HOME", "relative");
  automatic->click();
  QVERIFY(!automatic->isChecked());
  QVERIFY(browse->isEnabled());
  QCOMPARE(test::TakeBoxes(), QStringList{Text("提示: 自动获取视频存储路径失败，请手动选择！")});
}

void SettingsSheetTest::saveKeepsTheSheetOpenWhenItCannot() {
  test::WriteFileBytes(dir->path() / "plain", "x");
  hooks.chooseFolder = [this](QWidget*, const QString&, const QString&) {
    return dir->str().c_str() + QStringLiteral("/plain/video");
  };
  auto sheet = Open();
  const std::string before = test::ReadFileBytes(app->settings.configPath);
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kVideoBrowse), Qt::LeftButton);
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kSave), Qt::LeftButton);
  QVERIFY(sheet->isVisible());
  QCOMPARE(test::TakeBoxes(), QStringList{Text("提示: 视频文件存储路径不可写，请重新选择")});
  QCOMPARE(test::ReadFileBytes(app->settings.configPath), before);

  // The file deleted while the sheet is open: nothing is written, nothing said.
  sheet->hooks().chooseFolder = [this](QWidget*, const QString&, const QString&) {
    return dir->str().c_str() + QStringLiteral("/video");
  };
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kVideoBrowse), Qt::LeftButton);
  Child<QCheckBox>(*sheet, names::kAutostart)->click();
  fs::remove(app->settings.configPath);
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kSave), Qt::LeftButton);
  QVERIFY(sheet->isVisible());
  QVERIFY(!fs::exists(app->settings.configPath));
  QVERIFY(!AutostartEnabled());
  QVERIFY(app->settings.storage.Get().VideoPath.empty());
  const QStringList boxes = test::TakeBoxes();
  QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("; ")));
}

// A stored folder on a disk that is away now: saving an unrelated switch
// goes through, and the folder is neither refused nor made.
void SettingsSheetTest::unchangedFolderDoesNotBlockSaving() {
  test::WriteFileBytes(dir->path() / "plain", "x");
  const std::string away = dir->str() + "/plain/video/";
  QVERIFY(SetConfigText(app->settings.configPath, "config1", "VideoPath", away));
  auto sheet = Open();
  Child<QRadioButton>(*sheet, names::kToTray)->click();
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kSave), Qt::LeftButton);
  QVERIFY(sheet->isHidden());
  const QStringList boxes = test::TakeBoxes();
  QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("; ")));
  QCOMPARE(app->settings.ToTray, 1);
  pugi::xml_document doc;
  QVERIFY(doc.load_file(app->settings.configPath.c_str()));
  const pugi::xml_node config1 = doc.child("config").child("config1");
  QCOMPARE(std::string(config1.child_value("ToTray")), std::string("1"));
  QCOMPARE(std::string(config1.child_value("VideoPath")), away);
}

void SettingsSheetTest::enterIsSwallowedAndEscapeDiscards() {
  auto sheet = Open();
  QVERIFY(QTest::qWaitForWindowExposed(sheet.get()));
  const std::string before = test::ReadFileBytes(app->settings.configPath);
  Child<QCheckBox>(*sheet, names::kAutoPlay)->click();
  auto* save = Child<QAbstractButton>(*sheet, names::kSave);
  save->setFocus();
  QTest::keyClick(save, Qt::Key_Return);
  QTest::keyClick(Child<QComboBox>(*sheet, names::kFileLength), Qt::Key_Enter);
  QVERIFY(sheet->isVisible());
  QTest::keyClick(sheet.get(), Qt::Key_Escape);
  QVERIFY(sheet->isHidden());
  QCOMPARE(sheet->result(), int(QDialog::Rejected));
  QCOMPARE(test::ReadFileBytes(app->settings.configPath), before);
  QCOMPARE(app->settings.AutoPlay, 0);
}

void SettingsSheetTest::otherPageModeVersionAndPasswordChecks() {
  auto sheet = Open();
  QTest::mouseClick(sheet->tab(kOtherTab), Qt::LeftButton);
  QCOMPARE(Child<QLabel>(*sheet, names::kVersion)->text(),
           QStringLiteral("当前版本 %1.%2").arg(kProductMajor).arg(kProductMinor));
  QVERIFY2(Child<QRadioButton>(*sheet, names::kUpdateAsk)->isChecked(), "a new file holds 1");

  // The form's first check, then the rule of this page (16 characters at most).
  auto* oldPassword = Child<QLineEdit>(*sheet, names::kOldPassword);
  auto* change = Child<QAbstractButton>(*sheet, names::kChangePassword);
  QTest::mouseClick(change, Qt::LeftButton);
  QCOMPARE(Child<QLabel>(*sheet, names::kOldHint)->text(), Text("请输入旧密码"));
  QVERIFY(oldPassword->hasFocus() || !sheet->isActiveWindow());
  QTest::keyClicks(oldPassword, QString(17, 'a'));
  QCOMPARE(Child<QLabel>(*sheet, names::kOldHint)->text(), QString());  // typing clears it
  Child<QLineEdit>(*sheet, names::kNewPassword)->setText("secret88");
  Child<QLineEdit>(*sheet, names::kConfirmPassword)->setText("secret88");
  QTest::mouseClick(change, Qt::LeftButton);
  QCOMPARE(Child<QLabel>(*sheet, names::kOldHint)->text(), Text("密码格式错误"));
  QCOMPARE(oldPassword->text(), QString());
  QVERIFY(!sheet->otherPage()->changingPassword());

  Child<QRadioButton>(*sheet, names::kUpdateOff)->click();
  QTest::mouseClick(Child<QAbstractButton>(*sheet, names::kSave), Qt::LeftButton);
  QCOMPARE(sheet->result(), int(QDialog::Accepted));
  QCOMPARE(ConfigValue(app->settings.configPath, "Update"), std::string("2"));
  QCOMPARE(app->settings.Update, 2);
}

// A client signed in against the sim: the sheet from the main window's
// menu, folders chosen there, then a camera recorded and snapshot from the
// toolbar; last the update check, declined once and then accepted.
void SettingsSheetTest::signedInClientRecordsIntoTheChosenFolders() {
  if (test::SimProgram().empty()) QSKIP("lumivex-sim is not built");
  test::UiSim sim(kScenario);
  QVERIFY2(sim.ok(), sim.Log().c_str());
  QVERIFY(test::SignInToSim(sim, *app, "alice", "secret77"));
  QVERIFY(LoadUserSettings(app->settings, app->wall));
  std::string updater;
  app->service.startUpdater = [&updater](const std::string& url) {
    updater = url;
    return true;
  };

  CLumivexDlg window(*app);
  window.SetMenuRunner([](QMenu& menu, const QPoint&) {
    for (QAction* action : menu.actions())
      if (action->data().toInt() == kSettingsEntry) return action;
    return static_cast<QAction*>(nullptr);
  });
  const std::string video = dir->str() + "/chosen video", pictures = dir->str() + "/chosen pictures";
  std::function<void(CSetting&)> drive;
  window.SetDialogRunner([&drive](QDialog& dialog) {
    auto* sheet = qobject_cast<CSetting*>(&dialog);
    if (!sheet) return dialog.exec();
    sheet->show();
    drive(*sheet);
    return sheet->result();
  });
  QSignalSpy exited(&window, &CLumivexDlg::exited);
  window.Open();
  QVERIFY(QTest::qWaitFor([&] { return window.startupDone(); }, kBoundMs));

  drive = [&](CSetting& sheet) {
    sheet.hooks().chooseFolder = [&](QWidget*, const QString&, const QString&) {
      return QString::fromStdString(video);
    };
    QTest::mouseClick(Child<QAbstractButton>(sheet, names::kVideoBrowse), Qt::LeftButton);
    sheet.hooks().chooseFolder = [&](QWidget*, const QString&, const QString&) {
      return QString::fromStdString(pictures);
    };
    QTest::mouseClick(Child<QAbstractButton>(sheet, names::kImageBrowse), Qt::LeftButton);
    QTest::mouseClick(Child<QAbstractButton>(sheet, names::kSave), Qt::LeftButton);
  };
  window.button(kMenuButton)->click();
  QCOMPARE(app->settings.storage.Get().VideoPath, video + "/");
  QCOMPARE(ConfigValue(app->settings.configPath, "ImagePath"), pictures + "/");

  // The toolbar's commands now find their folders.
  std::shared_ptr<CCamera> camera = window.cameras().Camera(0);
  QVERIFY(camera);
  window.StartLiveView(0);
  QVERIFY(QTest::qWaitFor([&] { return camera->m_VideoStatus == STATUS_VIDEO_PLAYING; }, kBoundMs));
  CSubCanvas* cell = window.canvas()->window(camera->place());
  QVERIFY(cell);
  QTest::mouseClick(cell, Qt::LeftButton);
  QCOMPARE(window.canvas()->selectedCamera(), camera.get());
  window.button(kRecordOnButton)->click();
  window.button(kSnapshotButton)->click();
  std::string bmp, mp4;
  QVERIFY(QTest::qWaitFor([&] { return !(bmp = FindFile(pictures, ".bmp")).empty(); }, kBoundMs));
  uint64_t decoded = camera->counters.decoded;
  // Past a key frame (the sim sends one every 2 s) whatever frame it began on.
  QVERIFY(QTest::qWaitFor([&] { return camera->counters.decoded >= decoded + 75; }, kBoundMs));
  window.button(kRecordOffButton)->click();
  decoded = camera->counters.decoded;  // the next tick closes the segment
  QVERIFY(QTest::qWaitFor([&] { return camera->counters.decoded >= decoded + 2; }, kBoundMs));
  QCOMPARE(camera->recordings().size(), std::size_t(1));
  mp4 = FindFile(video, ".mp4");
  QCOMPARE(mp4, camera->recordings().front());
  QVERIFY(mp4.find(video + "/alice/") == 0);
  QVERIFY(bmp.find(pictures + "/alice/") == 0);

  test::Mp4Facts facts;
  std::string why;
  QVERIFY2(test::ReadMp4(mp4, facts, why), why.c_str());
  QVERIFY(facts.durations.size() >= 75);
  QVERIFY(facts.decoded >= 30);
  QCOMPARE(facts.timeBase.den, 90000);
  const std::string bytes = test::ReadFileBytes(bmp);
  QVERIFY(bytes.size() > 54 && bytes.compare(0, 2, "BM") == 0);
  const uint32_t width = Le32(bytes, 18), height = ~Le32(bytes, 22) + 1;  // stored negative: top down
  QCOMPARE(Le32(bytes, 10), 54u);
  QCOMPARE(Le32(bytes, 14), 40u);
  QCOMPARE(uint32_t(uint8_t(bytes[28])), 24u);
  QVERIFY(width >= 16 && height >= 16);
  QCOMPARE(uint64_t(bytes.size()), uint64_t(54 + height * ((width * 3 + 3) / 4 * 4)));
  QVERIFY(test::TakeBoxes().contains(Text("提示: 视频截图保存成功")));

  // The update check: the offer declined leaves the client running...
  test::SeenBox asked;
  drive = [&](CSetting& sheet) {
    QTest::mouseClick(sheet.tab(kOtherTab), Qt::LeftButton);
    test::AnswerNextBox(QMessageBox::No, &asked);
    QTest::mouseClick(Child<QAbstractButton>(sheet, names::kCheckUpdate), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !sheet.otherPage()->checkingUpdate() && !asked.text.isEmpty(); }, kBoundMs));
    QVERIFY(sheet.isVisible());
    QCOMPARE(asked.text, Text("检测到系统有更新，是否下载更新？"));
    QCOMPARE(QSet<QString>(asked.buttons.begin(), asked.buttons.end()), (QSet<QString>{Text("是"), Text("否")}));
    QVERIFY(updater.empty());
    QCOMPARE(app->settings.updateUrl.str(), std::string("https://127.0.0.1/setup.bin"));
    // ...and accepted it starts the updater and ends the client.
    asked = {};
    test::AnswerNextBox(QMessageBox::Yes, &asked);
    QTest::mouseClick(Child<QAbstractButton>(sheet, names::kCheckUpdate), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return sheet.isHidden(); }, kBoundMs));
  };
  window.button(kMenuButton)->click();
  QCOMPARE(updater, std::string("https://127.0.0.1/setup.bin"));
  QVERIFY(QTest::qWaitFor([&] { return exited.count() == 1; }, kBoundMs));
}

QTEST_MAIN(SettingsSheetTest)
#include "test_settings_sheet.moc"
