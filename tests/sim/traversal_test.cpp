// NAT traversal against the sim over loopback, with the client's side
// played by hand: register, confirm, the hello exchange, the ready, then a
// UDT listener on the punched socket that the camera connects to.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <udt/udt.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <set>

#include "sim/camera_world.h"
#include "sim/raw_device.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kKey[] = "Tq4w";
constexpr char kUmac[] = "demo,02-00-5e-10-00-01";

struct Datagram {
  uint8_t type = 0;
  Json::Value message;
  sockaddr_in from{};
};

class PunchClient {
 public:
  PunchClient() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in any = test::Loopback(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof any);
  }
  ~PunchClient() {
    if (fd_ >= 0) close(fd_);
  }
  int TakeSocket() { return std::exchange(fd_, -1); }

  void Send(uint16_t port, uint8_t type, const std::string& json, in_addr_t address = htonl(INADDR_LOOPBACK)) {
    std::string d = test::RawSeal(type, json + "\n", kKey, "5c5c", 16);
    sockaddr_in to = test::Loopback(port);
    to.sin_addr.s_addr = address;
    sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  // The next datagram within ms.
  bool Receive(Datagram& out, int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) != 1) return false;
    char buffer[2048];
    socklen_t length = sizeof out.from;
    ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&out.from), &length);
    if (n < 16) return false;
    std::string d(buffer, static_cast<std::size_t>(n));
    out.type = static_cast<uint8_t>(d[0]);
    out.message = test::RawOpen(d, kKey, 16);
    return true;
  }
  // The next datagram of type from port within ms.
  bool ReceiveFrom(uint16_t port, uint8_t type, Datagram& out, int ms) {
    auto deadline = Clock::now() + milliseconds(ms);
    while (Clock::now() < deadline)
      if (Receive(out, 50) && ntohs(out.from.sin_port) == port && out.type == type) return true;
    return false;
  }

 private:
  int fd_ = -1;
};

std::string Identity(const std::string& sid) { return R"({"sid":")" + sid + R"(","umac":")" + kUmac + R"("})"; }

