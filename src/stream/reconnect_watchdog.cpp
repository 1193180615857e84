#include "stream/reconnect_watchdog.h"

#include <system_error>

#include "core/logging.h"

namespace lumivex {

ReconnectWatchdog::~ReconnectWatchdog() {
  std::thread ending;
  {
    std::lock_guard lock(mutex_);
    ending = EndThreadLocked();
  }
  Join(ending);
}

std::thread ReconnectWatchdog::EndThreadLocked() {
  ++generation_;
  return std::move(thread_);
}

void ReconnectWatchdog::Join(std::thread& ending) {
  wake_.notify_all();
  if (ending.joinable()) ending.join();
}

void ReconnectWatchdog::Add(const void* owner, Check check) {
  std::lock_guard lock(mutex_);
  if (!checks_.emplace(owner, std::move(check)).second || thread_.joinable()) return;
  try {
    thread_ = std::thread([this, generation = generation_] { Run(generation); });
  } catch (const std::system_error&) {
    LogInfo("the reconnect watchdog could not start: failed cameras stay failed");
  }
}

void ReconnectWatchdog::Remove(const void* owner) {
  std::thread ending;
  {
    std::lock_guard lock(mutex_);
    checks_.erase(owner);
    if (checks_.empty()) ending = EndThreadLocked();  // an Add after this starts another
  }
  Join(ending);
}

void ReconnectWatchdog::Run(uint64_t generation) {
  std::unique_lock lock(mutex_);
  const auto ended = [&] { return generation_ != generation; };
  while (!wake_.wait_for(lock, period_, ended)) {
    for (auto& [owner, check] : checks_) check();
  }
}

}  // namespace lumivex
