#include "sim/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstring>

#include "sim/sim_log.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollStep = std::chrono::milliseconds(200);
constexpr auto kRequestTime = std::chrono::seconds(15);
constexpr std::size_t kMaxHead = 65536;

// One accepted connection, plain or TLS, non-blocking underneath. Every
// wait polls in 200 ms steps and gives up on stop or at the deadline.
class Stream {
 public:
  Stream(int fd, const std::atomic<bool>& stop) : fd_(fd), stop_(stop), deadline_(Clock::now() + kRequestTime) {}
  ~Stream() {
    if (ssl_) {
      SSL_shutdown(ssl_);  // best effort: the close_notify, no wait for the peer's
      SSL_free(ssl_);
    }
  }

  bool Wait(short events) {
    while (!stop_ && Clock::now() < deadline_) {
      pollfd p{fd_, events, 0};
      int rc = poll(&p, 1, static_cast<int>(kPollStep.count()));
      if (rc > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
      if (rc < 0 && errno != EINTR) return false;
    }
    return false;
  }

  // The first byte without taking it: 0x16 opens a TLS handshake.
  int PeekFirstByte() {
    unsigned char b = 0;
    if (!Wait(POLLIN)) return -1;
    return recv(fd_, &b, 1, MSG_PEEK) == 1 ? b : -1;
  }

  bool StartTls(SSL_CTX* ctx) {
    ssl_ = SSL_new(ctx);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) return false;
    while (true) {
      int rc = SSL_accept(ssl_);
      if (rc == 1) return true;
      if (!WaitFor(SSL_get_error(ssl_, rc))) return false;
    }
  }

  // >0 bytes read, 0 at the end of the stream, -1 on error or time-out.
  long Read(char* buffer, std::size_t size) {
    while (true) {
      if (ssl_) {
        int rc = SSL_read(ssl_, buffer, static_cast<int>(size));
        if (rc > 0) return rc;
        int err = SSL_get_error(ssl_, rc);
        if (err == SSL_ERROR_ZERO_RETURN) return 0;
        if (!WaitFor(err)) return -1;
      } else {
        ssize_t n = recv(fd_, buffer, size, 0);
        if (n >= 0) return n;
        if ((errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || !Wait(POLLIN)) return -1;
      }
    }
  }

  bool WriteAll(std::string_view data) {
    deadline_ = Clock::now() + kRequestTime;
    while (!data.empty()) {
      if (ssl_) {
        int rc = SSL_write(ssl_, data.data(), static_cast<int>(data.size()));
        if (rc > 0) data.remove_prefix(static_cast<std::size_t>(rc));
        else if (!WaitFor(SSL_get_error(ssl_, rc))) return false;
      } else {
        ssize_t n = send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) data.remove_prefix(static_cast<std::size_t>(n));
        else if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || !Wait(POLLOUT)) return false;
      }
    }
    return true;
  }

 private:
  bool WaitFor(int sslError) {
    if (sslError == SSL_ERROR_WANT_READ) return Wait(POLLIN);
    if (sslError == SSL_ERROR_WANT_WRITE) return Wait(POLLOUT);
    return false;
  }

  int fd_;
  const std::atomic<bool>& stop_;
  Clock::time_point deadline_;
  SSL* ssl_ = nullptr;
};

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
  }
}

std::string Serialize(const HttpResponse& r) {
  std::string body = r.gzipBomb ? GzipBomb() : r.gzip ? Gzip(r.body) : r.body;
  std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + Reason(r.status) + "\r\n";
  head += "Content-Type: " + r.contentType + "\r\n";
  head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (r.gzip || r.gzipBomb) head += "Content-Encoding: gzip\r\n";
  head += "Connection: close\r\n\r\n";
  return head + body;
}

HttpResponse PlainError(int status, std::string text) {
  HttpResponse r;
  r.status = status;
  r.body = std::move(text) + "\n";
  return r;
}

