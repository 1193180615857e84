// The device listing, the six device settings and the bound users against
// the service double: exact field strings, every message, every change.

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "config/user_config.h"
#include "webservice/camera_list.h"
#include "webservice/device_settings.h"
#include "webservice/request.h"
#include "webservice/service_fixture.h"
#include "webservice/sharing.h"

namespace lumivex {
namespace {

using test::HttpReply;
using test::ServiceDouble;
using test::Strings;

std::string Device(const std::string& sid, const std::string& extra = "") {
  return R"({"sid":")" + sid + R"(","name":"Cam )" + sid + R"(","ledStatus":"1","status":1)" +
         extra + "}";
}

std::string Devices(int first, int count) {
  std::string list;
  for (int i = first; i < first + count; ++i)
    list += (list.empty() ? "" : ",") + Device("S" + std::to_string(i));
  return list;
}

std::string PageOf(const ServiceDouble::Request& r) {
  std::string page;
  test::FieldOf(r.fields, "page", page);
  return page;
}

class DeviceList : public test::ServiceFixture {
 protected:
  std::string ListFields(int page) {
    return "devList uid:alice&mac:" + std::string(kMac) + "&token:" + kToken + "&" + ExpMod() +
           "&page:" + std::to_string(page) + "&size:10";
  }
  CameraList list_;
};

TEST_F(DeviceList, TwentyFiveDevicesComeOnThreePages) {
  Script([&](const ServiceDouble::Request& r) {
    int page = std::stoi(PageOf(r));
    return Ok(R"({"result":[)" + Devices((page - 1) * 10, page < 3 ? 10 : 5) + "]}");
  });
  ASSERT_TRUE(list_.Update(ctx_));
  EXPECT_EQ(Fields(), (Strings{ListFields(1), ListFields(2), ListFields(3)}));
  ASSERT_EQ(list_.count(), 25);
  EXPECT_EQ(list_.Get(24)->sid, "S24");
  EXPECT_EQ(list_.Get(24)->name, "Cam S24");
  EXPECT_EQ(list_.Get(0)->listed, 1);
  EXPECT_EQ(list_.Get(0)->onLan, 0);
}

TEST_F(DeviceList, NoDevicesOrExactlyTenEndOnTheFirstShortPage) {
  Script([&](const ServiceDouble::Request&) { return Ok("{}"); });
  ASSERT_TRUE(list_.Update(ctx_));
  EXPECT_EQ(Requests().size(), 1u);
  EXPECT_EQ(list_.count(), 0);

  Script([&](const ServiceDouble::Request& r) {
    return Ok(PageOf(r) == "1" ? R"({"result":[)" + Devices(0, 10) + "]}" : R"({"result":[]})");
  });
  ASSERT_TRUE(list_.Update(ctx_));
  EXPECT_EQ(Requests().size(), 3u);
  EXPECT_EQ(list_.count(), 10);
}

TEST_F(DeviceList, AMalformedDeviceIsSkippedButCountsForPaging) {
  Script([&](const ServiceDouble::Request& r) {
    if (PageOf(r) == "2") return Ok(R"({"result":[)" + Device("late") + "]}");
    return Ok(R"({"result":[)" + Devices(0, 9) + "," + Device("bad", R"(,"lock":1)") + "]}");
  });
  ASSERT_TRUE(list_.Update(ctx_));
  EXPECT_EQ(Requests().size(), 2u);
  EXPECT_EQ(list_.count(), 10);
  EXPECT_EQ(list_.IndexOf("bad"), -1);
  EXPECT_EQ(list_.IndexOf("late"), 9);
}

TEST_F(DeviceList, RefusalsAddNothing) {
  Script([&](const ServiceDouble::Request&) { return Status("nousr"); });
  EXPECT_FALSE(list_.Update(ctx_));
  Script([&](const ServiceDouble::Request&) { return Status("BUSY"); });
  EXPECT_FALSE(list_.Update(ctx_));
  Script([&](const ServiceDouble::Request&) { return Ok(R"({"result":"none"})"); });
  EXPECT_FALSE(list_.Update(ctx_));
  EXPECT_EQ(list_.count(), 0);
  EXPECT_EQ(notifier_.Events(), Strings{"box 提示: 该用户不存在"});
}

TEST_F(DeviceList, AFailureOnALaterPageKeepsTheEarlierEntries) {
  Script([&](const ServiceDouble::Request& r) {
    return PageOf(r) == "1" ? Ok(R"({"result":[)" + Devices(0, 10) + "]}") : NotJson();
  });
  EXPECT_FALSE(list_.Update(ctx_));
  EXPECT_EQ(list_.count(), 10);
}

TEST_F(DeviceList, AFullListDropsFurtherDevices) {
  Script([&](const ServiceDouble::Request& r) {
    int page = std::stoi(PageOf(r));
    return Ok(R"({"result":[)" + (page <= 52 ? Devices((page - 1) * 10, 10) : "") + "]}");
  });
  ASSERT_TRUE(list_.Update(ctx_));
  EXPECT_EQ(Requests().size(), 53u);
  EXPECT_EQ(list_.count(), CameraList::kCapacity);
  EXPECT_EQ(list_.Get(511)->sid, "S511");
  EXPECT_EQ(list_.IndexOf("S512"), -1);
}

// A hostile page of tiny values would cost jsoncpp fifty times its size: more
// values than kMaxJsonValues fail the listing before any is built, while
// commas and brackets inside texts do not count.
TEST_F(DeviceList, APageWithTooManyValuesFailsButPunctuationInTextsDoesNot) {
  std::string padding;
  for (std::size_t i = 0; i < kMaxJsonValues; ++i) padding += "[],";
  Script([&](const ServiceDouble::Request&) {
    return Ok(R"({"pad":[)" + padding + R"(0],"result":[)" + Devices(0, 3) + "]}");
  });
  EXPECT_FALSE(list_.Update(ctx_));
  EXPECT_EQ(list_.count(), 0);

  const std::string name(3 * kMaxJsonValues, ',');
  Script([&](const ServiceDouble::Request&) {
    return Ok(R"({"result":[)" + Device("A", R"(,"note":"[{)" + name + "\"") + "]}");
  });
  ASSERT_TRUE(list_.Update(ctx_));
  EXPECT_EQ(list_.IndexOf("A"), 0);
}

TEST_F(DeviceList, RefreshFollowsNameAndStatusAddsNewAndMarksTheGone) {
  Script([&](const ServiceDouble::Request&) {
    return Ok(R"({"result":[)" + Device("A") + "," + Device("B") + "," + Device("A") + "]}");
  });
  ASSERT_TRUE(list_.Update(ctx_));
  ASSERT_EQ(list_.count(), 3) << "a device listed twice gets two entries";

  Script([&](const ServiceDouble::Request&) {
    return Ok(R"({"result":[{"sid":"A","name":"Renamed","status":0,"ledStatus":"0"},)" +
              Device("C") + "]}");
  });
  ASSERT_TRUE(list_.Refresh(ctx_));
  EXPECT_EQ(list_.count(), 4);
  CameraInfo a = *list_.Get(0);
  EXPECT_EQ(a.name, "Renamed");
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.ledStatus, 1) << "a switch changed elsewhere waits for the next start";
  EXPECT_EQ(a.listed, 1);
  EXPECT_EQ(list_.Get(1)->listed, 0) << "B left the account";
  EXPECT_EQ(list_.Get(2)->listed, 0) << "only the first entry of A is matched";
  EXPECT_EQ(list_.Get(2)->name, "Cam A");
  EXPECT_EQ(list_.Get(3)->sid, "C");
  EXPECT_EQ(list_.Get(3)->listed, 1);
}

TEST_F(DeviceList, ARenameDuringARefreshIsNotUndoneByItsOlderListing) {
  Script([&](const ServiceDouble::Request&) { return Ok(R"({"result":[)" + Device("A") + "]}"); });
  ASSERT_TRUE(list_.Update(ctx_));
  // The listing left the service before the rename was accepted.
  Script([&](const ServiceDouble::Request&) {
    list_.Rename(0, "Porch");
    return Ok(R"({"result":[)" + Device("A") + "]}");
  });
  ASSERT_TRUE(list_.Refresh(ctx_));
  EXPECT_EQ(list_.Get(0)->name, "Porch");
  EXPECT_EQ(list_.Get(0)->listed, 1);
  Script([&](const ServiceDouble::Request&) { return Ok(R"({"result":[)" + Device("A") + "]}"); });
  ASSERT_TRUE(list_.Refresh(ctx_)) << "the next listing is newer than the rename";
  EXPECT_EQ(list_.Get(0)->name, "Cam A");
}

class DeviceSettings : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    Script([&](const ServiceDouble::Request&) {
      return Ok(R"({"result":[{"sid":"S1","name":"Door","ledStatus":"1","soundLeadStatus":"0",
                 "alarmStatus":"0","alarmStartTime":"3","alarmEndTime":"4","status":1}]})");
    });
    ASSERT_TRUE(list_.Update(ctx_));
    first_ = Requests().size();
  }
  Strings Sent() {
    Strings all = Fields();
    return Strings(all.begin() + static_cast<long>(first_), all.end());
  }
  std::string Head(const char* op) {
    return std::string(op) + " uid:alice&sid:S1&mac:" + kMac + "&token:" + kToken;
  }
  CameraInfo Info() { return *list_.Get(0); }
  void Reply(HttpReply reply) {
    Script([reply](const ServiceDouble::Request&) { return reply; });
  }
  CameraList list_;
  std::size_t first_ = 0;
};

