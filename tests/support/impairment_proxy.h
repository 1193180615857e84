#pragma once
// A TCP forwarder on loopback that puts a bad network between a client and a
// server: delay with jitter (byte order kept), retransmission-like stalls
// standing in for packet loss, and a link cut. For kernels without netem.
//
// Bounded: at most kMaxConnections at a time (more are closed at once), at
// most kMaxQueued bytes held per direction; every thread waits at most
// 50 ms between looks at the stop flag and is joined by Stop.

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace lumivex::test {

class ImpairmentProxy {
 public:
  static constexpr int kMaxConnections = 64;
  static constexpr std::size_t kMaxQueued = 4 << 20;

  struct Impairment {
    int delayMs = 0;         // each chunk is held this long ...
    int jitterMs = 0;        // ... plus or minus up to this, never overtaking the one before
    double stallShare = 0;   // this share of the chunks is held 200 to 400 ms more (a lost segment resent)
  };

  // Listens on 127.0.0.1, a free port.
  ImpairmentProxy();
  ~ImpairmentProxy();
  ImpairmentProxy(const ImpairmentProxy&) = delete;
  ImpairmentProxy& operator=(const ImpairmentProxy&) = delete;

  uint16_t port() const { return port_; }
  // Where accepted connections go (127.0.0.1); until it is set they wait.
  void SetUpstream(uint16_t port) { upstream_ = port; }
  void Impair(const Impairment& impairment);
  // Down: nothing is forwarded either way and no new connection is served.
  // Up again: the connections that lived through the cut are reset, as
  // after a router that lost its connection state.
  void SetLinkDown(bool down);
  // Connections served so far.
  int accepted() const { return accepted_; }
  void Stop();

 private:
  struct Connection;
  void AcceptLoop();
  void Serve(int client);
  void Forward(Connection& c, int from, int to);
  int64_t ChunkDelayMs();
  void Reap(bool all);

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<uint16_t> upstream_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> down_{false};
  std::atomic<int> cutEpoch_{0};  // one more at every cut
  std::atomic<int> accepted_{0};
  std::mutex mutex_;  // impairment_, random_, connections_
  Impairment impairment_;
  std::mt19937 random_{7};
  std::list<std::unique_ptr<Connection>> connections_;
  std::thread acceptor_;
};

}  // namespace lumivex::test
