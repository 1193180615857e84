// Handshake and login against lumivex-sim over HTTPS: every status branch,
// the state left in global, UserSettings and the configuration file.

#include <gtest/gtest.h>

#include <filesystem>

#include "config/user_config.h"
#include "integration/sim_fixture.h"
#include "webservice/envelope.h"
#include "webservice/handshake.h"
#include "webservice/login.h"

namespace lumivex::test {
namespace {

const char* kScenario = R"({
  "servers": {"defTranIP": "10.20.30.40", "defTranPortTcp": 7000, "defTranPortUdp": "7001",
              "firstDetectionIP": "10.0.0.1", "firstDetectionPortTcp": 7100, "firstDetectionPortUdp": 7101,
              "secondDetectionIP": "10.0.0.2", "secondDetectionPortTcp": 7200, "secondDetectionPortUdp": 7201},
  "accounts": [
    {"user": "alice", "password": "secret77"},
    {"user": "due.user", "password": "secret77", "statuses": {"login": "DUE"}},
    {"user": "odd_user", "password": "secret77", "statuses": {"login": "LOCKED"}}
  ],
  "faults": {"login": {"gzip": true}}
})";

class SignInTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }
  std::string ConfigAttrib(SimClient& c, const char* element, const char* attribute) {
    std::string value = "(unread)";
    GetConfigAttrib(c.settings.configPath, "config1", element, attribute, value);
    return value;
  }
  std::string ConfigText(SimClient& c, const char* element) {
    std::string value = "(unread)";
    GetConfigText(c.settings.configPath, "config1", element, value);
    return value;
  }
  SimServer sim{kScenario};
};

TEST_F(SignInTest, HandshakeAgreesKeysWithTheService) {
  SimClient c(sim);
  ASSERT_TRUE(c.Handshake());
  EXPECT_EQ(c.g.m_KeyValue.size(), 4u);
  EXPECT_EQ(c.g.m_DevKeyValue, c.g.m_KeyValue.str());
  EXPECT_EQ(c.g.m_ClientExp, "010001");
  EXPECT_EQ(c.g.m_ClientMod.size(), 256u);
  EXPECT_EQ(c.g.m_ClientPubKey, c.g.m_ClientExp.str() + ":" + c.g.m_ClientMod.str());
  EXPECT_EQ(c.g.m_EncClientKey.size(), 364u);
  EXPECT_EQ(c.g.m_HandshakeToken,
            TokenOf(kAppSecret, "2.0" + c.g.m_TimeStamp.str() + "2.0" + "pc"));
  EXPECT_FALSE(c.g.m_ServerExp.empty());
  EXPECT_FALSE(c.g.m_ServerMod.empty());
}

TEST_F(SignInTest, SuccessfulLoginStoresServersTokenAndTheAccount) {
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("alice", "secret77", true, true)) << c.notifier.lastStatus();
  EXPECT_EQ(c.g.m_LoggedIn, 1);
  EXPECT_EQ(c.g.m_Password, PasswordHash("secret77"));
  EXPECT_EQ(c.g.m_Token.size(), 32u);
  EXPECT_EQ(c.g.m_TranSrvIpAddress, "10.20.30.40");
  EXPECT_EQ(c.g.m_TranSrvTCPPort, 7000);
  EXPECT_EQ(c.g.m_TranSrvUDPPort, 7001);
  EXPECT_EQ(c.g.m_NCSrv1IpAddress, "10.0.0.1");
  EXPECT_EQ(c.g.m_NCSrv1TCPPort, 7100);
  EXPECT_EQ(c.g.m_NCSrv2UDPPort, 7201);
  EXPECT_EQ(c.settings.userName, "alice");
  std::string stored;
  ASSERT_TRUE(StoredPasswordForm("secret77", stored));
  EXPECT_EQ(c.settings.rememberedPassword, stored);
  EXPECT_EQ(c.settings.configPath, (c.home / "config" / "alice_config.xml").string());
  EXPECT_EQ(ConfigAttrib(c, "User", "ID"), "alice");
  EXPECT_EQ(ConfigAttrib(c, "User", "Password"), stored);
  EXPECT_EQ(ConfigText(c, "AutoLogin"), "1");
  EXPECT_EQ(c.notifier.lastStatus(), "");
}

