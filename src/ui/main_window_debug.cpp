#include "ui/main_window_debug.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPixmap>
#include <QString>
#include <QTimer>

#include <cstdlib>

#include "core/logging.h"
#include "stream/camera.h"
#include "ui/main_window.h"
#include "ui/image_button.h"
#include "ui/video_wall_widget.h"

namespace lumivex {
namespace {

constexpr int kPollMs = 200;
constexpr int kMaxSeconds = 3600;

QString Environment(const char* name) { return QString::fromLocal8Bit(std::getenv(name)); }

class DebugScript : public QObject {
 public:
  DebugScript(CLumivexDlg& window, int select, bool record, QString shotFile, int shotSeconds)
      : QObject(&window),
        window_(window),
        select_(select),
        record_(record),
        shotFile_(std::move(shotFile)),
        shotMs_(shotSeconds * 1000) {
    clock_.start();
    connect(&timer_, &QTimer::timeout, this, &DebugScript::Tick);
    timer_.start(kPollMs);
  }

 private:
  void Tick() {
    if (select_ >= 0 && SelectWhenPlaying()) select_ = -1;
    if (!shotFile_.isEmpty() && clock_.elapsed() >= shotMs_) {
      timer_.stop();
      TakeScreenshot();
    }
    if (select_ < 0 && shotFile_.isEmpty()) timer_.stop();
  }

  bool SelectWhenPlaying() {
    CSubCanvas* w = window_.canvas()->window(WallPlace{0, select_});
    CCamera* camera = w ? w->camera() : nullptr;
    if (!camera || camera->m_VideoStatus != STATUS_VIDEO_PLAYING) return false;
    // The wall's own path: a click on the window.
    const QPointF centre(w->width() / 2.0, w->height() / 2.0);
    const QPointF global = w->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
    LogLine("debug: window " + std::to_string(select_) + " selected (" + camera->sid() + ")");
    if (record_) window_.button(kRecordOnButton)->click();
    return true;
  }

  void TakeScreenshot() {
    bool saved = window_.grab().save(shotFile_, "PNG");
    LogLine(std::string("debug: screenshot ") + (saved ? "saved to " : "NOT saved to ") + shotFile_.toStdString());
    window_.WindowExit();
  }

  CLumivexDlg& window_;
  int select_;
  const bool record_;
  const QString shotFile_;
  const qint64 shotMs_;
  QElapsedTimer clock_;
  QTimer timer_;
};

}  // namespace

void ArmDebugScript(CLumivexDlg& window) {
  bool ok = true;
  int select = -1;
  if (QString text = Environment("LUMIVEX_SELECT"); !text.isEmpty()) {
    select = text.toInt(&ok);
    if (!ok || select < 0 || select > 15) {
      LogLine("debug: LUMIVEX_SELECT wants a window 0-15, not " + text.toStdString());
      select = -1;
    }
  }
  const bool record = Environment("LUMIVEX_RECORD") == QStringLiteral("1");
  QString shotFile;
  int seconds = 0;
  if (QString text = Environment("LUMIVEX_SCREENSHOT"); !text.isEmpty()) {
    const int comma = text.lastIndexOf(',');
    seconds = comma > 0 ? text.mid(comma + 1).toInt(&ok) : 0;
    if (comma > 0 && ok && seconds >= 1 && seconds <= kMaxSeconds)
      shotFile = text.left(comma);
    else
      LogLine("debug: LUMIVEX_SCREENSHOT wants FILE,SECONDS (1-3600), not " + text.toStdString());
  }
  if (select < 0 && shotFile.isEmpty()) return;
  new DebugScript(window, select, record, shotFile, seconds);
}

}  // namespace lumivex
