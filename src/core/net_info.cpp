#include "core/net_info.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstdio>

#include "core/global.h"

namespace lumivex {
namespace {

std::string Dotted(const sockaddr* address) {
  if (!address || address->sa_family != AF_INET) return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  return text;
}

NetInterface& Entry(std::vector<NetInterface>& list, const char* name) {
  auto it = std::find_if(list.begin(), list.end(), [&](const NetInterface& i) { return i.name == name; });
  if (it != list.end()) return *it;
  NetInterface& added = list.emplace_back();
  added.name = name;
  return added;
}

}  // namespace

std::vector<NetInterface> ListNetInterfaces() {
  std::vector<NetInterface> list;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return list;
  for (ifaddrs* a = all; a; a = a->ifa_next) {
    if (!a->ifa_name) continue;
    NetInterface& e = Entry(list, a->ifa_name);
    e.up = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING);
    e.loopback = a->ifa_flags & IFF_LOOPBACK;
    if (!a->ifa_addr) continue;
    if (a->ifa_addr->sa_family == AF_PACKET) {
      const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
      std::copy_n(ll->sll_addr, std::min<std::size_t>(ll->sll_halen, 6), e.mac.begin());
    } else if (a->ifa_addr->sa_family == AF_INET) {
      e.ipv4.push_back({Dotted(a->ifa_addr), Dotted(a->ifa_netmask)});
    }
  }
  freeifaddrs(all);
  return list;
}

bool GetLocalNetInfo(Global& g, const std::vector<NetInterface>& interfaces) {
  auto it = std::find_if(interfaces.begin(), interfaces.end(),
                         [](const NetInterface& i) { return i.up && !i.loopback; });
  if (it == interfaces.end()) return false;
  char mac[18];
  std::snprintf(mac, sizeof mac, "%.2x-%.2x-%.2x-%.2x-%.2x-%.2x", it->mac[0], it->mac[1], it->mac[2],
                it->mac[3], it->mac[4], it->mac[5]);
  g.m_Mac = mac;
  if (it->ipv4.empty()) return false;
  const NetInterface::Ipv4& last = it->ipv4.back();
  g.m_LocalIp = last.address;
  if (!last.mask.empty()) g.m_LocalMask = last.mask;
  return true;
}

bool GetLocalNetInfo(Global& g) {
  bool found = GetLocalNetInfo(g, ListNetInterfaces());
  if (g.localIpOverride.empty()) return found;
  g.m_LocalIp = g.localIpOverride;
  g.m_LocalMask = g.localMaskOverride;
  return true;
}

}  // namespace lumivex
