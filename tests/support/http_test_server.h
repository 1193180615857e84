#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for transport tests. Plain HTTP and,
// when given a certificate, HTTPS on the same port (a first byte of 0x16
// starts TLS). One connection at a time; each answered and closed.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <openssl/ssl.h>

namespace lumivex::test {

struct HttpReply {
  int status = 200;
  std::string contentType = "text/plain";
  std::string body;
  bool gzip = false;        // send the body gzip-compressed with Content-Encoding
  bool noLength = false;    // no Content-Length: the body ends when the connection closes
  std::chrono::milliseconds delay{0};  // wait before answering
  // With pause > 0: the head and the first pauseAfter bytes of the body, then
  // a wait of pause (cut short when the server stops), then the rest.
  std::size_t pauseAfter = 0;
  std::chrono::milliseconds pause{0};
};

class HttpTestServer {
 public:
  using Handler = std::function<HttpReply(const std::string& target)>;

  // certPem/keyPem empty: plain HTTP only.
  explicit HttpTestServer(Handler handler, const std::string& certPem = {}, const std::string& keyPem = {});
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  uint16_t port() const { return port_; }
  std::string Url(const std::string& scheme, const std::string& target) const;
  std::vector<std::string> targets() const;  // request targets seen, in order

 private:
  void Serve();
  void HandleConnection(int fd);
  void Wait(std::chrono::milliseconds span);  // returns early when stopping

  Handler handler_;
  SSL_CTX* tls_ = nullptr;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> targets_;  // guarded by mutex_
  std::thread thread_;
};

// gzip-compressed form of bytes (RFC 1952), as a server would send it.
std::string Gzip(const std::string& bytes);

}  // namespace lumivex::test
