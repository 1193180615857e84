// The TCP paths of the socket step and their relay fall-backs, on loopback.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>

#include <chrono>
#include <future>
#include <vector>

#include "device/socket_setup.h"
#include "device_fixture.h"
#include "support/loopback.h"

namespace lumivex {
namespace {

using Clock = std::chrono::steady_clock;

class Listener {
 public:
  explicit Listener(int backlog = 8) {
    fd_ = test::BindLoopback(SOCK_STREAM, port_);
    ::listen(fd_, backlog);
  }
  ~Listener() {
    for (int fd : accepted_) ::close(fd);
    if (filler_ >= 0) ::close(filler_);
    ::close(fd_);
  }
  uint16_t port() const { return port_; }
  // True when a connection arrives within the wait.
  bool Accept(int ms = 1000) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return false;
    int fd = ::accept(fd_, nullptr, nullptr);
    if (fd >= 0) accepted_.push_back(fd);
    return fd >= 0;
  }
  // With a backlog of 0, one connection that is never accepted fills the
  // queue: later connection attempts get no answer at all.
  void FillQueue() {
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    MakeAddress("127.0.0.1", port_, a);
    ::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }

 private:
  int fd_ = -1, filler_ = -1;
  uint16_t port_ = 0;
  std::vector<int> accepted_;
};

uint16_t ClosedPort() {
  uint16_t port = 0;
  ::close(test::BindLoopback(SOCK_STREAM, port));
  return port;
}

class SocketSetup : public ::testing::Test {
 protected:
  void Negotiated(int32_t type, uint16_t port, uint16_t relayPort) {
    conn_.m_DeviceNATType = type;
    conn_.m_Ip = "127.0.0.1";
    conn_.m_DstPort = port;
    conn_.m_TranIp = "127.0.0.1";
    conn_.m_DstTranPort = relayPort;
  }
  test::ClientState client_;
  DeviceConnection conn_;
};

TEST_F(SocketSetup, ATypeOutside2To5FailsWithoutASocket) {
  Listener camera;
  for (int32_t type : {-1, 0, 1, 6}) {
    Negotiated(type, camera.port(), camera.port());
    EXPECT_FALSE(GetSocketByNATType(client_.ctx, conn_));
    EXPECT_EQ(conn_.tcpSocket, -1);
    EXPECT_EQ(conn_.udpSocket, -1);
  }
  EXPECT_FALSE(camera.Accept(50));
}

TEST_F(SocketSetup, LanConnectsNonBlockingWithALargerReceiveBuffer) {
  Listener camera, relay;
  Negotiated(DEVICE_LAN, camera.port(), relay.port());
  ASSERT_TRUE(GetSocketByNATType(client_.ctx, conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_LAN);
  EXPECT_TRUE(camera.Accept());
  EXPECT_FALSE(relay.Accept(50));
  EXPECT_TRUE(::fcntl(conn_.tcpSocket, F_GETFL) & O_NONBLOCK);
  int fresh = ::socket(AF_INET, SOCK_STREAM, 0), before = 0, after = 0;
  socklen_t size = sizeof before;
  ::getsockopt(fresh, SOL_SOCKET, SO_RCVBUF, &before, &size);
  ::getsockopt(conn_.tcpSocket, SOL_SOCKET, SO_RCVBUF, &after, &size);
  ::close(fresh);
  EXPECT_GT(after, before);
}

TEST_F(SocketSetup, ARefusedLanConnectFailsWithoutTryingTheRelay) {
  Listener relay;
  for (int32_t type : {DEVICE_LAN, DEVICE_PORT_MAPPING}) {
    uint16_t closed = ClosedPort();
    Negotiated(type, closed, relay.port());
    EXPECT_FALSE(GetSocketByNATType(client_.ctx, conn_));
    EXPECT_EQ(conn_.m_DeviceNATType, type);
    EXPECT_EQ(conn_.m_DstPort, closed);
    EXPECT_EQ(conn_.tcpSocket, -1);
  }
  EXPECT_FALSE(relay.Accept(100));
}

TEST_F(SocketSetup, ARelaySessionHasNoFallBack) {
  Listener other;
  Negotiated(DEVICE_TRAN_SRV, ClosedPort(), other.port());
  EXPECT_FALSE(GetSocketByNATType(client_.ctx, conn_));
  EXPECT_FALSE(other.Accept(100));
  Listener relay;
  Negotiated(DEVICE_TRAN_SRV, relay.port(), other.port());
  EXPECT_TRUE(GetSocketByNATType(client_.ctx, conn_));
  EXPECT_TRUE(relay.Accept());
}

TEST_F(SocketSetup, ALanCameraSilentFor5sIsReachedThroughTheRelayAsType5) {
  Listener camera(0), relay;
  camera.FillQueue();
  Negotiated(DEVICE_LAN, camera.port(), relay.port());
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(GetSocketByNATType(client_.ctx, conn_));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(4900));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_TRAN_SRV);
  EXPECT_EQ(conn_.m_DstPort, relay.port());
  EXPECT_TRUE(relay.Accept());
}

TEST_F(SocketSetup, AStopEndsTheConnectWaitWithin200ms) {
  Listener camera(0), relay;
  camera.FillQueue();
  Negotiated(DEVICE_PORT_MAPPING, camera.port(), relay.port());
  auto result = std::async(std::launch::async, [this] { return GetSocketByNATType(client_.ctx, conn_); });
  ASSERT_EQ(result.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  conn_.stop.Request();
  Clock::time_point stopped = Clock::now();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_LT(Clock::now() - stopped, std::chrono::milliseconds(300));
  EXPECT_FALSE(result.get());
  EXPECT_FALSE(relay.Accept(100)) << "a stop is no reason to try the relay";
}

}  // namespace
}  // namespace lumivex
