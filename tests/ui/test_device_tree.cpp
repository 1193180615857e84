// The device tree on the offscreen platform, as a user meets it: rows and
// labels, clicks and double clicks, the context menus, group commands and
// camera moves (by real mouse drags) read back from the configuration file,
// thumbnails and re-listings from a local service.

#include <QBuffer>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QtTest>

#include <pugixml.hpp>
#include <zlib.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/user_config.h"
#include "core/global.h"
#include "qtcommon/qt_translations.h"
#include "support/http_test_server.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "ui/device_tree.h"
#include "ui/device_tree_actions.h"
#include "ui/device_tree_workers.h"
#include "ui/geometry/pictures.h"
#include "ui/message_boxes.h"
#include "webservice/camera_list.h"
#include "webservice/crypto.h"
#include "webservice/http.h"
#include "webservice/service_context.h"
#include "webservice/service_double.h"

using namespace lumivex;
using namespace lumivex::ui;
using Strings = std::vector<std::string>;

namespace {

constexpr int kBoundMs = 10000;
// Rows by hand: a header is 22 pixels, a camera row 82.
constexpr int kHeader = 22;
constexpr int kRow = 82;

struct Device {
  Device(std::string id, int online = 1, std::string picture = {}, int locked = 0, int admin = 1)
      : sid(std::move(id)), status(online), img(std::move(picture)), lock(locked), init(admin) {}
  std::string sid;
  int status;
  std::string img;
  int lock;
  int init;
};

std::string DeviceJson(const Device& d) {
  return "{\"sid\":\"" + d.sid + "\",\"name\":\"Camera " + d.sid +
         "\",\"showAlarm\":\"1\",\"alarmStatus\":\"0\",\"alarmStartTime\":\"0\","
         "\"alarmEndTime\":\"0\",\"ledStatus\":\"1\",\"soundLeadStatus\":\"0\",\"lock\":\"" +
         std::to_string(d.lock) + "\",\"lockPsd\":\"\",\"type\":\"y1\",\"version\":\"1.0\","
         "\"img\":\"" + d.img + "\",\"init\":" + std::to_string(d.init) +
         ",\"status\":" + std::to_string(d.status) +
         ",\"showLED\":\"1\",\"showSound\":\"1\"}";
}

std::string PngBytes(QColor colour) {
  QImage image(120, 90, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

class RecordingActions : public TreeActions {
 public:
  void StartLiveView(int device) override { calls.push_back("start " + std::to_string(device)); }
  void StopLiveView(int device) override { calls.push_back("stop " + std::to_string(device)); }
  void SwitchRecordingOn(int device) override {
    calls.push_back("record " + std::to_string(device));
  }
  bool ConfirmPassword() override {
    calls.push_back("password");
    return confirm;
  }
  bool AcceptUnlockPattern(int device) override {
    calls.push_back("pattern " + std::to_string(device));
    return false;
  }
  void OpenPlayback(int device) override { calls.push_back("playback " + std::to_string(device)); }
  void OpenAlarm(int device) override { calls.push_back("alarm " + std::to_string(device)); }
  void OpenRename(int device) override { calls.push_back("rename " + std::to_string(device)); }
  void OpenBoundUsers(int device) override { calls.push_back("bound users " + std::to_string(device)); }
  bool confirm = true;
  Strings calls;
};

// The texts of a menu; a sub-menu's entries follow as "sub>entry".
Strings MenuTexts(const QMenu& menu) {
  Strings texts;
  for (QAction* action : menu.actions()) {
    texts.push_back(action->text().toStdString());
    if (QMenu* sub = action->menu())
      for (QAction* entry : sub->actions())
        texts.push_back(action->text().toStdString() + ">" + entry->text().toStdString());
  }
  return texts;
}

QAction* FindEntry(const QMenu& menu, const std::string& text) {
  for (QAction* action : menu.actions()) {
    if (action->text().toStdString() == text) return action;
    if (QMenu* sub = action->menu())
      if (QAction* found = FindEntry(*sub, text)) return found;
  }
  return nullptr;
}

}  // namespace

class DeviceTreeTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void onlineCamerasFirstWithTheirCount();
  void pictureForALook();
  void clicksSelectAndToggle();
  void switchingTheLed();
  void doubleClicks();
  void contextMenus();
  void addRenameAndDeleteGroups();
  void thirtyTwoGroupsAtMost();
  void dragACameraToAnotherGroup();
  void dropOutsideEveryRow();
  void moveThroughTheMenu();
  void expandedStatesKeptWhenTheTreeGoes();
  void camerasOfAGroupThatIsGone();
  void thumbnails();
  void thumbnailPictureBound();
  void periodicRelisting();
  void refreshListCommand();
  void deleteDevice();
  void deviceDialogsAreTheWindows();
  void wheelScrollsByLines();

 private:
  void Serve(std::vector<Device> devices);
  void Build(std::vector<Device> devices, std::chrono::milliseconds period = std::chrono::seconds(300));
  test::HttpReply Answer(const std::string& target);
  Strings FileGroups();   // "GID:EXPAND:name"
  Strings FileCameras();  // "Id>GroupID"
  QPoint InWindow(QPoint p) { return tree->viewport()->mapTo(tree->window(), p); }
  QWindow* Window() { return tree->window()->windowHandle(); }
  void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mousePress(Window(), b, {}, InWindow(p));
  }
  void Release(QPoint p) { QTest::mouseRelease(Window(), Qt::LeftButton, {}, InWindow(p)); }
  void Click(QPoint p) { QTest::mouseClick(Window(), Qt::LeftButton, {}, InWindow(p)); }
  void Move(QPoint p) { QTest::mouseMove(Window(), InWindow(p)); }
  // Types text as an input method would, character by character.
  static void Type(QWidget* widget, const QString& text) {
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), {});
  }
  // Right-clicks at p and chooses the entry with this text (none: nothing).
  Strings RightClick(QPoint p, const std::string& choose = {});
  // The sid of the camera row whose middle is at y.
  std::string SidAt(int y);
  std::string HeaderLabel(int slot);
  int Index(const std::string& sid) { return cameras->IndexOf(sid); }

  static test::ServiceDouble* service_;
  std::string goodPng_;

  std::unique_ptr<test::TempDir> dir;
  std::unique_ptr<Global> g;
  std::unique_ptr<UserSettings> settings;
  std::unique_ptr<test::RecordingNotifier> notifier;
  std::unique_ptr<ServiceContext> ctx;
  std::unique_ptr<CameraList> cameras;
  std::unique_ptr<RecordingActions> actions;
  std::unique_ptr<test::HttpTestServer> server;
  std::unique_ptr<CTreeCtrl1> tree;
  std::mutex mutex_;
  std::vector<Device> listed_;  // guarded by mutex_
  Strings requests_;            // guarded by mutex_
};

