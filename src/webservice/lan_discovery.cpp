// The LAN probe: one byte to the subnet's broadcast address, twenty times,
// and the devices' answers collected on the same socket.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "core/global.h"
#include "core/logging.h"
#include "core/text.h"
#include "webservice/camera_list.h"

namespace lumivex {
namespace {

constexpr int kRounds = 20;
constexpr auto kStep = std::chrono::milliseconds(50);
constexpr char kProbeByte = 0x0E;
constexpr std::size_t kAnswerBytes = 52;
constexpr std::size_t kMaxDatagram = 2048;

int OpenProbeSocket() {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// (address AND mask) OR (NOT mask), in network order; false when either
// text is empty or no dotted address.
bool BroadcastAddress(const std::string& ip, const std::string& mask, uint32_t& out) {
  in_addr a{}, m{};
  if (ip.empty() || mask.empty() || ::inet_pton(AF_INET, ip.c_str(), &a) != 1 ||
      ::inet_pton(AF_INET, mask.c_str(), &m) != 1)
    return false;
  out = (a.s_addr & m.s_addr) | ~m.s_addr;
  return true;
}

}  // namespace

bool ParseLanAnswer(std::string_view datagram, LanDevice& device) {
  if (datagram.size() < kAnswerBytes) return false;
  std::string_view mac = datagram.substr(33, 12);
  for (char c : mac)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  LanDevice parsed;
  parsed.id = datagram.substr(1, 16);  // NUL-padded: the field stops at the first NUL
  parsed.ip = datagram.substr(17, 16);
  if (parsed.id.empty()) return false;
  std::string formatted;
  for (std::size_t i = 0; i < mac.size(); i += 2) {
    if (i) formatted += ':';
    formatted.append(mac.substr(i, 2));
  }
  parsed.mac = formatted;
  std::memcpy(&parsed.port, datagram.data() + 50, sizeof parsed.port);  // as received
  device = parsed;
  return true;
}

bool CameraList::StartLanDiscovery(const Global& g, uint16_t port) {
  std::lock_guard lock(discoveryMutex_);
  FinishDiscoveryLocked();
  lanSocket_ = OpenProbeSocket();
  if (lanSocket_ < 0) {
    LogLine("LAN discovery: no broadcast socket");
    return false;
  }
  uint32_t broadcast = 0;
  bool haveAddress = BroadcastAddress(g.m_LocalIp.str(), g.m_LocalMask.str(), broadcast);
  int fd = lanSocket_;
  try {
    sender_ = std::thread([this, fd, broadcast, port, haveAddress] {
      if (haveAddress) SendProbes(fd, broadcast, port);
      else LogLine("LAN discovery: no local address and mask; no probe sent");
    });
    collector_ = std::thread([this, fd] { CollectAnswers(fd); });
  } catch (const std::system_error&) {
    LogLine("LAN discovery: cannot start its threads");
    return false;  // MergeLanResults joins whatever did start
  }
  return true;
}

void CameraList::SendProbes(int fd, uint32_t broadcast, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = broadcast;
  for (int i = 0; i < kRounds; ++i) {
    if (::sendto(fd, &kProbeByte, 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 1) {
      LogLine(std::string("LAN discovery: send failed: ") + std::strerror(errno));
      return;
    }
    std::this_thread::sleep_for(kStep);
  }
}

void CameraList::CollectAnswers(int fd) {
  {
    std::lock_guard lock(mutex_);
    lanTable_.clear();
  }
  char buffer[kMaxDatagram];
  for (int round = 0; round < kRounds; ++round) {
    pollfd p{fd, POLLIN, 0};
    int ready = ::poll(&p, 1, static_cast<int>(kStep.count()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      LogLine("LAN discovery: poll failed");
      return;
    }
    if (ready == 0) continue;
    // Every waiting answer (bounded against a flood), so that the repeats
    // of one device crowd out no other.
    for (int taken = 0; taken < kCapacity; ++taken) {
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) break;
        LogLine(std::string("LAN discovery: receive failed: ") + std::strerror(errno));
        return;
      }
      LanDevice device;
      if (!ParseLanAnswer(std::string_view(buffer, static_cast<std::size_t>(n)), device)) {
        LogLine("LAN discovery: malformed answer of " + DecimalText(n) + " bytes refused");
        continue;
      }
      std::lock_guard lock(mutex_);
      bool known = false;
      for (const LanDevice& seen : lanTable_) known = known || seen.id == device.id.str();
      if (known) continue;
      if (lanTable_.size() >= static_cast<std::size_t>(kCapacity)) {
        LogLine("LAN discovery: table full; answer of " + device.id.str() + " dropped");
        continue;
      }
      lanTable_.push_back(device);
    }
  }
}

std::function<void(int code)> CameraList::ExitAfterDiscovery() {
  return [this](int code) {
    {
      std::lock_guard discovery(discoveryMutex_);
      FinishDiscoveryLocked();
    }
    _exit(code);
  };
}

void CameraList::FinishDiscoveryLocked() {
  if (sender_.joinable()) sender_.join();
  if (collector_.joinable()) collector_.join();
  if (lanSocket_ >= 0) ::close(lanSocket_);
  lanSocket_ = -1;
}

void CameraList::MergeLanResults() {
  std::lock_guard discovery(discoveryMutex_);
  FinishDiscoveryLocked();
  std::lock_guard lock(mutex_);
  for (CameraInfo& entry : entries_) {
    entry.onLan = 0;
    for (const LanDevice& device : lanTable_) {
      if (!EqualsIgnoreCase(device.id.str(), entry.sid.str())) continue;
      entry.onLan = 1;
      entry.lanIp = device.ip.str();
      entry.lanMac = device.mac.str();
      entry.lanPort = device.port;
      break;
    }
  }
}

std::vector<LanDevice> CameraList::LanResults() const {
  std::lock_guard lock(mutex_);
  return lanTable_;
}

}  // namespace lumivex
