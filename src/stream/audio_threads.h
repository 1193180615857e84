#pragma once
// The threads that run the audio stops of one camera. A stop ends with the
// hand-over to the next camera, which may start the next stop of the same
// camera, so Launch never waits for a run that is still going: runs that
// have ended are joined by the next Launch, the rest by JoinAll. No thread
// is ever detached. JoinAll must not be called from inside a run.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace lumivex {

class StopThreads {
 public:
  StopThreads() = default;
  ~StopThreads() { JoinAll(); }
  StopThreads(const StopThreads&) = delete;
  StopThreads& operator=(const StopThreads&) = delete;

  void Launch(std::function<void()> body);
  void JoinAll();

 private:
  struct Run {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> ended;
  };

  std::mutex mutex_;
  std::vector<Run> runs_;  // guarded by mutex_
};

}  // namespace lumivex
