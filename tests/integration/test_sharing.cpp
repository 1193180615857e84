// Bound users of a device against lumivex-sim: the paged listing, binding
// and unbinding, and every refusal's message.

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "core/version.h"
#include "integration/sim_fixture.h"
#include "webservice/sharing.h"

namespace lumivex::test {
namespace {

using Messages = std::vector<std::string>;

// shared1: the administrator fifth of twelve in the reply. ten1: exactly one
// full page. small1 has room for nobody more; on guest1 boss1 is only bound.
const char* kScenario = R"({
  "accounts": [
    {"user": "boss1", "password": "secret77",
     "devices": ["shared1", "ten1", "small1", "guest1", "nousr1", "fail1"]},
    {"user": "carol1", "password": "secret77"},
    {"user": "dave1", "password": "secret77"},
    {"user": "alice9", "password": "secret77", "devices": ["guest1"]}
  ],
  "devices": [
    {"sid": "shared1", "admin": "boss1", "adminPosition": 4,
     "boundUsers": ["user01", "user02", "user03", "user04", "user05", "user06", "user07",
                    "user08", "user09", "user10", "李雷"]},
    {"sid": "ten1", "admin": "boss1",
     "boundUsers": ["u1", "u2", "u3", "u4", "u5", "u6", "u7", "u8", "u9"], "adminPosition": 9},
    {"sid": "small1", "admin": "boss1", "boundUsers": ["carol1"], "maxUsers": 2},
    {"sid": "guest1", "admin": "alice9", "boundUsers": ["boss1"]},
    {"sid": "nousr1", "admin": "boss1", "statuses": {"bindUserList": "NOUSR"}},
    {"sid": "fail1", "admin": "boss1", "boundUsers": ["carol1"],
     "statuses": {"bindUserList": "FAIL", "deleteBindUser": "FAIL"}}
  ]
})";

std::string Names(const std::vector<BoundUser>& users) {
  std::string names;
  for (const BoundUser& u : users) names += u.uid + (u.isAdmin ? "*" : "") + " ";
  return names;
}

class SharingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(boss.SignIn("boss1", "secret77")); }
  void TearDown() override { EXPECT_EQ(sim.Refusals(), ""); }
  std::string List(const std::string& sid) {
    std::vector<BoundUser> users;
    EXPECT_EQ(ListBoundUsers(boss.ctx, sid, users), 1);
    return Names(users);
  }
  Messages Shown() {
    Messages m = boss.notifier.messages();
    boss.notifier.Clear();
    return m;
  }

  SimServer sim{kScenario};
  SimClient boss{sim};
};

TEST_F(SharingTest, TwelveUsersOverTwoPagesAdministratorFirstEachOnce) {
  std::vector<BoundUser> users;
  ASSERT_EQ(ListBoundUsers(boss.ctx, "shared1", users), 1);
  EXPECT_EQ(Names(users),
            "boss1* user01 user02 user03 user04 user05 user06 user07 user08 user09 user10 李雷 ");
  std::set<std::string> distinct;
  for (const BoundUser& u : users) distinct.insert(u.uid);
  EXPECT_EQ(distinct.size(), 12u);
  EXPECT_EQ(Shown(), Messages{});

  // A full page followed by an empty one.
  EXPECT_EQ(List("ten1"), "boss1* u1 u2 u3 u4 u5 u6 u7 u8 u9 ");
}

TEST_F(SharingTest, ListingRefusalsLeaveTheListEmpty) {
  for (const char* sid : {"nosuch1", "nousr1", "fail1"}) {
    SCOPED_TRACE(sid);
    std::vector<BoundUser> users{{"stale", true}};
    EXPECT_EQ(ListBoundUsers(boss.ctx, sid, users), 0);
    EXPECT_TRUE(users.empty());
  }
  EXPECT_EQ(Shown(), (Messages{"提示|设备不存在，请重试", "提示|用户不存在，请重试",
                               "提示|获取绑定用户列表失败，请重试"}));
}

TEST_F(SharingTest, ClosingMarkAddsNoRow) {
  std::atomic<bool> closing{true};
  std::vector<BoundUser> users{{"stale", false}};
  EXPECT_EQ(ListBoundUsers(boss.ctx, "shared1", users, &closing), 0);
  EXPECT_TRUE(users.empty());
  EXPECT_EQ(Shown(), Messages{});
}

