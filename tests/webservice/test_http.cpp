// The transport against a real server on loopback: TLS with a private CA,
// error pages, compressed and over-long bodies, a peer that never accepts.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <json/json.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "core/global.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "sim/pki.h"
#include "webservice/envelope.h"
#include "webservice/http.h"

namespace lumivex {
namespace {

using test::HttpReply;
using test::HttpTestServer;

class HttpTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(InitHttpLibrary());
    pki_ = new sim::Pki(sim::MakePki());
  }
  static void TearDownTestSuite() {
    delete pki_;
    CleanupHttpLibrary();
  }
  std::string WriteCa() {
    std::string path = (dir_ / "ca.pem").string();
    test::WriteFileBytes(path, pki_->caCertPem);
    return path;
  }
  static sim::Pki* pki_;
  test::TempDir dir_;
};
sim::Pki* HttpTest::pki_ = nullptr;

TEST_F(HttpTest, PrivateCaIsRefusedUnlessTrustedOrVerificationIsOff) {
  HttpTestServer server([](const std::string&) { return HttpReply{200, "text/plain", "hello"}; },
                        pki_->serverCertPem, pki_->serverKeyPem);
  std::string url = server.Url("https", "/velmor/security.do?data=x");
  std::string body;

  TransportOptions strict;
  FetchResult refused = HttpFetch(url, strict, body);
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(body.empty());

  TransportOptions trusted;
  trusted.caFile = WriteCa();
  FetchResult accepted = HttpFetch(url, trusted, body);
  ASSERT_TRUE(accepted.ok) << accepted.error;
  EXPECT_EQ(accepted.httpStatus, 200);
  EXPECT_EQ(body, "hello");

  TransportOptions optOut;
  optOut.tlsVerify = false;
  EXPECT_TRUE(HttpFetch(url, optOut, body).ok);
  EXPECT_EQ(server.targets().back(), "/velmor/security.do?data=x");
}

TEST_F(HttpTest, HostNameMustMatchTheCertificateWhenVerifying) {
  sim::Pki other = sim::MakePki("DNS:camera.invalid");
  HttpTestServer server([](const std::string&) { return HttpReply{200, "text/plain", "x"}; },
                        other.serverCertPem, other.serverKeyPem);
  std::string ca = (dir_ / "other-ca.pem").string();
  test::WriteFileBytes(ca, other.caCertPem);
  TransportOptions trusted;
  trusted.caFile = ca;
  std::string body;
  EXPECT_FALSE(HttpFetch(server.Url("https", "/"), trusted, body).ok) << "certificate names another host";
  trusted.tlsVerify = false;
  EXPECT_TRUE(HttpFetch(server.Url("https", "/"), trusted, body).ok);
}

TEST_F(HttpTest, ErrorPageIsACompletedTransferThatDoesNotParse) {
  HttpTestServer server([](const std::string&) {
    return HttpReply{404, "text/html", "<html><body><h1>404 Not Found</h1></body></html>"};
  });
  Global g;
  g.m_KeyValue = "k3y9";
  std::string out = "stale";
  ASSERT_TRUE(HttpGet(g, server.Url("http", "/velmor/login.do?data=abc"), out, 524288, false));
  Json::Value root;
  Json::Reader reader;
  EXPECT_FALSE(reader.parse(out, root) && root.isObject());
}

TEST_F(HttpTest, SealedReplyIsDecodedWithTheSharedKeyHalf) {
  const std::string json = R"({"status":"OK","code":"17"})";
  std::string sealed;
  std::string text = json;
  ASSERT_TRUE(SharedKeyWrap("k3y9", text, sealed));
  HttpTestServer server([&](const std::string&) { return HttpReply{200, "text/plain", sealed, true}; });
  Global g;
  g.m_KeyValue = "k3y9";
  std::string out;
  ASSERT_TRUE(HttpGet(g, server.Url("http", "/velmor/devList.do?data=1"), out, 65536, false));
  Json::Value root;
  Json::Reader reader;
  ASSERT_TRUE(reader.parse(out, root)) << out;
  EXPECT_EQ(root["status"].asString(), "OK");
  EXPECT_EQ(root["code"].asString(), "17");
}