class UdtReader {
 public:
  explicit UdtReader(UDTSOCKET s) : s_(s), epoll_(UDT::epoll_create()) {
    bool no = false;
    UDT::setsockopt(s_, 0, UDT_RCVSYN, &no, sizeof no);
    int events = UDT_EPOLL_IN | UDT_EPOLL_ERR;
    UDT::epoll_add_usock(epoll_, s_, &events);
  }
  ~UdtReader() {
    UDT::epoll_release(epoll_);
    UDT::close(s_);
  }
  bool Send(const std::string& bytes) {
    return UDT::send(s_, bytes.data(), static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
  }
  bool Exactly(std::size_t n, std::string& out, int ms) {
    auto deadline = Clock::now() + milliseconds(ms);
    out.clear();
    while (out.size() < n) {
      char buffer[4096];
      int got = UDT::recv(s_, buffer, static_cast<int>(std::min(sizeof buffer, n - out.size())), 0);
      if (got > 0) {
        out.append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      if (UDT::getlasterror_code() != CUDTException::EASYNCRCV || Clock::now() >= deadline) return false;
      std::set<UDTSOCKET> ready;
      UDT::epoll_wait(epoll_, &ready, nullptr, 100);
    }
    return true;
  }
  bool Packet(std::string& p, int ms = 5000) {
    std::string head, rest;
    if (!Exactly(3, head, ms)) return false;
    const uint8_t type = static_cast<uint8_t>(head[0]);
    const std::size_t n = test::Le16(head, 1);
    const std::size_t more = type == 0x32 ? n + 5 : type == 0x46 ? n + 22 : n + 8;
    if (!Exactly(more, rest, ms)) return false;
    p = head + rest;
    return true;
  }

 private:
  UDTSOCKET s_;
  int epoll_;
};

class Traversal : public ::testing::Test {
 protected:
  void SetUp() override {
    UDT::startup();
    Scenario s;
    std::string error;
    ASSERT_TRUE(ParseScenario(R"({"devices": [
        {"sid": "nat", "camera": {"audio": "aac", "width": 320, "height": 180}},
        {"sid": "moved", "camera": {"helloFromOtherPort": true, "width": 320, "height": 180}},
        {"sid": "held", "camera": {"traversal": "hold"}},
        {"sid": "mute", "camera": {"traversal": "silent"}}]})", s, error)) << error;
    world_ = std::make_unique<CameraWorld>(s, [] { return std::vector<SessionKey>{{kKey, kUmac}}; });
    ASSERT_TRUE(world_->Start("127.0.0.1", CameraOutputs{"", controlLogPath(), ""}, error)) << error;
    server_ = world_->endpoints().traversal;
  }
  void TearDown() override {
    world_.reset();
    UDT::cleanup();
  }

  // Register and confirm; the announced camera port.
  uint16_t Register(PunchClient& c, const std::string& sid) {
    c.Send(server_, 'C', Identity(sid));
    Datagram d;
    if (!c.ReceiveFrom(server_, 0x0B, d, 2000)) return 0;
    EXPECT_EQ(d.message["ip"], "127.0.0.1");
    c.Send(server_, 'K', R"({"sid":")" + sid + R"(","type":"K","umac":")" + kUmac + R"("})");
    Datagram hold;
    EXPECT_TRUE(c.ReceiveFrom(server_, 0x09, hold, 2000));
    EXPECT_NE(hold.message["type"], "10");  // must not pass for the camera's acknowledgement
    return static_cast<uint16_t>(std::stoi(d.message["port"].asString()));
  }

  // The peer exchange as the client plays it; the camera's hello source.
  bool Exchange(PunchClient& c, uint16_t announced, const std::string& sid, sockaddr_in& camera) {
    bool hello = false, ack = false;
    auto deadline = Clock::now() + milliseconds(3000);
    auto nextHello = Clock::now();
    uint16_t target = announced;
    while (Clock::now() < deadline && !(hello && ack)) {
      if (Clock::now() >= nextHello) {
        c.Send(target, 0x0A, Identity(sid));
        nextHello += milliseconds(200);
      }
      Datagram d;
      if (!c.Receive(d, 50) || ntohs(d.from.sin_port) == server_) continue;
      if (d.type == 0x0A) {
        hello = true;
        camera = d.from;
        target = ntohs(d.from.sin_port);  // a hello from elsewhere moves the peer
      } else if (d.type == 0x09 && d.message["type"] == "10") {
        ack = true;
      }
    }
    if (hello && ack) c.Send(target, 0x10, Identity(sid));
    return hello && ack;
  }

  // UDT listen on the punched socket, accept within 3 s.
  UDTSOCKET Accept(int udp) {
    UDTSOCKET listener = UDT::socket(AF_INET, SOCK_STREAM, 0);
    bool no = false;
    UDT::setsockopt(listener, 0, UDT_RCVSYN, &no, sizeof no);
    if (UDT::bind2(listener, udp) == UDT::ERROR || UDT::listen(listener, 10) == UDT::ERROR) return UDT::INVALID_SOCK;
    int epoll = UDT::epoll_create();
    int events = UDT_EPOLL_IN;
    UDT::epoll_add_usock(epoll, listener, &events);
    std::set<UDTSOCKET> ready;
    UDT::epoll_wait(epoll, &ready, nullptr, 3000);
    UDT::epoll_release(epoll);
    UDTSOCKET s = ready.empty() ? UDT::INVALID_SOCK : UDT::accept(listener, nullptr, nullptr);
    UDT::close(listener);
    return s;
  }

  std::string controlLogPath() const { return (dir_ / "control.log").string(); }
  // The control log's texts (without time and sid), once there are n.
  std::vector<std::string> ControlTexts(std::size_t n) {
    std::vector<std::string> texts;
    lumivex::test::WaitFor([&] {
      texts.clear();
      const std::string log = lumivex::test::ReadFileBytes(controlLogPath());
      for (std::size_t at = 0, eol; (eol = log.find('\n', at)) != std::string::npos; at = eol + 1) {
        const std::size_t text = log.find(' ', log.find(' ', at) + 1) + 1;
        texts.push_back(log.substr(text, eol - text));
      }
      return texts.size() >= n;
    });
    return texts;
  }

  lumivex::test::TempDir dir_;
  std::unique_ptr<CameraWorld> world_;
  uint16_t server_ = 0;
};

TEST_F(Traversal, PunchThenTheCameraConnectsOverUdtAndStreams) {
  PunchClient c;
  const uint16_t announced = Register(c, "nat");
  ASSERT_NE(announced, 0);
  sockaddr_in camera{};
  ASSERT_TRUE(Exchange(c, announced, "nat", camera));
  EXPECT_EQ(ntohs(camera.sin_port), announced);
  UDTSOCKET s = Accept(c.TakeSocket());
  ASSERT_NE(s, UDT::INVALID_SOCK);
  UdtReader udt(s);
  ASSERT_TRUE(udt.Send(test::RawSeal(0x32, test::ConnectText("nat", kUmac, "4", "3.0"), kKey, "7777", 8)));
  std::string p;
  ASSERT_TRUE(udt.Packet(p));
  ASSERT_EQ(p[0], 0x32);
  Json::Value reply = test::RawOpen(p, kKey, 8);
  EXPECT_EQ(reply["width"], "320");
  EXPECT_FALSE(reply.isMember("audioType"));  // UDT sessions carry Speex only
  ASSERT_TRUE(udt.Send(test::RawSeal(0x32, "{\"type\":\"startup\"}\n", kKey, "7777", 8)));
  int frames = 0, speex = 0;
  int32_t first = -1, last = -1;
  while (frames < 20 && udt.Packet(p)) {
    if (p[0] == 0x5A) ++speex;
    ASSERT_NE(p[0], 0x5B);
    if (p[0] != 0x46 || test::Le16(p, 19) != test::Le16(p, 17) - 1) continue;  // count whole frames
    int32_t number = static_cast<int32_t>(test::Le32(p, 5));
    if (first < 0) first = number;
    EXPECT_TRUE(last < 0 || number == last + 1);
    last = number;
    ++frames;
  }
  EXPECT_EQ(frames, 20);
  EXPECT_GE(speex, 3);

  // over UDT the keep-alive has no control number, and talk-back is Speex
  const std::string keepAlive = std::string(R"({"cmd":"running","type":"control","umac":")") + kUmac + "\"}";
  const std::string numbered =
      std::string(R"({"cmd":"running","control_number":"0","type":"control","umac":")") + kUmac + "\"}";
  ASSERT_TRUE(udt.Send(test::RawSeal(0x32, numbered + "\n", kKey, "7777", 8)));  // refused
  ASSERT_TRUE(udt.Send(test::RawSeal(0x32, keepAlive + "\n", kKey, "7777", 8)));
  std::string talk(11, '\0');
  talk[0] = 0x5A;
  talk[1] = static_cast<char>(200);
  ASSERT_TRUE(udt.Send(talk + std::string(200, '\0')));
  const std::vector<std::string> expected = {R"({"type":"startup"})", "stream-start udt", keepAlive, "talk speex 200"};
  EXPECT_EQ(ControlTexts(4), expected);
}

TEST_F(Traversal, HelloFromAnotherPortIsWhereUdtComesFrom) {
  PunchClient c;
  const uint16_t announced = Register(c, "moved");
  ASSERT_NE(announced, 0);
  sockaddr_in camera{};
  ASSERT_TRUE(Exchange(c, announced, "moved", camera));
  EXPECT_NE(ntohs(camera.sin_port), announced);
  UDTSOCKET s = Accept(c.TakeSocket());
  ASSERT_NE(s, UDT::INVALID_SOCK);
  sockaddr_in peer{};
  int length = sizeof peer;
  ASSERT_EQ(UDT::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &length), 0);
  EXPECT_EQ(peer.sin_port, camera.sin_port);
  UdtReader udt(s);
  ASSERT_TRUE(udt.Send(test::RawSeal(0x32, test::ConnectText("moved", kUmac, "4", "3.0"), kKey, "7777", 8)));
  std::string p;
  ASSERT_TRUE(udt.Packet(p));
  EXPECT_EQ(test::RawOpen(p, kKey, 8)["type"], "connect");
}

