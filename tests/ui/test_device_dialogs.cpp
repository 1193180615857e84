// The device and account dialogs on the offscreen platform: their checks,
// keys and messages by themselves, then against lumivex-sim through the
// windows a user meets: the tree's menu renames a device, switches its alarm
// and binds and unbinds a user; the sign-in window recovers a password and
// signs in with it. With LUMIVEX_TEST_SHOTS=DIR each dialog is saved as a PNG.

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/net_info.h"
#include "core/version.h"
#include "support/fake_home.h"
#include "ui/app_context.h"
#include "ui/device_tree.h"
#include "ui/dialogs/account_dialogs.h"
#include "ui/dialogs/alarm_dialog.h"
#include "ui/dialogs/bind_user_dialog.h"
#include "ui/dialogs/device_dialogs.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"
#include "ui/qt_notifier.h"
#include "ui/sim_launcher.h"
#include "webservice/camera_list.h"
#include "webservice/envelope.h"
#include "webservice/handshake.h"
#include "webservice/http.h"
#include "webservice/login.h"

using namespace lumivex;
namespace fs = std::filesystem;

namespace {

constexpr int kBoundMs = 15000;
constexpr int kHeader = 22;  // the tree's group header; the first camera row below it

const char* kScenario = R"({
  "accounts": [
    {"user": "demo", "password": "demo123", "devices": ["cam01"]},
    {"user": "dave", "password": "dave1234"},
    {"user": "rita", "password": "rita1234",
     "questions": [{"number": 3, "answer": "王强"}, {"number": 8, "answer": "Sunrise School"}]}
  ],
  "devices": [{"sid": "cam01", "name": "Front door", "admin": "demo", "boundUsers": ["carol"],
               "alarmStartTime": 8, "alarmEndTime": 8}]
})";

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename T = QAbstractButton>
T* Child(QWidget& parent, const char* name) {
  return parent.findChild<T*>(QString::fromLatin1(name));
}

void Click(QWidget& parent, const char* name) { QTest::mouseClick(Child(parent, name), Qt::LeftButton); }

void SaveShot(QWidget& widget, const char* name) {
  const QString folder = qEnvironmentVariable("LUMIVEX_TEST_SHOTS");
  if (folder.isEmpty()) return;
  widget.show();
  widget.grab().save(folder + "/" + name + ".png", "PNG");
}

QStringList Column(QTreeWidget* list, int column) {
  QStringList texts;
  for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(column);
  return texts;
}

}  // namespace

class DeviceDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void cleanup() { test::TakeBoxes(); }

  void unlockPatternOnTheFourthPressOrAfreshAfterNine();
  void renameTakesThirtyUnits();
  void passwordConfirmation();
  void feedbackNeedsTextAndTakesNoLineBreak();
  void recoveryChecksItsStagesAndIgnoresEscape();
  void alarmDialogAgainstTheSim();
  void treeRenamesBindsAndUnbinds();
  void recoverAPasswordAndSignInWithIt();

 private:
  // A client of its own folder, after the handshake with the sim.
  std::unique_ptr<AppContext> NewClient(const test::TempDir& folder);
  // app_ signed in as demo; false (the test skips) without the sim.
  bool SignedIn();

  std::unique_ptr<test::FakeHome> home_;
  std::unique_ptr<test::UiSim> sim_;
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<AppContext> app_;
  bool signedIn_ = false;
};

void DeviceDialogsTest::initTestCase() {
  QVERIFY(InitHttpLibrary());
  home_ = std::make_unique<test::FakeHome>();
  dir_ = std::make_unique<test::TempDir>();
  fs::create_directories(dir_->path() / "config");
  app_ = std::make_unique<AppContext>(dir_->str());
  app_->resFolder = LUMIVEX_RES_DIR;
}

void DeviceDialogsTest::cleanupTestCase() {
  app_.reset();
  sim_.reset();
  CleanupHttpLibrary();
}

std::unique_ptr<AppContext> DeviceDialogsTest::NewClient(const test::TempDir& folder) {
  fs::create_directories(folder.path() / "config");
  auto app = std::make_unique<AppContext>(folder.str());
  app->resFolder = LUMIVEX_RES_DIR;
  sim_->Deploy(app->global);
  if (!GetLocalNetInfo(app->global) || SecurityHandshake(app->service) != 1) return nullptr;
  return app;
}

