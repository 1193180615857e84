#pragma once
// What the fuzz targets share: a signed-in client whose web service is a
// folder read through libcurl's file:// (so every operation runs its real
// transfer, DES layer and handler), the sealing of a plain JSON text the way
// a camera seals it, and a socket pair to feed a receive path.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/notifier.h"
#include "webservice/service_context.h"

namespace lumivex::fuzz {

class QuietNotifier : public Notifier {
 public:
  void MessageBox(const std::string&, const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void Tip(const std::string&, int) override {}
  void Status(const std::string&) override {}
};

// A fresh folder (on tmpfs when there is one), removed at exit.
std::string MakeScratchFolder(const std::string& name);

// The device key every sealed message of the fuzz targets uses.
inline constexpr char kDevKey[] = "fz42";

// A client signed in to a service that answers from files: Answer* writes
// the body the next request of that operation reads.
class FileService {
 public:
  FileService();
  ~FileService();

  // {"status":status} plus the inner document sealed for the client, all
  // under the session's DES key.
  void AnswerInner(std::string_view operation, std::string_view inner, std::string_view status = "OK");
  // A reply document under an own key (the older operations).
  void AnswerOwnKey(std::string_view operation, std::string_view document);

  Global g;
  UserSettings settings;
  QuietNotifier notifier;
  std::unique_ptr<ServiceContext> ctx;

 private:
  struct Keys;
  std::unique_ptr<Keys> keys_;
  std::string folder_;
};

// The plain text padded and sealed under devKey + four key characters, as a
// session packet (headerSize 8) or a traversal datagram (16) of that type.
// Empty when it would not fit the 16-bit length.
std::string SealPlain(std::string_view devKey, uint8_t type, std::string_view text, std::size_t headerSize);

// A connected AF_UNIX stream pair; the writer end gets bytes and a shutdown
// of its sending side, so that the reader sees them and then the end.
class SocketPair {
 public:
  SocketPair();
  ~SocketPair();
  bool ok() const { return fds_[0] >= 0; }
  int reader() const { return fds_[0]; }
  // Hands the reader end over (to a DeviceConnection, which closes it).
  int TakeReader();
  // False when the bytes do not fit the socket buffer at once.
  bool Feed(std::string_view bytes);

 private:
  int fds_[2] = {-1, -1};
};

}  // namespace lumivex::fuzz
