#include "sim/lan_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "sim/sim_log.h"
#include "sim/traffic_dump.h"

namespace lumivex::sim {
namespace {

void Put(std::string& out, std::size_t offset, std::size_t width, std::string_view text) {
  out.replace(offset, std::min(width, text.size()), text.substr(0, width));
}

}  // namespace

std::string LanAnswerBytes(const LanAnswer& answer) {
  std::string out(kLanAnswerSize, '\0');
  out[0] = static_cast<char>(kLanProbeByte);
  Put(out, 1, 16, answer.id);
  Put(out, 17, 16, answer.ip);
  Put(out, 33, 12, answer.mac);
  out[50] = static_cast<char>(answer.value >> 8);
  out[51] = static_cast<char>(answer.value & 0xff);
  return out;
}

LanResponder::LanResponder(const Scenario& scenario) {
  for (const Device& d : scenario.devices) {
    if (!d.lan) continue;
    for (int i = 0; i < d.lan->repeat; ++i) answers_.push_back(LanAnswerBytes(*d.lan));
  }
}

LanResponder::~LanResponder() { Stop(); }

bool LanResponder::Start(const std::string& address, uint16_t port, std::string& error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
    error = "LAN bind address " + address + " is not dotted IPv4";
    return false;
  }
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int on = 1;
  socklen_t len = sizeof addr;
  if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    error = "cannot bind the LAN responder to " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    return false;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void LanResponder::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void LanResponder::Loop() {
  char buffer[2048];
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n != 1 || static_cast<uint8_t>(buffer[0]) != kLanProbeByte) continue;
    for (const std::string& answer : answers_) {
      DumpLanAnswer(answer);
      if (sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), len) < 0)
        LogError(std::string("LAN answer not sent: ") + std::strerror(errno));
    }
  }
}

}  // namespace lumivex::sim