// The value of the first header called name (lower case), trimmed.
bool HeaderValue(const std::string& head, std::string_view name, std::string& value) {
  for (std::size_t start = head.find("\r\n"); start != std::string::npos;) {
    start += 2;
    std::size_t end = head.find("\r\n", start);
    std::string_view line(head.data() + start, (end == std::string::npos ? head.size() : end) - start);
    std::size_t colon = line.find(':');
    if (colon == name.size() &&
        std::equal(name.begin(), name.end(), line.begin(),
                   [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
      std::string_view v = line.substr(colon + 1);
      while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
      while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
      value.assign(v);
      return true;
    }
    start = end;
  }
  return false;
}

// Reads up to the blank line and answers per the request line.
HttpResponse Answer(Stream& stream, const WebServer::Handler& handler) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (head.size() > kMaxHead) return PlainError(431, "request head too large");
    long n = stream.Read(buffer, sizeof buffer);
    if (n <= 0) return PlainError(400, "incomplete request");
    head.append(buffer, static_cast<std::size_t>(n));
  }
  std::string line = head.substr(0, head.find("\r\n"));
  std::size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
  if (sp1 == std::string::npos || sp2 <= sp1 || !line.substr(sp2 + 1).starts_with("HTTP/1."))
    return PlainError(400, "malformed request line");
  if (line.substr(0, sp1) != "GET") return PlainError(405, "only GET");
  HttpRequest request;
  request.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  if (!request.target.starts_with("/")) return PlainError(400, "target must be a path");
  request.hasUserAgent = HeaderValue(head, "user-agent", request.userAgent);
  return handler(request);
}

// Sleeps ms in steps, ending early on stop.
void Pause(int ms, const std::atomic<bool>& stop) {
  auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (!stop && Clock::now() < until)
    std::this_thread::sleep_for(std::min<Clock::duration>(kPollStep, until - Clock::now()));
}

SSL_CTX* MakeTlsContext(const std::string& certPem, const std::string& keyPem, std::string& error) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  BIO* certBio = BIO_new_mem_buf(certPem.data(), static_cast<int>(certPem.size()));
  BIO* keyBio = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
  X509* cert = certBio ? PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr) : nullptr;
  EVP_PKEY* key = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr) : nullptr;
  bool ok = ctx && cert && key && SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1 &&
            SSL_CTX_use_certificate(ctx, cert) == 1 && SSL_CTX_use_PrivateKey(ctx, key) == 1 &&
            SSL_CTX_check_private_key(ctx) == 1;
  X509_free(cert);
  EVP_PKEY_free(key);
  BIO_free(certBio);
  BIO_free(keyBio);
  if (!ok) {
    error = "the server certificate or key does not load";
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

bool ResolveIpv4(const std::string& host, sockaddr_in& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  std::memcpy(&out, found->ai_addr, sizeof out);
  freeaddrinfo(found);
  return true;
}

}  // namespace

std::string Gzip(std::string_view bytes) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return rc == Z_STREAM_END ? out : std::string();
}

const std::string& GzipBomb() {
  static const std::string bomb = [] {
    z_stream z{};
    // run-length matching: as small as the best level, in half the time
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_RLE) != Z_OK) return std::string();
    static const char zeros[1 << 16] = {};
    std::string out;
    char chunk[1 << 16];
    uint64_t left = kGzipBombBytes;
    int rc = Z_OK;
    while (rc == Z_OK) {
      const bool last = left <= sizeof zeros;
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros));
      z.avail_in = static_cast<uInt>(last ? left : sizeof zeros);
      left -= z.avail_in;
      do {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        rc = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
      } while (z.avail_out == 0 && rc == Z_OK);
      if (last && rc == Z_OK) rc = Z_BUF_ERROR;  // Z_FINISH must have ended the stream
    }
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
  }();
  return bomb;
}

WebServer::WebServer(Handler handler) : handler_(std::move(handler)) {}

WebServer::~WebServer() {
  Stop();
  SSL_CTX_free(tls_);
}

bool WebServer::Start(const std::string& host, uint16_t port, const std::string& certPem,
                      const std::string& keyPem, std::string& error) {
  signal(SIGPIPE, SIG_IGN);
  tls_ = MakeTlsContext(certPem, keyPem, error);
  if (!tls_) return false;
  sockaddr_in addr{};
  char dotted[INET_ADDRSTRLEN] = {};
  if (!ResolveIpv4(host, addr) || !inet_ntop(AF_INET, &addr.sin_addr, dotted, sizeof dotted)) {
    error = "cannot resolve host " + host + " to an IPv4 address";
    return false;
  }
  return acceptor_.Start(dotted, port, error);
}

void WebServer::Stop() {
  stop_ = true;
  acceptor_.Stop();
}

// The acceptor owns fd and closes it after this returns.
void WebServer::Serve(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  {
    Stream stream(fd, stop_);
    int first = stream.PeekFirstByte();
    bool ready = first >= 0 && (first != 0x16 || stream.StartTls(tls_));
    if (ready) {
      HttpResponse response = Answer(stream, handler_);
      Pause(response.delayMs, stop_);
      if (!stop_) stream.WriteAll(Serialize(response));
    }
  }
  ERR_clear_error();
  shutdown(fd, SHUT_WR);
}

}  // namespace lumivex::sim
