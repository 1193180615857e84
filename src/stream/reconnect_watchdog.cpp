#include "stream/reconnect_watchdog.h"

#include <system_error>

#include "core/logging.h"

namespace lumivex {

ReconnectWatchdog::~ReconnectWatchdog() {
  std::thread thread;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    thread = std::move(thread_);
  }
  wake_.notify_all();
  if (thread.joinable()) thread.join();
}

void ReconnectWatchdog::Add(const void* owner, Check check) {
  std::lock_guard lock(mutex_);
  if (!checks_.emplace(owner, std::move(check)).second || thread_.joinable()) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    LogInfo("the reconnect watchdog could not start: failed cameras stay failed");
  }
}

void ReconnectWatchdog::Remove(const void* owner) {
  std::lock_guard lock(mutex_);
  checks_.erase(owner);
}

void ReconnectWatchdog::Run() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, period_, [this] { return quit_; })) {
    for (auto& [owner, check] : checks_) check();
  }
}

}  // namespace lumivex
