// The key exchange, the forced update and the sign-in against the service
// double, field string by field string.

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <ctime>
#include <regex>

#include "webservice/envelope.h"
#include "webservice/handshake.h"
#include "webservice/login.h"
#include "webservice/service_fixture.h"

namespace lumivex {
namespace {

using test::HttpReply;
using test::ServiceDouble;
using test::Strings;
namespace raw = test::raw;

class Handshake : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    g_.m_KeyValue.clear();
    g_.m_ServerExp.clear();
    g_.m_ServerMod.clear();
  }
  // An "OK" reply carrying keyValue and the given service key text.
  HttpReply Keys(const std::string& keyValue, const std::string& keyText) {
    const std::string aesKey = "A1b2C3d4E5f6G7h8";
    std::string sealedKey;
    raw::Aes(true, aesKey, keyText, sealedKey);
    std::string inner = R"({"serverBean":{"keyValue":")" + keyValue + R"(","pubKey":")" +
                        raw::Base64(sealedKey) + "\"}}";
    return {200, "text/plain",
            ServiceDouble::SealOwn("{\"status\":\"ok\"" +
                                   ServiceDouble::InnerMembers(inner, g_.m_ClientExp.str(),
                                                               g_.m_ClientMod.str(), aesKey) +
                                   "}")};
  }
  HttpReply OwnKeyStatus(const std::string& status) {
    return {200, "text/plain", ServiceDouble::SealOwn("{\"status\":\"" + status + "\"}")};
  }
  void RecordUpdater() {
    ctx_.startUpdater = [this](const std::string& url) {
      updaterUrls_.push_back(url);
      return updaterStarts_;
    };
    ctx_.exitProcess = [this](int code) { exitCodes_.push_back(code); };
  }
  bool updaterStarts_ = true;
  Strings updaterUrls_;
  std::vector<int> exitCodes_;
};

TEST_F(Handshake, SendsTheKeyExchangeAndTakesTheServiceKeys) {
  Script([&](const ServiceDouble::Request&) {
    return Keys("k3Y9-longer", service_->expHex + ":" + service_->modHex);
  });
  long long before = std::time(nullptr);
  ASSERT_EQ(SecurityHandshake(ctx_), 1);
  long long after = std::time(nullptr);

  auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].operation, "security");
  std::smatch m;
  std::regex form("cl:pc&cv:2\\.0&pv:2\\.0&pk:([A-Za-z0-9+/]{363}=)&tm:([0-9]+)&token:([0-9a-f]{40})");
  ASSERT_TRUE(std::regex_match(requests[0].fields, m, form)) << requests[0].fields;
  long long tm = std::stoll(m[2]);
  EXPECT_GE(tm, before);
  EXPECT_LE(tm, after);
  EXPECT_EQ(g_.m_TimeStamp, m[2].str());
  EXPECT_EQ(m[3].str(), raw::HmacSha1Hex(kAppSecret, "2.0" + m[2].str() + "2.0" + "pc"));

  // "pk" opens with the key both sides derive from the secret.
  std::string handshakeKey = raw::HmacSha1Hex(kAppSecret, "pcvelmor2.02.0").substr(0, 16);
  EXPECT_EQ(g_.m_HandshakeKey, handshakeKey);
  std::string cipher, plain;
  ASSERT_TRUE(raw::Unbase64(m[1].str(), cipher));
  ASSERT_TRUE(raw::Aes(false, handshakeKey, cipher, plain));
  EXPECT_EQ(plain, "010001:" + ctx_.keyPair->ModulusHex());
  EXPECT_EQ(g_.m_ClientExp, "010001");
  EXPECT_EQ(g_.m_ClientMod.size(), 256u);

  EXPECT_EQ(g_.m_KeyValue, "k3Y9");  // cut to the four characters of the field
  EXPECT_EQ(g_.m_DevKeyValue, "k3Y9");
  EXPECT_EQ(g_.m_ServerExp, service_->expHex);
  EXPECT_EQ(g_.m_ServerMod, service_->modHex);
  EXPECT_TRUE(notifier_.Events().empty());
}

TEST_F(Handshake, ServiceKeyTextWithoutModulusFailsButUndecryptableKeyDoesNot) {
  Script([&](const ServiceDouble::Request&) { return Keys("k3Y9", "010001"); });
  EXPECT_EQ(SecurityHandshake(ctx_), 0);

  // A key text of the wrong block length cannot be opened: the handshake
  // succeeds with no service key, and every later envelope fails.
  Script([&](const ServiceDouble::Request&) {
    std::string inner = R"({"serverBean":{"keyValue":"k3Y9","pubKey":"AAAA"}})";
    return HttpReply{200, "text/plain",
                     ServiceDouble::SealOwn("{\"status\":\"OK\"" +
                                            ServiceDouble::InnerMembers(inner, g_.m_ClientExp.str(),
                                                                        g_.m_ClientMod.str()) +
                                            "}")};
  });
  EXPECT_EQ(SecurityHandshake(ctx_), 1);
  EXPECT_EQ(g_.m_KeyValue, "k3Y9");
  EXPECT_TRUE(g_.m_ServerExp.empty());
  EXPECT_TRUE(g_.m_ServerMod.empty());
}

