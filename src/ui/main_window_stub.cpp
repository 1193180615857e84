// Stands in for the main window until MainWindow exists: says who is signed
// in and how many cameras the account has.

#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>
#include <thread>

#include "core/logging.h"
#include "core/version.h"
#include "ui/app_context.h"

namespace lumivex {

void RunMainWindow(AppContext& app) {
  QDialog window;
  window.setWindowTitle(QString::fromUtf8(kApplicationName));
  window.resize(360, 120);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(
      new QLabel(QStringLiteral("%1 已登录").arg(QString::fromStdString(app.settings.userName.str()))));
  auto* count = new QLabel(QStringLiteral("正在获取设备列表"));
  layout->addWidget(count);
  QObject::connect(&app.instanceServer, &SingleInstanceServer::raiseRequested, &window,
                   [&window] { BringToFront(&window); });

  std::thread lister([&app, &window, count] {
    bool listed = app.cameras.Update(app.service);
    int cameras = app.cameras.count();
    QMetaObject::invokeMethod(
        &window,
        [count, listed, cameras] {
          count->setText(listed ? QStringLiteral("设备数量：%1").arg(cameras)
                                : QStringLiteral("获取设备列表失败"));
        },
        Qt::QueuedConnection);
  });
  LogLine("main window shown");
  window.exec();
  lister.join();
}

}  // namespace lumivex
