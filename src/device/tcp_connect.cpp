#include "device/tcp_connect.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "device/exact_io.h"

namespace lumivex {
namespace {

ConnectResult Fail(int fd, ConnectResult why) {
  ::close(fd);
  return why;
}

// Until writable: the connect's outcome is then in SO_ERROR.
ConnectResult AwaitConnected(const DeviceConnection& conn, int fd, std::chrono::milliseconds wait) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (conn.stop.requested()) return ConnectResult::kStopped;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return ConnectResult::kTimedOut;
    pollfd p[2] = {{fd, POLLOUT, 0}, {conn.stop.fd(), POLLIN, 0}};
    int r = ::poll(p, 2, static_cast<int>(std::min<long>(left.count(), kSocketWaitMs)));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return ConnectResult::kTimedOut;
    if (r == 0 || !p[0].revents) continue;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return ConnectResult::kTimedOut;
    // A refusal that arrives while waiting is still the connect's own answer.
    return error == 0 ? ConnectResult::kConnected : ConnectResult::kRefused;
  }
}

}  // namespace

ConnectResult ConnectWithin5s(const DeviceConnection& conn, std::string_view ip, uint16_t port, int& fd,
                              std::chrono::milliseconds wait) {
  int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return ConnectResult::kSocketFailed;
  if (conn.enlargeReceiveBuffer) {
    int size = 0;
    socklen_t sizeLength = sizeof size;
    if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, &sizeLength) != 0) return Fail(s, ConnectResult::kGetOptFailed);
    size *= 5;
    if (::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) return Fail(s, ConnectResult::kSetOptFailed);
  }
  int on = 1;
  if (::ioctl(s, FIONBIO, &on) != 0) return Fail(s, ConnectResult::kNonBlockFailed);
  sockaddr_in address{};
  if (!MakeAddress(ip, port, address)) return Fail(s, ConnectResult::kRefused);
  ConnectResult result = ConnectResult::kConnected;
  if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) return Fail(s, ConnectResult::kRefused);
    result = AwaitConnected(conn, s, wait);
  }
  if (result != ConnectResult::kConnected) return Fail(s, result);
  fd = s;
  return result;
}

}  // namespace lumivex
