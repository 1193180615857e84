#pragma once
// A worker's "stop now": the window that abandons the worker cancels it, and
// the worker's transfers see it and end at once. Copies share one flag, so
// the window keeps one and hands the other to the worker.

#include <atomic>
#include <memory>

namespace lumivex {

class Cancellation {
 public:
  void Cancel() const { flag_->store(true, std::memory_order_relaxed); }
  bool cancelled() const { return flag_->load(std::memory_order_relaxed); }

 private:
  std::shared_ptr<std::atomic<bool>> flag_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace lumivex
