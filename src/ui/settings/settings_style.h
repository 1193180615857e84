#pragma once
// The look the sheet and its pages share with the other windows.

#include <QColor>
#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace lumivex {

inline const QColor kSheetBlue(64, 155, 228);

// A flat blue push button; Enter never presses it (the sheet swallows Enter).
QPushButton* MakeSheetButton(const QString& text, const char* name, const QRect& where, QWidget* parent);
QLabel* MakeSheetLabel(const QString& text, const QRect& where, QWidget* parent);

}  // namespace lumivex