TEST_F(SignInTest, WithoutRememberThePasswordAttributeIsZero) {
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("alice", "secret77", false, false));
  EXPECT_EQ(ConfigAttrib(c, "User", "Password"), "0");
  EXPECT_EQ(ConfigText(c, "AutoLogin"), "0");
  std::string stored;
  ASSERT_TRUE(StoredPasswordForm("secret77", stored));
  EXPECT_EQ(c.settings.rememberedPassword, stored) << "kept in memory for the password confirmation";
}

TEST_F(SignInTest, RefusalsShowTheirStatusLineAndClearThePasswordWhereSaid) {
  struct Case {
    std::string user, password, status;
    bool clear;
  };
  std::vector<Case> cases = {
      {"alice", "wrong999", "密码错误！", true},
      {"nosuchuser", "secret77", "用户名不存在！", false},
      {"due.user", "secret77", "为保证账号安全，请重新输入密码！", true},
      {"odd_user", "secret77", "登录验证失败，请检查用户名和密码是否正确！", false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.user);
    SimClient c(sim);
    ASSERT_TRUE(c.Handshake());
    LoginOutcome outcome;
    EXPECT_EQ(Login_Start(c.ctx, LoginInput{k.user, k.password, true, false, {}}, outcome), 0);
    EXPECT_EQ(c.notifier.lastStatus(), k.status);
    EXPECT_EQ(outcome.clearPassword, k.clear);
    EXPECT_EQ(c.g.m_LoggedIn, 0);
    EXPECT_FALSE(std::filesystem::exists(c.home / "config" / (k.user + "_config.xml")));
  }
}

TEST_F(SignInTest, UnwritableConfigurationFailsTheSignIn) {
  SimClient c(sim);
  std::filesystem::remove_all(c.home / "config");
  WriteFileBytes(c.home / "config", "not a folder");
  ASSERT_TRUE(c.Handshake());
  LoginOutcome outcome;
  EXPECT_EQ(Login_Start(c.ctx, LoginInput{"alice", "secret77", true, false, {}}, outcome), 0);
  EXPECT_EQ(c.notifier.lastStatus(), "保存用户信息失败，请重试！");
  EXPECT_EQ(c.g.m_LoggedIn, 0);
}

TEST(SignInFaults, ErrorPageAndMissingServersAndForcedUpdate) {
  SimServer sim(R"({
    "accounts": [{"user": "alice", "password": "secret77"}],
    "faults": {"login": {"http404": true, "times": 1}}
  })");
  SimClient c(sim);
  ASSERT_TRUE(c.Handshake());
  LoginOutcome outcome;
  EXPECT_EQ(Login_Start(c.ctx, LoginInput{"alice", "secret77", false, false, {}}, outcome), 0);
  EXPECT_EQ(c.notifier.lastStatus(), "登陆失败，请检查网络和防火墙设置");
  // The next answer is a real one without detection servers: still signed in.
  ASSERT_EQ(Login_Start(c.ctx, LoginInput{"alice", "secret77", false, false, {}}, outcome), 1);
  EXPECT_TRUE(c.g.m_NCSrv1IpAddress.empty());
  EXPECT_EQ(c.g.m_NCSrv1TCPPort, 0);
  EXPECT_TRUE(c.g.m_TranSrvIpAddress.empty());
  EXPECT_EQ(sim.Refusals(), "");

  SimServer forcing(R"({"faults": {"security": {"status": "upate"}}})");
  SimClient d(forcing);
  d.settings.updateUrl = "";
  EXPECT_EQ(SecurityHandshake(d.ctx), 0);
  EXPECT_EQ(d.notifier.messages(), std::vector<std::string>{"提示|检测到系统有重要更新，请下载更新！"});
  EXPECT_EQ(d.updaterUrls, std::vector<std::string>{""});
  EXPECT_EQ(d.exitCode, 0);
}

TEST(SignInFaults, UpdateInAnotherSpellingIsARefusalAndAnUnreachableServiceFails) {
  SimServer sim(R"({"faults": {"security": {"status": "UPDATE"}}})");
  SimClient c(sim);
  EXPECT_FALSE(c.Handshake());
  EXPECT_TRUE(c.updaterUrls.empty());
  EXPECT_EQ(c.exitCode, -1);
  sim.Stop();
  SimClient d(sim);
  EXPECT_FALSE(d.Handshake());
}

}  // namespace
}  // namespace lumivex::test
