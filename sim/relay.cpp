#include "sim/relay.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "sim/camera_session.h"
#include "sim/link.h"
#include "sim/sim_log.h"

namespace lumivex::sim {
namespace {

// What one side sent and the other has not taken yet.
struct Direction {
  Direction(int from, int to) : from(from), to(to) {}
  int from, to;
  std::string pending;
  bool ended = false;
};

}  // namespace

Relay::Relay(KeyRing keys, CameraFinder find, const std::atomic<bool>& stop, int resetAfterSeconds)
    : keys_(std::move(keys)),
      find_(std::move(find)),
      stop_(stop),
      resetAfterSeconds_(resetAfterSeconds),
      acceptor_([this](int fd) { Serve(fd); }) {}

// Closing after this sends RST instead of FIN.
static void ResetOnClose(int fd) {
  linger hard{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

void Relay::Serve(int clientFd) {
  const auto opened = std::chrono::steady_clock::now();
  TcpLink client(clientFd, false);
  const std::string peer = client.Describe();
  PacketSplitter splitter;
  ConnectRequest request;
  if (!ReadConnect(client, keys_, splitter, stop_, "relay", request)) return;
  const std::string sid = request.message["sid"].isString() ? request.message["sid"].asString() : std::string();
  sockaddr_in camera{};
  if (!find_(sid, camera)) return LogRefused("relay", peer + ": no camera \"" + sid + "\"");
  int cameraFd = ConnectTcp(camera, kCameraConnectMs);
  if (cameraFd < 0) return LogNote("relay: camera " + sid + " at " + AddressText(camera) + " cannot be reached");
  LogNote("relay: " + peer + " to camera " + sid);
  {
    TcpLink toCamera(cameraFd, false);
    if (!toCamera.Send(request.packet + splitter.Pending())) {
      close(cameraFd);
      return LogNote("relay: camera " + sid + " hung up at once");
    }
  }
  const auto resetAt = resetAfterSeconds_ > 0 ? opened + std::chrono::seconds(resetAfterSeconds_)
                                              : std::chrono::steady_clock::time_point::max();
  if (Pipe(clientFd, cameraFd, stop_, resetAt)) {
    LogNote("relay: resets " + peer + " and camera " + sid + " (resetAfterSeconds)");
    ResetOnClose(clientFd);  // the acceptor closes it
    ResetOnClose(cameraFd);
  }
  close(cameraFd);
  LogNote("relay: " + peer + " and camera " + sid + " parted");
}

bool Pipe(int a, int b, const std::atomic<bool>& stop, std::chrono::steady_clock::time_point until) {
  using Clock = std::chrono::steady_clock;
  Direction d[2] = {Direction(a, b), Direction(b, a)};
  auto lastProgress = Clock::now();
  // After a hang-up, what that side sent before still goes through.
  auto flushing = [&] { return (d[0].ended && !d[0].pending.empty()) || (d[1].ended && !d[1].pending.empty()); };
  while (!stop && ((!d[0].ended && !d[1].ended) || flushing())) {
    if (Clock::now() >= until) return true;
    if (Clock::now() - lastProgress > std::chrono::seconds(10)) break;  // a side that reads nothing
    pollfd p[2];
    for (int i = 0; i < 2; ++i) {
      p[i].fd = d[i].from;
      // a side is read only once its bytes have been passed on
      p[i].events = static_cast<short>(d[i].pending.empty() && !d[i].ended ? POLLIN : 0);
      if (!d[1 - i].pending.empty()) p[i].events |= POLLOUT;
      if (p[i].events == 0) p[i].fd = -1;  // a hung-up side would wake poll at once
      p[i].revents = 0;
    }
    if (poll(p, 2, 200) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)) || !d[i].pending.empty() || d[i].ended) continue;
      char buffer[16384];
      ssize_t n = recv(d[i].from, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) d[i].pending.assign(buffer, static_cast<std::size_t>(n));
      else if (n == 0 || (errno != EAGAIN && errno != EINTR)) d[i].ended = true;
    }
    for (auto& dir : d) {
      if (dir.pending.empty()) continue;
      ssize_t n = send(dir.to, dir.pending.data(), dir.pending.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n > 0) {
        dir.pending.erase(0, static_cast<std::size_t>(n));
        lastProgress = Clock::now();
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return false;  // the receiving side is gone
      }
    }
    if (d[0].pending.empty() && d[1].pending.empty()) lastProgress = Clock::now();
  }
  return false;
}

}  // namespace lumivex::sim
