#include "core/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lumivex {

SingleInstanceLock::State SingleInstanceLock::Acquire(const std::string& lockFile) {
  Release();
  error_.clear();
  int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = lockFile + ": " + std::strerror(errno);
    return State::kError;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return State::kHeldByOther;
    error_ = lockFile + ": " + std::strerror(error);
    return State::kError;
  }
  fd_ = fd;
  return State::kAcquired;
}

void SingleInstanceLock::Release() {
  if (fd_ < 0) return;
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}

}  // namespace lumivex
