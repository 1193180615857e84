#pragma once
// One-shot workers of the windows' web operations. A job's work runs on a
// thread of its own; its result is handed to the receiver on the GUI thread
// by a queued call, which Qt drops when the receiver has gone first, so a
// dialog may close while its job still runs. Every thread is joined: a
// finished one at the next Run, the others when this object goes.
//
// Threads: Run and the destructor belong to the GUI thread; work must not
// wait for the GUI thread (it may be joining it).

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace lumivex::ui {

class BackgroundJobs {
 public:
  BackgroundJobs() = default;
  ~BackgroundJobs();
  BackgroundJobs(const BackgroundJobs&) = delete;
  BackgroundJobs& operator=(const BackgroundJobs&) = delete;

  // Waits for every job started so far; their done calls stay queued.
  void JoinAll();

  // done(result of work) runs on the GUI thread if receiver still exists.
  template <typename Result>
  void Run(QObject* receiver, std::function<Result()> work, std::function<void(Result)> done) {
    Start([this, receiver = QPointer<QObject>(receiver), work = std::move(work), done = std::move(done)] {
      Result result = work();
      // The receiver is looked at on the GUI thread, where it is deleted.
      QMetaObject::invokeMethod(
          &gui_, [receiver, done, result] { if (receiver) done(result); }, Qt::QueuedConnection);
    });
  }

 private:
  struct Job {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };

  void Start(std::function<void()> body);
  void ReapFinished();

  QObject gui_;  // of the GUI thread; goes after the joins, with the calls still queued to it
  std::vector<Job> jobs_;
};

}  // namespace lumivex::ui
