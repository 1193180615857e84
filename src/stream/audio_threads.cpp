#include "stream/audio_threads.h"

#include <algorithm>

namespace lumivex {

void StopThreads::Launch(std::function<void()> body) {
  auto ended = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(mutex_);
  // An ended run has nothing left but its return: joining it does not wait.
  auto gone = std::remove_if(runs_.begin(), runs_.end(), [](Run& run) {
    if (!run.ended->load()) return false;
    run.thread.join();
    return true;
  });
  runs_.erase(gone, runs_.end());
  runs_.push_back(Run{std::thread([body = std::move(body), ended] {
                        body();
                        ended->store(true);
                      }),
                      ended});
}

void StopThreads::JoinAll() {
  while (true) {
    std::vector<Run> runs;
    {
      std::lock_guard lock(mutex_);
      runs.swap(runs_);
    }
    if (runs.empty()) return;
    for (Run& run : runs) run.thread.join();
  }
}

}  // namespace lumivex