test::ServiceDouble* DeviceTreeTest::service_ = nullptr;

void DeviceTreeTest::initTestCase() {
  QVERIFY(InitHttpLibrary());
  QVERIFY(InstallQtTranslations());
  service_ = new test::ServiceDouble;
  goodPng_ = PngBytes(QColor(255, 0, 0));
}

void DeviceTreeTest::init() {
  {
    std::lock_guard lock(mutex_);
    listed_.clear();
    requests_.clear();
  }
  dir = std::make_unique<test::TempDir>();
  std::filesystem::create_directories(dir->path() / "config");
  g = std::make_unique<Global>();
  settings = std::make_unique<UserSettings>();
  notifier = std::make_unique<test::RecordingNotifier>();
  ctx = std::make_unique<ServiceContext>(*g, *settings, *notifier, dir->str());
  cameras = std::make_unique<CameraList>();
  actions = std::make_unique<RecordingActions>();
  server = std::make_unique<test::HttpTestServer>(
      [this](const std::string& target) { return Answer(target); });

  g->m_Scheme = "http";
  g->m_Host = "127.0.0.1";
  g->port = server->port();
  g->m_KeyValue = service_->keyValue;
  g->m_ServerExp = service_->expHex;
  g->m_ServerMod = service_->modHex;
  g->m_Mac = "00:1a:2b:3c:4d:5e";
  g->m_Token = "tok-7f3e";
  g->m_TimeStamp = "1700000000";
  ctx->keyPair = ClientKeyPair::Generate();
  QVERIFY(ctx->keyPair);
  g->m_ClientExp = ctx->keyPair->ExponentHex();
  g->m_ClientMod = ctx->keyPair->ModulusHex();
  settings->userName = "alice";
  QVERIFY(CreateDefaultUserConfig(*settings, ctx->ConfigFolder(),
                                  [](StorageKind, std::string&) { return false; }));
}

void DeviceTreeTest::cleanup() {
  tree.reset();
  server.reset();
  actions.reset();
  cameras.reset();
  ctx.reset();
  notifier.reset();
  settings.reset();
  g.reset();
  dir.reset();
}

