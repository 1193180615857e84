#include "device/exact_io.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>

#include <udt/udt.h>

#include "core/logging.h"

namespace lumivex {
namespace {

bool Retry(int error) { return error == EINTR || error == EAGAIN || error == EWOULDBLOCK; }

// 1 ready, 0 not yet (or stopped), -1 failed. The stop's descriptor wakes
// the poll, so a stop never waits for the step.
int WaitTcp(const DeviceConnection& conn, short events) {
  const int fd = conn.tcpSocket;
  if (fd < 0) return -1;  // poll would skip it and wait forever
  pollfd p[2] = {{fd, events, 0}, {conn.stop.fd(), POLLIN, 0}};
  int r = ::poll(p, 2, kSocketWaitMs);
  if (r < 0 && errno == EINTR) return 0;
  if (r > 0 && (p[0].revents & POLLNVAL)) return -1;
  if (r > 0 && !p[0].revents) return 0;
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

// UDT's select polls its sockets internally every few milliseconds anyway,
// so a short step costs no extra wake-ups and bounds the stop by it.
int WaitUdt(int socket, bool forWriting) {
  UDT::UDSET set;
  UD_SET(socket, &set);
  timeval step{0, kUdtWaitMs * 1000};
  int r = forWriting ? UDT::select(0, nullptr, &set, nullptr, &step)
                     : UDT::select(0, &set, nullptr, nullptr, &step);
  if (r == UDT::ERROR) return -1;
  return r > 0 ? 1 : 0;
}

bool UdtWouldBlock() {
  int code = UDT::getlasterror().getErrorCode();
  return code == CUDTException::EASYNCRCV || code == CUDTException::EASYNCSND;
}

}  // namespace

bool RecvTCP_Len(DeviceConnection& conn, void* buffer, std::size_t length) {
  auto* bytes = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    if (conn.stop.requested()) return true;
    int ready = WaitTcp(conn, POLLIN);
    if (ready < 0) {
      LogLine("Returned=SOCKET_ERROR[" + std::to_string(errno) + "]");
      return false;
    }
    if (ready == 0) continue;
    ssize_t n = ::recv(conn.tcpSocket, bytes + done, length - done, 0);
    if (n < 0 && Retry(errno)) continue;
    if (n <= 0) {
      LogLine("SOCKET_ERROR[" + std::to_string(n < 0 ? errno : 0) + "," + std::to_string(n) + "]");
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  conn.receivedBytes += length;
  return true;
}

bool SendTCP_Len(DeviceConnection& conn, const void* buffer, std::size_t length) {
  std::lock_guard lock(conn.sendMutex);
  const auto* bytes = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    if (conn.stop.requested()) return true;
    int ready = WaitTcp(conn, POLLOUT);
    if (ready < 0) {
      LogLine("return FALSE-Line4475");
      return false;
    }
    if (ready == 0) continue;
    ssize_t n = ::send(conn.tcpSocket, bytes + done, length - done, MSG_NOSIGNAL);
    if (n < 0 && Retry(errno)) continue;
    if (n < 0) {
      LogLine("return FALSE-Line4462");
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool RecvUDT_Len(DeviceConnection& conn, void* buffer, std::size_t length) {
  auto* bytes = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    if (conn.stop.requested()) return true;
    int ready = WaitUdt(conn.udtSocket, false);
    if (ready < 0) {
      LogLine("Returned=SOCKET_ERROR[" + std::to_string(UDT::getlasterror().getErrorCode()) + "]");
      return false;
    }
    if (ready == 0) continue;
    int n = UDT::recv(conn.udtSocket, bytes + done, static_cast<int>(length - done), 0);
    if (n == UDT::ERROR && UdtWouldBlock()) continue;
    if (n <= 0) {
      LogLine("SOCKET_ERROR[" + std::to_string(UDT::getlasterror().getErrorCode()) + "," +
              std::to_string(n) + "]");
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  conn.receivedBytes += length;
  return true;
}

bool SendUDT_Len(DeviceConnection& conn, const void* buffer, std::size_t length) {
  std::lock_guard lock(conn.sendMutex);
  const auto* bytes = static_cast<const char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    if (conn.stop.requested()) return true;
    int ready = WaitUdt(conn.udtSocket, true);
    if (ready < 0) {
      LogLine("return FALSE-Line4475");
      return false;
    }
    if (ready == 0) continue;
    int n = UDT::send(conn.udtSocket, bytes + done, static_cast<int>(length - done), 0);
    if (n == UDT::ERROR && UdtWouldBlock()) continue;
    if (n < 0) {
      LogLine("return FALSE-Line4462");
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool RecvLen(DeviceConnection& conn, Transport transport, void* buffer, std::size_t length) {
  return transport == Transport::kUdt ? RecvUDT_Len(conn, buffer, length)
                                      : RecvTCP_Len(conn, buffer, length);
}

bool SendLen(DeviceConnection& conn, Transport transport, const void* buffer, std::size_t length) {
  return transport == Transport::kUdt ? SendUDT_Len(conn, buffer, length)
                                      : SendTCP_Len(conn, buffer, length);
}

}  // namespace lumivex
