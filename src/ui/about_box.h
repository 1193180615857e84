#pragma once
// CAboutDlg: the program's name and version and how to reach the vendor.

#include <QDialog>
#include <cstdint>

namespace lumivex {

inline constexpr char kAboutVersionName[] = "version";  // the object name of text field 1062

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  CAboutDlg(uint16_t productMajor, uint16_t productMinor, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace lumivex
