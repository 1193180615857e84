// The start-up sequence step by step, with every platform step faked.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/startup.h"

namespace lumivex {
namespace {

using State = SingleInstanceLock::State;

struct FakePlatform {
  std::vector<std::string> calls;
  State instance = State::kAcquired;
  bool net = true, libraries = true, handshake = true, signIn = true;
  std::string handshakeCause;
  std::vector<std::string> messages;

  StartupSteps Steps(Global& g) {
    StartupSteps s;
    auto note = [this](const char* name) { calls.push_back(name); };
    s.acquireInstance = [=, this] { note("lock"); return instance; };
    s.raiseFirstInstance = [=] { note("raise"); };
    s.getLocalNetInfo = [=, this](Global& gg) {
      note("net");
      gg.m_Mac = "0a-0b-0c-0d-0e-0f";
      return net;
    };
    s.initLibraries = [=, this] { note("libs"); return libraries; };
    s.startLanDiscovery = [=] { note("lan"); };
    s.securityHandshake = [=, this](std::string& cause) {
      note("handshake");
      cause = handshakeCause;
      return handshake;
    };
    s.runSignIn = [=, &g, this] {
      note("signin");
      if (signIn) g.m_LoggedIn = 1;
    };
    s.loadUserSettings = [=](UserSettings&) { note("load"); return true; };
    s.runMainWindow = [=] { note("main"); };
    s.saveWindowState = [=] { note("save"); };
    s.cleanupLibraries = [=] { note("cleanup"); };
    s.releaseInstance = [=] { note("release"); };
    s.messageBox = [this](const std::string& title, const std::string& text) {
      messages.push_back(title + "|" + text);
    };
    return s;
  }
};

TEST(Startup, FullRunInOrderAndFillsTheSettings) {
  Global g;
  UserSettings settings;
  settings.userName = "alice";
  FakePlatform p;
  EXPECT_EQ(RunStartup(g, settings, p.Steps(g)), StartupResult::kFinished);
  std::vector<std::string> expected = {"lock",   "net",  "libs", "lan",  "handshake", "signin",
                                       "load",   "main", "save", "cleanup", "release"};
  EXPECT_EQ(p.calls, expected);
  EXPECT_TRUE(p.messages.empty());
  EXPECT_EQ(settings.umac, "alice,0a-0b-0c-0d-0e-0f");
  EXPECT_EQ(settings.productMajor, 2);
  EXPECT_EQ(settings.productMinor, 0);
}

TEST(Startup, SecondInstanceOnlyRaisesTheFirst) {
  Global g;
  UserSettings settings;
  FakePlatform p;
  p.instance = State::kHeldByOther;
  EXPECT_EQ(RunStartup(g, settings, p.Steps(g)), StartupResult::kSecondInstance);
  EXPECT_EQ(p.calls, (std::vector<std::string>{"lock", "raise"}));
  EXPECT_TRUE(p.messages.empty());
}

TEST(Startup, EachFailureEndsWithItsMessageAndReleasesTheLock) {
  struct Case {
    const char* name;
    void (*arm)(FakePlatform&);
    StartupResult result;
    std::string message;
    std::string lastBeforeRelease;
  };
  std::vector<Case> cases = {
      {"network", [](FakePlatform& p) { p.net = false; }, StartupResult::kNoNetwork,
       "提示|获取网络信息失败，请检查网络和防火墙设置", "net"},
      {"libraries", [](FakePlatform& p) { p.libraries = false; }, StartupResult::kLibraryFailed, "", "libs"},
      {"handshake", [](FakePlatform& p) { p.handshake = false; }, StartupResult::kHandshakeFailed,
       "提示|请求失败，请稍后重试", "cleanup"},
      {"handshake transfer", [](FakePlatform& p) { p.handshake = false; p.handshakeCause = "无法连接到服务器"; },
       StartupResult::kHandshakeFailed, "提示|请求失败，请稍后重试\n无法连接到服务器", "cleanup"},
      {"sign-in", [](FakePlatform& p) { p.signIn = false; }, StartupResult::kNotSignedIn, "", "cleanup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Global g;
    UserSettings settings;
    FakePlatform p;
    c.arm(p);
    EXPECT_EQ(RunStartup(g, settings, p.Steps(g)), c.result);
    ASSERT_GE(p.calls.size(), 2u);
    EXPECT_EQ(p.calls.back(), "release");
    EXPECT_EQ(p.calls[p.calls.size() - 2], c.lastBeforeRelease);
    EXPECT_EQ(p.messages, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
    EXPECT_EQ(std::count(p.calls.begin(), p.calls.end(), "main"), 0);
  }
}

TEST(Startup, AnUnwiredHandshakeFailsInsteadOfPretending) {
  Global g;
  UserSettings settings;
  FakePlatform p;
  StartupSteps steps = p.Steps(g);
  steps.securityHandshake = nullptr;
  EXPECT_EQ(RunStartup(g, settings, steps), StartupResult::kHandshakeFailed);
  EXPECT_EQ(p.messages, std::vector<std::string>{"提示|请求失败，请稍后重试"});
}

}  // namespace
}  // namespace lumivex
