// The LAN probe against a responder on the loopback broadcast address
// 127.255.255.255, merged into a listing from the service double.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/wait_for.h"
#include "webservice/camera_list.h"
#include "webservice/service_fixture.h"

namespace lumivex {
namespace {

using test::ServiceDouble;

std::string Answer(const std::string& id, const std::string& ip, const std::string& mac) {
  std::string d(52, '\0');
  std::memcpy(&d[1], id.data(), id.size());
  std::memcpy(&d[17], ip.data(), ip.size());
  std::memcpy(&d[33], mac.data(), mac.size());
  d[50] = 0x11;
  d[51] = 0x22;
  return d;
}

// Listens on 127.255.255.255 and answers every probe from 127.0.0.1 with
// the given datagrams.
class Responder {
 public:
  explicit Responder(std::vector<std::string> answers) : answers_(std::move(answers)) {
    listen_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(0x7FFFFFFF);  // 127.255.255.255
    EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr*>(&at), sizeof at), 0) << std::strerror(errno);
    socklen_t len = sizeof at;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&at), &len);
    port_ = ntohs(at.sin_port);
    reply_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Responder() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
    ::close(reply_);
  }
  uint16_t port() const { return port_; }
  int probes() const { return probes_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      char byte[16];
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = ::recvfrom(listen_, byte, sizeof byte, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n != 1 || byte[0] != 0x0E) continue;  // only the one-byte probe counts
      ++probes_;
      for (const std::string& a : answers_)
        ::sendto(reply_, a.data(), a.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  }
  std::vector<std::string> answers_;
  int listen_ = -1, reply_ = -1;
  uint16_t port_ = 0;
  std::atomic<int> probes_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class LanDiscovery : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    Script([&](const ServiceDouble::Request&) {
      return Ok(R"({"result":[{"sid":"cam-0001","status":1},{"sid":"CAM-0002","status":1}]})");
    });
    g_.m_LocalIp = "127.0.0.1";
    g_.m_LocalMask = "255.0.0.0";
  }
  CameraList list_;
};

TEST_F(LanDiscovery, RepeatedAnswersGiveOneDeviceMatchedIgnoringCase) {
  Responder responder({Answer("CAM-0001", "192.168.7.21", "a0b1c2d3e4f5"),
                       Answer("CAM-0001", "192.168.7.21", "a0b1c2d3e4f5"),
                       Answer("OTHER-9", "192.168.7.30", "000000000009"),
                       std::string("short answer")});
  ASSERT_TRUE(list_.StartLanDiscovery(g_, responder.port()));
  ASSERT_TRUE(list_.Update(ctx_));  // merges the discovery

  EXPECT_TRUE(test::WaitFor([&] { return responder.probes() == 20; })) << responder.probes();
  std::vector<LanDevice> found = list_.LanResults();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].id, "CAM-0001");
  EXPECT_EQ(found[1].id, "OTHER-9");

  CameraInfo first = *list_.Get(0);
  EXPECT_EQ(first.onLan, 1);
  EXPECT_EQ(first.lanIp, "192.168.7.21");
  EXPECT_EQ(first.lanMac, "a0:b1:c2:d3:e4:f5");
  int16_t port;
  std::memcpy(&port, "\x11\x22", 2);
  EXPECT_EQ(first.lanPort, port);
  EXPECT_EQ(list_.Get(1)->onLan, 0);
}

TEST_F(LanDiscovery, WithoutLocalAddressNothingIsSentAndNoDeviceIsOnTheLan) {
  Responder responder({Answer("CAM-0001", "192.168.7.21", "a0b1c2d3e4f5")});
  g_.m_LocalIp.clear();
  ASSERT_TRUE(list_.StartLanDiscovery(g_, responder.port()));
  ASSERT_TRUE(list_.Update(ctx_));
  EXPECT_EQ(responder.probes(), 0);
  EXPECT_TRUE(list_.LanResults().empty());
  EXPECT_EQ(list_.Get(0)->onLan, 0);
  EXPECT_EQ(list_.Get(1)->onLan, 0);
}

TEST_F(LanDiscovery, ANewDiscoveryReplacesTheLastOnesFindings) {
  {
    Responder responder({Answer("CAM-0002", "10.1.1.2", "0000000000aa")});
    ASSERT_TRUE(list_.StartLanDiscovery(g_, responder.port()));
    ASSERT_TRUE(list_.Update(ctx_));
    EXPECT_EQ(list_.Get(1)->onLan, 1);
  }
  Responder silent({});
  ASSERT_TRUE(list_.StartLanDiscovery(g_, silent.port()));
  list_.MergeLanResults();
  EXPECT_TRUE(test::WaitFor([&] { return silent.probes() == 20; }));
  EXPECT_EQ(list_.Get(1)->onLan, 0);
  EXPECT_EQ(list_.Get(1)->lanIp, "10.1.1.2") << "the last address found stays, as it was";
}

}  // namespace
}  // namespace lumivex
