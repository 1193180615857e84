// The checks of what the user types, with the texts the windows show.

#include <gtest/gtest.h>

#include <string>

#include "webservice/envelope.h"
#include "webservice/input_rules.h"

namespace lumivex {
namespace {

constexpr char kUserRule[] = "用户名必须为字母、数字、下划线，长度为4-20位";
constexpr char kPasswordRule[] = "密码必须为字母、数字、下划线，长度为6-18位";

TEST(InputRules, SignInUserAllowsAtDotAndUnderscoreFourToTwenty) {
  EXPECT_EQ(CheckSignInUser(""), "请输入用户名");
  EXPECT_EQ(CheckSignInUser("abc"), kUserRule);
  EXPECT_EQ(CheckSignInUser("abcd"), "");
  EXPECT_EQ(CheckSignInUser("a.b@c_d"), "");
  EXPECT_EQ(CheckSignInUser(std::string(20, 'x')), "");
  EXPECT_EQ(CheckSignInUser(std::string(21, 'x')), kUserRule);
  EXPECT_EQ(CheckSignInUser("ab cd"), kUserRule);
  EXPECT_EQ(CheckSignInUser("abcd\n"), kUserRule) << "whole text, no line-end loophole";
  EXPECT_EQ(CheckSignInUser("用户名字"), kUserRule);
}

TEST(InputRules, SignInPasswordAllowsAtUnderscoreDotSixToEighteen) {
  EXPECT_EQ(CheckSignInPassword(""), "请输入密码");
  EXPECT_EQ(CheckSignInPassword("12345"), kPasswordRule);
  EXPECT_EQ(CheckSignInPassword("a@_.12"), "");
  EXPECT_EQ(CheckSignInPassword(std::string(18, 'p')), "");
  EXPECT_EQ(CheckSignInPassword(std::string(19, 'p')), kPasswordRule);
  EXPECT_EQ(CheckSignInPassword("abc,def"), kPasswordRule);
}

TEST(InputRules, RecoveryRefusesWhatSignInAccepts) {
  EXPECT_EQ(CheckSignInUser("a.b@cd"), "");
  EXPECT_EQ(CheckRecoveryUser("a.b@cd"), kUserRule);
  EXPECT_EQ(CheckRecoveryUser(""), "请输入用户名");
  EXPECT_EQ(CheckRecoveryUser("ab_cd"), "");
  EXPECT_EQ(CheckRecoveryAnswer(""), "请输入安全问题答案");
  EXPECT_EQ(CheckRecoveryAnswer("x"), "");

  EXPECT_EQ(CheckRecoveryPassword("", "x"), "请输入新密码");
  EXPECT_EQ(CheckRecoveryPassword("abc@123", "abc@123"), kPasswordRule);
  EXPECT_EQ(CheckRecoveryPassword("abc.123", ""), "请输入确认密码");
  EXPECT_EQ(CheckRecoveryPassword("abc.123", "abc.124"), "新密码和确认密码不一致，请重新输入");
  EXPECT_EQ(CheckRecoveryPassword("abc.123", "abc.123"), "");
}

TEST(InputRules, BindNameAndDeviceNameAndFeedback) {
  EXPECT_EQ(CheckBindUserName(""), "请输入用户名");
  EXPECT_EQ(CheckBindUserName("bob.b"), kUserRule);
  EXPECT_EQ(CheckBindUserName("bob_b"), "");

  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty += "门";
  EXPECT_EQ(CheckDeviceName(thirty), "");
  EXPECT_EQ(CheckDeviceName(thirty + "a"), "设备名称超过最大限制长度");
  // A character outside the BMP takes two units.
  EXPECT_EQ(CheckDeviceName(std::string(29, 'a') + "\xF0\x9F\x93\xB7"), "设备名称超过最大限制长度");
  EXPECT_EQ(CheckDeviceName(std::string(28, 'a') + "\xF0\x9F\x93\xB7"), "");

  EXPECT_EQ(CheckFeedback(""), "请输入意见反馈信息");
  EXPECT_EQ(CheckFeedback("很好"), "");
}

TEST(InputRules, PasswordChangeChecksInTheirOrder) {
  std::string stored;
  ASSERT_TRUE(StoredPasswordForm("old@pass1", stored));
  auto check = [&](const char* o, const char* n, const char* c) {
    PasswordChangeCheck r = CheckPasswordChange(o, n, c, stored);
    return r.text + "|" + r.field + "|" + (r.clearField ? "clear" : "keep");
  };
  EXPECT_EQ(check("", "", ""), "请输入旧密码|old|keep");
  EXPECT_EQ(check("x", "", ""), "请输入新密码|new|keep");
  EXPECT_EQ(check("x", "y", ""), "请输入确认密码|confirm|keep");
  EXPECT_EQ(check("short", "new,pass", "new,pass"), "密码格式错误|old|clear");
  // Accepted at sign-in (17 characters), refused here.
  EXPECT_EQ(check("abcdefghijklmnopq", "new,pass", "new,pass"), "密码格式错误|old|clear");
  EXPECT_EQ(check("old@pass1", "new pass", "new pass"), "新密码格式错误|new|clear");
  EXPECT_EQ(check("old@pass1", "new,pass", "new,pasS"), "两次输入密码不一致|confirm|clear");
  EXPECT_EQ(check("old@pass2", "new,pass", "new,pass"), "旧密码错误|old|clear");
  EXPECT_EQ(check("old@pass1", "new,pass", "new,pass"), "||keep");
}

}  // namespace
}  // namespace lumivex
