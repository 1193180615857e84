#pragma once
// The small dialogs the device tree opens before or for one device:
// CPwdConf (the password confirmation before a guarded operation),
// CVideoLock (the 3 by 3 unlock pattern of a locked device) and CRename.
// They only gather and check input; the caller runs the operation.

#include <QString>

#include <functional>
#include <string>

#include "ui/dialog_look.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lumivex {

class Notifier;

namespace dialog_controls {
inline constexpr char kPassword[] = "password";  // CPwdConf 1052
inline constexpr char kMessage[] = "message";    // 1196
inline constexpr char kOk[] = "ok";              // 1
inline constexpr char kCancel[] = "cancel";      // 2
inline constexpr char kAgain[] = "again";        // CVideoLock 1242 "重新"
inline constexpr char kName[] = "name";          // CRename 1069
}  // namespace dialog_controls

// "确定" (also Enter) closes with OK when the password matches the
// remembered one; "取消" (also Esc) with Cancel.
class CPwdConf : public BandedDialog {
  Q_OBJECT

 public:
  CPwdConf(std::string rememberedPassword, QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Confirm();

  const std::string remembered_;
  QLineEdit* password_ = nullptr;
  QLabel* message_ = nullptr;
};

// Closes with OK as soon as the digits pressed so far unlock the device
// (accepts(pattern)); nine digits that do not start again with the tip
// "密码错误".
class CVideoLock : public BandedDialog {
  Q_OBJECT

 public:
  using PatternCheck = std::function<bool(const std::string& pattern)>;
  CVideoLock(PatternCheck accepts, QWidget* parent = nullptr);

  const std::string& pattern() const { return pattern_; }
  // The digit button k (1 to 9) and its chosen twin.
  QPushButton* digit(int k) const { return digits_[k - 1]; }
  QPushButton* chosen(int k) const { return chosen_[k - 1]; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Press(int k);
  void Reset();

  PatternCheck accepts_;
  std::string pattern_;
  QPushButton* digits_[9] = {};
  QPushButton* chosen_[9] = {};
};

// The new name of a device: at most 30 UTF-16 units, checked on "确定".
class CRename : public BandedDialog {
  Q_OBJECT

 public:
  // Placed centred on the mouse cursor.
  CRename(Notifier& notifier, const QString& currentName, QWidget* parent = nullptr);

  // After OK: the name to send.
  std::string name() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Confirm();

  Notifier& notifier_;
  QLineEdit* edit_ = nullptr;
  QAbstractButton* ok_ = nullptr;
  QAbstractButton* cancel_ = nullptr;
};

}  // namespace lumivex
