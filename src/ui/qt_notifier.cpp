#include "ui/qt_notifier.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QScreen>
#include <QThread>
#include <algorithm>

namespace lumivex {
namespace {

constexpr int kTipPixelsPerCharacter = 22;
constexpr int kTipMargin = 10;
const QColor kTipText(60, 60, 60);
const QColor kTipBackground(253, 253, 253);
const QColor kTipFrame(200, 200, 200);

class TipPopup : public QWidget {
 public:
  TipPopup(QWidget* owner, const QString& text)
      : QWidget(owner ? owner->window() : nullptr,
                Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("tip"));
    int textWidth = kTipPixelsPerCharacter * static_cast<int>(text.size());
    label_ = new QLabel(text, this);
    label_->setGeometry(kTipMargin, 0, textWidth, kTipHeight);
    label_->setAlignment(Qt::AlignCenter);
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, kTipText);
    label_->setPalette(palette);
    setFixedSize(textWidth + 2 * kTipMargin, kTipHeight);
    move(CentreOn(owner) - QPoint(width() / 2, height() / 2));
  }

  QString text() const { return label_->text(); }

  void FadeOut(int milliseconds) {
    auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(std::max(milliseconds, 1));
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    connect(fade, &QPropertyAnimation::finished, this, &QWidget::close);
    fade->start();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), kTipBackground);
    p.setPen(kTipFrame);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) close();
  }

 private:
  static QPoint CentreOn(QWidget* owner) {
    if (owner) return owner->window()->frameGeometry().center();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().center() : QPoint(0, 0);
  }

  QLabel* label_ = nullptr;
};

QPointer<TipPopup> g_tip;  // GUI thread only

QString Q(const std::string& text) { return QString::fromStdString(text); }

QWidget* BoxOwner() {
  QWidget* modal = QApplication::activeModalWidget();
  return modal ? modal : QApplication::activeWindow();
}

}  // namespace

void ShowTip(QWidget* owner, const QString& text, int milliseconds) {
  if (g_tip) g_tip->close();
  g_tip = new TipPopup(owner, text);
  g_tip->show();
  g_tip->FadeOut(milliseconds);
}

QWidget* CurrentTip() { return g_tip && g_tip->isVisible() ? g_tip.data() : nullptr; }

QString CurrentTipText() { return CurrentTip() ? g_tip->text() : QString(); }

QtNotifier::QtNotifier(QObject* parent) : QObject(parent) {}

bool QtNotifier::OnGuiThread() const { return QThread::currentThread() == thread(); }

template <typename Job>
void QtNotifier::Post(Job job) {
  if (OnGuiThread())
    job();
  else
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

template <typename Job>
void QtNotifier::RunAndWait(Job job) {
  if (OnGuiThread())
    job();
  else
    QMetaObject::invokeMethod(this, std::move(job), Qt::BlockingQueuedConnection);
}

void QtNotifier::MessageBox(const std::string& title, const std::string& text) {
  Post([title = Q(title), text = Q(text)] {
    auto* box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, BoxOwner());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  });
}

void QtNotifier::MessageBoxAndWait(const std::string& title, const std::string& text) {
  RunAndWait([title = Q(title), text = Q(text)] {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, BoxOwner());
    box.exec();
  });
}

bool QtNotifier::AskYesNo(const std::string& title, const std::string& text) {
  bool yes = false;
  RunAndWait([&yes, title = Q(title), text = Q(text)] {
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Yes | QMessageBox::No, BoxOwner());
    box.setDefaultButton(QMessageBox::Yes);  // as named, not left to the style
    box.setEscapeButton(QMessageBox::No);
    yes = box.exec() == QMessageBox::Yes;
  });
  return yes;
}

void QtNotifier::Tip(const std::string& text, int milliseconds) {
  Post([text = Q(text), milliseconds] { ShowTip(QApplication::activeWindow(), text, milliseconds); });
}

void QtNotifier::Status(const std::string& text) {
  Post([this, text = Q(text)] { emit statusChanged(text); });
}

void QtNotifier::Repaint() {
  Post([this] { emit repaintRequested(); });
}

}  // namespace lumivex