TEST_F(DeviceSettings, LedAsksForTheOppositeAndTogglesOnOk) {
  Reply(Status("ok"));
  EXPECT_EQ(SetLed(ctx_, list_, 0), 1);
  EXPECT_EQ(Info().ledStatus, 0);
  EXPECT_EQ(SetLed(ctx_, list_, 0), 1);
  EXPECT_EQ(Info().ledStatus, 1);
  std::string umac = std::string("&umac:alice,") + kMac;
  EXPECT_EQ(Sent(), (Strings{Head("setLed") + umac + "&status:off", Head("setLed") + umac + "&status:on"}));
  EXPECT_EQ(notifier_.Shown(), (Strings{"box 提示: 关闭LED成功", "box 提示: 开启LED成功"}));
}

TEST_F(DeviceSettings, SwitchFailuresNameTheStateThatWasToChange) {
  Reply(Status("FAILED"));
  EXPECT_EQ(SetLed(ctx_, list_, 0), 0);
  EXPECT_EQ(SetVoice(ctx_, list_, 0), 0);
  Reply(NotJson());
  EXPECT_EQ(SetVoice(ctx_, list_, 0), 0);
  EXPECT_EQ(Info().ledStatus, 1);
  EXPECT_EQ(Info().soundLeadStatus, 0);
  EXPECT_EQ(notifier_.Shown(),
            (Strings{"box 提示: 关闭LED失败", "box 提示: 开启语音播报失败", "box 提示: 开启语音播报失败"}));

  g_.m_ServerMod.clear();  // the request cannot be sealed
  EXPECT_EQ(SetVoice(ctx_, list_, 0), 0);  // silent
  EXPECT_EQ(SetLed(ctx_, list_, 0), 0);    // tells
  EXPECT_EQ(SetLed(ctx_, list_, -1), 0);   // no selected device: silent
  EXPECT_EQ(notifier_.Shown().back(), "box 提示: 关闭LED失败");
  EXPECT_EQ(notifier_.Shown().size(), 4u);
}