TEST_F(HttpTest, GzipBodyArrivesInflated) {
  std::string original(20000, 'a');
  for (std::size_t i = 0; i < original.size(); i += 7) original[i] = static_cast<char>('0' + i % 10);
  HttpTestServer server([&](const std::string&) { return HttpReply{200, "text/plain", original, true}; });
  std::string body;
  FetchResult r = HttpFetch(server.Url("http", "/"), TransportOptions{}, body);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(body, original);
}

TEST_F(HttpTest, BodyOverTheReceiveBufferFails) {
  std::string exact(kHttpMaxBody, 'x');
  std::string over(kHttpMaxBody + 1, 'x');
  HttpTestServer server([&](const std::string& target) {
    return HttpReply{200, "text/plain", target == "/over" ? over : exact, false, target == "/over-nolength"};
  });
  std::string body;
  EXPECT_TRUE(HttpFetch(server.Url("http", "/exact"), TransportOptions{}, body).ok);
  EXPECT_EQ(body.size(), kHttpMaxBody);
  FetchResult r = HttpFetch(server.Url("http", "/over"), TransportOptions{}, body);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(body.empty());
  EXPECT_NE(r.error.find("exceeds"), std::string::npos) << r.error;

  Global g;
  g.m_KeyValue = "k3y9";
  std::string out;
  EXPECT_FALSE(HttpGet(g, server.Url("http", "/over"), out, 524288, false));
}

// A listener whose accept queue is full drops new connection attempts, so the
// client sees a peer that never accepts.
TEST_F(HttpTest, PeerThatNeverAcceptsGivesUpAfterTheConnectTimeout) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t len = sizeof a;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  int filler = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);

  TransportOptions o;
  o.connectTimeout = std::chrono::milliseconds(1500);
  o.totalTimeout = std::chrono::milliseconds(20000);
  std::string body;
  auto start = std::chrono::steady_clock::now();
  FetchResult r = HttpFetch("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/", o, body);
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(r.ok);
  EXPECT_GE(elapsed, std::chrono::milliseconds(1400));
  EXPECT_LT(elapsed, std::chrono::milliseconds(10000)) << "gave up on the total, not the connect time-out";
  ::close(filler);
  ::close(listener);
}

TEST_F(HttpTest, DownloadIsBoundedReportsStatusAndCanBeAborted) {
  std::string picture(300000, '\x89');
  HttpTestServer server([&](const std::string& target) {
    if (target == "/missing.png") return HttpReply{404, "text/html", "<html>gone</html>"};
    return HttpReply{200, "image/png", picture, false, target == "/nolength.png"};
  });
  std::string buffer;
  long status = 0;
  ASSERT_TRUE(DownloadUrl(server.Url("http", "/a.png"), TransportOptions{}, buffer, 1 << 20, &status));
  EXPECT_EQ(status, 200);
  EXPECT_EQ(buffer, picture);

  EXPECT_FALSE(DownloadUrl(server.Url("http", "/a.png"), TransportOptions{}, buffer, 299999, &status));
  EXPECT_TRUE(buffer.empty());

  ASSERT_TRUE(DownloadUrl(server.Url("http", "/missing.png"), TransportOptions{}, buffer, 1 << 20, &status));
  EXPECT_EQ(status, 404);

  DownloadRequest request;
  request.url = server.Url("http", "/nolength.png");
  uint64_t lastTotal = 1;
  request.progress = [&](uint64_t, uint64_t total) {
    lastTotal = total;
    return false;  // the user cancelled
  };
  DownloadResult r = DownloadUrl(request);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(lastTotal, 0u) << "no Content-Length: the total stays unknown";

  DownloadRequest refused;
  refused.url = server.Url("http", "/a.png");
  int blocks = 0;
  refused.sink = [&](const char*, std::size_t) { return ++blocks < 2; };  // e.g. a disk that filled up
  DownloadResult s = DownloadUrl(refused);
  EXPECT_FALSE(s.ok);
  EXPECT_TRUE(s.aborted);
  EXPECT_LT(s.bytes, picture.size());
}

TEST_F(HttpTest, UnreachableDownloadFails) {
  int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(probe);  // nothing listens on that port now
  std::string buffer;
  EXPECT_FALSE(DownloadUrl("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/x.png",
                           TransportOptions{}, buffer, 1 << 20));
}

}  // namespace
}  // namespace lumivex
