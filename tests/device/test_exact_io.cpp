// Exact-length send and receive and whole packets from a byte stream the
// test writes into, including streams that end early or lie about lengths.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/exact_io.h"
#include "device/session_packet.h"
#include "device_fixture.h"
#include "support/wait_for.h"

namespace lumivex {
namespace {

using Clock = std::chrono::steady_clock;
using test::SocketPair;

std::string Pattern(std::size_t n) {
  std::string out(n, '\0');
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<char>(i * 131 + 7);
  return out;
}

struct Session {
  SocketPair pair;
  DeviceConnection conn;
  Session() { conn.tcpSocket = pair.ReleaseClient(); }
};

TEST(RecvTCP_Len, CollectsExactlyTheLengthAcrossPartialWrites) {
  Session s;
  std::string data = Pattern(5000);
  std::thread writer([&] {
    for (std::size_t at = 0; at < data.size(); at += 700) {
      s.pair.Write(data.substr(at, 700));
      std::this_thread::sleep_for(std::chrono::milliseconds(3));  // separate arrivals
    }
  });
  std::string got(4000, '\0'), rest(1000, '\0');
  EXPECT_TRUE(RecvTCP_Len(s.conn, got.data(), got.size()));
  EXPECT_EQ(s.conn.receivedBytes.load(), 4000u);
  EXPECT_TRUE(RecvTCP_Len(s.conn, rest.data(), rest.size()));
  writer.join();
  EXPECT_EQ(got + rest, data);
  EXPECT_EQ(s.conn.receivedBytes.load(), 5000u);
}

TEST(RecvTCP_Len, FailsWhenTheStreamEndsShort) {
  Session s;
  s.pair.Write("abc");
  s.pair.CloseCamera();
  char buffer[10];
  EXPECT_FALSE(RecvTCP_Len(s.conn, buffer, sizeof buffer));
  EXPECT_EQ(s.conn.receivedBytes.load(), 0u);
}

TEST(RecvTCP_Len, FailsAtOnceWithoutASocket) {
  DeviceConnection conn;
  char buffer[4];
  EXPECT_FALSE(RecvTCP_Len(conn, buffer, sizeof buffer));
  EXPECT_FALSE(SendTCP_Len(conn, buffer, sizeof buffer));
}

TEST(RecvTCP_Len, TheStopFlagEndsItWithin200msAsSuccess) {
  Session s;
  s.pair.Write("ab");  // two of the ten bytes
  std::atomic<bool> done{false};
  bool result = false;
  Clock::time_point returned;
  std::thread receiver([&] {
    char buffer[10];
    result = RecvTCP_Len(s.conn, buffer, sizeof buffer);
    returned = Clock::now();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let it wait
  Clock::time_point stopped = Clock::now();
  s.conn.stop.Request();
  ASSERT_TRUE(test::WaitFor([&] { return done.load(); }, std::chrono::seconds(2)));
  receiver.join();
  EXPECT_TRUE(result) << "a stop reports success, bytes missing or not";
  EXPECT_LT(returned - stopped, std::chrono::milliseconds(300));
  EXPECT_EQ(s.conn.receivedBytes.load(), 0u);
}

TEST(SendTCP_Len, WritesEveryByteThroughAFullSocketBuffer) {
  Session s;
  int small = 4096;
  ::setsockopt(s.conn.tcpSocket, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::string data = Pattern(1 << 20), got;
  std::thread reader([&] { got = s.pair.Read(data.size()); });
  EXPECT_TRUE(SendTCP_Len(s.conn, data.data(), data.size()));
  reader.join();
  EXPECT_TRUE(got == data);
}

TEST(SendTCP_Len, FailsWithoutASignalWhenThePeerHasGone) {
  Session s;
  s.pair.CloseCamera();
  std::string data = Pattern(100000);
  EXPECT_FALSE(SendTCP_Len(s.conn, data.data(), data.size()));  // EPIPE, not SIGPIPE
}

// Whole packets by type.
TEST(ReceiveSessionPacket, TakesEachTypeByItsLengthRule) {
  Session s;
  std::string interactive = test::RawSeal(0x32, "{\"type\":\"connect\"}\n", 8);
  std::string video = test::MediaPacket(0x46, 1375), speex = test::MediaPacket(0x5A, 200),
              aac = test::MediaPacket(0x5B, 300);
  ASSERT_TRUE(s.pair.Write(video + speex + interactive + aac));
  SessionPacket packet;
  for (const std::string& expected : {video, speex, interactive, aac}) {
    ASSERT_EQ(ReceiveSessionPacket(s.conn, Transport::kTcp, packet), Received::kPacket);
    EXPECT_TRUE(packet.bytes == expected) << int(packet.type());
  }
}

TEST(ReceiveSessionPacket, ParsesTheVideoAndAudioHeaders) {
  std::string bytes = test::MediaPacket(0x46, 3, 'v');
  bytes[3] = 1;                                    // not a key frame
  bytes[5] = 0x10, bytes[6] = 0x27;                // frame 10000
  bytes[13] = static_cast<char>(0xE8), bytes[14] = 0x03;  // 1000 ms
  bytes[17] = 4, bytes[19] = 3;                    // the last of four fragments
  SessionPacket video{bytes};  // the payload views point into it
  VideoFragment f;
  ASSERT_TRUE(ParseVideoFragment(video, f));
  EXPECT_FALSE(f.keyFrame);
  EXPECT_EQ(f.frameNumber, 10000);
  EXPECT_EQ(f.timestamp, 1000);
  EXPECT_EQ(f.fragmentCount, 4);
  EXPECT_EQ(f.fragmentIndex, 3);
  EXPECT_EQ(f.payload, "vvv");
  video.bytes[3] = 2;
  ASSERT_TRUE(ParseVideoFragment(video, f));
  EXPECT_TRUE(f.keyFrame) << "only bit 0 counts";

  std::string audio = test::MediaPacket(0x5B, 2, 'a');
  audio[7] = 0x2A;
  SessionPacket sound{audio};
  AudioPacket a;
  ASSERT_TRUE(ParseAudioPacket(sound, a));
  EXPECT_TRUE(a.aac);
  EXPECT_EQ(a.timestamp, 42);
  EXPECT_EQ(a.payload, "aa");
  EXPECT_FALSE(ParseAudioPacket(video, a));
}

// Lengths that cannot be right fail at once, before any byte of the body is
// waited for; the camera end stays open so that only the rule can end it.
TEST(ReceiveSessionPacket, RefusesAnUnknownTypeOrALengthBeyondTheBufferAtOnce) {
  const std::string kBad[] = {
      std::string("\x47\x01\x00", 3),          // no such type
      std::string("\x32\x00\x80", 3),          // negative L
      std::string("\x32\xF9\x07", 3),          // L = 2041: 8 + L is over 2048
      std::string("\x46\xFF\xFF", 3),          // N = 65535
      std::string("\x46\xDC\x07", 3),          // N = 2012: 25 + N = 2037 fits, see below
      std::string("\x5A\xF6\x07", 3),          // N = 2038: 11 + N = 2049
  };
  for (const std::string& head : kBad) {
    Session s;
    ASSERT_TRUE(s.pair.Write(head));
    SessionPacket packet;
    if (head == kBad[4]) {
      ASSERT_TRUE(s.pair.Write(std::string(2012 + 22, 'x')));
      EXPECT_EQ(ReceiveSessionPacket(s.conn, Transport::kTcp, packet), Received::kPacket);
      continue;
    }
    Clock::time_point start = Clock::now();
    EXPECT_EQ(ReceiveSessionPacket(s.conn, Transport::kTcp, packet), Received::kFailed);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(150));
  }
}

TEST(ReceiveSessionPacket, FailsOnATruncatedPacketAndReportsAStop) {
  Session s;
  std::string video = test::MediaPacket(0x46, 1000);
  ASSERT_TRUE(s.pair.Write(video.substr(0, 500)));
  s.pair.CloseCamera();
  SessionPacket packet;
  EXPECT_EQ(ReceiveSessionPacket(s.conn, Transport::kTcp, packet), Received::kFailed);

  Session stopped;
  ASSERT_TRUE(stopped.pair.Write(video.substr(0, 500)));
  stopped.conn.stop.Request();
  EXPECT_EQ(ReceiveSessionPacket(stopped.conn, Transport::kTcp, packet), Received::kStopped);
}

}  // namespace
}  // namespace lumivex