test::HttpReply DeviceTreeTest::Answer(const std::string& target) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(target.substr(0, target.find('?')));
  }
  if (target == "/thumb/good.png") return {200, "image/png", goodPng_};
  if (target == "/thumb/fake.png") return {200, "image/png", "GIF89a not a png at all"};
  test::ServiceDouble::Request request;
  if (!service_->Open(target, request)) return {404, "text/html", "<html>no such page</html>"};
  std::string sealed;
  if (request.operation == "devList") {
    std::string page;
    test::FieldOf(request.fields, "page", page);
    std::string result;
    std::lock_guard lock(mutex_);
    std::size_t first = (std::stoul(page) - 1) * 10;
    for (std::size_t i = first; i < listed_.size() && i < first + 10; ++i)
      result += (result.empty() ? "" : ",") + DeviceJson(listed_[i]);
    std::string inner = "{\"result\":[" + result + "]}";
    sealed = "{\"status\":\"OK\"" +
             test::ServiceDouble::InnerMembers(inner, g->m_ClientExp.str(), g->m_ClientMod.str()) +
             "}";
  } else {
    if (request.operation == "deleteDev") {
      std::string sid;
      test::FieldOf(request.fields, "sid", sid);
      std::lock_guard lock(mutex_);
      std::erase_if(listed_, [&](const Device& d) { return d.sid == sid; });
    }
    sealed = "{\"status\":\"OK\"}";  // deleteDev, setLed, setVoice
  }
  return {200, "text/plain", service_->SealShared(sealed)};
}

void DeviceTreeTest::Serve(std::vector<Device> devices) {
  std::lock_guard lock(mutex_);
  listed_ = std::move(devices);
}

void DeviceTreeTest::Build(std::vector<Device> devices, std::chrono::milliseconds period) {
  Serve(std::move(devices));
  QVERIFY(cameras->Update(*ctx));
  tree = std::make_unique<CTreeCtrl1>(
      DeviceTreeContext{*ctx, *cameras, *actions, LUMIVEX_RES_DIR, period});
  tree->resize(260, 600);
  tree->show();
  QVERIFY(QTest::qWaitForWindowExposed(tree.get()));
  QVERIFY(tree->Update());
}

Strings DeviceTreeTest::FileGroups() {
  pugi::xml_document doc;
  if (!doc.load_file(settings->configPath.c_str())) return {"unreadable"};
  Strings out;
  for (pugi::xml_node node : doc.child("config").child("config4").child("GroupList").children())
    out.push_back(std::string(node.attribute("GID").value()) + ":" +
                  node.attribute("EXPAND").value() + ":" + node.child_value());
  return out;
}

Strings DeviceTreeTest::FileCameras() {
  pugi::xml_document doc;
  if (!doc.load_file(settings->configPath.c_str())) return {"unreadable"};
  Strings out;
  for (pugi::xml_node node : doc.child("config").child("config4").child("CameraList").children())
    out.push_back(std::string(node.attribute("Id").value()) + ">" +
                  node.attribute("GroupID").value());
  return out;
}

Strings DeviceTreeTest::RightClick(QPoint p, const std::string& choose) {
  Strings texts;
  bool shown = false;
  tree->SetMenuRunner([&](QMenu& menu, const QPoint&) {
    shown = true;
    texts = MenuTexts(menu);
    return choose.empty() ? nullptr : FindEntry(menu, choose);
  });
  Press(p, Qt::RightButton);
  QTest::mouseRelease(Window(), Qt::RightButton, {}, InWindow(p));
  if (!shown) return {"no menu"};
  return texts;
}

std::string DeviceTreeTest::SidAt(int y) {
  Click(QPoint(150, y));
  TreeItem item = tree->selectedItem();
  if (!item.isCamera()) return "not a camera";
  if (g->selectedDevice != item.id) return "selectedDevice not set";
  return cameras->Get(item.id)->sid.str();
}

std::string DeviceTreeTest::HeaderLabel(int slot) {
  std::vector<CameraInfo> devices = cameras->Snapshot();
  return DeviceTreeModel::HeaderLabel(tree->model().groups().at(slot), [&](int d) {
    return devices[d].online();
  });
}

