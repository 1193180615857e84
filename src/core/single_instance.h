#pragma once
// One client per program folder (installed: per user): an exclusive flock on a lock file.
// The lock is held until the object goes (or the process ends).

#include <string>

namespace lumivex {

class SingleInstanceLock {
 public:
  enum class State { kAcquired, kHeldByOther, kError };

  SingleInstanceLock() = default;
  ~SingleInstanceLock() { Release(); }
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  State Acquire(const std::string& lockFile);
  void Release();
  bool held() const { return fd_ >= 0; }
  // After kError: the lock file and the system's reason.
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace lumivex