TEST_F(Handshake, UpateInAnyCaseForcesTheUpdateAndEndsWithCodeZero) {
  RecordUpdater();
  Script([&](const ServiceDouble::Request&) { return OwnKeyStatus("uPaTe"); });
  EXPECT_EQ(SecurityHandshake(ctx_), 0);  // exitProcess was replaced and returned
  EXPECT_EQ(notifier_.Events(), Strings{"wait 提示: 检测到系统有重要更新，请下载更新！"});
  EXPECT_EQ(updaterUrls_, Strings{""}) << "no update check ran before: the address is empty";
  EXPECT_EQ(exitCodes_, std::vector<int>{0});
}

TEST_F(Handshake, AnUpdaterThatCannotStartFailsTheHandshake) {
  RecordUpdater();
  updaterStarts_ = false;
  settings_.updateUrl = "http://example.invalid/setup";
  Script([&](const ServiceDouble::Request&) { return OwnKeyStatus("UPATE"); });
  EXPECT_EQ(SecurityHandshake(ctx_), 0);
  EXPECT_EQ(updaterUrls_, Strings{"http://example.invalid/setup"});
  EXPECT_TRUE(exitCodes_.empty());
}

TEST_F(Handshake, WithoutTheSelfUpdaterAForcedUpdateEndsTheClientAndStartsNothing) {
  RecordUpdater();
  ctx_.selfUpdate = false;
  Script([&](const ServiceDouble::Request&) { return OwnKeyStatus("UPATE"); });
  EXPECT_EQ(SecurityHandshake(ctx_), 0);
  EXPECT_TRUE(updaterUrls_.empty());
  EXPECT_EQ(exitCodes_, std::vector<int>{0});
  EXPECT_EQ(notifier_.Events(), Strings{"wait 提示: 检测到系统有重要更新，请通过系统的软件包管理器更新！"});
}

TEST_F(Handshake, UpdateOrAnHtmlPageIsARefusal) {
  RecordUpdater();
  Script([&](const ServiceDouble::Request&) { return OwnKeyStatus("UPDATE"); });
  EXPECT_EQ(SecurityHandshake(ctx_), 0);
  Script([&](const ServiceDouble::Request&) { return NotJson(); });
  EXPECT_EQ(SecurityHandshake(ctx_), 0);
  EXPECT_TRUE(updaterUrls_.empty());
  EXPECT_TRUE(notifier_.Events().empty());
}

class Login : public test::ServiceFixture {
 protected:
  LoginInput Input(bool remember, bool autoLogin) {
    LoginInput input;
    input.user = "alice";
    input.password = "secret1";
    input.rememberPassword = remember;
    input.autoLogin = autoLogin;
    return input;
  }
  std::string UserAttribute(const char* name) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(ConfigFile("alice").c_str()));
    return doc.child("config").child("config1").child("User").attribute(name).value();
  }
  std::string Config1Text(const char* name) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(ConfigFile("alice").c_str()));
    return doc.child("config").child("config1").child(name).text().get();
  }
  static constexpr char kServers[] = R"({"serverBean":{"defTranIP":"10.0.0.7",
      "defTranPortUdp":"7001","defTranPortTcp":"7002","firstDetectionIP":"10.0.0.8",
      "firstDetectionPortTcp":"7003x","firstDetectionPortUdp":"123456789"},
      "userBean":{"token":"T0K-1"}})";
  LoginOutcome outcome_;
};

TEST_F(Login, SendsUserHashKeyAndMacAndRecordsTheAccount) {
  Script([&](const ServiceDouble::Request&) { return Ok(kServers); });
  settings_.configPath.clear();
  ASSERT_EQ(Login_Start(ctx_, Input(true, true), outcome_), 1);

  EXPECT_EQ(Fields(), Strings{"login uid:alice&psd:" + raw::Md5Hex("secret1") + "&" + ExpMod() +
                              "&isnew:0&mac:" + kMac});
  std::regex envelope("biz:[A-Za-z0-9+/=]+&" + Head() + "&sk:[A-Za-z0-9+/=]{172}&tm:" + kTime);
  EXPECT_TRUE(std::regex_match(Requests()[0].envelope, envelope)) << Requests()[0].envelope;

  EXPECT_EQ(notifier_.Events(), Strings{"status: "});
  EXPECT_EQ(g_.m_LoggedIn, 1);
  EXPECT_EQ(g_.m_Password, raw::Md5Hex("secret1"));
  EXPECT_EQ(g_.m_Token, "T0K-1");
  EXPECT_EQ(g_.m_TranSrvIpAddress, "10.0.0.7");
  EXPECT_EQ(g_.m_TranSrvUDPPort, 7001);
  EXPECT_EQ(g_.m_TranSrvTCPPort, 7002);
  EXPECT_EQ(g_.m_NCSrv1IpAddress, "10.0.0.8");
  EXPECT_EQ(g_.m_NCSrv1TCPPort, 7003);
  EXPECT_EQ(g_.m_NCSrv1UDPPort, 12345678) << "a port text holds 8 characters";
  EXPECT_EQ(g_.m_NCSrv2IpAddress, "");
  EXPECT_EQ(g_.m_NCSrv2TCPPort, 0);

  EXPECT_EQ(settings_.userName, "alice");
  EXPECT_TRUE(MatchesStoredPassword("secret1", settings_.rememberedPassword.str()));
  EXPECT_EQ(settings_.configPath, ConfigFile("alice"));
  EXPECT_EQ(UserAttribute("ID"), "alice");
  EXPECT_EQ(UserAttribute("Password"), settings_.rememberedPassword.str());
  EXPECT_EQ(Config1Text("AutoLogin"), "1");
}

