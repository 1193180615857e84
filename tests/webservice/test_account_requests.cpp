// Update check, password change, password recovery and feedback against
// the service double.

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "config/user_config.h"
#include "webservice/account.h"
#include "webservice/envelope.h"
#include "webservice/service_fixture.h"

namespace lumivex {
namespace {

using test::HttpReply;
using test::ServiceDouble;
using test::Strings;
namespace raw = test::raw;

class UpdateCheck : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    ctx_.updateCheckAttempts = 3;
    ctx_.updateCheckPause = std::chrono::milliseconds(1);
    ctx_.startUpdater = [this](const std::string& url) {
      launched_.push_back(url);
      return starts_;
    };
    ctx_.exitProcess = [this](int code) { exits_.push_back(code); };
  }
  void Offer(const std::string& version) {
    Script([version](const ServiceDouble::Request&) {
      return HttpReply{200, "text/plain",
                       ServiceDouble::SealOwn(R"({"status":"update","version":)" + version + "}")};
    });
  }
  bool starts_ = true;
  Strings launched_;
  std::vector<int> exits_;
};

TEST_F(UpdateCheck, SendsClientVersionAndTokenOnTheWebPort) {
  Offer(R"({"resourceUrl":"http://dl.example/setup","updateStatus":0})");
  EXPECT_EQ(CheckForUpdate(ctx_), 1);
  EXPECT_EQ(Fields(), Strings{"checkVersion client:pc&version:2.0&token:" +
                              raw::HmacSha1Hex(kAppSecret, "pc2.0")});
  EXPECT_EQ(server_->targets()[0].rfind("/velmor/checkVersion.do?data=", 0), 0u);
  EXPECT_EQ(settings_.updateUrl, "http://dl.example/setup");
}

TEST_F(UpdateCheck, AModeNeitherOptionalNorMandatoryGivesUpAfterTheBound) {
  Offer(R"({"resourceUrl":"http://dl.example/setup","updateStatus":7})");
  EXPECT_EQ(CheckForUpdate(ctx_), -1);
  EXPECT_EQ(Requests().size(), 3u);
  Offer(R"({"resourceUrl":"http://dl.example/setup"})");
  EXPECT_EQ(CheckForUpdate(ctx_), -1);
  EXPECT_EQ(Requests().size(), 6u);
  Offer(R"({"resourceUrl":"http://dl.example/setup","updateStatus":"1"})");
  EXPECT_EQ(CheckForUpdate(ctx_), -1) << "the mode is a JSON number";
  EXPECT_EQ(Requests().size(), 7u);
  Offer(R"({"resourceUrl":"http://dl.example/)" + std::string(250, 'x') + R"(","updateStatus":0})");
  EXPECT_EQ(CheckForUpdate(ctx_), -1) << "a cut address would name another download";
  EXPECT_TRUE(settings_.updateUrl.empty());
}

TEST_F(UpdateCheck, OptionalUpdateAsksAndNoKeepsTheClientRunning) {
  Offer(R"({"resourceUrl":"http://dl.example/v2","updateStatus":0})");
  notifier_.answerYes = false;
  EXPECT_EQ(RunUpdateCheck(ctx_), 1);
  EXPECT_TRUE(launched_.empty());
  EXPECT_EQ(settings_.updateUrl, "http://dl.example/v2");
  notifier_.answerYes = true;
  EXPECT_EQ(RunUpdateCheck(ctx_), 1);
  EXPECT_EQ(launched_, Strings{"http://dl.example/v2"});
  EXPECT_EQ(exits_, std::vector<int>{0});
  EXPECT_EQ(notifier_.Events(), Strings(2, "ask 提示: 检测到系统有更新，是否下载更新？"));
}

TEST_F(UpdateCheck, MandatoryUpdateTellsThenLaunches) {
  Offer(R"({"resourceUrl":"http://dl.example/v3","updateStatus":1})");
  starts_ = false;
  EXPECT_EQ(RunUpdateCheck(ctx_), 2);
  EXPECT_EQ(launched_, Strings{"http://dl.example/v3"});
  EXPECT_TRUE(exits_.empty());
  EXPECT_EQ(notifier_.Events(), (Strings{"wait 提示: 检测到系统有重要更新，请下载更新！",
                                         "box 提示: 启动更新失败，请重试"}));
}

// A distribution build announces either kind and starts nothing.
TEST_F(UpdateCheck, WithoutTheSelfUpdaterTheUpdateIsLeftToThePackageManager) {
  ctx_.selfUpdate = false;
  Offer(R"({"resourceUrl":"http://dl.example/v2","updateStatus":0})");
  EXPECT_EQ(RunUpdateCheck(ctx_), 1);
  Offer(R"({"resourceUrl":"http://dl.example/v3","updateStatus":1})");
  EXPECT_EQ(RunUpdateCheck(ctx_), 2);
  EXPECT_TRUE(launched_.empty());
  EXPECT_TRUE(exits_.empty());
  EXPECT_EQ(notifier_.Events(), Strings(2, "box 提示: 检测到系统有新版本，请通过系统的软件包管理器更新"));
}

TEST_F(UpdateCheck, NoUpdateAndFailureHaveTheirMessages) {
  Script([](const ServiceDouble::Request&) {
    return HttpReply{200, "text/plain", ServiceDouble::SealOwn(R"({"status":"NONE"})")};
  });
  EXPECT_EQ(RunUpdateCheck(ctx_), 0);
  Script([](const ServiceDouble::Request&) { return NotJson(); });
  EXPECT_EQ(RunUpdateCheck(ctx_), -1);
  EXPECT_EQ(notifier_.Events(), (Strings{"box 提示: 当前版本已经是最新",
                                         "box 提示: 检测更新失败，请检查网络和防火墙设置"}));
}

class PasswordChange : public test::ServiceFixture {
 protected:
  std::string StoredAttribute() {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(settings_.configPath.c_str()));
    return doc.child("config").child("config1").child("User").attribute("Password").value();
  }
};

TEST_F(PasswordChange, SendsBothHashesAndReplacesARememberedPassword) {
  ASSERT_TRUE(CreateDefaultUserConfig(settings_, dir_.str() + "/config",
                                      [](StorageKind, std::string&) { return false; }));
  std::string old;
  ASSERT_TRUE(StoredPasswordForm("secret1", old));
  ASSERT_TRUE(SetConfigAttrib(settings_.configPath, "config1", "User", "Password", old));

  Script([&](const ServiceDouble::Request&) { return Status("OK"); });
  EXPECT_EQ(ChangePassword(ctx_, "newpass.2"), 1);
  EXPECT_EQ(ChangePassword(ctx_, "newpass.3"), 1);
  std::string head = std::string("changePassword uid:alice&mac:") + kMac + "&token:" + kToken +
                     "&old:" + raw::Md5Hex("secret1");
  EXPECT_EQ(Fields(), (Strings{head + "&psd:" + raw::Md5Hex("newpass.2"),
                               head + "&psd:" + raw::Md5Hex("newpass.3")}))
      << "old stays the hash of the sign-in password";
  EXPECT_TRUE(MatchesStoredPassword("newpass.3", settings_.rememberedPassword.str()));
  EXPECT_EQ(StoredAttribute(), settings_.rememberedPassword.str());
  EXPECT_EQ(notifier_.Events(), Strings(2, "box 提示: 密码修改成功"));
}

TEST_F(PasswordChange, AForgottenPasswordStaysForgottenAndFailuresTell) {
  ASSERT_TRUE(CreateDefaultUserConfig(settings_, dir_.str() + "/config",
                                      [](StorageKind, std::string&) { return false; }));
  Script([&](const ServiceDouble::Request&) { return Status("OK"); });
  EXPECT_EQ(ChangePassword(ctx_, "newpass.2"), 1);
  EXPECT_EQ(StoredAttribute(), "0");
  Script([&](const ServiceDouble::Request&) { return Status("ERRORPSD"); });
  EXPECT_EQ(ChangePassword(ctx_, "newpass.4"), 0);
  EXPECT_TRUE(MatchesStoredPassword("newpass.2", settings_.rememberedPassword.str()));
  EXPECT_EQ(notifier_.Events().back(), "box 提示: 密码修改失败，请稍后重试");
}

class Recovery : public test::ServiceFixture {
 protected:
  std::string Token(const std::string& uid) {
    return raw::HmacSha1Hex(kAppSecret, uid + kMac + kTime);
  }
  RecoveryState state_;
};

TEST_F(Recovery, ThreeStepsCarryCodeAndUserIdForward) {
  Script([&](const ServiceDouble::Request& r) {
    std::string step;
    test::FieldOf(r.fields, "step", step);
    if (step == "1")
      return Ok(R"({"userBean":{"code":"c1","uid":"bob1","question":[{"question":"3"},{"question":"11"},{"question":"2"}]}})");
    if (step == "2") return Ok(R"({"userBean":{"code":"c2","uid":"bob2"}})");
    return Status("OK");
  });
  ASSERT_EQ(RecoverStep1(ctx_, state_, "bob"), 1);
  ASSERT_EQ(state_.questions.size(), 2u);
  EXPECT_EQ(state_.questions[0].number, 3);
  EXPECT_EQ(state_.questions[0].text, "您配偶的姓名是？");
  EXPECT_EQ(state_.questions[1].text, "您母亲的生日是？");
  ASSERT_EQ(RecoverStep2(ctx_, state_, 11, "a&b:中"), 1);
  ASSERT_EQ(RecoverStep3(ctx_, state_, "fresh.pw"), 1);

  std::string mac = std::string("&mac:") + kMac;
  EXPECT_EQ(Fields(),
            (Strings{"initPassword uid:bob&step:1&" + ExpMod() + "&token:" + Token("bob") + mac,
                     "initPassword uid:bob1&step:2&question:11&answer:%61%26%62%3A%E4%B8%AD&" +
                         ExpMod() + "&token:" + Token("bob1") + mac + "&code:c1",
                     "initPassword uid:bob2&step:3&psd:" + raw::Md5Hex("fresh.pw") +
                         "&token:" + Token("bob2") + mac + "&code:c2"}));
  EXPECT_EQ(notifier_.Events(), Strings{"box 提示: 密码修改成功，请返回重新登录"});
}

TEST_F(Recovery, AUserWithoutQuestionsGetsTheServiceContacts) {
  Script([&](const ServiceDouble::Request&) {
    return Ok(R"({"userBean":{"code":"c1","uid":"bob","question":[]}})");
  });
  EXPECT_EQ(RecoverStep1(ctx_, state_, "bob"), 1);
  EXPECT_TRUE(state_.noQuestions);
  EXPECT_TRUE(state_.questions.empty());
  EXPECT_EQ(state_.code, "c1");
  EXPECT_EQ(notifier_.Events(), Strings{std::string("box 提示: ") + kNoSecurityQuestionMessage});
}

TEST_F(Recovery, EachStepHasItsRefusalTexts) {
  auto reply = [&](HttpReply r) { Script([r](const ServiceDouble::Request&) { return r; }); };
  reply(Status("NOUSER"));
  EXPECT_EQ(RecoverStep1(ctx_, state_, "bob"), 0);
  reply(Status("BAD"));
  EXPECT_EQ(RecoverStep1(ctx_, state_, "bob"), 0);
  reply(Ok(R"({"userBean":{"code":"c","uid":"u","question":[{"question":"3"}]}})"));
  EXPECT_EQ(RecoverStep1(ctx_, state_, "bob"), 0);
  reply(Ok(R"({"userBean":{"code":"c","uid":"u","question":[{"question":"3"},{"question":"13"}]}})"));
  EXPECT_EQ(RecoverStep1(ctx_, state_, "bob"), 0);
  reply(Status("ERRORANSWER"));
  EXPECT_EQ(RecoverStep2(ctx_, state_, 3, "x"), 0);
  reply(NotJson());
  EXPECT_EQ(RecoverStep2(ctx_, state_, 3, "x"), 0);
  reply(Ok(R"({"userBean":{"code":7}})"));
  EXPECT_EQ(RecoverStep2(ctx_, state_, 3, "x"), 0);
  reply(Status("NOUSER"));
  EXPECT_EQ(RecoverStep3(ctx_, state_, "fresh.pw"), 0);
  reply(Status("FAIL"));
  EXPECT_EQ(RecoverStep3(ctx_, state_, "fresh.pw"), 0);
  EXPECT_EQ(notifier_.Events(),
            (Strings{"box 提示: 用户名不存在", "box 提示: 用户名验证失败，请稍后重试",
                     "box 提示: 加载安全问题失败", "box 提示: 加载安全问题失败",
                     "box 提示: 安全问题答案错误，请确认后重试",
                     "box 提示: 安全问题验证失败，请确认后重试",
                     "box 提示: 安全问题验证失败，请稍后重试", "box 提示: 该用户未注册",
                     "box 提示: 密码修改失败，请稍后重试"}));
}

class Feedback : public test::ServiceFixture {};

TEST_F(Feedback, SendsTheEncodedTextUnderTheSharedKeyOnTheWebPort) {
  Script([&](const ServiceDouble::Request&) { return Status("OK"); });
  EXPECT_EQ(SendFeedback(ctx_, "中\r\n"), 1);
  EXPECT_EQ(Fields(), Strings{"saveAdvise uid:alice&appAdvise:%E4%B8%AD%0D%0A&token:" +
                              raw::HmacSha1Hex(kAppSecret, "alice")});
  EXPECT_EQ(server_->targets()[0].rfind("/velmor/saveAdvise.do?data=", 0), 0u);
  EXPECT_EQ(notifier_.Events(), Strings{"box 提示: 提交成功"});
}

TEST_F(Feedback, AFullBoxOfChineseTextIsSentWholeUpTo299Characters) {
  Script([&](const ServiceDouble::Request&) { return Status("OK"); });
  std::string text, expected;
  for (int i = 0; i < 320; ++i) text += "好";
  for (int i = 0; i < 299; ++i) expected += "%E5%A5%BD";
  EXPECT_EQ(SendFeedback(ctx_, text), 1);
  std::string sent;
  ASSERT_TRUE(test::FieldOf(Requests()[0].fields, "appAdvise", sent));
  EXPECT_EQ(sent, expected);
}

TEST_F(Feedback, AnythingButOkIsAFailure) {
  Script([&](const ServiceDouble::Request&) { return Status("ERROR"); });
  EXPECT_EQ(SendFeedback(ctx_, "x"), 0);
  Script([&](const ServiceDouble::Request&) { return NotJson(); });
  EXPECT_EQ(SendFeedback(ctx_, "x"), 0);
  EXPECT_EQ(notifier_.Events(), Strings(2, "box 提示: 提交失败"));
}

}  // namespace
}  // namespace lumivex
