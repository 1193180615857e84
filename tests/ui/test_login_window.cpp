// The sign-in window on the offscreen platform: its input checks, the
// remembered users and their sign-in data, sign-ins against lumivex-sim; the
// notifier, the instance socket and the program's single-instance rule.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <thread>
#include <vector>

#include "config/user_config.h"
#include "core/net_info.h"
#include "core/version.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "ui/app_context.h"
#include "ui/login_window.h"
#include "ui/qt_notifier.h"
#include "ui/sim_launcher.h"
#include "ui/single_instance_server.h"
#include "webservice/envelope.h"
#include "webservice/handshake.h"
#include "webservice/http.h"

using namespace lumivex;
namespace fs = std::filesystem;
namespace names = login_controls;
using namespace std::chrono_literals;

namespace {

const QString kUserRule = QStringLiteral("用户名必须为字母、数字、下划线，长度为4-20位");
const QString kPasswordRule = QStringLiteral("密码必须为字母、数字、下划线，长度为6-18位");
constexpr int kSignInBoundMs = 15000;

const char* kScenario = R"({
  "accounts": [
    {"user": "alice", "password": "secret77"},
    {"user": "carol", "password": "carol123"},
    {"user": "dave", "password": "dave1234"},
    {"user": "erin", "password": "erin1234", "devices": ["cam1"]}
  ],
  "devices": [{"sid": "cam1", "admin": "erin"}],
  "faults": {"login": {"delayMs": 600}}
})";

std::unique_ptr<AppContext> NewApp(const test::TempDir& home) {
  fs::create_directories(home / "config");
  auto app = std::make_unique<AppContext>(home.str());
  app->resFolder = LUMIVEX_RES_DIR;
  return app;
}

struct View {
  explicit View(CLogin& w)
      : user(w.findChild<QComboBox*>(names::kUser)),
        password(w.findChild<QLineEdit*>(names::kPassword)),
        remember(w.findChild<QCheckBox*>(names::kRememberPassword)),
        autoLogin(w.findChild<QCheckBox*>(names::kAutoLogin)),
        status(w.findChild<QLabel*>(names::kStatus)),
        signIn(w.findChild<QAbstractButton*>(names::kSignIn)),
        cancel(w.findChild<QAbstractButton*>(names::kCancel)),
        close(w.findChild<QAbstractButton*>(names::kClose)),
        minimize(w.findChild<QAbstractButton*>(names::kMinimize)) {}
  bool complete() const {
    return user && password && remember && autoLogin && status && signIn && cancel && close && minimize;
  }
  bool Idle() const {
    return signIn->isVisible() && !cancel->isVisible() && user->isEnabled() && password->isEnabled() &&
           remember->isEnabled() && autoLogin->isEnabled() && close->isEnabled() && minimize->isEnabled();
  }
  bool Busy() const {
    return !signIn->isVisible() && cancel->isVisible() && !user->isEnabled() && !password->isEnabled() &&
           !remember->isEnabled() && !autoLogin->isEnabled() && !close->isEnabled() && !minimize->isEnabled();
  }
  QComboBox* user;
  QLineEdit* password;
  QCheckBox *remember, *autoLogin;
  QLabel* status;
  QAbstractButton *signIn, *cancel, *close, *minimize;
};

bool HasFocus(CLogin& w, QWidget* control) {
  QWidget* focus = w.focusWidget();
  return focus == control || (focus && control->isAncestorOf(focus));
}

bool Show(CLogin& w) {
  w.show();
  QApplication::setActiveWindow(&w);
  return QTest::qWaitForWindowActive(&w);
}

// A settings file as the client writes it, last written minutesAgo.
bool WriteUserConfig(const fs::path& configFolder, const std::string& user, const std::string& password,
                     const std::string& autoLogin, int minutesAgo) {
  UserSettings s;
  s.userName = user;
  std::string stored = "0";
  if (password != "0" && !StoredPasswordForm(password, stored)) return false;
  if (!CreateDefaultUserConfig(s, configFolder.string(), [](StorageKind, std::string&) { return false; }) ||
      !SetConfigAttrib(s.configPath, "config1", "User", "Password", stored) ||
      !SetConfigText(s.configPath, "config1", "AutoLogin", autoLogin))
    return false;
  fs::last_write_time(s.configPath, fs::file_time_type::clock::now() - std::chrono::minutes(minutesAgo));
  return true;
}

