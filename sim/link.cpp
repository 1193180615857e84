#include "sim/link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <set>

#include "sim/traffic_dump.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

std::string AddressText(const sockaddr_in& a) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

TcpLink::TcpLink(int fd, bool owns) : fd_(fd), owns_(owns) {}

TcpLink::~TcpLink() {
  DumpLinkClosed(this);
  if (owns_ && fd_ >= 0) close(fd_);
}

bool TcpLink::Send(std::string_view bytes) {
  DumpCameraPacket(this, bytes);
  std::size_t done = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(kSendBoundMs);
  while (done < bytes.size()) {
    ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      deadline = Clock::now() + std::chrono::milliseconds(kSendBoundMs);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    int left = MsLeft(deadline);
    if (left == 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    poll(&p, 1, left);
  }
  return true;
}

int TcpLink::Wait(int ms) {
  pollfd p{fd_, POLLIN, 0};
  int rc = poll(&p, 1, ms);
  if (rc < 0) return errno == EINTR ? 0 : -1;
  return rc > 0 ? 1 : 0;
}

int TcpLink::Read(char* buffer, int size) {
  ssize_t n = recv(fd_, buffer, static_cast<std::size_t>(size), MSG_DONTWAIT);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNothingYet : -1;
  return static_cast<int>(n);
}

std::string TcpLink::Describe() const {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "tcp ?";
  return "tcp " + AddressText(peer);
}

UdtLink::UdtLink(UDTSOCKET socket) : socket_(socket) {
  bool blocking = true;
  int sendTimeout = kSendBoundMs;
  UDT::setsockopt(socket_, 0, UDT_SNDSYN, &blocking, sizeof blocking);
  UDT::setsockopt(socket_, 0, UDT_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
  bool nonBlocking = false;
  UDT::setsockopt(socket_, 0, UDT_RCVSYN, &nonBlocking, sizeof nonBlocking);
  epoll_ = UDT::epoll_create();
  if (epoll_ >= 0) {
    int events = UDT_EPOLL_IN | UDT_EPOLL_ERR;
    if (UDT::epoll_add_usock(epoll_, socket_, &events) < 0) {
      UDT::epoll_release(epoll_);
      epoll_ = -1;
    }
  }
}

UdtLink::~UdtLink() {
  DumpLinkClosed(this);
  if (epoll_ >= 0) UDT::epoll_release(epoll_);
  UDT::close(socket_);
}

bool UdtLink::Send(std::string_view bytes) {
  DumpCameraPacket(this, bytes);
  std::size_t done = 0;
  while (done < bytes.size()) {
    int n = UDT::send(socket_, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return false;  // an error, or the send time-out passed without progress
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int UdtLink::Wait(int ms) {
  if (epoll_ < 0) return -1;
  std::set<UDTSOCKET> readable;
  if (UDT::epoll_wait(epoll_, &readable, nullptr, ms) < 0) {
    // UDT reports a quiet time-out as an error
    if (UDT::getlasterror_code() == CUDTException::ETIMEOUT) return 0;
    return -1;
  }
  return readable.empty() ? 0 : 1;
}

int UdtLink::Read(char* buffer, int size) {
  int n = UDT::recv(socket_, buffer, size, 0);
  if (n == UDT::ERROR) return UDT::getlasterror_code() == CUDTException::EASYNCRCV ? kNothingYet : -1;
  return n;
}

std::string UdtLink::Describe() const {
  sockaddr_in peer{};
  int length = sizeof peer;
  if (UDT::getpeername(socket_, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return "udt ?";
  return "udt " + AddressText(peer);
}

}  // namespace lumivex::sim
