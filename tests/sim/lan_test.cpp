// The LAN probe answer: byte layout, and the responder on loopback.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "sim/lan_responder.h"

namespace lumivex::sim {
namespace {

TEST(LanAnswer, FieldsSitAtTheirOffsets) {
  LanAnswer a;
  a.id = "CamAbc";
  a.ip = "192.168.100.200";
  a.mac = "0a1B2c3D4e5F";
  a.value = 0x1F41;
  std::string bytes = LanAnswerBytes(a);
  ASSERT_EQ(bytes.size(), 52u);
  EXPECT_EQ(bytes.substr(1, 16), std::string("CamAbc") + std::string(10, '\0'));
  EXPECT_EQ(bytes.substr(17, 16), std::string("192.168.100.200") + std::string(1, '\0'));
  EXPECT_EQ(bytes.substr(33, 12), "0a1B2c3D4e5F");
  EXPECT_EQ(bytes.substr(45, 5), std::string(5, '\0'));
  EXPECT_EQ(uint8_t(bytes[50]), 0x1F);
  EXPECT_EQ(uint8_t(bytes[51]), 0x41);

  a.id = "0123456789abcdef";  // a full id leaves no NUL
  EXPECT_EQ(LanAnswerBytes(a).substr(1, 16), "0123456789abcdef");
}

class Probe {
 public:
  Probe() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {}
  ~Probe() { close(fd_); }
  void Send(uint16_t port, const std::string& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(bytes.size()));
  }
  // Empty after a bounded wait without a datagram.
  std::string Receive(int ms = 3000) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return {};
    char buffer[2048];
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
  }

 private:
  int fd_;
};

TEST(LanResponder, AnswersAProbeOncePerMarkedCameraAndRepeats) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(R"({"devices": [
      {"sid": "camA", "lan": {"id": "CAMA", "ip": "127.0.0.1", "mac": "001122334455", "value": 80, "repeat": 2}},
      {"sid": "camB"},
      {"sid": "camC", "lan": {"ip": "127.0.0.3", "mac": "00aabbccddee"}}]})", s, error)) << error;
  LanResponder responder(s);
  ASSERT_TRUE(responder.Start("127.0.0.1", 0, error)) << error;

  Probe probe;
  probe.Send(responder.port(), "\x0e\x0e");  // not a probe: no answer
  probe.Send(responder.port(), "\x0e");
  std::vector<std::string> got;
  for (int i = 0; i < 3; ++i) got.push_back(probe.Receive());
  ASSERT_EQ(got[0].size(), 52u);
  EXPECT_EQ(got[0].substr(1, 4), "CAMA");
  EXPECT_EQ(got[1], got[0]);
  EXPECT_EQ(got[2].substr(1, 5), std::string("camC\0", 5));
  EXPECT_EQ(got[2].substr(17, 9), "127.0.0.3");
  responder.Stop();
}

}  // namespace
}  // namespace lumivex::sim
