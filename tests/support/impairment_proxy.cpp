#include "support/impairment_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <stdexcept>
#include <string>

namespace lumivex::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kLookMs = 50;  // between looks at the stop flag and the link

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

}  // namespace

struct ImpairmentProxy::Connection {
  int client = -1, server = -1;
  int epoch = 0;
  std::atomic<bool> reset{false};
  std::atomic<int> finished{0};
  std::thread up, down;

  // The second direction to end closes both sockets; after a reset the
  // close sends RST.
  void Finish() {
    if (finished.fetch_add(1) != 1) return;
    close(client);
    close(server);
  }
};

ImpairmentProxy::ImpairmentProxy() {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(0);
  socklen_t size = sizeof a;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0) {
    if (listener_ >= 0) close(listener_);
    throw std::runtime_error("the impairment proxy cannot listen on loopback");
  }
  port_ = ntohs(a.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

ImpairmentProxy::~ImpairmentProxy() { Stop(); }

void ImpairmentProxy::Impair(const Impairment& impairment) {
  std::lock_guard lock(mutex_);
  impairment_ = impairment;
}

void ImpairmentProxy::SetLinkDown(bool down) {
  if (down && !down_) ++cutEpoch_;
  down_ = down;
}

void ImpairmentProxy::Stop() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  Reap(true);
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

void ImpairmentProxy::AcceptLoop() {
  while (!stop_) {
    Reap(false);
    // While the link is down new connections wait in the backlog.
    pollfd p{listener_, static_cast<short>(down_ ? 0 : POLLIN), 0};
    if (poll(&p, 1, kLookMs) <= 0 || down_) continue;
    int client = accept(listener_, nullptr, nullptr);
    if (client >= 0) Serve(client);
  }
}

void ImpairmentProxy::Serve(int client) {
  int server = -1;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (upstream_ == 0 && !stop_ && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(10));
  if (upstream_ != 0) {
    server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(upstream_);
    if (server >= 0 && connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(server);
      server = -1;
    }
  }
  std::lock_guard lock(mutex_);
  if (server < 0 || connections_.size() >= kMaxConnections) {
    if (server >= 0) close(server);
    close(client);
    return;
  }
  auto& c = *connections_.emplace_back(std::make_unique<Connection>());
  c.client = client;
  c.server = server;
  c.epoch = cutEpoch_;
  ++accepted_;
  c.up = std::thread([this, &c] { Forward(c, c.client, c.server); });
  c.down = std::thread([this, &c] { Forward(c, c.server, c.client); });
}

int64_t ImpairmentProxy::ChunkDelayMs() {
  std::lock_guard lock(mutex_);
  const Impairment& i = impairment_;
  int64_t ms = i.delayMs;
  if (i.jitterMs > 0) ms += std::uniform_int_distribution<int>(-i.jitterMs, i.jitterMs)(random_);
  if (i.stallShare > 0 && std::bernoulli_distribution(i.stallShare)(random_))
    ms += std::uniform_int_distribution<int>(200, 400)(random_);
  return std::max<int64_t>(ms, 0);
}

void ImpairmentProxy::Forward(Connection& c, int from, int to) {
  struct Chunk {
    std::string bytes;
    Clock::time_point due;
  };
  std::deque<Chunk> queue;
  std::size_t queued = 0;
  Clock::time_point lastDue{};
  bool ended = false, broken = false;
  char buffer[16384];
  while (!stop_ && !broken && !c.reset) {
    if (down_) {
      std::this_thread::sleep_for(milliseconds(kLookMs / 5));
      continue;
    }
    if (c.epoch != cutEpoch_) {  // it lived through a cut
      linger hard{1, 0};
      setsockopt(c.client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      setsockopt(c.server, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      c.reset = true;
      shutdown(c.client, SHUT_RD);  // wakes the other direction without a FIN
      shutdown(c.server, SHUT_RD);
      break;
    }
    auto now = Clock::now();
    const bool due = !queue.empty() && queue.front().due <= now;
    int waitMs = kLookMs;
    if (!queue.empty() && !due)
      waitMs = static_cast<int>(std::clamp<int64_t>(
          std::chrono::duration_cast<milliseconds>(queue.front().due - now).count() + 1, 0, kLookMs));
    pollfd p[2] = {{from, static_cast<short>(!ended && queued < kMaxQueued ? POLLIN : 0), 0},
                   {to, static_cast<short>(due ? POLLOUT : 0), 0}};
    if (poll(p, 2, due ? kLookMs : waitMs) < 0 && errno != EINTR) break;
    if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t n = recv(from, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        lastDue = std::max(lastDue, Clock::now() + milliseconds(ChunkDelayMs()));  // order kept
        queue.push_back({std::string(buffer, static_cast<std::size_t>(n)), lastDue});
        queued += static_cast<std::size_t>(n);
      } else if (n == 0) {
        ended = true;
      } else if (errno != EAGAIN && errno != EINTR) {
        broken = true;
      }
    }
    now = Clock::now();
    while (!broken && !queue.empty() && queue.front().due <= now) {
      std::string& bytes = queue.front().bytes;
      ssize_t n = send(to, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n < 0) {
        broken = errno != EAGAIN && errno != EINTR;
        break;
      }
      queued -= static_cast<std::size_t>(n);
      bytes.erase(0, static_cast<std::size_t>(n));
      if (!bytes.empty()) break;
      queue.pop_front();
    }
    if (ended && queue.empty()) break;
  }
  if (broken) {
    shutdown(from, SHUT_RDWR);
    shutdown(to, SHUT_RDWR);
  } else if (!c.reset) {
    shutdown(to, SHUT_WR);  // pass the hang-up on
  }
  c.Finish();
}

void ImpairmentProxy::Reap(bool all) {
  std::list<std::unique_ptr<Connection>> done;
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (all || (*it)->finished == 2) {
        done.push_back(std::move(*it));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& c : done) {
    c->up.join();
    c->down.join();
  }
}

}  // namespace lumivex::test
