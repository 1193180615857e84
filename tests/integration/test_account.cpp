// Account maintenance against lumivex-sim: the update check and its
// launch, password change, the three recovery steps and feedback.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/user_config.h"
#include "integration/sim_fixture.h"
#include "webservice/account.h"
#include "webservice/envelope.h"

namespace lumivex::test {
namespace {

using Messages = std::vector<std::string>;

constexpr char kInstaller[] = "http://127.0.0.1/pkg/lumivex-2.1.run";

std::string UpdateScenario(int updateStatus) {
  return R"({"update": {"resourceUrl": ")" + std::string(kInstaller) +
         R"(", "updateStatus": )" + std::to_string(updateStatus) + "}}";
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string StoredForm(const std::string& password) {
  std::string stored;
  EXPECT_TRUE(StoredPasswordForm(password, stored));
  return stored;
}

std::string ConfigPassword(SimClient& c) {
  std::string value = "(unread)";
  GetConfigAttrib(c.settings.configPath, "config1", "User", "Password", value);
  return value;
}

// ---- update check ----

TEST(UpdateCheck, NoOfferSaysTheVersionIsCurrent) {
  SimServer sim("{}");
  SimClient c(sim);
  c.g.port = 1;  // nothing listens there: the check names the web port
  EXPECT_EQ(RunUpdateCheck(c.ctx), 0);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|当前版本已经是最新"});
  EXPECT_TRUE(c.updaterUrls.empty());
  EXPECT_EQ(c.exitCode, -1);
  EXPECT_EQ(sim.Refusals(), "");
}

TEST(UpdateCheck, OptionalUpdateDeclinedKeepsRunningButStoresTheAddress) {
  SimServer sim(UpdateScenario(0));
  SimClient c(sim);
  c.notifier.SetAnswer(false);
  EXPECT_EQ(RunUpdateCheck(c.ctx), 1);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|检测到系统有更新，是否下载更新？"});
  EXPECT_TRUE(c.updaterUrls.empty());
  EXPECT_EQ(c.exitCode, -1);
  EXPECT_EQ(c.settings.updateUrl.str(), kInstaller);
  EXPECT_EQ(sim.Refusals(), "");
}

TEST(UpdateCheck, OptionalUpdateAcceptedStartsTheUpdaterAndEnds) {
  SimServer sim(UpdateScenario(0));
  SimClient c(sim);
  c.notifier.SetAnswer(true);
  EXPECT_EQ(RunUpdateCheck(c.ctx), 1);
  EXPECT_EQ(c.updaterUrls, Messages{kInstaller});
  EXPECT_EQ(c.exitCode, 0);
  EXPECT_EQ(sim.Refusals(), "");
}

TEST(UpdateCheck, MandatoryUpdateTellsThenLaunchesAndAFailedStartIsReported) {
  SimServer sim(UpdateScenario(1));
  SimClient c(sim);
  EXPECT_EQ(RunUpdateCheck(c.ctx), 2);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|检测到系统有重要更新，请下载更新！"});
  EXPECT_EQ(c.updaterUrls, Messages{kInstaller});
  EXPECT_EQ(c.exitCode, 0);

  SimClient d(sim);
  d.ctx.startUpdater = [](const std::string&) { return false; };
  EXPECT_EQ(RunUpdateCheck(d.ctx), 2);
  EXPECT_EQ(d.notifier.messages(),
            (Messages{"提示|检测到系统有重要更新，请下载更新！", "提示|启动更新失败，请重试"}));
  EXPECT_EQ(d.exitCode, -1) << "the client stays when the updater did not start";
  EXPECT_EQ(sim.Refusals(), "");
}

TEST(UpdateCheck, UnknownUpdateModeAsksAgainUpToTheBoundThenFails) {
  SimServer sim(UpdateScenario(2), /*verbose=*/true);
  SimClient c(sim);
  c.ctx.updateCheckAttempts = 3;
  EXPECT_EQ(RunUpdateCheck(c.ctx), -1);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|检测更新失败，请检查网络和防火墙设置"});
  EXPECT_EQ(Count(sim.Log(), "lumivex-sim: checkVersion: client:pc&"), 3);
  EXPECT_EQ(c.settings.updateUrl.str(), kInstaller) << "every UPDATE answer stores the address";
  EXPECT_TRUE(c.updaterUrls.empty());
  EXPECT_EQ(sim.Refusals(), "");
}

TEST(UpdateCheck, FailedTransferAndErrorPageFail) {
  SimServer sim(R"({"faults": {"checkVersion": {"http404": true}}})");
  SimClient c(sim);
  EXPECT_EQ(RunUpdateCheck(c.ctx), -1);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|检测更新失败，请检查网络和防火墙设置"});
  sim.Stop();
  SimClient d(sim);
  EXPECT_EQ(CheckForUpdate(d.ctx), -1);
  EXPECT_TRUE(d.notifier.messages().empty());
  EXPECT_TRUE(d.updaterUrls.empty());
}

// ---- password change ----

class ChangePasswordTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }
  SimServer sim{R"({"accounts": [{"user": "alice", "password": "secret77"},
                                  {"user": "bob.lee", "password": "secret77"}]})"};
};

