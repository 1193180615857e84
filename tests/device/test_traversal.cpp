// NAT traversal on loopback: a traversal server and a UDT camera written in
// the test, the client's exchange threads, and its UDT listen and accept.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <udt/udt.h>

#include "device/exact_io.h"
#include "device/session_packet.h"
#include "device/socket_setup.h"
#include "device/stream_handshake.h"
#include "device/traversal_datagram.h"
#include "device/udt_runtime.h"
#include "device_fixture.h"
#include "support/wait_for.h"
#include "support/loopback.h"

namespace lumivex {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// 1 a datagram within ms, else 0.
int Receive(int fd, std::string& datagram, sockaddr_in& from, int ms) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, ms) != 1) return 0;
  datagram.resize(2048);
  socklen_t size = sizeof from;
  ssize_t n = ::recvfrom(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&from), &size);
  if (n <= 0) return 0;
  datagram.resize(static_cast<std::size_t>(n));
  return 1;
}

void SendTo(int fd, const std::string& datagram, const sockaddr_in& to) {
  ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// Where the client registers from, as the server learns it.
struct ClientAddress {
  std::mutex mutex;
  sockaddr_in address{};
  bool known = false;
  void Set(const sockaddr_in& a) {
    std::lock_guard lock(mutex);
    address = a, known = true;
  }
  bool Get(sockaddr_in& a) {
    std::lock_guard lock(mutex);
    a = address;
    return known;
  }
};

// Answers a register with hold and then the announced camera address;
// silent: never answers.
class TraversalServer {
 public:
  TraversalServer(ClientAddress& client, uint16_t announcedPort, bool silent)
      : client_(client), announced_(announcedPort), silent_(silent) {
    fd_ = test::BindLoopback(SOCK_DGRAM, port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TraversalServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  uint16_t port() const { return port_; }
  int registers() const { return registers_; }
  int confirms() const { return confirms_; }

 private:
  void Serve() {
    std::string datagram, text;
    sockaddr_in from{};
    while (!stop_) {
      if (!Receive(fd_, datagram, from, 20)) continue;
      Json::Value message;
      if (!test::RawOpen(datagram, 16, text) || !test::ParseJson(text, message)) continue;
      if (datagram[0] == 'K' && message["type"].asString() == "K") ++confirms_;
      if (datagram[0] != 'C' || message["sid"].asString() != "cam-01") continue;
      client_.Set(from);
      if (silent_) continue;
      ++registers_;
      std::string answer = "{\"ip\":\"127.0.0.1\",\"port\":\"" + std::to_string(announced_) + "\"}\n";
      SendTo(fd_, test::RawSeal(0x09, "{}\n", 16), from);
      SendTo(fd_, test::RawSeal(0x0B, answer, 16), from);
    }
  }

  ClientAddress& client_;
  uint16_t announced_;
  bool silent_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> registers_{0}, confirms_{0};
  std::thread thread_;
};

// Says hello to the client, acknowledges its hellos, and on ready opens the
// UDT connection from its punched socket.
class UdtCamera {
 public:
  explicit UdtCamera(ClientAddress& client) : client_(client) {
    EnsureUdtStarted();
    udp_ = test::BindLoopback(SOCK_DGRAM, port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~UdtCamera() {
    if (thread_.joinable()) thread_.join();
    if (udt_ != UDT::INVALID_SOCK) UDT::close(udt_);  // UDT then closes udp_
    else ::close(udp_);
  }
  uint16_t port() const { return port_; }
  // The connected UDT socket, once the thread has ended.
  UDTSOCKET Connected() {
    if (thread_.joinable()) thread_.join();
    return udt_;
  }

 private:
  void Run() {
    sockaddr_in client{};
    if (!test::WaitFor([&] { return client_.Get(client); }, 5s)) return;
    const std::string hello = test::RawSeal(0x0A, "{\"sid\":\"cam-01\",\"umac\":\"x\"}\n", 16);
    const std::string ack = test::RawSeal(0x09, "{\"sid\":\"cam-01\",\"type\":\"10\",\"umac\":\"x\"}\n", 16);
    bool ready = false;
    std::string datagram;
    sockaddr_in from{};
    for (auto deadline = Clock::now() + 8s; !ready && Clock::now() < deadline;) {
      SendTo(udp_, hello, client);
      if (!Receive(udp_, datagram, from, 100)) continue;
      if (datagram[0] == 0x0A) SendTo(udp_, ack, from);
      ready = datagram[0] == 0x10;
    }
    if (!ready) return;
    UDTSOCKET u = UDT::socket(AF_INET, SOCK_STREAM, 0);
    if (UDT::bind2(u, udp_) == UDT::ERROR ||
        UDT::connect(u, reinterpret_cast<const sockaddr*>(&client), sizeof client) == UDT::ERROR) {
      UDT::close(u);
      return;
    }
    udt_ = u;
  }

  ClientAddress& client_;
  int udp_ = -1;
  uint16_t port_ = 0;
  UDTSOCKET udt_ = UDT::INVALID_SOCK;
  std::thread thread_;
};

bool UdtSendAll(UDTSOCKET u, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    int n = UDT::send(u, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string UdtRead(UDTSOCKET u, std::size_t n) {
  std::string out(n, '\0');
  std::size_t done = 0;
  while (done < n) {
    int r = UDT::recv(u, out.data() + done, static_cast<int>(n - done), 0);
    if (r <= 0) break;
    done += static_cast<std::size_t>(r);
  }
  out.resize(done);
  return out;
}

class Traversal : public ::testing::Test {
 protected:
  void Negotiated(uint16_t serverPort) {
    conn_.sid = "cam-01";
    conn_.m_DeviceNATType = DEVICE_NAT_TRAVERSAL;
    conn_.travSrvIp = "127.0.0.1";
    conn_.travSrvPort = serverPort;
    conn_.m_TranIp = "127.0.0.1";
    conn_.m_DstTranPort = 1;  // the reply's relay: never used after traversal
  }
  test::ClientState client_;
  ClientAddress clientAddress_;
  DeviceConnection conn_;
};

TEST_F(Traversal, PunchesThroughAndCarriesPacketsByteForByteOverUdt) {
  UdtCamera camera(clientAddress_);
  TraversalServer server(clientAddress_, camera.port(), false);
  Negotiated(server.port());
  ASSERT_TRUE(GetSocketByNATType(client_.ctx, conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_NAT_TRAVERSAL);
  EXPECT_EQ(conn_.transport(), Transport::kUdt);
  EXPECT_EQ(conn_.tcpSocket, -1);
  EXPECT_EQ(conn_.peerState, -1);
  EXPECT_GE(server.registers(), 1);
  EXPECT_EQ(server.confirms(), 1);
  UDTSOCKET cam = camera.Connected();
  ASSERT_NE(cam, UDT::INVALID_SOCK);

  std::string media = test::MediaPacket(0x46, 1375, 'v') + test::MediaPacket(0x5A, 200, 's');
  std::string sealed = test::RawSeal(0x32, "{\"cmd\":\"close\"}\n", 8);
  ASSERT_TRUE(UdtSendAll(cam, media + sealed));
  SessionPacket packet;
  ASSERT_EQ(ReceiveSessionPacket(conn_, Transport::kUdt, packet), Received::kPacket);
  EXPECT_TRUE(packet.bytes == media.substr(0, 1400));
  ASSERT_EQ(ReceiveSessionPacket(conn_, Transport::kUdt, packet), Received::kPacket);
  EXPECT_TRUE(packet.bytes == media.substr(1400));
  ASSERT_EQ(ReceiveSessionPacket(conn_, Transport::kUdt, packet), Received::kPacket);
  EXPECT_EQ(packet.bytes, sealed);
  EXPECT_EQ(conn_.receivedBytes.load(), media.size() + sealed.size());

  std::string upstream(100000, '\0');
  for (std::size_t i = 0; i < upstream.size(); ++i) upstream[i] = static_cast<char>(i * 7);
  std::string got;
  std::thread reader([&] { got = UdtRead(cam, upstream.size()); });
  EXPECT_TRUE(SendUDT_Len(conn_, upstream.data(), upstream.size()));
  reader.join();
  EXPECT_TRUE(got == upstream);
}

TEST_F(Traversal, AHelloFromAnotherAddressThanAnnouncedIsUsed) {
  uint16_t elsewhere = 0;
  int decoy = test::BindLoopback(SOCK_DGRAM, elsewhere);  // announced, but the camera is not there
  UdtCamera camera(clientAddress_);
  TraversalServer server(clientAddress_, elsewhere, false);
  Negotiated(server.port());
  ASSERT_TRUE(GetSocketByNATType(client_.ctx, conn_));
  EXPECT_EQ(conn_.transport(), Transport::kUdt);
  EXPECT_EQ(conn_.m_Ip, "127.0.0.1");
  EXPECT_EQ(conn_.m_DstPort, camera.port());
  EXPECT_EQ(PortOf(conn_.PeerAddress()), camera.port());
  EXPECT_NE(camera.Connected(), UDT::INVALID_SOCK);
  ::close(decoy);
}

TEST_F(Traversal, WithoutAnAnswerOfTheServerItFallsBackToTheLoginsRelay) {
  TraversalServer server(clientAddress_, 1, true);
  int relay = ::socket(AF_INET, SOCK_STREAM, 0);
  uint16_t relayPort = 0;
  {
    sockaddr_in a{};
    MakeAddress("127.0.0.1", 0, a);
    ::bind(relay, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(relay, 4);
    socklen_t size = sizeof a;
    ::getsockname(relay, reinterpret_cast<sockaddr*>(&a), &size);
    relayPort = ntohs(a.sin_port);
  }
  client_.g.m_TranSrvIpAddress = "127.0.0.1";
  client_.g.m_TranSrvTCPPort = relayPort;
  Negotiated(server.port());
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(GetSocketByNATType(client_.ctx, conn_));
  EXPECT_GE(Clock::now() - start, 2900ms) << "30 waits of 100 ms";
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_TRAN_SRV);
  EXPECT_EQ(conn_.m_DstPort, relayPort);
  EXPECT_EQ(conn_.transport(), Transport::kTcp);
  EXPECT_EQ(conn_.udpSocket, -1);
  pollfd p{relay, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 1000), 1);
  ::close(relay);
  EXPECT_EQ(server.confirms(), 0);
}

TEST_F(Traversal, AStopEndsTheExchangeWithin200ms) {
  TraversalServer server(clientAddress_, 1, true);
  Negotiated(server.port());
  std::atomic<bool> done{false};
  bool ok = true;
  std::thread session([&] {
    ok = GetSocketByNATType(client_.ctx, conn_);
    done = true;
  });
  sockaddr_in registered{};
  ASSERT_TRUE(test::WaitFor([&] { return clientAddress_.Get(registered); }, 2s)) << "the exchange runs";
  conn_.stop.Request();
  Clock::time_point stopped = Clock::now();
  ASSERT_TRUE(test::WaitFor([&] { return done.load(); }, 2s));
  EXPECT_LT(Clock::now() - stopped, 300ms);
  session.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(conn_.udpSocket, -1);
}

// The handshake over UDT: the camera's protocol text, Speex before the reply skipped.
TEST_F(Traversal, TheUdtHandshakeSkipsOnlySpeexBeforeTheReply) {
  for (bool aacFirst : {false, true}) {
    ClientAddress clientAddress;
    UdtCamera camera(clientAddress);
    TraversalServer server(clientAddress, camera.port(), false);
    DeviceConnection conn;
    conn.sid = "cam-01";
    conn.m_DeviceNATType = DEVICE_NAT_TRAVERSAL;
    conn.travSrvIp = "127.0.0.1";
    conn.travSrvPort = server.port();
    ASSERT_TRUE(GetSocketByNATType(client_.ctx, conn));
    UDTSOCKET cam = camera.Connected();
    ASSERT_NE(cam, UDT::INVALID_SOCK);
    Json::Value connect;
    std::thread side([&] {
      std::string head = UdtRead(cam, 3);
      if (head.size() != 3) return;
      std::size_t digits = static_cast<uint8_t>(head[1]) | static_cast<uint8_t>(head[2]) << 8;
      std::string text;
      if (!test::RawOpen(head + UdtRead(cam, digits + 5), 8, text) || !test::ParseJson(text, connect)) return;
      std::string reply = "{\"type\":\"connect\",\"width\":\"320\",\"height\":\"240\",\"timeGap\":\"40\","
                          "\"bitRate\":\"88000\",\"sps\":\"Z0LAHtk=\",\"pps\":\"aM48gA==\"}\n";
      UdtSendAll(cam, test::MediaPacket(aacFirst ? 0x5B : 0x5A, 200) + test::RawSeal(0x32, reply, 8));
      UdtRead(cam, 3);  // startup, or the end of the connection
    });
    StreamParameters params;
    bool ok = Ctrl_Recv_Play_UDT(client_.ctx, conn, {}, params);
    conn.Close();
    side.join();
    EXPECT_EQ(connect["protocol"].asString(), "3.0");
    EXPECT_EQ(connect["link-type"].asString(), "4");
    EXPECT_EQ(ok, !aacFirst);
    if (ok) {
      EXPECT_EQ(params.width, 320);
    }
  }
}

}  // namespace
}  // namespace lumivex
