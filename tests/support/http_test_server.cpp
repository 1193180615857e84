#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>
#include <stdexcept>

namespace lumivex::test {
namespace {

bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

// Reads or writes over either a plain socket or TLS.
struct Channel {
  int fd;
  SSL* ssl = nullptr;
  int Read(char* buf, int n) { return ssl ? SSL_read(ssl, buf, n) : static_cast<int>(::recv(fd, buf, n, 0)); }
  bool WriteAll(const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
      int n = ssl ? SSL_write(ssl, data.data() + done, static_cast<int>(data.size() - done))
                  : static_cast<int>(::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
};

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

std::string Gzip(const std::string& bytes) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, bytes.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  return out;
}

HttpTestServer::HttpTestServer(Handler handler, const std::string& certPem, const std::string& keyPem)
    : handler_(std::move(handler)) {
  ::signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the test program
  if (!certPem.empty()) {
    tls_ = SSL_CTX_new(TLS_server_method());
    BIO* certBio = BIO_new_mem_buf(certPem.data(), static_cast<int>(certPem.size()));
    BIO* keyBio = BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size()));
    X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    bool ok = cert && key && SSL_CTX_use_certificate(tls_, cert) == 1 && SSL_CTX_use_PrivateKey(tls_, key) == 1;
    X509_free(cert);
    EVP_PKEY_free(key);
    BIO_free(certBio);
    BIO_free(keyBio);
    if (!ok) throw std::runtime_error("test server: bad certificate");
  }
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 16) != 0)
    throw std::runtime_error("test server: bind/listen");
  socklen_t len = sizeof a;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
  stop_ = true;
  thread_.join();
  ::close(listenFd_);
  if (tls_) SSL_CTX_free(tls_);
}

std::string HttpTestServer::Url(const std::string& scheme, const std::string& target) const {
  return scheme + "://127.0.0.1:" + std::to_string(port_) + target;
}

std::vector<std::string> HttpTestServer::targets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

void HttpTestServer::Serve() {
  while (!stop_) {
    if (!WaitReadable(listenFd_, 100)) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    HandleConnection(fd);
    ::close(fd);
  }
}

void HttpTestServer::HandleConnection(int fd) {
  if (!WaitReadable(fd, 3000)) return;
  unsigned char first = 0;
  if (::recv(fd, &first, 1, MSG_PEEK) != 1) return;
  Channel ch{fd};
  if (first == 0x16) {
    if (!tls_) return;
    timeval tv{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ch.ssl = SSL_new(tls_);
    SSL_set_fd(ch.ssl, fd);
    if (SSL_accept(ch.ssl) != 1) {  // the client refused our certificate, as it should without the CA
      SSL_free(ch.ssl);
      ERR_clear_error();
      return;
    }
  }
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    if (!ch.ssl && !WaitReadable(fd, 3000)) break;
    int n = ch.Read(buf, sizeof buf);
    if (n <= 0) break;
    request.append(buf, static_cast<std::size_t>(n));
  }
  std::size_t sp1 = request.find(' '), sp2 = request.find(' ', sp1 + 1);
  if (sp1 != std::string::npos && sp2 != std::string::npos) {
    std::string target = request.substr(sp1 + 1, sp2 - sp1 - 1);
    {
      std::lock_guard lock(mutex_);
      targets_.push_back(target);
    }
    HttpReply reply = handler_(target);
    Wait(reply.delay);
    std::string body = reply.gzip ? Gzip(reply.body) : reply.body;
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                       "\r\nContent-Type: " + reply.contentType + "\r\nConnection: close\r\n";
    if (reply.gzip) head += "Content-Encoding: gzip\r\n";
    if (!reply.noLength) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "\r\n";
    if (reply.pause.count() > 0) {
      std::size_t first = std::min(reply.pauseAfter, body.size());
      if (ch.WriteAll(head + body.substr(0, first))) {
        Wait(reply.pause);
        ch.WriteAll(body.substr(first));
      }
    } else {
      ch.WriteAll(head + body);
    }
  }
  if (ch.ssl) {
    SSL_shutdown(ch.ssl);
    SSL_free(ch.ssl);
  }
}

void HttpTestServer::Wait(std::chrono::milliseconds span) {
  auto until = std::chrono::steady_clock::now() + span;
  while (!stop_ && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace lumivex::test