void DeviceTreeTest::onlineCamerasFirstWithTheirCount() {
  Build({{"c1", 0}, {"c2", 1}, {"c3", 0}, {"c4", 1}, {"c5", 1}});
  QCOMPARE(HeaderLabel(0), std::string("我的Orbelle  [3/5]"));
  // Online ones first, each part in list order.
  Strings order;
  for (int k = 0; k < 5; ++k) order.push_back(SidAt(kHeader + k * kRow + kRow / 2));
  QCOMPARE(order, (Strings{"c2", "c4", "c5", "c1", "c3"}));
  QCOMPARE(FileCameras(), (Strings{"c1>0", "c2>0", "c3>0", "c4>0", "c5>0"}));
  QVERIFY(actions->calls.empty());
}

void DeviceTreeTest::pictureForALook() {
  if (!qEnvironmentVariableIsSet("LUMIVEX_TREE_GRAB")) QSKIP("LUMIVEX_TREE_GRAB names no file");
  Build({{"c1", 1, "/thumb/good.png"}, {"c2", 0}, {"c3", 1, "", 1, 0}, {"c4", 1}});
  tree->RunCommand(kAddGroup);
  Type(tree->groupNameEditor(), "Garage 车库");
  QTest::keyClick(tree->groupNameEditor(), Qt::Key_Return);
  RightClick(QPoint(100, kHeader + kRow * 2 + 40), "Garage 车库");  // c4 moves
  Click(QPoint(10, kHeader + 3 * kRow + 5));  // and its group opens
  Click(QPoint(150, kHeader + 40));           // c1 selected
  tree->HighlightDevice(Index("c3"));
  QTRY_VERIFY_WITH_TIMEOUT(tree->hasPicture(Index("c1")), kBoundMs);
  QVERIFY(tree->grab().save(qEnvironmentVariable("LUMIVEX_TREE_GRAB")));
}

void DeviceTreeTest::clicksSelectAndToggle() {
  Build({{"c1", 1}, {"c2", 0}});
  QVERIFY2(tree->model().groups()[0].expanded, "the default group is written expanded");
  QCOMPARE(SidAt(kHeader + kRow + 10), std::string("c2"));
  // A content of 186 pixels fits in 600.
  QCOMPARE(tree->verticalScrollBar()->maximum(), 0);

  // The bottom edge of a row still hits it.
  Click(QPoint(5, kHeader));
  QVERIFY(tree->selectedItem() == TreeItem::Group(0));
  QVERIFY(!tree->model().groups()[0].expanded);
  QCOMPARE(tree->model().ContentHeight(), kHeader);
  Click(QPoint(5, 300));  // below every row: nothing changes
  QVERIFY(tree->selectedItem() == TreeItem::Group(0));
  Click(QPoint(5, 5));
  QVERIFY(tree->model().groups()[0].expanded);

  // Hover is looked at on every ninth move only: going to and fro between
  // two rows 18 times changes the highlight once or twice, not 18 times.
  int changes = 0;
  TreeItem last = tree->hotItem();
  for (int k = 0; k < 18; ++k) {
    Move(QPoint(100, k % 2 ? kHeader + 30 : kHeader + kRow + 30));
    if (tree->hotItem() == last) continue;
    ++changes;
    last = tree->hotItem();
  }
  QVERIFY2(changes >= 1 && changes <= 2, std::to_string(changes).c_str());
  QVERIFY(last.isCamera());
}

void DeviceTreeTest::switchingTheLed() {
  Build({{"a", 1}});
  RightClick(QPoint(100, kHeader + 40), "关闭LED灯");
  QTRY_COMPARE_WITH_TIMEOUT(cameras->Get(Index("a"))->ledStatus, 0, kBoundMs);
  Strings menu = RightClick(QPoint(100, kHeader + 40));
  QVERIFY(std::find(menu.begin(), menu.end(), "开启LED灯") != menu.end());
}

void DeviceTreeTest::doubleClicks() {
  Build({{"on", 1}, {"off", 0}, {"locked", 1, "", 1, 0}, {"mine", 1, "", 1, 1}});
  // Rows: header, on, locked, mine, off.
  QTest::mouseDClick(Window(), Qt::LeftButton, {}, InWindow(QPoint(50, 10)));
  QVERIFY2(tree->model().groups()[0].expanded, "two toggles");

  QTest::mouseDClick(Window(), Qt::LeftButton, {}, InWindow(QPoint(150, kHeader + 4 * kRow - 30)));
  QCOMPARE(notifier->tips(), Strings{"设备不在线"});
  QVERIFY(tree->selectedItem() == TreeItem::Camera(Index("off")));

  QTest::mouseDClick(Window(), Qt::LeftButton, {}, InWindow(QPoint(150, kHeader + 40)));
  QCOMPARE(actions->calls, Strings{"start " + std::to_string(Index("on"))});

  QTest::mouseDClick(Window(), Qt::LeftButton, {}, InWindow(QPoint(150, kHeader + kRow + 40)));
  QCOMPARE(notifier->messages(),
           Strings{"提示|此摄像头被管理员锁定，需要管理员解锁才能继续观看！"});

  // The administrator of a locked camera first meets the pattern dialog;
  // without the pattern there is no live view.
  QTest::mouseDClick(Window(), Qt::LeftButton, {}, InWindow(QPoint(150, kHeader + 2 * kRow + 40)));
  QCOMPARE(actions->calls.size(), std::size_t{2});
  QCOMPARE(actions->calls.back().rfind("pattern ", 0), 0u);
}

