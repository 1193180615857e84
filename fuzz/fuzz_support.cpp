#include "fuzz/fuzz_support.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "webservice/http.h"
#include "webservice/service_double.h"

namespace lumivex::fuzz {
namespace {

std::vector<std::string>& Scratch() {
  static std::vector<std::string> folders;
  return folders;
}

void RemoveScratch() {
  std::error_code ignored;
  for (const std::string& f : Scratch()) std::filesystem::remove_all(f, ignored);
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

std::string MakeScratchFolder(const std::string& name) {
  // Configuration saves sync the file: on tmpfs that costs nothing.
  std::error_code error;
  const std::string base = std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "/tmp";
  std::string folder = base + "/lumivex-fuzz-" + name + "-" + std::to_string(::getpid());
  std::filesystem::create_directories(folder);
  if (Scratch().empty()) std::atexit(RemoveScratch);
  Scratch().push_back(folder);
  return folder;
}

struct FileService::Keys {
  test::ServiceDouble service;
};

FileService::FileService() : keys_(std::make_unique<Keys>()) {
  InitHttpLibrary();
  folder_ = MakeScratchFolder("web");
  // file://localhost<folder>/velmor/<op>.do?data=...: libcurl reads the file
  // and leaves the query alone. The older operations put ":<web port>" after
  // the host, which here lands in the path.
  std::filesystem::create_directories(folder_ + "/velmor");
  std::filesystem::create_directories(folder_ + ":80/velmor");
  std::filesystem::create_directories(folder_ + "/config");
  g.m_Scheme = "file";
  g.m_Host = "localhost" + folder_;
  g.port = 0;
  g.m_WebPort = 80;
  g.m_KeyValue = keys_->service.keyValue;
  g.m_DevKeyValue = kDevKey;
  g.m_ServerExp = keys_->service.expHex;
  g.m_ServerMod = keys_->service.modHex;
  g.m_Mac = "00:1a:2b:3c:4d:5e";
  g.m_Token = "tok-7f3e";
  g.m_TimeStamp = "1700000000";
  g.m_TranSrvIpAddress = "127.0.0.1";
  g.m_TranSrvTCPPort = 9000;
  ctx = std::make_unique<ServiceContext>(g, settings, notifier, folder_);
  ctx->keyPair = ClientKeyPair::Generate();
  if (!ctx->keyPair) std::abort();
  ctx->updateCheckAttempts = 2;
  ctx->updateCheckPause = std::chrono::milliseconds(0);
  g.m_ClientExp = ctx->keyPair->ExponentHex();
  g.m_ClientMod = ctx->keyPair->ModulusHex();
  settings.userName = "alice";
  settings.configPath = folder_ + "/config/alice_config.xml";
}

FileService::~FileService() = default;

void FileService::AnswerInner(std::string_view operation, std::string_view inner, std::string_view status) {
  std::string doc = "{\"status\":\"" + std::string(status) + "\"" +
                    test::ServiceDouble::InnerMembers(std::string(inner), g.m_ClientExp.str(),
                                                      g.m_ClientMod.str()) +
                    "}";
  WriteFile(folder_ + "/velmor/" + std::string(operation) + ".do", keys_->service.SealShared(doc));
}

void FileService::AnswerOwnKey(std::string_view operation, std::string_view document) {
  WriteFile(folder_ + ":80/velmor/" + std::string(operation) + ".do",
            test::ServiceDouble::SealOwn(std::string(document)));
}

std::string SealPlain(std::string_view devKey, uint8_t type, std::string_view text, std::size_t headerSize) {
  const std::string keyChars = "a1b2";
  std::string padded(text);
  padded.append(8 - padded.size() % 8, ' ');
  std::string hex = test::raw::Hex(test::raw::Des(true, std::string(devKey) + keyChars, padded));
  if (hex.size() > 0x7FFF) return {};
  std::string bytes(headerSize, '\0');
  bytes[0] = static_cast<char>(type);
  bytes[1] = static_cast<char>(hex.size() & 0xFF);
  bytes[2] = static_cast<char>(hex.size() >> 8);
  bytes.replace(headerSize == 8 ? 3 : 12, keyChars.size(), keyChars);
  return bytes + hex;
}

SocketPair::SocketPair() {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) fds_[0] = fds_[1] = -1;
}

SocketPair::~SocketPair() {
  for (int fd : fds_)
    if (fd >= 0) ::close(fd);
}

int SocketPair::TakeReader() {
  int fd = fds_[0];
  fds_[0] = -1;
  return fd;
}

bool SocketPair::Feed(std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fds_[1], bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return ::shutdown(fds_[1], SHUT_WR) == 0;
}

}  // namespace lumivex::fuzz
