// The progress window under the offscreen platform, against a local server.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <functional>
#include <string>

#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "updater/update_window.h"

using namespace lumivex;
using test::HttpReply;
using test::HttpTestServer;
namespace fs = std::filesystem;

namespace {

const QRgb kBlue = qRgb(64, 155, 228);

// Closes the next modal box after handing it to check.
void CloseNextModal(std::function<void(QMessageBox*)> check) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, check] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer->deleteLater();
    check(box);
    box->done(QMessageBox::Ok);
  });
  timer->start(10);
}

}  // namespace

class UpdateWindowTest : public QObject {
  Q_OBJECT

 private:
  test::TempDir dir_;
  QStringList messages_;

  UpdateJobOptions Options() const {
    UpdateJobOptions o;
    o.installerPath = (dir_ / "lumivex-setup").string();
    return o;
  }
  UpdateWindow::MessagePresenter Recorder() {
    return [this](QWidget*, const QString& text) { messages_ << text; };
  }
  static UpdateCommandLine CommandFor(const std::string& url) { return ParseUpdateCommandLine("-u " + url); }
  static QLabel* Percent(UpdateWindow& w) { return w.findChild<QLabel*>(QStringLiteral("percent")); }
  bool FolderEmpty() const { return fs::is_empty(dir_.path()); }

  // Blue pixels along the middle row of the bar, left of its right frame.
  static int FilledPixels(UpdateWindow& w) {
    QImage image = w.grab().toImage();
    int y = (kBarTop + kBarBottom) / 2, filled = 0;
    for (int x = kBarLeft; x < kBarRight - 1; ++x) filled += image.pixel(x, y) == kBlue;
    return filled;
  }

 private slots:
  void initTestCase() {
    QVERIFY(InitHttpLibrary());
  }

  void init() { messages_.clear(); }

