#pragma once
// CAlarm: the motion alarm of one device, its switch and its daily period.
// The switch and the period go out as background jobs; when the dialog
// closes first, their results are dropped (the operations still report).

#include "ui/dialog_look.h"

class QAbstractButton;
class QLabel;
class QSlider;

namespace lumivex {

struct AppContext;

namespace alarm_controls {
inline constexpr char kName[] = "deviceName";    // 1248
inline constexpr char kOn[] = "alarmOn";         // 1246 "开启报警"
inline constexpr char kOff[] = "alarmOff";       // 1247 "关闭报警"
inline constexpr char kStart[] = "startHour";    // 1240
inline constexpr char kEnd[] = "endHour";        // 1241
inline constexpr char kStartLabel[] = "startLabel";  // 1244
inline constexpr char kEndLabel[] = "endLabel";      // 1245
inline constexpr char kPeriod[] = "period";      // 1251 "全天报警"
inline constexpr char kSetPeriod[] = "setPeriod";  // 1242 "设置报警时间"
inline constexpr char kCancel[] = "cancel";      // 1243
}  // namespace alarm_controls

class CAlarm : public BandedDialog {
  Q_OBJECT

 public:
  CAlarm(AppContext& app, int device, QWidget* parent = nullptr);

  bool switching() const { return switching_; }
  bool settingPeriod() const { return settingPeriod_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // The switch pair as the device's alarmStatus has it now.
  void ShowSwitch();
  void ShowHours();
  void Switch(bool on);
  void SetPeriod();
  int32_t AlarmStatus() const;

  AppContext& app_;
  const int device_;
  QAbstractButton* on_ = nullptr;
  QAbstractButton* off_ = nullptr;
  QAbstractButton* setPeriod_ = nullptr;
  QSlider* start_ = nullptr;
  QSlider* end_ = nullptr;
  QLabel* startLabel_ = nullptr;
  QLabel* endLabel_ = nullptr;
  QLabel* period_ = nullptr;
  bool switching_ = false;
  bool settingPeriod_ = false;
};

}  // namespace lumivex
