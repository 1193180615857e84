#include "sim/raw_device.h"

#include <arpa/inet.h>
#include <openssl/des.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace lumivex::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

int Left(Clock::time_point deadline) {
  return std::max(0, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - Clock::now()).count()));
}

}  // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
std::string OpenSslDes(bool encrypt, const std::string& key8, const std::string& data) {
  DES_cblock key;
  std::copy(key8.begin(), key8.begin() + 8, key);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&key, &schedule);
  std::string out(data.size(), '\0');
  for (std::size_t i = 0; i + 8 <= data.size(); i += 8)
    DES_ecb_encrypt(reinterpret_cast<const_DES_cblock*>(const_cast<char*>(data.data()) + i),
                    reinterpret_cast<DES_cblock*>(&out[i]), &schedule, encrypt ? DES_ENCRYPT : DES_DECRYPT);
  return out;
}
#pragma GCC diagnostic pop

std::string Base64Decoded(const std::string& text) {
  std::string out(text.size(), '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return {};
  std::size_t pad = text.size() >= 2 && text.back() == '=' ? (text[text.size() - 2] == '=' ? 2 : 1) : 0;
  out.resize(static_cast<std::size_t>(n) - pad);
  return out;
}

std::string RawSeal(uint8_t type, const std::string& text, const std::string& keyValue, const std::string& keyChars,
                    std::size_t header) {
  std::string padded = text + std::string(8 - text.size() % 8, ' ');
  std::string cipher = OpenSslDes(true, keyValue + keyChars, padded);
  std::string hex;
  char pair[3];
  for (unsigned char c : cipher) {
    std::snprintf(pair, sizeof pair, "%02x", c);
    hex += pair;
  }
  std::string p(header, '\0');
  p[0] = static_cast<char>(type);
  p[1] = static_cast<char>(hex.size() & 0xFF);
  p[2] = static_cast<char>(hex.size() >> 8);
  p.replace(header == 8 ? 3 : 12, 4, keyChars);
  return p + hex;
}

std::string RawOpenText(const std::string& packet, const std::string& keyValue, std::size_t header) {
  if (packet.size() < header) return {};
  std::size_t length = Le16(packet, 1);
  if (length == 0 || length % 16 || packet.size() != header + length) return {};
  std::string cipher;
  for (std::size_t i = 0; i < length; i += 2)
    cipher += static_cast<char>(std::stoi(packet.substr(header + i, 2), nullptr, 16));
  return OpenSslDes(false, keyValue + packet.substr(header == 8 ? 3 : 12, 4), cipher);
}

Json::Value RawOpen(const std::string& packet, const std::string& keyValue, std::size_t header) {
  std::string text = RawOpenText(packet, keyValue, header);
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value v;
  std::string error;
  if (text.empty() || !reader->parse(text.data(), text.data() + text.size(), &v, &error)) return Json::Value();
  return v;
}

uint32_t Le32(const std::string& s, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}

uint16_t Le16(const std::string& s, std::size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

RawTcp::~RawTcp() {
  if (fd_ >= 0) close(fd_);
}

bool RawTcp::Connect(uint16_t port, int ms) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  sockaddr_in a = Loopback(port);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd p{fd_, POLLOUT, 0};
  int error = 0;
  socklen_t length = sizeof error;
  return poll(&p, 1, ms) == 1 && getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool RawTcp::Send(const std::string& bytes) {
  auto deadline = Clock::now() + std::chrono::seconds(5);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) done += static_cast<std::size_t>(n);
    else if (errno != EAGAIN || Left(deadline) == 0) return false;
    else {
      pollfd p{fd_, POLLOUT, 0};
      poll(&p, 1, Left(deadline));
    }
  }
  return true;
}

bool RawTcp::ReadExactly(std::size_t n, std::string& out, int ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  out.clear();
  while (out.size() < n) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, Left(deadline)) != 1) return false;
    char buffer[4096];
    ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
    if (got <= 0) return false;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

bool RawTcp::ReadPacket(std::string& packet, int ms) {
  std::string head, rest;
  if (!ReadExactly(3, head, ms)) return false;
  const uint8_t type = static_cast<uint8_t>(head[0]);
  const std::size_t n = Le16(head, 1);
  std::size_t more = type == 0x32 ? n + 5 : type == 0x46 ? n + 22 : (type == 0x5A || type == 0x5B) ? n + 8 : 0;
  if (more == 0 || !ReadExactly(more, rest, ms)) return false;
  packet = head + rest;
  return true;
}

bool RawTcp::SeesEnd(int ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  char buffer[4096];
  while (Left(deadline) > 0) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, Left(deadline)) != 1) return false;
    ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) return true;
  }
  return false;
}

void ReadStream(RawTcp& tcp, const std::string& keyValue, std::size_t frames, Received& out, int ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  std::string p;
  while (Left(deadline) > 0) {
    if (!tcp.ReadPacket(p, Left(deadline))) {
      out.ended = true;
      return;
    }
    const uint8_t type = static_cast<uint8_t>(p[0]);
    if (type == 0x32) {
      out.messages.push_back(RawOpen(p, keyValue, 8));
    } else if (type == 0x5A || type == 0x5B) {
      out.audio.push_back(p);
    } else {
      const int32_t number = static_cast<int32_t>(Le32(p, 5));
      if (out.frames.empty() || out.frames.back().number != number) {
        if (out.frames.size() == frames) return;  // the next frame began: the last one is as whole as it gets
        out.frames.emplace_back();
        out.frames.back().number = number;
        out.frames.back().key = (p[3] & 1) == 0;
        out.frames.back().timestamp = static_cast<int32_t>(Le32(p, 13));
      }
      ReceivedFrame& f = out.frames.back();
      f.fragments = Le16(p, 17);
      f.indexes.push_back(Le16(p, 19));
      f.bytes += p.substr(25);
      if (f.indexes.back() == f.fragments - 1 && out.frames.size() == frames) return;
    }
  }
}

std::string ConnectText(const std::string& sid, const std::string& umac, const std::string& linkType,
                        const std::string& protocol) {
  return R"({"identity":"client","link-type":")" + linkType + R"(","netType":"4","protocol":")" + protocol +
         R"(","sid":")" + sid + R"(","type":"connect","umac":")" + umac + R"(","video-playback":"0"}
)";
}

std::string PlaybackConnectText(const std::string& sid, const std::string& umac, const std::string& requestDate) {
  std::string text = ConnectText(sid, umac, "2", "v2.0");
  const std::string live = R"("video-playback":"0")";
  return text.replace(text.find(live), live.size(), R"("request-date":")" + requestDate + R"(","video-playback":"1")");
}

}  // namespace lumivex::sim::test