TEST_F(DeviceSettings, VoiceTogglesItsOwnField) {
  Reply(Status("OK"));
  EXPECT_EQ(SetVoice(ctx_, list_, 0), 1);
  EXPECT_EQ(Info().soundLeadStatus, 1);
  EXPECT_EQ(Sent(), Strings{Head("setVoice") + "&umac:alice," + kMac + "&status:on"});
  EXPECT_EQ(notifier_.Shown(), Strings{"box 提示: 开启语音播报成功"});
}

TEST_F(DeviceSettings, AlarmSwitchSendsTheMacAloneAsUmac) {
  Reply(Status("OK"));
  EXPECT_EQ(SetAlarm(ctx_, list_, 0, true), 1);
  EXPECT_EQ(Info().alarmStatus, 1);
  Reply(NotJson());
  EXPECT_EQ(SetAlarm(ctx_, list_, 0, false), 0);
  EXPECT_EQ(Info().alarmStatus, 1);
  EXPECT_EQ(Sent(), (Strings{Head("setAlarm") + "&status:on&umac:" + kMac,
                             Head("setAlarm") + "&status:off&umac:" + kMac}));
  EXPECT_EQ(notifier_.Shown(), (Strings{"box 提示: 开启成功", "box 提示: 关闭失败"}));
}

TEST_F(DeviceSettings, AlarmPeriodOfflineKeepsTheHoursAndOkSetsThem) {
  Reply(Status("OFFLINE"));
  EXPECT_EQ(SetAlarmTime(ctx_, list_, 0, 7, 7), 0);
  EXPECT_EQ(Info().alarmStartTime, 3);
  Reply(Status("OK"));
  EXPECT_EQ(SetAlarmTime(ctx_, list_, 0, 7, 7), 1);
  CameraInfo info = Info();
  EXPECT_EQ(info.alarmStatus, 1);
  EXPECT_EQ(info.alarmStartTime, 7);
  EXPECT_EQ(info.alarmEndTime, 7);
  EXPECT_EQ(SetAlarmTime(ctx_, list_, 0, 7, 24), 0);  // refused before sending
  std::string sent = Head("setAlarmTime") + "&umac:alice," + kMac + "&start:7&end:7";
  EXPECT_EQ(Sent(), (Strings{sent, sent}));
  EXPECT_EQ(notifier_.Shown(), (Strings{"box 提示: 设备离线", "box 提示: 设置成功", "box 提示: 设置失败"}));
}

