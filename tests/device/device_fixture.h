#pragma once
// The camera's side of the wire for the device tests, written with OpenSSL
// alone (the client seals with mbed TLS), and a client context to run the
// session routines with.

#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdint>
#include <memory>
#include <string>

#include <json/reader.h>
#include <json/value.h>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/notifier.h"
#include "support/temp_dir.h"
#include "webservice/service_context.h"
#include "webservice/service_double.h"

namespace lumivex::test {

inline constexpr char kDevKey[] = "d7K2";

// Sealed the way the wire lays it out, independently of Seal:
// padding, DES under devKey + keyChars, lowercase hex, L little-endian.
inline std::string RawSeal(uint8_t type, const std::string& text, std::size_t header,
                           const std::string& keyChars = "a1b2", const std::string& devKey = kDevKey) {
  std::string padded = text;
  padded.append(8 - padded.size() % 8, ' ');
  std::string hex = raw::Hex(raw::Des(true, devKey + keyChars, padded));
  std::string out(header, '\0');
  out[0] = static_cast<char>(type);
  out[1] = static_cast<char>(hex.size() & 0xFF);
  out[2] = static_cast<char>(hex.size() >> 8);
  out.replace(header == 8 ? 3 : 12, 4, keyChars);
  return out + hex;
}

// The plain text of a sealed packet or datagram, padding included.
inline bool RawOpen(const std::string& bytes, std::size_t header, std::string& text,
                    const std::string& devKey = kDevKey) {
  if (bytes.size() < header) return false;
  std::size_t digits = static_cast<uint8_t>(bytes[1]) | static_cast<uint8_t>(bytes[2]) << 8;
  std::string cipher;
  if (bytes.size() != header + digits || !raw::Unhex(bytes.substr(header), cipher)) return false;
  text = raw::Des(false, devKey + bytes.substr(header == 8 ? 3 : 12, 4), cipher);
  return true;
}

inline bool ParseJson(const std::string& text, Json::Value& out) {
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  return reader->parse(text.data(), text.data() + text.size(), &out, &errors) && out.isObject();
}

// A media packet of the given type with a payload of n bytes of fill.
inline std::string MediaPacket(uint8_t type, std::size_t n, char fill = 'm') {
  std::size_t header = type == 0x46 ? 25 : 11;
  std::string out(header, '\0');
  out[0] = static_cast<char>(type);
  out[1] = static_cast<char>(n & 0xFF);
  out[2] = static_cast<char>(n >> 8);
  return out + std::string(n, fill);
}

inline void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Two connected stream sockets: client() is non-blocking like a session's.
class SocketPair {
 public:
  SocketPair() {
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_);
    SetNonBlocking(fds_[0]);
  }
  ~SocketPair() {
    CloseCamera();
    if (fds_[0] >= 0) ::close(fds_[0]);
  }
  int client() const { return fds_[0]; }
  int camera() const { return fds_[1]; }
  // Hands the client end to a connection, which then closes it.
  int ReleaseClient() {
    int fd = fds_[0];
    fds_[0] = -1;
    return fd;
  }
  void CloseCamera() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
  }
  bool Write(const std::string& bytes) const {
    return ::send(fds_[1], bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Exactly n bytes from the camera end (blocking), or fewer at the end of the stream.
  std::string Read(std::size_t n) const {
    std::string out(n, '\0');
    std::size_t done = 0;
    while (done < n) {
      ssize_t r = ::recv(fds_[1], out.data() + done, n - done, 0);
      if (r <= 0) break;
      done += static_cast<std::size_t>(r);
    }
    out.resize(done);
    return out;
  }

 private:
  int fds_[2] = {-1, -1};
};

class QuietNotifier : public Notifier {
 public:
  void MessageBox(const std::string&, const std::string&) override { ++shown; }
  bool AskYesNo(const std::string&, const std::string&) override { return ++shown, false; }
  void Tip(const std::string&, int) override { ++shown; }
  void Status(const std::string&) override { ++shown; }
  int shown = 0;
};

// A signed-in client's state as the session routines read it.
struct ClientState {
  ClientState() {
    g.m_DevKeyValue = kDevKey;
    settings.userName = "alice";
    settings.umac = "alice,00:1a:2b:3c:4d:5e";
  }
  TempDir dir;
  Global g;
  UserSettings settings;
  QuietNotifier notifier;
  ServiceContext ctx{g, settings, notifier, dir.str()};
};

}  // namespace lumivex::test