void DeviceTreeTest::contextMenus() {
  Build({{"on", 1, "", 0, 1}, {"off", 0, "", 0, 0}});
  QCOMPARE(RightClick(QPoint(100, 400)), (Strings{"添加分组", "刷新列表"}));
  // The default group stays.
  QCOMPARE(RightClick(QPoint(100, 10)), Strings{"添加分组"});
  QCOMPARE(RightClick(QPoint(100, kHeader + 40)),
           (Strings{"刷新列表", "播放视频", "删除设备", "视频回放", "报警设置", "关闭LED灯",
                    "开启语音播报", "修改设备名称", "管理绑定用户"}));
  QVERIFY(tree->selectedItem() == TreeItem::Camera(Index("on")));
  QCOMPARE(g->selectedDevice.load(), Index("on"));
  QCOMPARE(RightClick(QPoint(100, kHeader + kRow + 40)),
           (Strings{"刷新列表", "删除设备", "关闭LED灯", "开启语音播报", "修改设备名称"}));

  tree->RunCommand(kAddGroup);
  QTest::keyClick(tree->groupNameEditor(), Qt::Key_Return);
  QCOMPARE(RightClick(QPoint(100, kHeader + 40)).back(), std::string("移动到分组...>我的分组"));
  QCOMPARE(RightClick(QPoint(100, kHeader + 2 * kRow + 10)),
           (Strings{"添加分组", "删除分组", "修改分组名称"}));

  // Without a configuration file there is no camera menu once groups exist.
  std::filesystem::remove(settings->configPath);
  QCOMPARE(RightClick(QPoint(100, kHeader + 40)), Strings{"no menu"});
}

void DeviceTreeTest::addRenameAndDeleteGroups() {
  Build({{"a", 1}, {"b", 0}});
  RightClick(QPoint(100, 400), "添加分组");
  QLineEdit* editor = tree->groupNameEditor();
  QVERIFY(editor);
  QCOMPARE(editor->selectedText(), QString("我的分组"));
  QCOMPARE(editor->geometry(), QRect(22, kHeader + 2 * kRow, 238, 22));
  QVERIFY(tree->selectedItem() == TreeItem::Group(1));
  QCOMPARE(FileGroups(), (Strings{"0:1:我的Orbelle", "1:0:我的分组"}));

  Type(editor, "Garage 车库");
  QTest::keyClick(editor, Qt::Key_Return);
  QVERIFY(!tree->groupNameEditor());
  QCOMPARE(FileGroups(), (Strings{"0:1:我的Orbelle", "1:0:Garage 车库"}));
  QCOMPARE(HeaderLabel(1), std::string("Garage 车库  [0/0]"));

  // Escape leaves the name; a click in the tree commits.
  RightClick(QPoint(100, kHeader + 2 * kRow + 10), "修改分组名称");
  QCOMPARE(tree->groupNameEditor()->selectedText(), QString("Garage 车库"));
  Type(tree->groupNameEditor(), "Porch");
  QTest::keyClick(tree->groupNameEditor(), Qt::Key_Escape);
  QCOMPARE(FileGroups()[1], std::string("1:0:Garage 车库"));
  RightClick(QPoint(100, kHeader + 2 * kRow + 10), "修改分组名称");
  Type(tree->groupNameEditor(), "Porch");
  Click(QPoint(100, 500));
  QCOMPARE(FileGroups()[1], std::string("1:0:Porch"));

  // Move a camera there, then delete the group: it comes back at the end.
  RightClick(QPoint(100, kHeader + 40), "Porch");
  QCOMPARE(FileCameras(), (Strings{"a>1", "b>0"}));
  // The question offers OK and Cancel, in the interface's language, and
  // Enter gives the safe answer.
  test::SeenBox asked;
  test::AnswerNextBox(QMessageBox::Cancel, &asked);
  RightClick(QPoint(100, kHeader + kRow + 10), "删除分组");
  QCOMPARE(asked.title + "|" + asked.text, QString("提示|确定要删除分组[Porch]？"));
  QCOMPARE(QSet<QString>(asked.buttons.begin(), asked.buttons.end()), (QSet<QString>{"确定", "取消"}));
  QCOMPARE(asked.defaultButton, QString("取消"));
  QCOMPARE(FileGroups().size(), std::size_t{2});
  test::AnswerNextBox(QMessageBox::Ok);
  RightClick(QPoint(100, kHeader + kRow + 10), "删除分组");
  QCOMPARE(FileGroups(), Strings{"0:1:我的Orbelle"});
  QCOMPARE(FileCameras(), (Strings{"a>0", "b>0"}));
  QCOMPARE(tree->model().groups().size(), std::size_t{1});
  QCOMPARE(tree->model().groups()[0].cameras, (std::vector<int>{Index("b"), Index("a")}));
  QVERIFY(!tree->selectedItem());
}