TEST_F(DeviceSettings, RenameSendsEveryByteEncodedAndTakesTheName) {
  Reply(Status("NODEV"));
  EXPECT_EQ(RenameDevice(ctx_, list_, 0, "ab"), 0);
  Reply(Status("OK"));
  EXPECT_EQ(RenameDevice(ctx_, list_, 0, "后门"), 1);
  EXPECT_EQ(Info().name, "后门");
  std::string tail = std::string("&mac:") + kMac + "&token:" + kToken;
  EXPECT_EQ(Sent(), (Strings{"devName uid:alice&sid:S1&name:%61%62" + tail,
                             "devName uid:alice&sid:S1&name:%E5%90%8E%E9%97%A8" + tail}));
  EXPECT_EQ(notifier_.Shown(), Strings{"box 提示: 该设备不存在"});
}

TEST_F(DeviceSettings, RemovalSendsThePasswordHashAndLeavesTheConfiguration) {
  ASSERT_TRUE(CreateDefaultUserConfig(settings_, dir_.str() + "/config",
                                      [](StorageKind, std::string&) { return false; }));
  ASSERT_TRUE(EditUserConfig(settings_.configPath, [](MarkupDocument& doc) {
    IntoConfigElement(doc, "config4", "CameraList");
    for (const char* id : {"S0", "S1", "S2"}) {
      doc.AddChild("Camera");
      doc.IntoChild();
      doc.SetAttrib("GroupID", "0");
      doc.SetAttrib("Id", id);
      doc.SetAttrib("VideoStore", "0");
      doc.OutOfElem();
    }
    return true;
  }));
  auto cameras = [&] {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(settings_.configPath.c_str()));
    std::string ids;
    for (auto c : doc.child("config").child("config4").child("CameraList").children("Camera"))
      ids += std::string(c.attribute("Id").value()) + ";";
    return ids;
  };

  Reply(Status("ERRORPSD"));
  EXPECT_EQ(RemoveDevice(ctx_, list_, 0), 0);
  Reply(Status("NODEV"));
  EXPECT_EQ(RemoveDevice(ctx_, list_, 0), 0);
  Reply(Status("NO"));
  EXPECT_EQ(RemoveDevice(ctx_, list_, 0), 0);
  EXPECT_EQ(cameras(), "S0;S1;S2;");
  Reply(Status("OK"));
  EXPECT_EQ(RemoveDevice(ctx_, list_, 0), 1);
  EXPECT_EQ(cameras(), "S0;S2;");
  EXPECT_EQ(list_.count(), 1) << "the entry stays until a refresh finds it gone";
  EXPECT_EQ(Sent().back(), Head("deleteDev") + "&psd:" + test::raw::Md5Hex("secret1"));
  EXPECT_EQ(notifier_.Shown(), (Strings{"box 提示: 登陆密码错误，删除设备失败，请稍后重试",
                                        "box 提示: 设备不存在，删除设备失败，请稍后重试",
                                        "box 提示: 删除设备失败，请稍后重试"}));
}

class BoundUsers : public test::ServiceFixture {
 protected:
  static std::string User(const std::string& uid, int admin) {
    return R"({"uid":")" + uid + R"(","isAdmin":)" + std::to_string(admin) + "}";
  }
  static std::string Names(const std::vector<BoundUser>& users) {
    std::string names;
    for (const BoundUser& u : users) names += u.uid + (u.isAdmin ? "*" : "") + " ";
    return names;
  }
  std::string ListFields(int page) {
    return "bindUserList uid:alice&sid:S1&" + ExpMod() + "&mac:" + kMac + "&token:" + kToken +
           "&page:" + std::to_string(page);
  }
  std::vector<BoundUser> users_;
};