bool DeviceDialogsTest::SignedIn() {
  if (signedIn_) return true;
  if (test::SimProgram().empty()) return false;
  sim_ = std::make_unique<test::UiSim>(kScenario);
  if (!sim_->ok()) return false;
  if (!test::SignInToSim(*sim_, *app_, "demo", "demo123") || !app_->cameras.Update(app_->service)) return false;
  return signedIn_ = true;
}

void DeviceDialogsTest::unlockPatternOnTheFourthPressOrAfreshAfterNine() {
  const std::string digest = TokenOf("secret", "1235");
  CVideoLock lock([&](const std::string& p) { return TokenOf("secret", p) == digest; });
  lock.show();
  SaveShot(lock, "dialog-video-lock");
  for (int k : {1, 2, 3}) QTest::mouseClick(lock.digit(k), Qt::LeftButton);
  QVERIFY(lock.chosen(2)->isVisible() && !lock.digit(2)->isVisible());
  QTest::mouseClick(lock.chosen(2), Qt::LeftButton);  // a digit counts once
  QCOMPARE(lock.pattern(), std::string("123"));
  Click(lock, dialog_controls::kAgain);
  QCOMPARE(lock.pattern(), std::string());
  QVERIFY(lock.digit(2)->isVisible());
  for (int k : {1, 2, 3}) QTest::mouseClick(lock.digit(k), Qt::LeftButton);
  QVERIFY(lock.isVisible());
  QTest::mouseClick(lock.digit(5), Qt::LeftButton);
  QCOMPARE(lock.result(), int(QDialog::Accepted));
  QVERIFY(lock.isHidden());

  CVideoLock wrong([](const std::string&) { return false; });
  wrong.show();
  for (int k = 9; k >= 2; --k) QTest::mouseClick(wrong.digit(k), Qt::LeftButton);
  QCOMPARE(wrong.pattern().size(), std::size_t(8));
  QCOMPARE(CurrentTipText(), QString());
  QTest::mouseClick(wrong.digit(1), Qt::LeftButton);
  QCOMPARE(wrong.pattern(), std::string());
  QCOMPARE(CurrentTipText(), Text("密码错误"));
  for (int k = 1; k <= 9; ++k) QVERIFY(wrong.digit(k)->isVisible() && !wrong.chosen(k)->isVisible());
  QTest::keyClick(&wrong, Qt::Key_Return);
  QVERIFY(wrong.isVisible());
  Click(wrong, dialog_controls::kCancel);
  QCOMPARE(wrong.result(), int(QDialog::Rejected));
}

void DeviceDialogsTest::renameTakesThirtyUnits() {
  CRename rename(app_->notifier, QString(30, QChar(0x6D4B)));  // 30 of "测"
  rename.show();
  SaveShot(rename, "dialog-rename");
  auto* edit = Child<QLineEdit>(rename, dialog_controls::kName);
  QCOMPARE(edit->selectedText(), QString(30, QChar(0x6D4B)));
  edit->setText(QString(31, QChar(0x6D4B)));
  Click(rename, dialog_controls::kOk);
  QVERIFY(rename.isVisible());
  QCOMPARE(test::TakeBoxes(), QStringList{Text(kApplicationName) + Text(": 设备名称超过最大限制长度")});
  edit->setText(QString(30, QChar(0x6D4B)));
  QTest::keyClick(edit, Qt::Key_Return);
  QCOMPARE(rename.result(), int(QDialog::Accepted));
  QCOMPARE(rename.name(), QString(30, QChar(0x6D4B)).toStdString());

  CRename cancelled(app_->notifier, QStringLiteral("x"));
  cancelled.show();
  auto* cancel = Child(cancelled, dialog_controls::kCancel);
  cancel->setFocus();
  QTest::keyClick(cancel, Qt::Key_Enter);  // Enter on "取消" is "取消"
  QCOMPARE(cancelled.result(), int(QDialog::Rejected));
}

void DeviceDialogsTest::passwordConfirmation() {
  std::string stored;
  QVERIFY(StoredPasswordForm("demo123", stored));
  CPwdConf confirm(stored);
  confirm.show();
  SaveShot(confirm, "dialog-password");
  auto* password = Child<QLineEdit>(confirm, dialog_controls::kPassword);
  auto* message = Child<QLabel>(confirm, dialog_controls::kMessage);
  QTest::keyClick(password, Qt::Key_Return);
  QCOMPARE(message->text(), Text("请输入密码"));
  QTest::keyClicks(password, "demo124");
  QCOMPARE(message->text(), QString());
  Click(confirm, dialog_controls::kOk);
  QCOMPARE(message->text(), Text("密码错误"));
  QCOMPARE(password->text(), QString());
  QVERIFY(confirm.isVisible());
  QTest::keyClicks(password, "demo123");
  QTest::keyClick(password, Qt::Key_Enter);
  QCOMPARE(confirm.result(), int(QDialog::Accepted));

  CPwdConf escaped(stored);
  escaped.show();
  QTest::keyClick(&escaped, Qt::Key_Escape);
  QCOMPARE(escaped.result(), int(QDialog::Rejected));
}

