#include "run_guard.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

namespace lumivex::bench {

RunGuard::RunGuard(std::chrono::seconds bound) : thread_([this, bound] { Watch(bound); }) {}

RunGuard::~RunGuard() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  done_.notify_all();
  thread_.join();
}

void RunGuard::Watch(std::chrono::seconds bound) {
  std::unique_lock lock(mutex_);
  if (done_.wait_for(lock, bound, [this] { return finished_; })) return;
  std::fprintf(stderr, "lumivex_bench_live: no end after %lld s, stuck while %s\n",
               static_cast<long long>(bound.count()), phase_.load());
  if (const pid_t child = child_; child > 0) ::kill(child, SIGKILL);
  std::fflush(stderr);
  ::_exit(3);  // the stuck threads cannot be joined
}

}  // namespace lumivex::bench