TEST_F(BoundUsers, TwelveUsersOnTwoPagesEachOnceAdministratorFirst) {
  Script([&](const ServiceDouble::Request& r) {
    std::string list;
    if (PageOf(r) == "1") {
      list = User("u1", 0) + "," + User("boss", 1);
      for (int i = 2; i <= 9; ++i) list += "," + User("u" + std::to_string(i), 0);
    } else {
      list = User("u9", 0) + "," + User("u10", 0) + "," + User("u11", 0);
    }
    return Ok(R"({"userList":[)" + list + "]}");
  });
  ASSERT_EQ(ListBoundUsers(ctx_, "S1", users_), 1);
  EXPECT_EQ(Fields(), (Strings{ListFields(1), ListFields(2)}));
  EXPECT_EQ(Names(users_), "boss* u1 u2 u3 u4 u5 u6 u7 u8 u9 u10 u11 ");
}

TEST_F(BoundUsers, AServiceThatIgnoresThePageEndsTheListing) {
  Script([&](const ServiceDouble::Request&) {
    std::string list = User("admin", 1);
    for (int i = 1; i <= 9; ++i) list += "," + User("u" + std::to_string(i), 0);
    return Ok(R"({"userList":[)" + list + "]}");
  });
  ASSERT_EQ(ListBoundUsers(ctx_, "S1", users_), 1);
  EXPECT_EQ(Requests().size(), 2u);
  EXPECT_EQ(users_.size(), 10u);
}

TEST_F(BoundUsers, ListingRefusalsLeaveTheListEmpty) {
  std::atomic<bool> closing{false};
  for (const char* status : {"NODEV", "NOUSR", "WHAT"}) {
    Script([&](const ServiceDouble::Request&) { return Status(status); });
    EXPECT_EQ(ListBoundUsers(ctx_, "S1", users_, &closing), 0);
    EXPECT_TRUE(users_.empty());
  }
  Script([&](const ServiceDouble::Request&) { return Ok(R"({"userList":{"uid":"x"}})"); });
  EXPECT_EQ(ListBoundUsers(ctx_, "S1", users_), 0);
  Script([&](const ServiceDouble::Request&) { return Ok(R"({"userList":[)" + User("a", 1) + "]}"); });
  closing = true;
  EXPECT_EQ(ListBoundUsers(ctx_, "S1", users_, &closing), 0);
  EXPECT_TRUE(users_.empty());
  EXPECT_EQ(notifier_.Events(), (Strings{"box 提示: 设备不存在，请重试", "box 提示: 用户不存在，请重试",
                                         "box 提示: 获取绑定用户列表失败，请重试",
                                         "box 提示: 获取绑定用户列表失败，请重试"}));
}

TEST_F(BoundUsers, BindingAnswersHaveTheirMessages) {
  for (const char* status : {"OK", "OUTMAX", "NOUSER", "repeat", "DENIED"}) {
    Script([&](const ServiceDouble::Request&) { return Status(status); });
    EXPECT_EQ(AddBoundUser(ctx_, "S1", "bob_b"), std::string(status) == "OK" ? 1 : 0) << status;
  }
  Script([&](const ServiceDouble::Request&) { return NotJson(); });
  EXPECT_EQ(AddBoundUser(ctx_, "S1", "bob_b"), 0);
  EXPECT_EQ(Fields().back(),
            "addUser uid:alice&sid:S1&" + ExpMod() + "&mac:" + kMac + "&token:" + kToken + "&name:bob_b");
  server_.reset();
  EXPECT_EQ(AddBoundUser(ctx_, "S1", "bob_b"), 0);
  EXPECT_EQ(notifier_.Events(), (Strings{"box 提示: 设备绑定用户数量超过最大限制",
                                         "box 提示: 用户名未注册，请先注册", "box 提示: 用户名已绑定",
                                         "box 提示: 添加新用户失败，请重试",
                                         "box velmor视频客户端: 添加新用户失败，请重试",
                                         "box 提示: 添加用户失败，请重试"}));
}

TEST_F(BoundUsers, UnbindingSendsTheNameAndTellsFailures) {
  Script([&](const ServiceDouble::Request&) { return Status("OK"); });
  EXPECT_EQ(DeleteBoundUser(ctx_, "S1", "bob_b"), 1);
  Script([&](const ServiceDouble::Request&) { return NotJson(); });
  EXPECT_EQ(DeleteBoundUser(ctx_, "S1", "bob_b"), 0);
  EXPECT_EQ(DeleteBoundUser(ctx_, "S1", "bob&uid:mallory"), 0);  // never sent
  EXPECT_EQ(Fields(), (Strings(2, std::string("deleteBindUser uid:alice&sid:S1&mac:") + kMac +
                                      "&token:" + kToken + "&name:bob_b")));
  EXPECT_EQ(notifier_.Events(), Strings{"box 提示: 删除用户失败，请重试"});
}

}  // namespace
}  // namespace lumivex
