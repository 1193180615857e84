#include "core/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace lumivex {

SingleInstanceLock::State SingleInstanceLock::Acquire(const std::string& lockFile) {
  Release();
  int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return State::kError;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    ::close(fd);
    return error == EWOULDBLOCK ? State::kHeldByOther : State::kError;
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