// A NAT may map the client's socket to one port towards the server and to
// another towards the camera: the camera follows the client's datagrams.
TEST_F(Traversal, HellosFollowWhereTheClientsDatagramsComeFrom) {
  PunchClient towardsServer, towardsCamera;
  const uint16_t announced = Register(towardsServer, "nat");
  ASSERT_NE(announced, 0);
  sockaddr_in camera{};
  ASSERT_TRUE(Exchange(towardsCamera, announced, "nat", camera));
  UDTSOCKET s = Accept(towardsCamera.TakeSocket());
  ASSERT_NE(s, UDT::INVALID_SOCK);
  UdtReader udt(s);
  ASSERT_TRUE(udt.Send(test::RawSeal(0x32, test::ConnectText("nat", kUmac, "4", "3.0"), kKey, "7777", 8)));
  std::string p;
  ASSERT_TRUE(udt.Packet(p));
  EXPECT_EQ(test::RawOpen(p, kKey, 8)["type"], "connect");
}

TEST_F(Traversal, KnobsHoldOrSilenceTheServer) {
  PunchClient held;
  held.Send(server_, 'C', Identity("held"));
  Datagram d;
  ASSERT_TRUE(held.Receive(d, 2000));
  EXPECT_EQ(d.type, 0x09);
  EXPECT_FALSE(held.Receive(d, 400));  // and no 0x0B after it

  PunchClient mute;
  mute.Send(server_, 'C', Identity("mute"));
  EXPECT_FALSE(mute.Receive(d, 500));

  PunchClient stranger;  // another session's key: not answered
  std::string sealed = test::RawSeal('C', Identity("nat") + "\n", "zzzz", "5c5c", 16);
  sockaddr_in to = test::Loopback(server_);
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sendto(fd, sealed.data(), sealed.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 400), 0);
  close(fd);
}

}  // namespace
}  // namespace lumivex::sim
