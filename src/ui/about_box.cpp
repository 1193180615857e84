#include "ui/about_box.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <utility>

#include "core/version.h"

namespace lumivex {
namespace {

const QColor kHeader(64, 155, 228);
constexpr int kHeaderHeight = 65;
constexpr int kWidth = 360;
constexpr int kRowHeight = 24;
constexpr int kFirstRow = 110;

// How to reach the vendor (its own data, not the program's).
const std::pair<const char*, const char*> kContacts[] = {
    {"官方网站", "www.velmor.com"},
    {"新浪微博", "@velmor视频"},
    {"微     信", "velmor_orbelle"},
    {"客服 QQ", "800018866"},
    {"客服电话", "400-618-8866"},
};

}  // namespace

CAboutDlg::CAboutDlg(uint16_t productMajor, uint16_t productMinor, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setWindowTitle(QString::fromUtf8(kApplicationName));
  const int rows = static_cast<int>(std::size(kContacts));
  setFixedSize(kWidth, kFirstRow + rows * kRowHeight + 50);

  auto* version = new QLineEdit(QStringLiteral("velmorOrbelle客户端 v%1.%2").arg(productMajor).arg(productMinor), this);
  version->setObjectName(kAboutVersionName);
  version->setReadOnly(true);
  version->setFrame(false);
  version->setGeometry(30, kHeaderHeight + 12, kWidth - 60, kRowHeight);

  for (int i = 0; i < rows; ++i) {
    int y = kFirstRow + i * kRowHeight;
    auto* label = new QLabel(QString::fromUtf8(kContacts[i].first), this);
    label->setGeometry(30, y, 80, kRowHeight);
    auto* value = new QLabel(QString::fromUtf8(kContacts[i].second), this);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setGeometry(120, y, kWidth - 150, kRowHeight);
  }

  auto* ok = new QPushButton(QStringLiteral("确定"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setGeometry(kWidth - 110, height() - 40, 80, 26);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CAboutDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.fillRect(0, 0, width(), kHeaderHeight, kHeader);
  p.setPen(Qt::white);
  QFont title = font();
  title.setPixelSize(18);
  p.setFont(title);
  p.drawText(QRect(20, 0, width() - 40, kHeaderHeight), Qt::AlignVCenter | Qt::AlignLeft,
             QString::fromUtf8(kApplicationName));
  p.setPen(kHeader);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace lumivex