void DeviceDialogsTest::feedbackNeedsTextAndTakesNoLineBreak() {
  CFeedback feedback(*app_);
  feedback.show();
  SaveShot(feedback, "dialog-feedback");
  auto* text = Child<QPlainTextEdit>(feedback, account_controls::kText);
  Click(feedback, account_controls::kSubmit);
  QCOMPARE(CurrentTipText(), Text("请输入意见反馈信息"));
  QVERIFY(!feedback.sending());
  QTest::keyClicks(text, "ab");
  QTest::keyClick(text, Qt::Key_Return);
  QTest::keyClicks(text, "c");
  QCOMPARE(text->toPlainText(), QStringLiteral("abc"));
  auto* close = Child(feedback, account_controls::kClose);
  close->setFocus();
  QTest::keyClick(close, Qt::Key_Return);
  QCOMPARE(feedback.result(), int(QDialog::Rejected));
}

void DeviceDialogsTest::recoveryChecksItsStagesAndIgnoresEscape() {
  CBackPwd recovery(*app_, QStringLiteral("a@b.c"));
  recovery.show();
  SaveShot(recovery, "dialog-recovery");
  auto* user = Child<QLineEdit>(recovery, account_controls::kUser);
  QCOMPARE(user->text(), QStringLiteral("a@b.c"));  // the sign-in window's text
  QVERIFY(!Child(recovery, account_controls::kCheckAnswer)->isVisible());
  Click(recovery, account_controls::kCheckUser);
  QCOMPARE(test::TakeBoxes(), QStringList{Text("提示: 用户名必须为字母、数字、下划线，长度为4-20位")});
  QCOMPARE(user->text(), QString());
  Click(recovery, account_controls::kCheckUser);
  QCOMPARE(test::TakeBoxes(), QStringList{Text("提示: 请输入用户名")});
  QVERIFY(!recovery.busy());
  QTest::keyClick(&recovery, Qt::Key_Escape);
  QTest::keyClick(&recovery, Qt::Key_Return);
  QVERIFY(recovery.isVisible());
  QCOMPARE(recovery.stage(), CBackPwd::Stage::kUser);
  Click(recovery, account_controls::kBack);
  QVERIFY(recovery.isHidden());
}

void DeviceDialogsTest::alarmDialogAgainstTheSim() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  CAlarm alarm(*app_, 0);
  alarm.show();
  SaveShot(alarm, "dialog-alarm");
  namespace names = alarm_controls;
  QCOMPARE(Child<QLabel>(alarm, names::kName)->text(), QStringLiteral("Front door"));
  QCOMPARE(Child<QLabel>(alarm, names::kStartLabel)->text(), QStringLiteral("08"));
  QCOMPARE(Child<QLabel>(alarm, names::kEndLabel)->text(), QStringLiteral("08"));
  QCOMPARE(Child<QLabel>(alarm, names::kPeriod)->text(), Text("全天报警"));
  auto* end = Child<QSlider>(alarm, names::kEnd);
  end->setValue(9);
  QCOMPARE(Child<QLabel>(alarm, names::kEndLabel)->text(), QStringLiteral("09"));
  QCOMPARE(Child<QLabel>(alarm, names::kPeriod)->text(), QString());
  end->setValue(8);
  QCOMPARE(Child<QLabel>(alarm, names::kPeriod)->text(), Text("全天报警"));

  // The period only once the alarm is on.
  QVERIFY(Child(alarm, names::kOn)->isVisible() && !Child(alarm, names::kOff)->isVisible());
  Click(alarm, names::kSetPeriod);
  QCOMPARE(test::TakeBoxes(), QStringList{Text(kApplicationName) + Text(": 请先开启报警")});
  Click(alarm, names::kOn);
  QVERIFY(QTest::qWaitFor([&] { return !alarm.switching(); }, kBoundMs));
  QCOMPARE(app_->cameras.Get(0)->alarmStatus, 1);
  QVERIFY(Child(alarm, names::kOff)->isVisible() && !Child(alarm, names::kOn)->isVisible());
  Child<QSlider>(alarm, names::kStart)->setValue(22);
  end->setValue(6);
  Click(alarm, names::kSetPeriod);
  QVERIFY(QTest::qWaitFor([&] { return !alarm.settingPeriod(); }, kBoundMs));
  QVERIFY(QTest::qWaitFor([] { return test::TakeBoxes().contains(Text("提示: 设置成功")); }, kBoundMs));
  CameraList fresh;  // what the service holds now
  QVERIFY(fresh.Update(app_->service));
  QCOMPARE(fresh.Get(0)->alarmStatus, 1);
  QCOMPARE(fresh.Get(0)->alarmStartTime, 22);
  QCOMPARE(fresh.Get(0)->alarmEndTime, 6);
  QTest::keyClick(&alarm, Qt::Key_Escape);
  QCOMPARE(alarm.result(), int(QDialog::Rejected));
}