// The field string of the last "login.do" the sim decoded for user.
std::string LastLogin(const std::string& simLog, const std::string& user) {
  std::string key = "login: uid:" + user + "&";
  std::size_t at = simLog.rfind(key);
  if (at == std::string::npos) return "";
  return simLog.substr(at, simLog.find('\n', at) - at);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

class LoginWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::UiSim> sim_;

  // The sim, started once for every test that needs it; null when it is not to be had.
  test::UiSim* Sim() {
    if (test::SimProgram().empty()) return nullptr;
    if (!sim_) sim_ = std::make_unique<test::UiSim>(kScenario);
    return sim_->ok() ? sim_.get() : nullptr;
  }

  // A client that has done the security handshake with the sim.
  std::unique_ptr<AppContext> HandshakenApp(const test::TempDir& home) {
    auto app = NewApp(home);
    Sim()->Deploy(app->global);
    if (!GetLocalNetInfo(app->global) || SecurityHandshake(app->service) != 1) return nullptr;
    return app;
  }

 private slots:
  void initTestCase() {
    QVERIFY(InitHttpLibrary());
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);  // for the programs the tests start
  }
  void cleanupTestCase() {
    sim_.reset();
    CleanupHttpLibrary();
  }
  void init() {
    if (QWidget* tip = CurrentTip()) tip->close();
  }

  void refusesInput_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("userAfter");
    QTest::addColumn<QString>("passwordAfter");
    QTest::addColumn<QString>("focus");
    const QString user = names::kUser, password = names::kPassword, none;
    QTest::newRow("no user") << none << "secret77"
                             << "请输入用户名" << none << none << "secret77" << user;
    QTest::newRow("3 characters") << "abc"
                                  << "secret77" << kUserRule << kUserRule << none << "secret77" << user;
    QTest::newRow("21 characters") << QString(21, 'a') << "secret77" << kUserRule << kUserRule << none
                                   << "secret77" << user;
    QTest::newRow("a dash") << "al-ice"
                            << "secret77" << kUserRule << kUserRule << none << "secret77" << user;
    QTest::newRow("not ASCII") << "用户名四个"
                               << "secret77" << kUserRule << kUserRule << none << "secret77" << user;
    // "@" and "." pass the sign-in window's rule.
    QTest::newRow("no password") << "a@b.c" << none << "请输入密码" << none << "a@b.c" << none << password;
    QTest::newRow("5 characters") << "alice"
                                  << "12345" << kPasswordRule << kPasswordRule << "alice" << none << password;
    QTest::newRow("19 characters") << "alice" << QString(19, 'x') << kPasswordRule << kPasswordRule << "alice"
                                   << none << password;
    QTest::newRow("a blank") << "al_ice"
                             << "secret 77" << kPasswordRule << kPasswordRule << "al_ice" << none << password;
  }

  void refusesInput() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, tip);
    QFETCH(QString, status);
    QFETCH(QString, userAfter);
    QFETCH(QString, passwordAfter);
    QFETCH(QString, focus);
    test::TempDir home;
    auto app = NewApp(home);
    CLogin w(*app);
    View v(w);
    QVERIFY(v.complete());
    QVERIFY(Show(w));
    v.user->setEditText(user);
    v.password->setText(password);
    QTest::mouseClick(v.signIn, Qt::LeftButton);
    QCOMPARE(CurrentTipText(), tip);
    QCOMPARE(v.status->text(), status);
    QCOMPARE(v.user->currentText(), userAfter);
    QCOMPARE(v.password->text(), passwordAfter);
    QVERIFY(HasFocus(w, w.findChild<QWidget*>(focus)));
    QVERIFY(!w.busy());
    QVERIFY(v.Idle());
  }

  void keysEditingAndTheTwoBoxes() {
    test::TempDir home;
    auto app = NewApp(home);
    CLogin w(*app);
    View v(w);
    QVERIFY(Show(w));
    // Enter presses the sign-in button; it is no typed character.
    QTest::keyClick(v.password, Qt::Key_Return);
    QCOMPARE(CurrentTipText(), QStringLiteral("请输入用户名"));
    QCOMPARE(app->global.m_IsNew.load(), 0);
    QTest::keyClicks(v.user->lineEdit(), "ab");
    QCOMPARE(app->global.m_IsNew.load(), 1);

    // Editing the password clears the status line.
    v.password->setText("123");
    QTest::keyClick(v.password, Qt::Key_Return);
    QCOMPARE(v.status->text(), kUserRule);
    QTest::keyClicks(v.password, "x");
    QCOMPARE(v.status->text(), QString());
    // Editing the user clears the status line and the password.
    v.user->setEditText("ab");
    QTest::keyClick(v.user->lineEdit(), Qt::Key_Return);
    QCOMPARE(v.status->text(), kUserRule);
    v.password->setText("secret77");
    QTest::keyClicks(v.user->lineEdit(), "c");
    QCOMPARE(v.status->text(), QString());
    QCOMPARE(v.password->text(), QString());

    // Checking 自动登录 checks 记住密码, and so does signing in with it checked.
    v.autoLogin->click();
    QVERIFY(v.remember->isChecked());
    v.remember->click();
    QVERIFY(!v.remember->isChecked());
    v.user->setEditText("");
    QTest::mouseClick(v.signIn, Qt::LeftButton);
    QVERIFY(v.remember->isChecked());

    // Esc closes the window like the close button.
    QTest::keyClick(v.user->lineEdit(), Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Rejected));
    QVERIFY(!w.signedIn());
  }

  void listsTheTenNewestUsers() {
    test::TempDir home;
    fs::path config = home / "config";
    fs::create_directories(config);
    // Written in an order unlike their times.
    const int minutesAgo[12] = {5, 90, 30, 60, 1, 120, 45, 15, 75, 100, 10, 110};
    for (int i = 0; i < 12; ++i) {
      fs::path file = config / ("user" + std::to_string(i) + "_config.xml");
      test::WriteFileBytes(file, "<config/>");
      fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::minutes(minutesAgo[i]));
    }
    test::WriteFileBytes(config / "_config.xml", "<config/>");  // names no user
    test::WriteFileBytes(config / "notes.txt", "x");
    fs::create_directories(config / "folder_config.xml");
    const std::vector<std::string> newest = {"user4", "user0", "user10", "user7", "user2",
                                             "user6", "user3", "user8",  "user1", "user9"};
    QCOMPARE(RememberedUsers(config.string()), newest);

    auto app = NewApp(home);
    CLogin w(*app);
    View v(w);
    QCOMPARE(v.user->count(), 10);
    for (int i = 0; i < 10; ++i) QCOMPARE(v.user->itemText(i).toStdString(), newest[i]);
    QCOMPARE(v.user->currentText(), QStringLiteral("user4"));
    // Its file holds no sign-in data: nothing is filled in.
    QCOMPARE(v.password->text(), QString());
    QVERIFY(!v.remember->isChecked() && !v.autoLogin->isChecked());
    QVERIFY(RememberedUsers((home / "missing").string()).empty());
  }

  void fillsTheRememberedSignInData() {
    test::TempDir home;
    fs::path config = home / "config";
    fs::create_directories(config);
    QVERIFY(WriteUserConfig(config, "alice", "secret77", "0", 1));
    QVERIFY(WriteUserConfig(config, "bob.lee", "0", "0", 2));
    QVERIFY(WriteUserConfig(config, "dave", "0", "1", 3));
    // No AutoLogin element at all, in UTF-8 without a byte-order mark.
    std::string stored;
    QVERIFY(StoredPasswordForm("carol123", stored));
    test::WriteFileBytes(config / "carol_config.xml", "<config><config1><User ID=\"carol\" Password=\"" +
                                                          stored + "\"/></config1></config>");
    fs::last_write_time(config / "carol_config.xml", fs::file_time_type::clock::now() - 4min);

    auto app = NewApp(home);
    CLogin w(*app);
    View v(w);
    QCOMPARE(v.user->currentText(), QStringLiteral("alice"));
    QCOMPARE(v.password->text(), QStringLiteral("secret77"));
    QVERIFY(v.remember->isChecked());
    QVERIFY(!v.autoLogin->isChecked());

    auto choose = [&](const QString& user) {
      int index = v.user->findText(user);
      v.user->setCurrentIndex(index);
      emit v.user->activated(index);
    };
    choose("bob.lee");  // "Password" "0": nothing remembered
    QCOMPARE(v.password->text(), QString());
    QVERIFY(!v.remember->isChecked() && !v.autoLogin->isChecked());
    choose("carol");  // a missing AutoLogin counts as on once a user is chosen
    QCOMPARE(v.password->text(), QStringLiteral("carol123"));
    QVERIFY(v.remember->isChecked() && v.autoLogin->isChecked());
    choose("dave");
    QCOMPARE(v.password->text(), QString());
    QVERIFY(!v.remember->isChecked() && v.autoLogin->isChecked());
    choose("alice");
    QVERIFY(v.remember->isChecked() && !v.autoLogin->isChecked());
    QCOMPARE(app->global.m_IsNew.load(), 0);
  }

  void refusedSignInKeepsTheWindow() {
    if (!Sim()) QSKIP("lumivex-sim not named: set LUMIVEX_SIM");
    test::TempDir home;
    auto app = HandshakenApp(home);
    QVERIFY(app);
    CLogin w(*app);
    View v(w);
    QVERIFY(Show(w));
    v.user->setEditText("alice");
    v.password->setText("wrong777");
    QTest::mouseClick(v.signIn, Qt::LeftButton);
    QVERIFY(w.busy());
    QVERIFY(v.Busy());
    QCOMPARE(v.status->text(), QStringLiteral("正在登录."));
    // The reply is held back, so the dots go on.
    QTRY_COMPARE_WITH_TIMEOUT(v.status->text(), QStringLiteral("正在登录.."), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!w.busy(), kSignInBoundMs);
    QCOMPARE(v.status->text(), QStringLiteral("密码错误！"));
    QCOMPARE(v.password->text(), QString());
    QCOMPARE(v.user->currentText(), QStringLiteral("alice"));
    QVERIFY(v.Idle());
    QVERIFY(w.isVisible());
    QVERIFY(!w.signedIn());
  }

  // The service went away after the handshake: the specified line, and
  // libcurl's cause under it until the user types again.
  void networkFailureNamesItsCauseUnderTheStatus() {
    if (!Sim()) QSKIP("lumivex-sim not named: set LUMIVEX_SIM");
    test::TempDir home;
    auto app = HandshakenApp(home);
    QVERIFY(app);
    app->global.port = 1;  // nothing listens on loopback port 1
    CLogin w(*app);
    View v(w);
    auto* cause = w.findChild<QLabel*>(names::kStatusCause);
    QVERIFY(cause);
    QVERIFY(Show(w));
    v.user->setEditText("alice");
    v.password->setText("secret77");
    QTest::mouseClick(v.signIn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.busy(), kSignInBoundMs);
    QCOMPARE(v.status->text(), QStringLiteral("登陆请求失败，请检查网络和防火墙设置"));
    QCOMPARE(cause->text(), QStringLiteral("无法连接到服务器"));
    QVERIFY(cause->geometry().top() >= v.status->geometry().bottom());
    QTest::keyClicks(v.password, "7");
    QCOMPARE(v.status->text(), QString());
    QCOMPARE(cause->text(), QString());
  }

  void signsInAndAutomaticallyAtTheNextStart() {
    if (!Sim()) QSKIP("lumivex-sim not named: set LUMIVEX_SIM");
    test::TempDir home;
    {
      auto app = HandshakenApp(home);
      QVERIFY(app);
      CLogin w(*app);
      View v(w);
      QVERIFY(Show(w));
      QTest::keyClicks(v.user->lineEdit(), "alice");
      QTest::keyClicks(v.password, "secret77");
      v.autoLogin->click();
      QTest::keyClick(v.password, Qt::Key_Return);
      QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kSignInBoundMs);
      QCOMPARE(w.result(), int(QDialog::Accepted));
      QVERIFY(w.signedIn());
      QCOMPARE(app->global.m_LoggedIn.load(), 1);
      QVERIFY(Contains(LastLogin(Sim()->Log(), "alice"), "&isnew:1&"));
    }
    pugi::xml_document doc;
    QVERIFY(doc.load_file((home / "config" / "alice_config.xml").c_str()));
    pugi::xml_node config1 = doc.child("config").child("config1");
    std::string stored;
    QVERIFY(StoredPasswordForm("secret77", stored));
    QCOMPARE(std::string(config1.child("User").attribute("ID").value()), std::string("alice"));
    QCOMPARE(std::string(config1.child("User").attribute("Password").value()), stored);
    QCOMPARE(std::string(config1.child_value("AutoLogin")), std::string("1"));

    // The next start signs in by itself, without a key pressed.
    auto app = HandshakenApp(home);
    QVERIFY(app);
    CLogin w(*app);
    View v(w);
    QCOMPARE(v.password->text(), QStringLiteral("secret77"));
    QVERIFY(v.remember->isChecked() && v.autoLogin->isChecked());
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kSignInBoundMs);
    QVERIFY(w.signedIn());
    QVERIFY(Contains(LastLogin(Sim()->Log(), "alice"), "&isnew:0&"));
  }

  void cancelDropsTheResultAndAllowsAnotherAttempt() {
    if (!Sim()) QSKIP("lumivex-sim not named: set LUMIVEX_SIM");
    test::TempDir home;
    auto app = HandshakenApp(home);
    QVERIFY(app);
    CLogin w(*app);
    View v(w);
    QVERIFY(Show(w));
    v.user->setEditText("dave");
    v.password->setText("wrong999");
    QTest::mouseClick(v.signIn, Qt::LeftButton);
    QVERIFY(w.busy());
    QTest::mouseClick(v.cancel, Qt::LeftButton);
    QVERIFY(!w.busy());
    QVERIFY(v.Idle());
    QCOMPARE(v.status->text(), QString());
    // The cancelled attempt's worker ends; its refusal is never shown.
    w.JoinWorkers();
    QCoreApplication::processEvents();
    QCOMPARE(v.status->text(), QString());
    QCOMPARE(v.password->text(), QStringLiteral("wrong999"));
    QVERIFY(w.isVisible());

    // A new attempt right after a cancel does not wait for the old transfer.
    v.password->setText("dave1234");
    QTest::mouseClick(v.signIn, Qt::LeftButton);
    QTest::mouseClick(v.cancel, Qt::LeftButton);
    QTest::mouseClick(v.signIn, Qt::LeftButton);
    QVERIFY(w.busy());
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kSignInBoundMs);
    QVERIFY(w.signedIn());
  }

  // The service accepts a cancelled attempt after all (its reply is slow):
  // nothing of it is written, and the next start asks again.
  void cancelledSuccessWritesNothing() {
    if (!Sim()) QSKIP("lumivex-sim not named: set LUMIVEX_SIM");
    test::TempDir home;
    fs::create_directories(home / "config");
    QVERIFY(WriteUserConfig(home / "config", "carol", "0", "0", 1));
    const std::string before = test::ReadFileBytes(home / "config" / "carol_config.xml");
    auto app = HandshakenApp(home);
    QVERIFY(app);
    bool cancelled = false;
    QTimer::singleShot(0, [&] {
      auto* w = qobject_cast<CLogin*>(QApplication::activeModalWidget());
      if (!w) return;
      View v(*w);
      v.password->setText("carol123");
      v.autoLogin->click();  // and so 记住密码
      QTest::mouseClick(v.signIn, Qt::LeftButton);
      QTest::mouseClick(v.cancel, Qt::LeftButton);
      w->JoinWorkers();
      QCoreApplication::processEvents();
      cancelled = w->isVisible() && !w->busy() && v.status->text().isEmpty();
      w->reject();
    });
    QVERIFY(!RunSignIn(*app));
    QVERIFY(cancelled);
    QCOMPARE(app->global.m_LoggedIn.load(), 0);
    QVERIFY(app->settings.userName.empty());
    QVERIFY(app->global.m_Token.empty());
    QCOMPARE(test::ReadFileBytes(home / "config" / "carol_config.xml"), before);
    QCOMPARE(std::distance(fs::directory_iterator(home / "config"), fs::directory_iterator()), 1);

    auto next = NewApp(home);
    CLogin again(*next);
    View v(again);
    QCOMPARE(v.user->currentText(), QStringLiteral("carol"));
    QVERIFY(!v.autoLogin->isChecked() && !v.remember->isChecked());
    QCOMPARE(v.password->text(), QString());
  }

  // Typing the start of a remembered name leaves it as typed.
  void userBoxCompletesNothing() {
    test::TempDir home;
    fs::create_directories(home / "config");
    QVERIFY(WriteUserConfig(home / "config", "alice", "0", "0", 1));
    QVERIFY(WriteUserConfig(home / "config", "albert", "0", "0", 2));
    auto app = NewApp(home);
    CLogin w(*app);
    View v(w);
    QVERIFY(Show(w));
    v.user->clearEditText();
    v.user->lineEdit()->setFocus();
    QTest::keyClicks(v.user->lineEdit(), "al");
    QCOMPARE(v.user->currentText(), QStringLiteral("al"));
    QCOMPARE(v.user->lineEdit()->selectedText(), QString());
    QTest::keyClick(v.user->lineEdit(), Qt::Key_Return);
    QCOMPARE(v.status->text(), kUserRule);  // "al" itself was checked, not "alice"
  }

  void notifierCarriesCallsOntoTheGuiThread() {
    QtNotifier notifier;
    QThread* statusThread = nullptr;
    QString statusText;
    connect(&notifier, &QtNotifier::statusChanged, this, [&](const QString& text) {
      statusThread = QThread::currentThread();
      statusText = text;
    });
    QSignalSpy repaints(&notifier, &QtNotifier::repaintRequested);
    std::thread worker([&] {
      notifier.Status("正在登录");
      notifier.Repaint();
      notifier.Tip("请输入密码", 800);
    });
    worker.join();
    QTRY_COMPARE(statusText, QStringLiteral("正在登录"));
    QCOMPARE(statusThread, QThread::currentThread());
    QTRY_COMPARE(repaints.count(), 1);
    QTRY_COMPARE(CurrentTipText(), QStringLiteral("请输入密码"));
    QCOMPARE(CurrentTip()->width(), 22 * 5 + 20);

    // A question from a worker waits for the answer.
    std::atomic<int> answer{-1};
    QString question;
    auto* answerer = new QTimer(this);
    connect(answerer, &QTimer::timeout, this, [&, answerer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      answerer->deleteLater();
      question = box->windowTitle() + "|" + box->text();
      box->button(QMessageBox::Yes)->click();
    });
    answerer->start(10);
    std::thread asker([&] { answer = notifier.AskYesNo("提示", "是否下载更新？") ? 1 : 0; });
    QTRY_COMPARE_WITH_TIMEOUT(answer.load(), 1, 10000);
    asker.join();
    QCOMPARE(question, QStringLiteral("提示|是否下载更新？"));
  }

  void instanceSocketTakesOnlyTheRaiseRequest() {
    test::TempDir a, b;
    QString name = SingleInstanceServer::NameFor(a.str());
    QVERIFY(name != SingleInstanceServer::NameFor(b.str()));
    QCOMPARE(name, SingleInstanceServer::NameFor(a.str()));
    SingleInstanceServer server;
    QSignalSpy raised(&server, &SingleInstanceServer::raiseRequested);
    QVERIFY(server.Listen(name));
    // Abstract: nothing in /tmp that a killed instance could leave behind.
    QVERIFY(!QFile::exists(QDir::temp().filePath(name)));

    QLocalSocket stranger;
    stranger.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    stranger.connectToServer(name);
    QVERIFY(stranger.waitForConnected(2000));
    stranger.write("hello, world\n");
    QTRY_COMPARE(stranger.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(raised.count(), 0);

    std::atomic<int> asked{-1};
    std::thread second([&] { asked = SingleInstanceServer::AskToRaise(name) ? 1 : 0; });
    QTRY_COMPARE(raised.count(), 1);
    second.join();
    QCOMPARE(asked.load(), 1);
    QVERIFY(!SingleInstanceServer::AskToRaise(SingleInstanceServer::NameFor(b.str()), 200));
  }

  // Answered before any window system is asked for: empty display variables
  // make Qt's default platform fail, as on a machine without one.
  void helpAndVersionNeedNoDisplay() {
    std::string program = test::DesktopProgram();
    if (program.empty()) QSKIP("the lumivex program not named: set LUMIVEX_PROGRAM");
    const std::string updater =
        std::filesystem::path(program).replace_filename("lumivex-update").string();
    const std::vector<std::string> noDisplay = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};
    for (const auto& [path, name] : {std::pair{program, "lumivex"}, {updater, "lumivex-update"}}) {
      test::ProcessResult version = test::RunProgram(path, {"--version"}, 20s, noDisplay);
      QCOMPARE(version.exitCode, 0);
      QCOMPARE(version.out, std::string(name) + " " + kVersionText + "\n");
      test::ProcessResult help = test::RunProgram(path, {"--help"}, 20s, noDisplay);
      QCOMPARE(help.exitCode, 0);
      QVERIFY2(Contains(help.out, std::string("usage: ") + name), help.out.c_str());
    }
    test::ProcessResult bad = test::RunProgram(program, {"--port"}, 20s, noDisplay);
    QCOMPARE(bad.exitCode, 2);
    QVERIFY(Contains(bad.err, "--port needs a value"));
  }

  // A whole session of the program: its log file holds the sign-in and the
  // camera's states, at info level only.
  void programLogsTheSessionToItsFile() {
    std::string program = test::DesktopProgram();
    if (program.empty()) QSKIP("the lumivex program not named: set LUMIVEX_PROGRAM");
    if (!Sim()) QSKIP("lumivex-sim not named: set LUMIVEX_SIM");
    test::TempDir home;
    {
      auto app = HandshakenApp(home);
      QVERIFY(app);
      CLogin w(*app);
      View v(w);
      QVERIFY(Show(w));
      v.user->setEditText("erin");
      v.password->setText("erin1234");
      v.autoLogin->click();
      QTest::mouseClick(v.signIn, Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(w.signedIn(), kSignInBoundMs);
    }
    const fs::path configFile = home / "config" / "erin_config.xml";
    pugi::xml_document doc;
    QVERIFY(doc.load_file(configFile.c_str()));
    doc.child("config").child("config1").child("AutoPlay").text().set("1");
    QVERIFY(doc.save_file(configFile.c_str()));

    test::ChildProcess gui(program, Sim()->ProgramOptions(home.str()));
    const fs::path log = home / "log" / "lumivex.log";
    QVERIFY2(test::WaitFor([&] { return Contains(test::ReadFileBytes(log), "camera cam1: playing"); }, 60s),
             test::ReadFileBytes(log).c_str());
    const std::string text = test::ReadFileBytes(log);
    QVERIFY(Contains(text, "INFO  lumivex: signed in as erin"));
    QVERIFY(Contains(text, "INFO  lumivex: camera cam1: connecting"));
    QVERIFY(!Contains(text, "DEBUG"));
    gui.Stop();
  }

  // A lock that cannot be taken is named to the user with the system's reason.
  void unmakeableLockIsNamed() {
    std::string program = test::DesktopProgram();
    if (program.empty()) QSKIP("the lumivex program not named: set LUMIVEX_PROGRAM");
    test::TempDir home;
    fs::create_directories(home / "lumivex.lock");  // a folder where the lock file goes
    test::ChildProcess gui(program, {"--home", home.str()});
    const std::string named = "lumivex: " + (home / "lumivex.lock").string() + ": Is a directory";
    QVERIFY2(test::WaitFor([&] { return Contains(gui.ReadErrors(), named); }, 30s), gui.ReadErrors().c_str());
    QVERIFY(Contains(test::ReadFileBytes(home / "log" / "lumivex.log"), "lumivex cannot start: "));
    gui.Stop();
  }

  void secondProgramRaisesTheFirst() {
    std::string program = test::DesktopProgram();
    if (program.empty()) QSKIP("the lumivex program not named: set LUMIVEX_PROGRAM");
    if (!Sim()) QSKIP("lumivex-sim not named: set LUMIVEX_SIM");
    test::TempDir home, otherHome;
    std::vector<std::string> args = Sim()->ProgramOptions(home.str());
    args.push_back("--verbose");
    test::ChildProcess first(program, args);
    const std::string shown = "CLogin: sign-in window shown";
    QVERIFY(test::WaitFor([&] { return Contains(first.ReadErrors(), shown); }, 30s));

    test::ProcessResult second = test::RunProgram(program, args, 20s);
    QCOMPARE(second.exitCode, 0);
    QVERIFY(Contains(second.err, "asking it to come forward"));
    QVERIFY(!Contains(second.err, shown));
    QVERIFY(test::WaitFor(
        [&] {
          return Contains(first.ReadErrors(), "raise request from a second instance") &&
                 Contains(first.ReadErrors(), std::string("brought to front: ") + kSignInTitle);
        },
        10s));

    // Another program folder is another client.
    args = Sim()->ProgramOptions(otherHome.str());
    args.push_back("--verbose");
    test::ChildProcess third(program, args);
    QVERIFY(test::WaitFor([&] { return Contains(third.ReadErrors(), shown); }, 30s));
    QVERIFY(!Contains(third.ReadErrors(), "asking it to come forward"));
  }
};

QTEST_MAIN(LoginWindowTest)
#include "test_login_window.moc"