void DeviceTreeTest::thirtyTwoGroupsAtMost() {
  Build({{"a", 1}});
  for (int i = 1; i < 32; ++i) {
    tree->RunCommand(kAddGroup);
    QVERIFY(tree->groupNameEditor());
  }
  QTest::keyClick(tree->groupNameEditor(), Qt::Key_Return);
  QCOMPARE(tree->model().groups().size(), std::size_t{32});
  QCOMPARE(FileGroups().size(), std::size_t{32});
  QCOMPARE(FileGroups().back(), std::string("31:0:我的分组"));
  QVERIFY(notifier->messages().empty());
  // The newest header is scrolled into view under the editor.
  QCOMPARE(tree->verticalScrollBar()->value(), tree->verticalScrollBar()->maximum());
  QVERIFY(tree->verticalScrollBar()->maximum() > 0);

  tree->RunCommand(kAddGroup);
  QCOMPARE(notifier->messages(), Strings{"提示|分组个数已经达到上限."});
  QCOMPARE(FileGroups().size(), std::size_t{32});
  QVERIFY(!tree->groupNameEditor());
}

void DeviceTreeTest::dragACameraToAnotherGroup() {
  Build({{"a", 1}, {"b", 1}, {"c", 0}});
  tree->RunCommand(kAddGroup);
  QTest::keyClick(tree->groupNameEditor(), Qt::Key_Return);
  // Rows: header 0, a, b, c, header 1 at 268.
  QPoint start(150, kHeader + kRow + 40);  // b
  Press(start);
  for (int k = 1; k <= 5; ++k) Move(start + QPoint(0, k));
  QVERIFY2(tree->model().groups()[0].expanded, "no drag before the sixth move");
  Move(start + QPoint(0, 6));
  QVERIFY2(!tree->model().groups()[0].expanded, "every group collapses as the drag begins");
  // Collapsed: header 0 at 0..22, header 1 at 22..44.
  Move(QPoint(120, 30));
  QVERIFY(tree->hotItem() == TreeItem::Group(1));
  Release(QPoint(120, 30));

  QCOMPARE(FileCameras(), (Strings{"a>0", "b>1", "c>0"}));
  QCOMPARE(tree->model().groups()[1].cameras, std::vector<int>{Index("b")});
  QCOMPARE(tree->model().groups()[0].cameras, (std::vector<int>{Index("a"), Index("c")}));
  QVERIFY2(tree->model().groups()[0].expanded, "the source group opens again");
  QVERIFY(!tree->model().groups()[1].expanded);
  QCOMPARE(HeaderLabel(1), std::string("我的分组  [1/1]"));
}

void DeviceTreeTest::dropOutsideEveryRow() {
  Build({{"a", 1}, {"b", 1}});
  QPoint start(150, kHeader + 40);
  Press(start);
  for (int k = 1; k <= 6; ++k) Move(start + QPoint(k, 0));
  Move(QPoint(150, 400));
  QVERIFY(!tree->hotItem());
  Release(QPoint(150, 400));
  QCOMPARE(FileCameras(), (Strings{"a>0", "b>0"}));
  QCOMPARE(tree->model().groups()[0].cameras, (std::vector<int>{Index("a"), Index("b")}));
  QVERIFY2(!tree->model().groups()[0].expanded, "groups stay collapsed");
}