TEST_F(SharingTest, BoundUserIsListedAndGetsTheDevice) {
  EXPECT_EQ(AddBoundUser(boss.ctx, "shared1", "carol1"), 1);
  EXPECT_EQ(Shown(), Messages{});
  std::string names = List("shared1");
  EXPECT_EQ(names.substr(names.size() - std::string("李雷 carol1 ").size()), "李雷 carol1 ");

  SimClient carol(sim);
  ASSERT_TRUE(carol.SignIn("carol1", "secret77"));
  ASSERT_TRUE(carol.cameras.Update(carol.ctx));
  ASSERT_EQ(carol.cameras.count(), 1);
  EXPECT_EQ(carol.cameras.Get(0)->sid.str(), "shared1");
  EXPECT_EQ(carol.cameras.Get(0)->init, 0);
}

TEST_F(SharingTest, BindingRefusalsChangeNothing) {
  std::string before = List("shared1");
  EXPECT_EQ(AddBoundUser(boss.ctx, "small1", "dave1"), 0);
  EXPECT_EQ(AddBoundUser(boss.ctx, "shared1", "nobody99"), 0);
  EXPECT_EQ(AddBoundUser(boss.ctx, "shared1", "user03"), 0);
  EXPECT_EQ(AddBoundUser(boss.ctx, "guest1", "dave1"), 0);  // NOTADMIN
  EXPECT_EQ(Shown(), (Messages{"提示|设备绑定用户数量超过最大限制", "提示|用户名未注册，请先注册",
                               "提示|用户名已绑定", "提示|添加新用户失败，请重试"}));
  EXPECT_EQ(List("shared1"), before);
  EXPECT_EQ(List("small1"), "boss1* carol1 ");
}

TEST_F(SharingTest, UnbindingAndItsFailure) {
  EXPECT_EQ(DeleteBoundUser(boss.ctx, "shared1", "李雷"), 1);
  EXPECT_EQ(DeleteBoundUser(boss.ctx, "shared1", "user03"), 1);
  EXPECT_EQ(Shown(), Messages{});
  EXPECT_EQ(List("shared1"),
            "boss1* user01 user02 user04 user05 user06 user07 user08 user09 user10 ");

  EXPECT_EQ(DeleteBoundUser(boss.ctx, "shared1", "user03"), 0);  // no longer bound
  EXPECT_EQ(DeleteBoundUser(boss.ctx, "fail1", "carol1"), 0);
  EXPECT_EQ(Shown(), (Messages{"提示|删除用户失败，请重试", "提示|删除用户失败，请重试"}));
}

TEST(SharingFaults, ErrorPagesAndAnUnreachableService) {
  SimServer sim(R"({
    "accounts": [{"user": "boss1", "password": "secret77", "devices": ["shared1"]},
                 {"user": "carol1", "password": "secret77"}],
    "devices": [{"sid": "shared1", "admin": "boss1", "boundUsers": ["dave1"]}],
    "faults": {"addUser": {"http404": true, "times": 1}, "bindUserList": {"http404": true, "times": 1}}
  })");
  SimClient boss(sim);
  ASSERT_TRUE(boss.SignIn("boss1", "secret77"));
  std::vector<BoundUser> users{{"stale", false}};
  EXPECT_EQ(ListBoundUsers(boss.ctx, "shared1", users), 0);
  EXPECT_TRUE(users.empty());
  EXPECT_EQ(AddBoundUser(boss.ctx, "shared1", "carol1"), 0);
  EXPECT_EQ(boss.notifier.messages(),
            (Messages{"提示|获取绑定用户列表失败，请重试",
                      std::string(kApplicationName) + "|添加新用户失败，请重试"}));
  EXPECT_EQ(std::string(kApplicationName), "velmor视频客户端");
  EXPECT_EQ(sim.Refusals(), "");

  sim.Stop();
  boss.notifier.Clear();
  EXPECT_EQ(AddBoundUser(boss.ctx, "shared1", "carol1"), 0);
  EXPECT_EQ(DeleteBoundUser(boss.ctx, "shared1", "dave1"), 0);
  EXPECT_EQ(ListBoundUsers(boss.ctx, "shared1", users), 0);
  EXPECT_EQ(boss.notifier.messages(), (Messages{"提示|添加用户失败，请重试", "提示|删除用户失败，请重试",
                                                "提示|获取绑定用户列表失败，请重试"}));
}

}  // namespace
}  // namespace lumivex::test