  void withoutAddressWaitsAtZeroUntilCancel() {
    UpdateWindow w(CommandFor(""), Options(), Recorder());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(Percent(w)->text(), QStringLiteral("0%"));
    QCOMPARE(FilledPixels(w), 1);  // the bar's left frame line only
    QTest::keyClick(&w, Qt::Key_Escape);
    QTest::keyClick(&w, Qt::Key_Return);
    QVERIFY(w.isVisible());  // both swallowed
    QVERIFY(messages_.isEmpty());
    QTest::mouseClick(w.findChild<QAbstractButton*>(QStringLiteral("cancel")), Qt::LeftButton);
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Rejected));
  }

  void paintsHeaderBorderAndWhiteRest() {
    UpdateWindow w(CommandFor(""), Options(), Recorder());
    w.show();
    QImage image = w.grab().toImage();
    QCOMPARE(image.pixel(w.width() / 2, 15), kBlue);           // header band
    QCOMPARE(image.pixel(w.width() / 2, 30), qRgb(255, 255, 255));  // below it
    QCOMPARE(image.pixel(0, w.height() / 2), kBlue);            // border, left
    QCOMPARE(image.pixel(w.width() - 1, w.height() - 5), kBlue);  // border, right
    QCOMPARE(image.pixel(w.width() / 2, w.height() - 1), kBlue);  // border, bottom
    QCOMPARE(image.pixel(kBarRight - 1, kBarTop + 5), kBlue);   // bar frame, right
    QCOMPARE(image.pixel(kBarRight, kBarTop + 5), qRgb(255, 255, 255));
  }

  void showsThirtyThreePercentAsNinetyNinePixels() {
    HttpTestServer server([](const std::string&) {
      HttpReply reply{200, "application/octet-stream", std::string(1000, 'x')};
      reply.pauseAfter = 339;
      reply.pause = std::chrono::seconds(60);
      return reply;
    });
    {
      UpdateWindow w(CommandFor(server.Url("http", "/setup")), Options(), Recorder());
      w.show();
      QTRY_COMPARE(Percent(w)->text(), QStringLiteral("33%"));
      QCOMPARE(w.percent(), 33);
      QCOMPARE(FilledPixels(w), 99);
      QImage image = w.grab().toImage();
      QCOMPARE(image.pixel(kBarLeft + 98, kBarTop + 1), kBlue);
      QCOMPARE(image.pixel(kBarLeft + 99, kBarTop + 1), qRgb(255, 255, 255));
      QVERIFY(!FolderEmpty());  // the partial download
      QTest::mouseClick(w.findChild<QAbstractButton*>(QStringLiteral("cancel")), Qt::LeftButton);
      QVERIFY(!w.isVisible());
    }
    QVERIFY(FolderEmpty());  // the window waited for its job to clean up
    QVERIFY(messages_.isEmpty());
  }

  void errorPageShowsDownloadFailureAndStaysOpen() {
    HttpTestServer server([](const std::string&) { return HttpReply{404, "text/html", "<html>gone</html>"}; });
    UpdateWindow w(CommandFor(server.Url("http", "/setup")), Options(), Recorder());
    w.show();
    QTRY_COMPARE(messages_, QStringList{QStringLiteral("下载更新失败，请稍后重试")});
    QVERIFY(w.isVisible());
    QVERIFY(FolderEmpty());
    w.reject();
  }

  void tooLongAddressShowsDownloadFailure() {
    UpdateWindow w(CommandFor("http://h/" + std::string(300, 'a')), Options(), Recorder());
    w.show();
    QTRY_COMPARE(messages_, QStringList{QStringLiteral("下载更新失败，请稍后重试")});
    QCOMPARE(Percent(w)->text(), QStringLiteral("0%"));
    QVERIFY(w.isVisible());
  }

  void startedInstallerEndsTheWindow() {
    fs::path marker = dir_ / "ran";
    std::string script = "#!/bin/sh\necho ran > '" + marker.string() + "'\n";
    HttpTestServer server([&](const std::string&) { return HttpReply{200, "application/octet-stream", script}; });
    UpdateWindow w(CommandFor(server.Url("http", "/setup")), Options(), Recorder());
    w.show();
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
    QCOMPARE(Percent(w)->text(), QStringLiteral("100%"));
    QVERIFY(messages_.isEmpty());
    QVERIFY(test::WaitFor([&] { return fs::exists(marker) && fs::file_size(marker) > 0; }));
    fs::remove_all(dir_.path());
    fs::create_directory(dir_.path());
  }

  void installerThatCannotStartShowsInstallFailure() {
    HttpTestServer server([](const std::string&) { return HttpReply{200, "text/html", "<html>moved</html>"}; });
    UpdateWindow w(CommandFor(server.Url("http", "/setup")), Options(), Recorder());
    w.show();
    QTRY_VERIFY(!w.isVisible());
    QCOMPARE(messages_, QStringList{QStringLiteral("安装更新失败，请稍后重试")});
    fs::remove(dir_ / "lumivex-setup");
  }

  void messagesAreTitledTip() {
    QString title, text;
    CloseNextModal([&](QMessageBox* box) {
      title = box->windowTitle();
      text = box->text();
    });
    UpdateWindow::ShowMessage(nullptr, QStringLiteral("下载更新失败，请稍后重试"));
    QCOMPARE(title, QStringLiteral("提示"));
    QCOMPARE(text, QStringLiteral("下载更新失败，请稍后重试"));
  }

  void aboutBoxFromTheContextMenu() {
    UpdateWindow w(CommandFor(""), Options(), Recorder());
    QCOMPARE(w.contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(w.actions().size(), 1);
    QAction* about = w.actions().front();
    QCOMPARE(about->text(), QStringLiteral("关于 Update(&A)..."));
    QString title, text;
    CloseNextModal([&](QMessageBox* box) {
      title = box->windowTitle();
      text = box->text();
    });
    about->trigger();
    QCOMPARE(title, QStringLiteral("关于 Update"));
    QCOMPARE(text, QStringLiteral("Update，1.0 版"));
  }
};

QTEST_MAIN(UpdateWindowTest)
#include "test_update_window.moc"
