#pragma once
// CSplitCanvas: the layout chooser of the video wall, six buttons in a small
// window above the main window's split button. A button remembers itself as
// the current one, hides the chooser and reports its layout.

#include <QWidget>

#include <array>

#include "config/user_settings.h"

class QPushButton;

namespace lumivex {

class CSplitCanvas : public QWidget {
  Q_OBJECT

 public:
  struct Choice {
    int id;
    const char* caption;
    WallLayout layout;
  };
  static constexpr std::array<Choice, 6> kChoices{{
      {1001, "h1*w1", {1, 1, 0}},
      {1002, "h2*w2", {2, 2, 0}},
      {1018, "h3*w3", {3, 3, 0}},
      {1020, "h4*h4", {4, 4, 0}},
      {1021, "h3*w3[M]", {3, 3, 1}},
      {1022, "h4*h4[M]", {4, 4, 1}},
  }};

  // The current button starts as the plain layout with the wall's columns.
  CSplitCanvas(QWidget* parent, const WallLayout& wallLayout);

  // Lower-left corner at point (global coordinates); the current button
  // takes the keyboard focus.
  void ShowAt(QPoint bottomLeft);
  int currentButton() const { return current_; }
  QPushButton* button(int id) const;

 signals:
  void chosen(WallLayout layout);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Press(int id);

  std::array<QPushButton*, kChoices.size()> buttons_{};
  int current_ = 1002;
};

}  // namespace lumivex
