// Network identity: which interface is chosen and what is written.

#include <gtest/gtest.h>

#include "core/global.h"
#include "core/net_info.h"

namespace lumivex {
namespace {

NetInterface Iface(std::string name, bool up, bool loopback, std::vector<NetInterface::Ipv4> ips) {
  NetInterface i;
  i.name = std::move(name);
  i.up = up;
  i.loopback = loopback;
  i.mac = {0x00, 0x1a, 0x2b, 0xc3, 0xd4, 0xef};
  i.ipv4 = std::move(ips);
  return i;
}

TEST(GetLocalNetInfo, FirstUpInterfaceAndItsLastAddressWin) {
  Global g;
  std::vector<NetInterface> list = {
      Iface("lo", true, true, {{"127.0.0.1", "255.0.0.0"}}),
      Iface("eth0", false, false, {{"10.1.1.1", "255.0.0.0"}}),
      Iface("eth1", true, false, {{"192.168.7.20", "255.255.255.0"}, {"172.16.3.9", "255.255.0.0"}}),
      Iface("wlan0", true, false, {{"192.168.9.9", "255.255.255.0"}}),
  };
  ASSERT_TRUE(GetLocalNetInfo(g, list));
  EXPECT_EQ(g.m_Mac, "00-1a-2b-c3-d4-ef");
  EXPECT_EQ(g.m_LocalIp, "172.16.3.9");
  EXPECT_EQ(g.m_LocalMask, "255.255.0.0");
}

TEST(GetLocalNetInfo, FirstUpInterfaceWithoutIpv4FailsEvenIfAnotherHasOne) {
  Global g;
  std::vector<NetInterface> list = {
      Iface("eth0", true, false, {}),
      Iface("eth1", true, false, {{"192.168.7.20", "255.255.255.0"}}),
  };
  EXPECT_FALSE(GetLocalNetInfo(g, list));
  EXPECT_EQ(g.m_Mac, "00-1a-2b-c3-d4-ef");  // written before the address was looked for
  EXPECT_TRUE(g.m_LocalIp.empty());
}

TEST(GetLocalNetInfo, NoInterfaceUpFailsAndAMissingMaskStaysEmpty) {
  Global g;
  EXPECT_FALSE(GetLocalNetInfo(g, {Iface("lo", true, true, {{"127.0.0.1", "255.0.0.0"}})}));
  EXPECT_TRUE(g.m_Mac.empty());
  ASSERT_TRUE(GetLocalNetInfo(g, {Iface("ppp0", true, false, {{"10.64.0.2", ""}})}));
  EXPECT_TRUE(g.m_LocalMask.empty());
}

TEST(ListNetInterfaces, ReadsTheRealSystemConsistently) {
  std::vector<NetInterface> list = ListNetInterfaces();
  ASSERT_FALSE(list.empty());
  bool sawLoopback = false;
  for (const NetInterface& i : list) {
    if (i.loopback) {
      sawLoopback = true;
      ASSERT_FALSE(i.ipv4.empty());
      EXPECT_EQ(i.ipv4.front().address, "127.0.0.1");
      EXPECT_EQ(i.ipv4.front().mask, "255.0.0.0");
    }
  }
  EXPECT_TRUE(sawLoopback);
}

}  // namespace
}  // namespace lumivex
