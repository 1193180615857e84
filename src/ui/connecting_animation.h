#pragma once
// The connecting picture's progress blocks move by themselves: the session
// only says "connecting", and the window showing it runs this timer on the
// GUI thread, only while it shows it.

#include <QTimer>
#include <QWidget>

namespace lumivex {

class ConnectingAnimation {
 public:
  ConnectingAnimation(QWidget& window, int intervalMs) {
    timer_.setInterval(intervalMs);
    QObject::connect(&timer_, &QTimer::timeout, &window, [this, &window] {
      ++step_;
      window.update();
    });
  }

  // From paintEvent: starts from step 0 when connecting begins to show,
  // stops when it no longer does.
  void Follow(bool connecting) {
    if (connecting == timer_.isActive()) return;
    step_ = 0;
    if (connecting) {
      timer_.start();
    } else {
      timer_.stop();
    }
  }
  int step() const { return step_; }

 private:
  QTimer timer_;
  int step_ = 0;
};

}  // namespace lumivex
