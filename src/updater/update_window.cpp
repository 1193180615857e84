#include "updater/update_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <utility>

namespace lumivex {
namespace {

const QColor kBlue(64, 155, 228);
const QColor kLabelColor(250, 250, 250);
const QColor kPercentColor(84, 185, 255);
constexpr int kWidth = 340;
constexpr int kHeight = 112;
constexpr int kHeaderHeight = 30;

// "取消" in its three looks: resting, under the pointer, held down.
class CancelButton : public QAbstractButton {
 public:
  explicit CancelButton(QWidget* parent) : QAbstractButton(parent) {
    setText(QStringLiteral("取消"));
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor fill = isDown() ? kBlue.darker(120) : underMouse() ? kPercentColor : kBlue;
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(rect(), 3, 3);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter, text());
  }
};

void SetTextColor(QLabel* label, const QColor& color) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
}

}  // namespace

void UpdateWindow::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::Ok, parent);
  box.exec();
}

UpdateWindow::UpdateWindow(const UpdateCommandLine& command, UpdateJobOptions options,
                           MessagePresenter presenter, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), presenter_(std::move(presenter)) {
  setWindowTitle(QStringLiteral("Update"));
  setFixedSize(kWidth, kHeight);

  // No system menu here: the about entry sits in the window's context menu.
  auto* about = new QAction(QStringLiteral("关于 Update(&A)..."), this);
  connect(about, &QAction::triggered, this, &UpdateWindow::ShowAbout);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  auto* title = new QLabel(QStringLiteral("正在下载更新"), this);
  title->setGeometry(10, 0, 200, kHeaderHeight);
  SetTextColor(title, kLabelColor);

  percentLabel_ = new QLabel(QStringLiteral("0%"), this);
  percentLabel_->setObjectName(QStringLiteral("percent"));
  percentLabel_->setGeometry(kBarLeft, kBarBottom + 8, 80, 24);
  SetTextColor(percentLabel_, kPercentColor);

  cancelButton_ = new CancelButton(this);
  cancelButton_->setObjectName(QStringLiteral("cancel"));
  cancelButton_->setGeometry(kBarRight - 70, kBarBottom + 8, 70, 24);
  connect(cancelButton_, &QAbstractButton::clicked, this, &UpdateWindow::reject);

  if (command.kind == UpdateAddress::TooLong) {
    QMetaObject::invokeMethod(
        this, [this] { presenter_(this, QString::fromUtf8(kUpdateDownloadFailed)); }, Qt::QueuedConnection);
  } else if (command.kind == UpdateAddress::Given) {
    // The job's thread never touches a widget: everything it reports is
    // queued onto this window's thread.
    job_ = std::make_unique<UpdateJob>(
        std::move(options),
        [this](int percent) {
          QMetaObject::invokeMethod(this, [this, percent] { ShowPercent(percent); }, Qt::QueuedConnection);
        },
        [this](const UpdateResult& result) {
          QMetaObject::invokeMethod(this, [this, result] { Finish(result); }, Qt::QueuedConnection);
        });
    job_->Start(command.address);
  }
}

// The job goes first, while the window it reports to still stands.
UpdateWindow::~UpdateWindow() { job_.reset(); }

void UpdateWindow::ShowAbout() {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("关于 Update"), QStringLiteral("Update，1.0 版"),
                  QMessageBox::Ok, this);
  box.exec();
}

void UpdateWindow::reject() {
  if (job_) job_->Cancel();
  QDialog::reject();
}

void UpdateWindow::ShowPercent(int percent) {
  percent_ = percent;
  percentLabel_->setText(QString::asprintf("%d%%", percent));
  update(QRect(kBarLeft, kBarTop, kBarRight - kBarLeft, kBarBottom - kBarTop));
}

void UpdateWindow::Finish(const UpdateResult& result) {
  switch (result.outcome) {
    case UpdateOutcome::Started:
      accept();
      break;
    case UpdateOutcome::StartFailed:
      presenter_(this, QString::fromUtf8(kUpdateStartFailed));
      accept();
      break;
    case UpdateOutcome::DownloadFailed:
      presenter_(this, QString::fromUtf8(kUpdateDownloadFailed));  // only "取消" ends it now
      break;
    case UpdateOutcome::Cancelled:
      break;
  }
}

void UpdateWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.fillRect(0, 0, width(), kHeaderHeight, kBlue);
  p.fillRect(kBarLeft, kBarTop, BarFillWidth(percent_), kBarBottom - kBarTop, kBlue);
  p.setPen(kBlue);
  p.setBrush(Qt::NoBrush);
  p.drawRect(0, 0, width() - 1, height() - 1);
  p.drawRect(kBarLeft, kBarTop, kBarRight - kBarLeft - 1, kBarBottom - kBarTop - 1);
}

void UpdateWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();  // neither closes the window
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void UpdateWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QDialog::mousePressEvent(event);
  // The window manager moves it where it can (X11, Wayland); otherwise we do.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void UpdateWindow::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - dragOffset_);
  else
    QDialog::mouseMoveEvent(event);
}

void UpdateWindow::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QDialog::mouseReleaseEvent(event);
}

}  // namespace lumivex