void DeviceTreeTest::moveThroughTheMenu() {
  Build({{"a", 1}, {"b", 1}});
  for (int i = 0; i < 2; ++i) {
    tree->RunCommand(kAddGroup);
    Type(tree->groupNameEditor(), i == 0 ? "First" : "Second");
    QTest::keyClick(tree->groupNameEditor(), Qt::Key_Return);
  }
  Strings menu = RightClick(QPoint(100, kHeader + 40), "Second");
  Strings moves(menu.end() - 2, menu.end());
  // Every group but the camera's own.
  QCOMPARE(moves, (Strings{"移动到分组...>First", "移动到分组...>Second"}));
  QCOMPARE(FileCameras(), (Strings{"a>2", "b>0"}));
  QCOMPARE(tree->model().groups()[2].cameras, std::vector<int>{Index("a")});
}

void DeviceTreeTest::expandedStatesKeptWhenTheTreeGoes() {
  Build({{"a", 1}});
  tree->RunCommand(kAddGroup);
  QTest::keyClick(tree->groupNameEditor(), Qt::Key_Return);
  Click(QPoint(10, 5));                 // collapse the default group
  Click(QPoint(10, kHeader + 5));       // expand the new one
  // Not yet written.
  QCOMPARE(FileGroups(), (Strings{"0:1:我的Orbelle", "1:0:我的分组"}));
  tree.reset();
  QCOMPARE(FileGroups(), (Strings{"0:0:我的Orbelle", "1:1:我的分组"}));
}

void DeviceTreeTest::camerasOfAGroupThatIsGone() {
  QVERIFY(EditUserConfig(settings->configPath, [](MarkupDocument& doc) {
    if (!IntoConfigElement(doc, "config4", "CameraList")) return false;
    doc.AddChild("Camera");
    doc.IntoChild();
    doc.SetAttrib("GroupID", "7");
    doc.SetAttrib("Id", "lost");
    doc.SetAttrib("VideoStore", "1");
    return true;
  }));
  Build({{"lost", 1}});
  QCOMPARE(tree->model().groups()[0].cameras, std::vector<int>{Index("lost")});
  QCOMPARE(FileCameras(), Strings{"lost>0"});
  QCOMPARE(actions->calls, Strings{"record " + std::to_string(Index("lost"))});
}

void DeviceTreeTest::thumbnails() {
  Build({{"good", 1, "/thumb/good.png"}, {"missing", 1, "/thumb/missing.png"},
         {"fake", 1, "/thumb/fake.png"}});
  QTRY_VERIFY_WITH_TIMEOUT(tree->hasPicture(Index("good")), kBoundMs);
  auto requested = [this](const std::string& path) {
    std::lock_guard lock(mutex_);
    return std::find(requests_.begin(), requests_.end(), path) != requests_.end();
  };
  auto listings = [this] {
    std::lock_guard lock(mutex_);
    return std::count(requests_.begin(), requests_.end(), "/velmor/devList.do");
  };
  // The re-listing follows the downloads, whose pictures are queued by then.
  QTRY_VERIFY_WITH_TIMEOUT(listings() >= 2, kBoundMs);
  QCoreApplication::processEvents();
  QVERIFY(requested("/thumb/fake.png") && requested("/thumb/missing.png"));
  QVERIFY(!tree->hasPicture(Index("missing")));
  QVERIFY(!tree->hasPicture(Index("fake")));

  QImage shown = tree->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  QCOMPARE(QColor(shown.pixel(58, kHeader + 41)), QColor(255, 0, 0));
  QImage fallback(96, 72, QImage::Format_RGB32);
  {
    QPainter painter(&fallback);
    painter.drawPixmap(fallback.rect(), QPixmap(LUMIVEX_RES_DIR "/cameraThumnail.bmp"));
  }
  for (int row : {1, 2})
    QCOMPARE(shown.copy(10, kHeader + row * kRow + 5, 96, 72), fallback);
}

// A small PNG may announce a picture of gigabytes: its header decides before
// anything is decoded.
void DeviceTreeTest::thumbnailPictureBound() {
  auto png = [](int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::green);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
  };
  QImage picture;
  QVERIFY(DecodeThumbnail(png(2048, 2), picture));
  QCOMPARE(picture.size(), QSize(pictures::kThumbnailWidth, pictures::kThumbnailHeight));
  QVERIFY(!DecodeThumbnail(png(2049, 2), picture));
  QVERIFY(!DecodeThumbnail(png(2, 2049), picture));
  // The same small file with its header saying 60000 x 60000 (CRC made right).
  std::string huge = png(2, 2);
  const unsigned char side[4] = {0, 0, 0xEA, 0x60};
  for (int i = 0; i < 4; ++i) huge[16 + i] = huge[20 + i] = static_cast<char>(side[i]);
  uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(huge.data() + 12), 17);
  for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  QVERIFY(!DecodeThumbnail(huge, picture));
  QVERIFY(!DecodeThumbnail("\x89PNG", picture));
}

