#include "core/stop_signal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace lumivex {

StopSignal::StopSignal() : eventFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
  if (eventFd_ >= 0) ::close(eventFd_);
}

void StopSignal::Request() {
  {
    std::lock_guard lock(mutex_);
    if (flag_.exchange(true)) return;
    cancel_.Cancel();
  }
  wake_.notify_all();
  const uint64_t one = 1;
  if (eventFd_ >= 0 && ::write(eventFd_, &one, sizeof one) < 0) {
    // A full counter is still readable: nothing is lost.
  }
}

void StopSignal::Reset() {
  std::lock_guard lock(mutex_);
  if (!flag_.exchange(false)) return;
  cancel_ = Cancellation{};
  uint64_t count = 0;
  if (eventFd_ >= 0 && ::read(eventFd_, &count, sizeof count) < 0) {
    // Already drained.
  }
}

bool StopSignal::WaitUntil(Clock::time_point deadline, const std::function<bool()>& done) {
  std::unique_lock lock(mutex_);
  wake_.wait_until(lock, deadline, [&] { return flag_.load() || (done && done()); });
  return flag_.load();
}

void StopSignal::Notify() const {
  { std::lock_guard lock(mutex_); }
  wake_.notify_all();
}

Cancellation StopSignal::cancellation() const {
  std::lock_guard lock(mutex_);
  return cancel_;
}

}  // namespace lumivex
