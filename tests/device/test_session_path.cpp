// One live session end to end on loopback, the way lumivexctl connect runs
// it: "current.do" from the scripted service, the TCP connect, the
// handshake with a camera written in the test, and whole frames out of the
// fragments it streams.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>

#include <thread>
#include <vector>

#include "device/frame_assembler.h"
#include "device/negotiation.h"
#include "device/session_packet.h"
#include "device/socket_setup.h"
#include "device/stream_handshake.h"
#include "device_fixture.h"
#include "webservice/service_fixture.h"

namespace lumivex {
namespace {

using test::ServiceDouble;

std::string Fragment(int32_t frame, int16_t count, int16_t index, bool key, const std::string& payload) {
  std::string p = test::MediaPacket(0x46, payload.size());
  p.replace(25, payload.size(), payload);
  p[3] = key ? 0 : 1;
  for (int i = 0; i < 4; ++i) p[5 + i] = static_cast<char>((frame >> (8 * i)) & 0xFF);
  p[17] = static_cast<char>(count), p[19] = static_cast<char>(index);
  return p;
}

// Frame bytes cut into 1375-byte fragments; skip: the index left out.
std::string Fragments(int32_t number, const std::string& frame, int skip = -1) {
  std::string out;
  auto count = static_cast<int16_t>((frame.size() + 1374) / 1375);
  for (int16_t i = 0; i < count; ++i)
    if (i != skip) out += Fragment(number, count, i, number % 2 == 1, frame.substr(i * 1375, 1375));
  return out;
}

class SessionPath : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    g_.m_DevKeyValue = test::kDevKey;
    settings_.umac = "alice,00:1a:2b:3c:4d:5e";
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    MakeAddress("127.0.0.1", 0, a);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener_, 4);
    socklen_t size = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
  }
  void TearDown() override { ::close(listener_); }

  int listener_ = -1;
  uint16_t port_ = 0;
};

TEST_F(SessionPath, FromNegotiationToWholeFrames) {
  Script([this](const ServiceDouble::Request&) {
    return Ok("{\"serverBean\":{\"status\":2,\"devInner\":\"127.0.0.1\",\"devPortTcp\":\"" + std::to_string(port_) +
              "\",\"tranIP\":\"127.0.0.1\",\"tranPortTcp\":\"1\",\"transVideoLong\":\"-1\"}}");
  });
  std::vector<std::string> frames;
  for (std::size_t size : {3000u, 1375u, 10u, 2751u}) {
    std::string f(size, '\0');
    for (std::size_t i = 0; i < size; ++i) f[i] = static_cast<char>((i * 13 + size) & 0xFF);
    frames.push_back(f);
  }
  std::string connectText, startupText;
  std::thread camera([&] {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) return;
    int fd = ::accept(listener_, nullptr, nullptr);
    auto read = [fd](std::size_t n) {
      std::string out(n, '\0');
      std::size_t done = 0;
      while (done < n) {
        ssize_t r = ::recv(fd, out.data() + done, n - done, 0);
        if (r <= 0) break;
        done += static_cast<std::size_t>(r);
      }
      return out.substr(0, done);
    };
    auto message = [&](std::string& text) {
      std::string head = read(3);
      std::size_t digits = head.size() == 3 ? (static_cast<uint8_t>(head[1]) | static_cast<uint8_t>(head[2]) << 8) : 0;
      return test::RawOpen(head + read(digits + 5), 8, text);
    };
    if (!message(connectText)) {
      ::close(fd);
      return;
    }
    std::string reply = "{\"type\":\"connect\",\"width\":\"320\",\"height\":\"240\",\"timeGap\":\"40\","
                        "\"bitRate\":\"480000\",\"audioType\":\"aac\",\"audioSample\":\"16000\","
                        "\"sps\":\"Z0LAHtk=\",\"pps\":\"aM48gA==\"}\n";
    std::string stream = Fragments(4, frames[0]) + test::RawSeal(0x32, reply, 8);
    ::send(fd, stream.data(), stream.size(), MSG_NOSIGNAL);
    message(startupText);
    stream = Fragments(9, frames[0], 1) + test::MediaPacket(0x5B, 100);  // frame 9 loses a piece
    for (int i = 0; i < 4; ++i) stream += Fragments(10 + i, frames[i]);
    ::send(fd, stream.data(), stream.size(), MSG_NOSIGNAL);
    read(1);  // until the client closes
    ::close(fd);
  });

  DeviceConnection conn;
  ASSERT_TRUE(RequestStart(ctx_, "cam-01", conn));
  ASSERT_TRUE(GetSocketByNATType(ctx_, conn));
  EXPECT_EQ(conn.m_DeviceNATType, DEVICE_LAN);
  StreamParameters params;
  ASSERT_TRUE(Ctrl_Recv_Play_TCP(ctx_, conn, {}, params));
  EXPECT_EQ(params.audio, CameraAudio::kAac);
  EXPECT_EQ(params.m_AudioSample, 16000);

  FrameAssembler assembler;
  SessionPacket packet;
  VideoFragment fragment;
  VideoFrame frame;
  std::vector<VideoFrame> whole;
  while (whole.size() < 4 && ReceiveSessionPacket(conn, Transport::kTcp, packet) == Received::kPacket)
    if (ParseVideoFragment(packet, fragment) && assembler.Add(fragment, frame)) whole.push_back(frame);
  conn.Close();
  camera.join();

  ASSERT_EQ(whole.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(whole[i].frameNumber, 10 + i);
    EXPECT_TRUE(whole[i].bytes == frames[i]) << i;
    EXPECT_EQ(whole[i].keyFrame, (10 + i) % 2 == 1);
  }
  EXPECT_EQ(assembler.droppedFrames(), 1);
  Json::Value connect, startup;
  ASSERT_TRUE(test::ParseJson(connectText, connect));
  EXPECT_EQ(connect["link-type"].asString(), "2");
  EXPECT_EQ(connect["sid"].asString(), "cam-01");
  ASSERT_TRUE(test::ParseJson(startupText, startup));
  EXPECT_EQ(startup["type"].asString(), "startup");
}

}  // namespace
}  // namespace lumivex
