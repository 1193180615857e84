// The web server on 127.0.0.1:0: HTTPS (checked against the generated CA)
// and plain HTTP on the one port, gzip bodies, and the command line.

#include <gtest/gtest.h>
#include <zlib.h>

#include "sim/app.h"
#include "sim/server.h"
#include "sim/service.h"
#include "support/temp_dir.h"
#include "webservice/crypto.h"
#include "core/global.h"
#include "webservice/http.h"

namespace lumivex::sim {
namespace {

class ServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitHttpLibrary(); }

  void SetUp() override {
    Scenario s;
    std::string error;
    ASSERT_TRUE(ParseScenario(R"({"devices": [{"sid": "cam1"}], "faults": {"img": {"gzip": true, "times": 1}}})", s,
                              error)) << error;
    service = std::make_unique<Service>(std::move(s), ClientKeyPair::Generate());
    server = std::make_unique<WebServer>([this](const HttpRequest& r) { return service->Handle(r); });
    Pki pki = MakePki(AltNamesFor("127.0.0.1"));
    std::string caPath;
    ASSERT_TRUE(WriteStateFolder(dir.str(), pki, caPath, error)) << error;
    tls.caFile = caPath;
    tls.userAgent = Service::kThumbnailUserAgent;
    ASSERT_TRUE(server->Start("127.0.0.1", 0, pki.serverCertPem, pki.serverKeyPem, error)) << error;
  }

  std::string Url(const std::string& scheme, const std::string& path) const {
    return scheme + "://127.0.0.1:" + std::to_string(server->port()) + path;
  }

  test::TempDir dir;
  TransportOptions tls;
  std::unique_ptr<Service> service;
  std::unique_ptr<WebServer> server;
};

TEST_F(ServerTest, HttpsAndPlainHttpShareThePort) {
  std::string body;
  FetchResult first = HttpFetch(Url("https", "/img/cam1.png"), tls, body);  // gzip fault, inflated by libcurl
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_EQ(first.httpStatus, 200);
  EXPECT_EQ(body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  std::string plain;
  TransportOptions plainOptions;
  plainOptions.userAgent = "velmor-Windows";
  FetchResult second = HttpFetch(Url("http", "/img/cam1.png"), plainOptions, plain);
  ASSERT_TRUE(second.ok) << second.error;
  EXPECT_EQ(plain, body);

  std::string page;
  TransportOptions operation = tls;
  operation.userAgent.clear();  // the operations send none
  EXPECT_EQ(HttpFetch(Url("https", "/velmor/none.do?data=00"), operation, page).httpStatus, 404);
  EXPECT_NE(page.find("<html>"), std::string::npos);

  TransportOptions untrusted;  // the system's CAs only: the sim's certificate must fail
  FetchResult refused = HttpFetch(Url("https", "/img/cam1.png"), untrusted, page);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.cause, NetworkCause::kTlsVerification) << refused.error;
}

// Thumbnails carry the client's name and nothing else does.
TEST_F(ServerTest, ThumbnailsNeedTheClientsUserAgentAndOperationsNone) {
  std::string body;
  TransportOptions none = tls;
  none.userAgent.clear();
  EXPECT_EQ(HttpFetch(Url("https", "/img/cam1.png"), none, body).httpStatus, 403);
  TransportOptions other = tls;
  other.userAgent = "curl/7.88";
  EXPECT_EQ(HttpFetch(Url("https", "/img/cam1.png"), other, body).httpStatus, 403);
  EXPECT_EQ(HttpFetch(Url("https", "/img/cam1.png"), tls, body).httpStatus, 200);
  // The thumbnail options are the client's own.
  Global g;
  EXPECT_EQ(ThumbnailTransportOptions(g).userAgent, Service::kThumbnailUserAgent);
  EXPECT_TRUE(TransportOptionsOf(g).userAgent.empty());
  EXPECT_EQ(HttpFetch(Url("https", "/velmor/security.do?data=00"), tls, body).httpStatus, 400);
}

TEST(NetworkCause, ClosedPortIsNamed) {
  InitHttpLibrary();
  TransportOptions o;
  o.connectTimeout = std::chrono::milliseconds(3000);
  std::string body;
  // Port 1 on loopback: nothing listens there without root's say-so.
  FetchResult closed = HttpFetch("http://127.0.0.1:1/velmor/login.do", o, body);
  EXPECT_EQ(closed.cause, NetworkCause::kNotConnected) << closed.error;
  EXPECT_STREQ(NetworkCauseText(closed.cause), "无法连接到服务器");
  EXPECT_STREQ(NetworkCauseText(NetworkCause::kOther), "");
}

TEST(Gzip, InflatesBackWithZlib) {
  std::string text(1000, 'a');
  std::string packed = Gzip(text);
  ASSERT_GE(packed.size(), 18u);
  EXPECT_EQ(uint8_t(packed[0]), 0x1f);
  EXPECT_EQ(uint8_t(packed[1]), 0x8b);
  z_stream z{};
  ASSERT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  std::string out(2000, '\0');
  z.next_in = reinterpret_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  EXPECT_EQ(out, text);
}

TEST(SimOptions, DefaultsAndRefusals) {
  SimOptions o;
  std::string error;
  const char* minimal[] = {"lumivex-sim", "--scenario", "s.json"};
  ASSERT_TRUE(ParseSimOptions(3, minimal, o, error)) << error;
  EXPECT_EQ(o.host, "127.0.0.1");
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.lanPort, 53217);
  EXPECT_EQ(o.lanBind, "127.255.255.255");
  EXPECT_EQ(o.state, "./sim-state");
  const char* ports[] = {"lumivex-sim", "--scenario", "s", "--port", "8443", "--lan-port", "0", "--verbose"};
  ASSERT_TRUE(ParseSimOptions(8, ports, o, error));
  EXPECT_EQ(o.port, 8443);
  EXPECT_EQ(o.lanPort, 0);
  EXPECT_TRUE(o.verbose);
  EXPECT_EQ(o.controlLog, "");
  EXPECT_EQ(o.talkDir, "");
  const char* outputs[] = {"lumivex-sim", "--scenario", "s", "--control-log", "c.log", "--talk-dir", "talk"};
  ASSERT_TRUE(ParseSimOptions(7, outputs, o, error)) << error;
  EXPECT_EQ(o.controlLog, "c.log");
  EXPECT_EQ(o.talkDir, "talk");
  const char* bare[] = {"lumivex-sim", "--scenario", "s", "--talk-dir"};
  EXPECT_FALSE(ParseSimOptions(4, bare, o, error));
  const char* big[] = {"lumivex-sim", "--scenario", "s", "--port", "65536"};
  EXPECT_FALSE(ParseSimOptions(5, big, o, error));
  const char* none[] = {"lumivex-sim", "--port", "1"};
  EXPECT_FALSE(ParseSimOptions(3, none, o, error));
  const char* odd[] = {"lumivex-sim", "--scenario", "s", "--colour", "red"};
  EXPECT_FALSE(ParseSimOptions(5, odd, o, error));
  EXPECT_NE(error.find("--colour"), std::string::npos);
  const char* last[] = {"lumivex-sim", "--scenario", "s", "--colour"};
  EXPECT_FALSE(ParseSimOptions(4, last, o, error));
  EXPECT_EQ(error, "unknown option --colour");  // not "needs a value"
  const char* version[] = {"lumivex-sim", "--version"};
  ASSERT_TRUE(ParseSimOptions(2, version, o, error)) << error;
  EXPECT_TRUE(o.version);
}

}  // namespace
}  // namespace lumivex::sim
