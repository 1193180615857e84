#pragma once
// The window side of "one client per program folder". The first instance
// holds the lock (core/single_instance.h) and listens on a local socket; a
// second one, refused the lock, asks it there to bring its window forward and
// ends without a window of its own.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <string>

class QWidget;

namespace lumivex {

class SingleInstanceServer : public QObject {
  Q_OBJECT

 public:
  static constexpr char kRaiseRequest[] = "raise\n";

  explicit SingleInstanceServer(QObject* parent = nullptr);

  // Derived from the user and the program folder, so two homes are two
  // instances and two users never meet on one socket.
  static QString NameFor(const std::string& programFolder);

  // Only the holder of the lock listens, in the abstract namespace, so an
  // instance that crashed leaves no socket behind.
  bool Listen(const QString& name);
  bool listening() const { return server_.isListening(); }

  // The second instance's request. Retries while the first is still coming
  // up; false when none answered within timeoutMs.
  static bool AskToRaise(const QString& name, int timeoutMs = 3000);

 signals:
  void raiseRequested();

 private:
  void Accept();

  QLocalServer server_;
};

// Shows window normally (also from minimised) and puts it on top.
void BringToFront(QWidget* window);

}  // namespace lumivex