void DeviceDialogsTest::treeRenamesBindsAndUnbinds() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  CLumivexDlg window(*app_);
  std::function<void(QDialog&)> drive;
  window.SetDialogRunner([&drive](QDialog& dialog) {
    dialog.show();
    drive(dialog);
    return dialog.result();
  });
  window.Open();
  QVERIFY(QTest::qWaitFor([&] { return window.startupDone(); }, kBoundMs));
  ui::CTreeCtrl1* tree = window.tree();
  auto choose = [&](const char* entry) {
    tree->SetMenuRunner([entry](QMenu& menu, const QPoint&) {
      for (QAction* action : menu.actions())
        if (action->text() == Text(entry)) return action;
      return static_cast<QAction*>(nullptr);
    });
    const QPoint row = tree->viewport()->mapTo(&window, QPoint(150, kHeader + 40));
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, row);
    QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, row);
  };

  drive = [](QDialog& dialog) {
    auto* rename = qobject_cast<CRename*>(&dialog);
    QVERIFY(rename);
    Child<QLineEdit>(dialog, dialog_controls::kName)->setText(Text("前门"));
    Click(dialog, dialog_controls::kOk);
  };
  choose("修改设备名称");
  QVERIFY(QTest::qWaitFor([&] { return app_->cameras.Get(0)->name == "前门"; }, kBoundMs));
  CameraList fresh;
  QVERIFY(fresh.Update(app_->service));
  QCOMPARE(QString::fromStdString(fresh.Get(0)->name), Text("前门"));

  // Sharing is guarded by the password; the administrator's row stays.
  QStringList steps;
  drive = [&](QDialog& dialog) {
    if (qobject_cast<CPwdConf*>(&dialog)) {
      steps << "password";
      Child<QLineEdit>(dialog, dialog_controls::kPassword)->setText("demo123");
      return Click(dialog, dialog_controls::kOk);
    }
    auto* users = qobject_cast<CBindUser*>(&dialog);
    QVERIFY(users);
    users->SetConfirmer([&steps](const QString& title, const QString& text) {
      steps << title + ": " + text;
      return true;
    });
    QTreeWidget* list = users->list();
    QVERIFY(QTest::qWaitFor([&] { return !users->listing(); }, kBoundMs));
    QCOMPARE(Column(list, 0), (QStringList{"demo", "carol"}));
    QCOMPARE(Column(list, 2), (QStringList{"Yes", "-"}));
    SaveShot(dialog, "dialog-bound-users");
    auto* name = Child<QLineEdit>(dialog, bind_controls::kName);
    Click(dialog, bind_controls::kAdd);
    QCOMPARE(CurrentTipText(), Text("请输入用户名"));
    for (const char* refused : {"abc", "ab-cd"}) {
      name->setText(refused);
      Click(dialog, bind_controls::kAdd);
      QCOMPARE(CurrentTipText(), Text("用户名必须为字母、数字、下划线，长度为4-20位"));
      QCOMPARE(name->selectedText(), QString::fromLatin1(refused));
    }
    name->setText("user_01");  // passes the rule; the service knows no such account
    Click(dialog, bind_controls::kAdd);
    QCOMPARE(name->text(), QString());
    QVERIFY(QTest::qWaitFor([] { return !test::TakeBoxes().isEmpty(); }, kBoundMs));
    name->setText("dave");
    Click(dialog, bind_controls::kAdd);
    QCOMPARE(name->text(), QString());
    QVERIFY(QTest::qWaitFor([&] { return !users->listing() && list->topLevelItemCount() == 3; }, kBoundMs));
    QCOMPARE(Column(list, 0), (QStringList{"demo", "carol", "dave"}));

    list->setCurrentItem(list->topLevelItem(0));
    Click(dialog, bind_controls::kDelete);  // the administrator: nothing
    list->setCurrentItem(list->topLevelItem(2));
    Click(dialog, bind_controls::kDelete);
    QVERIFY(QTest::qWaitFor([&] { return !users->listing() && list->topLevelItemCount() == 2; }, kBoundMs));
    QCOMPARE(Column(list, 0), (QStringList{"demo", "carol"}));
    Click(dialog, bind_controls::kClose);
  };
  choose("管理绑定用户");
  QCOMPARE(steps, (QStringList{"password", Text("确认: 确定要解除用户dave的绑定？")}));
  QCOMPARE(test::TakeBoxes(), QStringList());
}