TEST_F(ChangePasswordTest, RememberedPasswordIsReplacedAndTheNewOneSignsIn) {
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("alice", "secret77", /*remember=*/true));
  const std::string signInHash = PasswordHash("secret77");
  ASSERT_EQ(ConfigPassword(c), StoredForm("secret77"));

  EXPECT_EQ(ChangePassword(c.ctx, "fresh_pass1"), 1);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|密码修改成功"});
  EXPECT_EQ(c.settings.rememberedPassword, StoredForm("fresh_pass1"));
  EXPECT_EQ(ConfigPassword(c), StoredForm("fresh_pass1"));
  EXPECT_EQ(c.g.m_Password, signInHash) << "keeps the sign-in hash";

  // The second change sends the sign-in hash as the old one: refused.
  c.notifier.Clear();
  EXPECT_EQ(ChangePassword(c.ctx, "other_pass2"), 0);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|密码修改失败，请稍后重试"});
  EXPECT_EQ(c.g.m_Password, signInHash);
  EXPECT_EQ(c.settings.rememberedPassword, StoredForm("fresh_pass1"));
  EXPECT_EQ(ConfigPassword(c), StoredForm("fresh_pass1"));

  SimClient again(sim);
  EXPECT_FALSE(again.SignIn("alice", "secret77"));
  EXPECT_FALSE(again.SignIn("alice", "other_pass2"));
  EXPECT_TRUE(again.SignIn("alice", "fresh_pass1"));
}

TEST_F(ChangePasswordTest, PasswordNotRememberedStaysZeroInTheFile) {
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("bob.lee", "secret77", /*remember=*/false));
  ASSERT_EQ(ConfigPassword(c), "0");
  EXPECT_EQ(ChangePassword(c.ctx, "fresh_pass1"), 1);
  EXPECT_EQ(ConfigPassword(c), "0");
  EXPECT_EQ(c.settings.rememberedPassword, StoredForm("fresh_pass1"))
      << "the password confirmation checks against the new one";
  SimClient again(sim);
  EXPECT_TRUE(again.SignIn("bob.lee", "fresh_pass1"));
}

// ---- password recovery ----

class RecoveryTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }
  SimServer sim{R"({"accounts": [
    {"user": "rita", "password": "rita1234",
     "questions": [{"number": 8, "answer": "a&b:c 中"}, {"number": 3, "answer": "王强"},
                   {"number": 1, "answer": "Mei"}]},
    {"user": "nobody", "password": "nobody12"},
    {"user": "single", "password": "single12", "questions": [{"number": 4, "answer": "Hangzhou"}]},
    {"user": "locked1", "password": "locked12", "statuses": {"initPassword1": "LOCKED"}},
    {"user": "locked2", "password": "locked12", "questions": [{"number": 1, "answer": "x"},
                                                              {"number": 2, "answer": "y"}],
     "statuses": {"initPassword2": "LOCKED"}},
    {"user": "gone3", "password": "gone1234", "questions": [{"number": 1, "answer": "x"},
                                                             {"number": 2, "answer": "y"}],
     "statuses": {"initPassword3": "NOUSER"}},
    {"user": "odd3", "password": "odd12345", "questions": [{"number": 1, "answer": "x"},
                                                            {"number": 2, "answer": "y"}],
     "statuses": {"initPassword3": "LOCKED"}}
  ]})"};
};

TEST_F(RecoveryTest, UserCheckRefusals) {
  SimClient c(sim);
  ASSERT_TRUE(c.Handshake());
  RecoveryState state;
  EXPECT_EQ(RecoverStep1(c.ctx, state, "ghost_user"), 0);
  EXPECT_EQ(RecoverStep1(c.ctx, state, "locked1"), 0);
  EXPECT_EQ(RecoverStep1(c.ctx, state, "single"), 0);
  EXPECT_EQ(c.notifier.messages(), (Messages{"提示|用户名不存在", "提示|用户名验证失败，请稍后重试",
                                             "提示|加载安全问题失败"}));
}

TEST_F(RecoveryTest, UserWithoutQuestionsGetsTheServiceContacts) {
  SimClient c(sim);
  ASSERT_TRUE(c.Handshake());
  RecoveryState state;
  EXPECT_EQ(RecoverStep1(c.ctx, state, "nobody"), 1);
  EXPECT_TRUE(state.noQuestions);
  EXPECT_TRUE(state.questions.empty());
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|" + std::string(kNoSecurityQuestionMessage)});
  EXPECT_NE(std::string(kNoSecurityQuestionMessage).find("客服"), std::string::npos);
}