void DeviceTreeTest::periodicRelisting() {
  Build({{"a", 1}, {"b", 1}, {"c", 0}}, std::chrono::milliseconds(100));
  Serve({{"a", 0}, {"c", 1}, {"new", 1}});
  QTRY_VERIFY_WITH_TIMEOUT(tree->model().groups()[0].cameras.size() == 3 &&
                               Index("new") >= 0 && tree->model().HasCamera(Index("new")) &&
                               !tree->model().HasCamera(Index("b")),
                           kBoundMs);
  QCOMPARE(FileCameras(), (Strings{"a>0", "c>0", "new>0"}));
  QTRY_COMPARE_WITH_TIMEOUT(HeaderLabel(0), std::string("我的Orbelle  [2/3]"), kBoundMs);
}

void DeviceTreeTest::refreshListCommand() {
  Build({{"a", 1}});
  Serve({{"a", 1}, {"b", 0}});
  RightClick(QPoint(100, 400), "刷新列表");
  QVERIFY(tree->refreshRunning());
  QTRY_VERIFY_WITH_TIMEOUT(Index("b") >= 0 && tree->model().HasCamera(Index("b")), kBoundMs);
  QTRY_VERIFY_WITH_TIMEOUT(!tree->refreshRunning(), kBoundMs);
  QCOMPARE(FileCameras(), (Strings{"a>0", "b>0"}));
  RightClick(QPoint(100, 400), "刷新列表");
  QVERIFY2(tree->refreshRunning(), "a new worker once the last one ended");
  QTRY_VERIFY_WITH_TIMEOUT(!tree->refreshRunning(), kBoundMs);
}

void DeviceTreeTest::deleteDevice() {
  Build({{"a", 1}, {"b", 1}});
  actions->confirm = false;
  RightClick(QPoint(100, kHeader + 40), "删除设备");
  QCOMPARE(actions->calls, Strings{"password"});
  actions->confirm = true;
  RightClick(QPoint(100, kHeader + 40), "删除设备");
  QTRY_VERIFY_WITH_TIMEOUT(!tree->model().HasCamera(Index("a")), kBoundMs);
  QCOMPARE(actions->calls, (Strings{"password", "password", "stop " + std::to_string(Index("a"))}));
  QCOMPARE(FileCameras(), Strings{"b>0"});
  QVERIFY(!tree->selectedItem());
}

void DeviceTreeTest::deviceDialogsAreTheWindows() {
  Build({{"a", 1}});
  const std::string a = std::to_string(Index("a"));
  RightClick(QPoint(100, kHeader + 40), "报警设置");
  RightClick(QPoint(100, kHeader + 40), "视频回放");
  RightClick(QPoint(100, kHeader + 40), "修改设备名称");
  RightClick(QPoint(100, kHeader + 40), "管理绑定用户");
  RightClick(QPoint(100, kHeader + 40), "播放视频");
  QCOMPARE(actions->calls,
           (Strings{"alarm " + a, "playback " + a, "rename " + a, "password", "bound users " + a, "start " + a}));
  QCOMPARE(notifier->messages(), Strings{});
}

void DeviceTreeTest::wheelScrollsByLines() {
  std::vector<Device> many;
  for (int i = 0; i < 12; ++i) many.push_back({"d" + std::to_string(i), 1});
  Build(many);
  QScrollBar* bar = tree->verticalScrollBar();
  QCOMPARE(bar->maximum(), kHeader + 12 * kRow - tree->viewport()->height());
  QWheelEvent down(QPointF(50, 50), tree->viewport()->mapToGlobal(QPointF(50, 50)), {},
                   QPoint(0, -120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(tree->viewport(), &down);
  QCOMPARE(bar->value(), 32);
  // The row under the cursor follows the scroll position.
  QCOMPARE(SidAt(kHeader + kRow - 32 + 10), std::string("d1"));
  bar->setValue(100000);
  QCOMPARE(bar->value(), bar->maximum());
}

QTEST_MAIN(DeviceTreeTest)
#include "test_device_tree.moc"
