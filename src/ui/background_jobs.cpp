#include "ui/background_jobs.h"

#include <algorithm>

namespace lumivex::ui {

BackgroundJobs::~BackgroundJobs() { JoinAll(); }

void BackgroundJobs::JoinAll() {
  for (Job& job : jobs_) job.thread.join();
  jobs_.clear();
}

void BackgroundJobs::Start(std::function<void()> body) {
  ReapFinished();
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::thread thread([body = std::move(body), finished] {
    body();
    *finished = true;
  });
  jobs_.push_back({std::move(thread), std::move(finished)});
}

void BackgroundJobs::ReapFinished() {
  auto done = std::stable_partition(jobs_.begin(), jobs_.end(), [](const Job& job) { return !*job.finished; });
  for (auto it = done; it != jobs_.end(); ++it) it->thread.join();
  jobs_.erase(done, jobs_.end());
}

}  // namespace lumivex::ui