void DeviceDialogsTest::recoverAPasswordAndSignInWithIt() {
  if (!SignedIn()) QSKIP("lumivex-sim is not to be had");
  test::TempDir folder;
  std::unique_ptr<AppContext> app = NewClient(folder);
  QVERIFY(app);
  CLogin login(*app);
  bool hiddenMeanwhile = false;
  login.SetDialogRunner([&](QDialog& dialog) {
    auto* recovery = qobject_cast<CBackPwd*>(&dialog);
    if (!recovery) return dialog.exec();
    hiddenMeanwhile = !login.isVisible();
    recovery->show();
    namespace names = account_controls;
    QTest::keyClicks(Child<QLineEdit>(dialog, names::kUser), "nobody");
    Click(dialog, names::kCheckUser);
    [&] {
      QVERIFY(QTest::qWaitFor([] { return test::TakeBoxes() == QStringList{Text("提示: 用户名不存在")}; }, kBoundMs));
    }();
    Child<QLineEdit>(dialog, names::kUser)->setText("rita");
    Click(dialog, names::kCheckUser);
    [&] { QVERIFY(QTest::qWaitFor([&] { return recovery->stage() == CBackPwd::Stage::kQuestion; }, kBoundMs)); }();
    auto* question = Child<QComboBox>(dialog, names::kQuestion);
    [&] { QCOMPARE(question->currentText(), Text("您配偶的姓名是？")); }();
    Click(dialog, names::kCheckAnswer);
    [&] { QCOMPARE(test::TakeBoxes(), QStringList{Text("提示: 请输入安全问题答案")}); }();
    Child<QLineEdit>(dialog, names::kAnswer)->setText(Text("李四"));
    Click(dialog, names::kCheckAnswer);
    [&] {
      QVERIFY(QTest::qWaitFor([] { return test::TakeBoxes() == QStringList{Text("提示: 安全问题答案错误，请确认后重试")}; },
                              kBoundMs));
      QCOMPARE(recovery->stage(), CBackPwd::Stage::kQuestion);
    }();
    Child<QLineEdit>(dialog, names::kAnswer)->setText(Text("王强"));
    Click(dialog, names::kCheckAnswer);
    [&] { QVERIFY(QTest::qWaitFor([&] { return recovery->stage() == CBackPwd::Stage::kNewPassword; }, kBoundMs)); }();
    Child<QLineEdit>(dialog, names::kNewPassword)->setText("rita5678");
    Child<QLineEdit>(dialog, names::kConfirm)->setText("rita5679");
    Click(dialog, names::kSetPassword);
    [&] { QCOMPARE(test::TakeBoxes(), QStringList{Text("提示: 新密码和确认密码不一致，请重新输入")}); }();
    Child<QLineEdit>(dialog, names::kConfirm)->setText("rita5678");
    Click(dialog, names::kSetPassword);
    [&] {
      QVERIFY(QTest::qWaitFor([] { return test::TakeBoxes().contains(Text("提示: 密码修改成功，请返回重新登录")); },
                              kBoundMs));
    }();
    Click(dialog, names::kBack);
    return dialog.result();
  });
  login.show();
  QTest::mouseClick(login.findChild<QAbstractButton*>(login_controls::kForgotPassword), Qt::LeftButton);
  QVERIFY(hiddenMeanwhile);
  QVERIFY(login.isVisible());

  login.findChild<QComboBox*>(login_controls::kUser)->setEditText("rita");
  login.findChild<QLineEdit*>(login_controls::kPassword)->setText("rita5678");
  login.SignIn();
  QVERIFY(QTest::qWaitFor([&] { return login.signedIn(); }, kBoundMs));
  login.JoinWorkers();
}

QTEST_MAIN(DeviceDialogsTest)
#include "test_device_dialogs.moc"
