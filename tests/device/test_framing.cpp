// Sealing of control messages and traversal datagrams, checked against
// OpenSSL's DES and jsoncpp's own writer.

#include <gtest/gtest.h>

#include <json/writer.h>

#include "device/json_message.h"
#include "device/sealing.h"
#include "device/session_packet.h"
#include "device/traversal_datagram.h"
#include "device_fixture.h"

namespace lumivex {
namespace {

using test::kDevKey;
using test::RawOpen;
using test::RawSeal;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

std::string FastWriterText(const JsonMessage& message) {
  Json::Value object(Json::objectValue);
  for (const auto& [name, value] : message) object[name] = value;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return Json::FastWriter().write(object);
#pragma GCC diagnostic pop
}

TEST(CompactJson, SortsMembersByNameWithoutSpacesAndEndsWithANewline) {
  JsonMessage connect = {{"type", "connect"}, {"identity", "client"}, {"video-playback", "0"},
                         {"link-type", "2"},  {"umac", "alice,00:1a"}, {"netType", "4"}};
  EXPECT_EQ(CompactJson(connect),
            "{\"identity\":\"client\",\"link-type\":\"2\",\"netType\":\"4\",\"type\":\"connect\","
            "\"umac\":\"alice,00:1a\",\"video-playback\":\"0\"}\n");
  EXPECT_EQ(CompactJson(connect), FastWriterText(connect));
  JsonMessage awkward = {{"q", "say \"hi\"\\"}, {"c", std::string("tab\tnl\n\x01", 9)}};
  EXPECT_EQ(CompactJson(awkward), FastWriterText(awkward));
}

TEST(Seal, SixteenBytesOfJsonArePaddedTo24AndGiveL48) {
  JsonMessage message = {{"type", "abcd"}};
  ASSERT_EQ(CompactJson(message).size(), 16u);
  std::string packet;
  ASSERT_TRUE(SealSessionPacket(kDevKey, message, packet));
  ASSERT_EQ(packet.size(), 8u + 48u);
  EXPECT_EQ(static_cast<uint8_t>(packet[0]), 0x32);
  EXPECT_EQ(static_cast<uint8_t>(packet[1]), 48);
  EXPECT_EQ(static_cast<uint8_t>(packet[2]), 0);
  for (int i = 3; i < 7; ++i) EXPECT_TRUE(IsHexDigit(packet[i])) << i;
  EXPECT_EQ(packet[7], '\0');
  for (std::size_t i = 8; i < packet.size(); ++i) ASSERT_TRUE(IsHexDigit(packet[i])) << i;
  std::string text;
  ASSERT_TRUE(RawOpen(packet, 8, text));
  EXPECT_EQ(text, "{\"type\":\"abcd\"}\n" + std::string(8, ' '));
}

TEST(Seal, PadsWithOneToEightSpaces) {
  for (std::size_t extra = 0; extra < 8; ++extra) {
    JsonMessage message = {{"type", std::string(4 + extra, 'x')}};
    std::string json = CompactJson(message), packet, text;
    ASSERT_TRUE(SealSessionPacket(kDevKey, message, packet));
    ASSERT_TRUE(RawOpen(packet, 8, text));
    std::size_t spaces = text.size() - json.size();
    EXPECT_EQ(text.substr(0, json.size()), json);
    EXPECT_EQ(text.find_first_not_of(' ', json.size()), std::string::npos);
    EXPECT_GE(spaces, 1u);
    EXPECT_LE(spaces, 8u);
    EXPECT_EQ(text.size() % 8, 0u);
  }
}

TEST(Seal, DatagramHeaderHoldsLThenNineZerosThenTheKeyCharacters) {
  std::string datagram, text;
  ASSERT_TRUE(SealTraversalDatagram(kDevKey, PunchRegister, {{"sid", "cam1"}, {"umac", "alice,m"}}, datagram));
  EXPECT_EQ(static_cast<uint8_t>(datagram[0]), 0x43);
  EXPECT_EQ(LengthField(datagram), static_cast<int32_t>(datagram.size() - 16));
  EXPECT_EQ(datagram.substr(3, 9), std::string(9, '\0'));
  for (int i = 12; i < 16; ++i) EXPECT_TRUE(IsHexDigit(datagram[i])) << i;
  ASSERT_TRUE(RawOpen(datagram, 16, text));
  const std::string json = "{\"sid\":\"cam1\",\"umac\":\"alice,m\"}\n";
  EXPECT_EQ(text, json + std::string(8 - json.size() % 8, ' '));
}

TEST(Seal, RefusesAKeyThatIsNotFourCharactersAndATextBeyondTheBuffer) {
  std::string out;
  EXPECT_FALSE(SealSessionPacket("abc", {{"type", "x"}}, out));
  EXPECT_FALSE(SealSessionPacket("abcde", {{"type", "x"}}, out));
  EXPECT_TRUE(SealSessionPacket(kDevKey, {{"t", std::string(1000, 'x')}}, out));  // 1008 bytes
  EXPECT_FALSE(SealSessionPacket(kDevKey, {{"t", std::string(1020, 'x')}}, out));
}

TEST(Open, ReadsTheJsonValueAndIgnoresThePadding) {
  SessionPacket packet{RawSeal(0x32, "{\"cmd\":\"close\",\"n\":\"7\"}\n", 8, "f00d")};
  Json::Value value;
  ASSERT_TRUE(OpenSessionPacket(kDevKey, packet, value));
  EXPECT_EQ(value["cmd"].asString(), "close");
  EXPECT_EQ(value["n"].asString(), "7");
  EXPECT_EQ(value.size(), 2u);
  // A packet sealed by the client opens to what was sealed.
  ASSERT_TRUE(SealSessionPacket(kDevKey, {{"type", "startup"}}, packet.bytes));
  ASSERT_TRUE(OpenSessionPacket(kDevKey, packet, value));
  EXPECT_EQ(value["type"].asString(), "startup");
}

TEST(Open, RefusesBrokenPackets) {
  std::string good = RawSeal(0x32, "{\"type\":\"connect\"}\n", 8);
  Json::Value value;
  ASSERT_TRUE(Open(kDevKey, good, 8, value));
  EXPECT_FALSE(Open("zzzz", good, 8, value)) << "another key gives no JSON";
  EXPECT_FALSE(Open(kDevKey, good.substr(0, good.size() - 2), 8, value)) << "fewer digits than L";
  std::string odd = good;
  odd[1] = static_cast<char>(odd[1] - 8);  // L not whole DES blocks
  EXPECT_FALSE(Open(kDevKey, odd, 8, value));
  std::string notHex = good;
  notHex[9] = 'g';
  EXPECT_FALSE(Open(kDevKey, notHex, 8, value));
  std::string negative = good;
  negative[2] = static_cast<char>(0x80);
  EXPECT_FALSE(Open(kDevKey, negative, 8, value));
  EXPECT_FALSE(Open(kDevKey, good.substr(0, 5), 8, value));
}

// {"ip":"10.0.0.1","pad":"ppp…"} and the newline, n bytes in all.
std::string JsonOfLength(std::size_t n) {
  const std::string head = "{\"ip\":\"10.0.0.1\",\"pad\":\"", tail = "\"}\n";
  return head + std::string(n - head.size() - tail.size(), 'p') + tail;
}

TEST(TraversalDatagram, OnlyLFrom1To1847IsOpened) {
  std::string tooLong = RawSeal(0x0B, JsonOfLength(921), 16);  // padded to 928
  ASSERT_EQ(LengthField(tooLong), 1856);
  Json::Value value;
  EXPECT_TRUE(Open(kDevKey, tooLong, 16, value)) << "well formed, only over the limit";
  EXPECT_FALSE(OpenTraversalDatagram(kDevKey, tooLong, value));

  std::string fits = RawSeal(0x0B, JsonOfLength(915), 16);  // padded to 920
  ASSERT_EQ(LengthField(fits), 1840);
  EXPECT_TRUE(OpenTraversalDatagram(kDevKey, fits, value));
  EXPECT_EQ(value["ip"].asString(), "10.0.0.1");

  std::string l1848 = fits + std::string(8, '0');
  l1848[1] = static_cast<char>(1848 & 0xFF);
  l1848[2] = static_cast<char>(1848 >> 8);
  EXPECT_FALSE(OpenableDatagram(l1848));
  EXPECT_FALSE(OpenTraversalDatagram(kDevKey, l1848, value));
  std::string l0 = fits;
  l0[1] = l0[2] = 0;
  EXPECT_FALSE(OpenableDatagram(l0));
  EXPECT_FALSE(OpenTraversalDatagram(kDevKey, l0, value));
  EXPECT_FALSE(OpenableDatagram(fits.substr(0, 15)));
}

}  // namespace
}  // namespace lumivex