TEST_F(RecoveryTest, AllThreeStepsWithAWrongAnswerFirst) {
  SimClient c(sim);
  ASSERT_TRUE(c.Handshake());
  RecoveryState state;
  ASSERT_EQ(RecoverStep1(c.ctx, state, "rita"), 1);
  EXPECT_FALSE(state.noQuestions);
  EXPECT_EQ(state.uid, "rita");
  EXPECT_FALSE(state.code.empty());
  ASSERT_EQ(state.questions.size(), 2u);
  EXPECT_EQ(state.questions[0].number, 8);
  EXPECT_EQ(state.questions[0].text, "您的小学校名是？");
  EXPECT_EQ(state.questions[1].number, 3);
  EXPECT_EQ(state.questions[1].text, "您配偶的姓名是？");
  EXPECT_TRUE(c.notifier.messages().empty());

  // A wrong answer, then the right one with the same step-1 code; the
  // right one only matches when "&", ":" and the Chinese arrive intact.
  EXPECT_EQ(RecoverStep2(c.ctx, state, 8, "a&b"), 0);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|安全问题答案错误，请确认后重试"});
  std::string step1Code = state.code;
  ASSERT_EQ(RecoverStep2(c.ctx, state, 8, "a&b:c 中"), 1);
  EXPECT_NE(state.code, step1Code);
  EXPECT_EQ(state.uid, "rita");

  c.notifier.Clear();
  ASSERT_EQ(RecoverStep3(c.ctx, state, "newrita99"), 1);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|密码修改成功，请返回重新登录"});

  SimClient again(sim);
  EXPECT_FALSE(again.SignIn("rita", "rita1234"));
  EXPECT_TRUE(again.SignIn("rita", "newrita99"));
}

TEST_F(RecoveryTest, AnswerAndNewPasswordRefusals) {
  SimClient c(sim);
  ASSERT_TRUE(c.Handshake());
  RecoveryState state;
  ASSERT_EQ(RecoverStep1(c.ctx, state, "locked2"), 1);
  EXPECT_EQ(RecoverStep2(c.ctx, state, 1, "x"), 0);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|安全问题验证失败，请确认后重试"});

  for (const char* user : {"gone3", "odd3"}) {
    SCOPED_TRACE(user);
    c.notifier.Clear();
    RecoveryState s;
    ASSERT_EQ(RecoverStep1(c.ctx, s, user), 1);
    ASSERT_EQ(RecoverStep2(c.ctx, s, 1, "x"), 1);
    EXPECT_EQ(RecoverStep3(c.ctx, s, "newpass99"), 0);
    EXPECT_EQ(c.notifier.messages(),
              Messages{std::string("提示|") +
                       (user == std::string("gone3") ? "该用户未注册" : "密码修改失败，请稍后重试")});
  }
  SimClient again(sim);
  EXPECT_TRUE(again.SignIn("gone3", "gone1234")) << "a refused step 3 changes nothing";
}

TEST(RecoveryFaults, ErrorPagesFailEachStep) {
  SimServer sim(R"({"accounts": [{"user": "rita", "password": "rita1234",
    "questions": [{"number": 1, "answer": "x"}, {"number": 2, "answer": "y"}]}],
    "faults": {"initPassword": {"http404": true, "times": 1}}})");
  SimClient c(sim);
  ASSERT_TRUE(c.Handshake());
  RecoveryState state;
  EXPECT_EQ(RecoverStep1(c.ctx, state, "rita"), 0);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|用户名验证失败，请稍后重试"});
  ASSERT_EQ(RecoverStep1(c.ctx, state, "rita"), 1);
  sim.Stop();
  c.notifier.Clear();
  EXPECT_EQ(RecoverStep2(c.ctx, state, 1, "x"), 0);
  EXPECT_EQ(RecoverStep3(c.ctx, state, "newpass99"), 0);
  EXPECT_EQ(c.notifier.messages(),
            (Messages{"提示|安全问题验证失败，请确认后重试", "提示|密码修改失败，请稍后重试"}));
}

// ---- feedback ----

TEST(Feedback, TextArrivesDecodedAndAForcedFailureIsReported) {
  SimServer sim(R"({"accounts": [{"user": "alice", "password": "secret77"},
    {"user": "grumpy", "password": "secret77", "statuses": {"saveAdvise": "FAIL"}}]})",
                /*verbose=*/true);
  SimClient c(sim);
  ASSERT_TRUE(c.SignIn("alice", "secret77"));
  c.g.port = 1;  // nothing listens there: feedback names the web port
  EXPECT_EQ(SendFeedback(c.ctx, "画面卡顿 & 声音:断续"), 1);
  EXPECT_EQ(c.notifier.messages(), Messages{"提示|提交成功"});
  EXPECT_NE(sim.Log().find("saveAdvise: feedback \"画面卡顿 & 声音:断续\""), std::string::npos)
      << sim.Log();

  SimClient d(sim);
  ASSERT_TRUE(d.SignIn("grumpy", "secret77"));
  EXPECT_EQ(SendFeedback(d.ctx, "hello"), 0);
  EXPECT_EQ(d.notifier.messages(), Messages{"提示|提交失败"});
  EXPECT_EQ(Count(sim.Log(), "saveAdvise: feedback"), 1);
  EXPECT_EQ(sim.Refusals(), "");

  sim.Stop();
  d.notifier.Clear();
  EXPECT_EQ(SendFeedback(d.ctx, "hello"), 0);
  EXPECT_EQ(d.notifier.messages(), Messages{"提示|提交失败"});
}

}  // namespace
}  // namespace lumivex::test
