#pragma once
// The core's notifier in the desktop program, and the fading tip popup.
//
// Core threads call the notifier from anywhere; every call is carried onto
// the GUI thread (run at once when already there). The ones that wait for
// the user block their caller until the box is closed, so a worker must not
// call them while the GUI thread is waiting for that worker.

#include <QObject>
#include <QString>
#include <string>

#include "core/notifier.h"

class QWidget;

namespace lumivex {

inline constexpr int kTipHeight = 36;

// The tip: a small frameless popup centred on owner (on the screen when
// owner is null) that fades out over milliseconds; a left click hides it at
// once. One tip at a time: a new one replaces the one showing. Unlike the
// original it does not hold up the GUI thread while it fades. GUI thread only.
void ShowTip(QWidget* owner, const QString& text, int milliseconds);
// The tip on screen now, or null.
QWidget* CurrentTip();
// Its text, or an empty text when none shows.
QString CurrentTipText();

class QtNotifier : public QObject, public Notifier {
  Q_OBJECT

 public:
  explicit QtNotifier(QObject* parent = nullptr);

  // A message box over the active window; the caller does not wait.
  void MessageBox(const std::string& title, const std::string& text) override;
  void MessageBoxAndWait(const std::string& title, const std::string& text) override;
  bool AskYesNo(const std::string& title, const std::string& text) override;
  // A tip over the active window.
  void Tip(const std::string& text, int milliseconds) override;
  // Emitted as statusChanged on the GUI thread: the window that started the
  // operation shows it in its status line.
  void Status(const std::string& text) override;
  void Repaint() override;

 signals:
  void statusChanged(const QString& text);
  void repaintRequested();

 private:
  bool OnGuiThread() const;
  // Runs job on the GUI thread: now when already there, else queued.
  template <typename Job>
  void Post(Job job);
  // The same, but returns only after job has run.
  template <typename Job>
  void RunAndWait(Job job);
};

}  // namespace lumivex
