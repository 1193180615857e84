#pragma once
// HTTP and HTTPS on one port: a first byte of 0x16 (a TLS handshake record)
// starts TLS, anything else is read as plain HTTP. One thread per
// connection, a bounded number of them; every wait is a 200 ms poll that
// watches the stop flag, so Stop() returns quickly. Each request is answered
// and the connection closed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/http_response.h"
#include "sim/tcp_acceptor.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace lumivex::sim {

class WebServer {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest& request)>;

  explicit WebServer(Handler handler);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds host:port (port 0: a free one) and starts accepting. The process
  // ignores SIGPIPE from then on, so a client that hangs up cannot end it.
  bool Start(const std::string& host, uint16_t port, const std::string& certPem, const std::string& keyPem,
             std::string& error);
  uint16_t port() const { return acceptor_.port(); }
  void Stop();

 private:
  void Serve(int fd);

  Handler handler_;
  SSL_CTX* tls_ = nullptr;
  std::atomic<bool> stop_{false};
  TcpAcceptor acceptor_{[this](int fd) { Serve(fd); }};  // last: its threads use the members above
};

// gzip (RFC 1952) form of bytes; empty when compression fails.
std::string Gzip(std::string_view bytes);
// A gzip stream of kGzipBombBytes zero bytes (about 1 MiB), made once by
// feeding the compressor a small buffer over and over.
inline constexpr uint64_t kGzipBombBytes = uint64_t{1} << 30;
const std::string& GzipBomb();

}  // namespace lumivex::sim
