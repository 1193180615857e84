#pragma once
// CClose: what closing the main window does, asked when ShowClose is on:
// hide in the tray or end the program, and whether to ask again. The
// "不再提示" choice is saved (ShowClose); tray or exit is not.

#include <QDialog>

class QAbstractButton;
class QCheckBox;
class QRadioButton;

namespace lumivex {

struct UserSettings;

namespace close_controls {
inline constexpr char kToTray[] = "toTray";        // 1075
inline constexpr char kExit[] = "exitProgram";     // 1076
inline constexpr char kDontAsk[] = "dontAskAgain"; // 1014
inline constexpr char kOk[] = "ok";                // 1209
inline constexpr char kCancel[] = "cancel";        // 1063
}  // namespace close_controls

class CClose : public QDialog {
  Q_OBJECT

 public:
  enum Choice { kCancelled = 0, kToTray = 1, kExitProgram = 2 };

  CClose(UserSettings& settings, QWidget* parent = nullptr);

  // After exec: what the user chose (kCancelled when closed any other way).
  Choice choice() const { return choice_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // "确定": saves the choice of asking again; stays open when the file does
  // not load.
  void Confirm();

  UserSettings& settings_;
  QRadioButton* toTray_ = nullptr;
  QRadioButton* exit_ = nullptr;
  QCheckBox* dontAsk_ = nullptr;
  QAbstractButton* ok_ = nullptr;
  QAbstractButton* cancel_ = nullptr;
  Choice choice_ = kCancelled;
};

}  // namespace lumivex
