#include "ui/dialogs/alarm_dialog.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <optional>

#include "core/notifier.h"
#include "core/version.h"
#include "ui/app_context.h"
#include "webservice/device_settings.h"

namespace lumivex {
namespace {

namespace names = alarm_controls;

constexpr int kWidth = 420;
constexpr int kHeight = 270;
constexpr int kBandHeight = 45;
constexpr int kLastHour = 23;

QSlider* MakeHourSlider(const char* name, int hour, int top, QWidget* parent) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(name);
  slider->setRange(0, kLastHour);
  slider->setPageStep(1);
  slider->setValue(hour);
  slider->setGeometry(100, top, 220, 26);
  return slider;
}

}  // namespace

CAlarm::CAlarm(AppContext& app, int device, QWidget* parent)
    : BandedDialog(parent, kBandHeight), app_(app), device_(device) {
  setWindowTitle(QStringLiteral("报警设置"));
  setFixedSize(kWidth, kHeight);
  const std::optional<CameraInfo> info = app_.cameras.Get(device_);
  QLabel* name = MakeDialogLabel(QString::fromStdString(info ? info->name : ""), QRect(16, 0, kWidth - 32, kBandHeight),
                                 this, Qt::white);
  name->setObjectName(names::kName);

  auto* switchBox = new QGroupBox(QStringLiteral("报警开关"), this);
  switchBox->setGeometry(16, kBandHeight + 10, kWidth - 32, 56);
  on_ = MakeDialogButton(QStringLiteral("开启报警"), names::kOn, QRect(36, kBandHeight + 32, 110, 28), this);
  off_ = MakeDialogButton(QStringLiteral("关闭报警"), names::kOff, QRect(36, kBandHeight + 32, 110, 28), this);
  connect(on_, &QAbstractButton::clicked, this, [this] { Switch(true); });
  connect(off_, &QAbstractButton::clicked, this, [this] { Switch(false); });

  auto* periodBox = new QGroupBox(QStringLiteral("报警时间"), this);
  periodBox->setGeometry(16, kBandHeight + 76, kWidth - 32, 104);
  const int top = kBandHeight + 98;
  MakeDialogLabel(QStringLiteral("开始时间"), QRect(36, top, 64, 26), this, kDialogBlue);
  MakeDialogLabel(QStringLiteral("结束时间"), QRect(36, top + 34, 64, 26), this, kDialogBlue);
  start_ = MakeHourSlider(names::kStart, info ? info->alarmStartTime : 0, top, this);
  end_ = MakeHourSlider(names::kEnd, info ? info->alarmEndTime : 0, top + 34, this);
  startLabel_ = MakeDialogLabel(QString(), QRect(330, top, 24, 26), this, kDialogBlue);
  endLabel_ = MakeDialogLabel(QString(), QRect(330, top + 34, 24, 26), this, kDialogBlue);
  startLabel_->setObjectName(names::kStartLabel);
  endLabel_->setObjectName(names::kEndLabel);
  MakeDialogLabel(QStringLiteral("时"), QRect(356, top, 20, 26), this, kDialogBlue);
  MakeDialogLabel(QStringLiteral("时"), QRect(356, top + 34, 20, 26), this, kDialogBlue);
  period_ = MakeDialogLabel(QString(), QRect(240, kBandHeight + 32, 140, 28), this, kDialogBlue);
  period_->setObjectName(names::kPeriod);
  for (QSlider* slider : {start_, end_}) connect(slider, &QSlider::valueChanged, this, &CAlarm::ShowHours);

  setPeriod_ = MakeDialogButton(QStringLiteral("设置报警时间"), names::kSetPeriod,
                                QRect(kWidth - 250, kHeight - 44, 120, 30), this);
  QPushButton* cancel = MakeDialogButton(QStringLiteral("取消"), names::kCancel,
                                         QRect(kWidth - 116, kHeight - 44, 100, 30), this);
  connect(setPeriod_, &QAbstractButton::clicked, this, &CAlarm::SetPeriod);
  connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
  ShowSwitch();
  ShowHours();
}

int32_t CAlarm::AlarmStatus() const {
  const std::optional<CameraInfo> info = app_.cameras.Get(device_);
  return info ? info->alarmStatus : 0;
}

void CAlarm::ShowSwitch() {
  const bool alarmOn = AlarmStatus() != 0;
  on_->setVisible(!alarmOn);
  off_->setVisible(alarmOn);
}

void CAlarm::ShowHours() {
  startLabel_->setText(QStringLiteral("%1").arg(start_->value(), 2, 10, QLatin1Char('0')));
  endLabel_->setText(QStringLiteral("%1").arg(end_->value(), 2, 10, QLatin1Char('0')));
  period_->setText(start_->value() == end_->value() ? QStringLiteral("全天报警") : QString());
}

void CAlarm::Switch(bool on) {
  if (switching_) return;
  switching_ = true;
  ServiceContext& service = app_.service;
  CameraList& cameras = app_.cameras;
  const int device = device_;
  app_.jobs.Run<int>(
      this, [&service, &cameras, device, on] { return SetAlarm(service, cameras, device, on); },
      [this](int) {
        switching_ = false;
        ShowSwitch();
      });
}

void CAlarm::SetPeriod() {
  if (AlarmStatus() == 0) return app_.notifier.MessageBox(kApplicationName, "请先开启报警");
  if (settingPeriod_) return;
  settingPeriod_ = true;
  ServiceContext& service = app_.service;
  CameraList& cameras = app_.cameras;
  const int device = device_, startHour = start_->value(), endHour = end_->value();
  app_.jobs.Run<int>(
      this,
      [&service, &cameras, device, startHour, endHour] {
        return SetAlarmTime(service, cameras, device, startHour, endHour);
      },
      [this](int) { settingPeriod_ = false; });
}

// Enter and Space press the focused button, and for the switch the one
// shown; Esc is "取消".
void CAlarm::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (!IsEnterKey(event) && key != Qt::Key_Space) return BandedDialog::keyPressEvent(event);
  QWidget* focus = focusWidget();
  if (focus == setPeriod_) setPeriod_->click();
  if (focus == on_ || focus == off_) (AlarmStatus() != 0 ? off_ : on_)->click();
}

}  // namespace lumivex