TEST_F(Login, WithoutRememberThePasswordIsZeroAndTypingMakesIsNewOne) {
  Script([&](const ServiceDouble::Request&) { return Ok(kServers); });
  g_.m_IsNew = 1;
  ASSERT_EQ(Login_Start(ctx_, Input(false, false), outcome_), 1);
  EXPECT_NE(Requests()[0].fields.find("&isnew:1&"), std::string::npos);
  EXPECT_EQ(UserAttribute("Password"), "0");
  EXPECT_EQ(Config1Text("AutoLogin"), "0");
  EXPECT_TRUE(MatchesStoredPassword("secret1", settings_.rememberedPassword.str()))
      << "kept in memory whether remembered or not";
}

TEST_F(Login, EachRefusalHasItsStatusLineText) {
  struct Case {
    const char* status;
    const char* text;
    bool clears;
  };
  for (const Case& c : {Case{"errorpsd", "密码错误！", true}, Case{"NOUSR", "用户名不存在！", false},
                        Case{"DUE", "为保证账号安全，请重新输入密码！", true},
                        Case{"LOCKED", "登录验证失败，请检查用户名和密码是否正确！", false}}) {
    Script([&](const ServiceDouble::Request&) { return Status(c.status); });
    EXPECT_EQ(Login_Start(ctx_, Input(true, false), outcome_), 0);
    EXPECT_EQ(notifier_.Events().back(), std::string("status: ") + c.text) << c.status;
    EXPECT_EQ(outcome_.clearPassword, c.clears) << c.status;
    EXPECT_EQ(g_.m_LoggedIn, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(ConfigFile("alice")));
}

TEST_F(Login, TransportAndReplyFailuresHaveTheirTexts) {
  Script([&](const ServiceDouble::Request&) { return NotJson(); });
  EXPECT_EQ(Login_Start(ctx_, Input(true, false), outcome_), 0);
  Script([&](const ServiceDouble::Request&) {
    return HttpReply{200, "text/plain", service_->SealShared(R"({"status":"OK","sk":"AAAA","biz":"AAAA"})")};
  });
  EXPECT_EQ(Login_Start(ctx_, Input(true, false), outcome_), 0);
  Script([&](const ServiceDouble::Request&) { return Ok(R"({"userBean":{"token":5}})"); });
  EXPECT_EQ(Login_Start(ctx_, Input(true, false), outcome_), 0);
  g_.m_ServerMod.clear();  // no service key: nothing can be sealed
  EXPECT_EQ(Login_Start(ctx_, Input(true, false), outcome_), 0);
  EXPECT_EQ(Requests().size(), 3u);
  EXPECT_EQ(notifier_.Events(), (Strings{"status: 登陆失败，请检查网络和防火墙设置",
                                         "status: 登陆失败，请检查网络和防火墙设置",
                                         "status: 登陆失败，请检查网络和防火墙设置",
                                         "status: 登陆请求失败，请检查网络和防火墙设置"}));
  EXPECT_EQ(g_.m_LoggedIn, 0);
}

TEST_F(Login, AServiceThatDoesNotAnswerIsARequestFailure) {
  uint16_t port = server_->port();
  server_.reset();  // nothing listens there any more
  g_.port = port;
  EXPECT_EQ(Login_Start(ctx_, Input(true, false), outcome_), 0);
  // The specified line, and libcurl's cause under it.
  EXPECT_EQ(notifier_.Events(), Strings{"status: 登陆请求失败，请检查网络和防火墙设置\n无法连接到服务器"});
}

TEST_F(Login, AConfigFolderThatCannotHoldTheFileFailsAfterAcceptance) {
  Script([&](const ServiceDouble::Request&) { return Ok(kServers); });
  std::filesystem::remove_all(dir_.path() / "config");
  EXPECT_EQ(Login_Start(ctx_, Input(true, false), outcome_), 0);
  EXPECT_EQ(notifier_.Events(), Strings{"status: 保存用户信息失败，请重试！"});
  EXPECT_EQ(g_.m_LoggedIn, 0);
  EXPECT_EQ(g_.m_Token, "T0K-1") << "the servers and token are taken before the file steps";
}

}  // namespace
}  // namespace lumivex
