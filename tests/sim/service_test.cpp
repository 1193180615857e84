// The service through its request layers, driven by a hand-made client:
// handshake, sign-in, paging, state changes, status knobs and refusals.

#include <gtest/gtest.h>

#include "sim/service.h"
#include "sim/test_client.h"
#include "webservice/crypto.h"

namespace lumivex::sim::test {
namespace {

constexpr const char* kBase = R"({
  "servers": {"defTranIP": "127.0.0.1", "defTranPortTcp": 7000},
  "update": {"resourceUrl": "http://127.0.0.1/setup", "updateStatus": 1},
  "accounts": [
    {"user": "demo", "password": "demo123", "devices": ["cam1", "cam2", "cam1"],
     "questions": [{"number": 3, "answer": "a&b:c 中"}, {"number": 7, "answer": "x"}]},
    {"user": "bob.lee", "password": "bob12345"},
    {"user": "late", "password": "late1234", "statuses": {"login": {"status": "DUE", "times": 1}}}
  ],
  "devices": [
    {"sid": "cam1", "name": "One", "admin": "demo", "boundUsers": ["usr1", "usr2"], "maxUsers": 4,
     "connection": {"status": 4, "penetrateIP": "127.0.0.1", "penetratePort": 7300, "tranIP": "127.0.0.2"},
     "videoDaylist": "20140520,08,09"},
    {"sid": "cam2", "name": "Two", "admin": "alice", "status": 0, "ledStatus": 1,
     "statuses": {"setVoice": "BUSY"}}
  ],
  "faults": {"devName": {"gzip": true, "delayMs": 250}}
})";

Scenario Parse(const std::string& text) {
  Scenario s;
  std::string error;
  EXPECT_TRUE(ParseScenario(text, s, error)) << error;
  return s;
}

class ServiceTest : public ::testing::Test {
 protected:
  explicit ServiceTest(const std::string& scenario = kBase)
      : service(Parse(scenario), ClientKeyPair::Generate()), client(service) {}

  void SignIn(const std::string& user = "demo", const std::string& password = "demo123") {
    ASSERT_TRUE(client.Handshake());
    ASSERT_TRUE(client.Login(user, password));
  }

  // uid, sid, mac, token in the order most device operations use
  std::string Head(const std::string& sid) const {
    return "uid:demo&sid:" + sid + "&mac:" + client.mac + "&token:" + client.token;
  }
  std::string Key() const { return "&exp:" + client.exp() + "&mod:" + client.mod(); }

  Service service;
  TestClient client;
};

TEST_F(ServiceTest, HandshakeGivesAKeyValueAndTheServicePublicKey) {
  ASSERT_TRUE(client.Handshake("1715000000"));
  EXPECT_EQ(client.keyValue.size(), 4u);
  std::size_t colon = client.serverPublicKey.find(':');
  EXPECT_EQ(client.serverPublicKey.substr(0, colon), "010001");
  EXPECT_EQ(client.serverPublicKey.size() - colon - 1, 256u);

  // a token over another tm is refused in the own-key form
  TestClient other(service);
  Reply bad = other.Send("security", other.OwnWrap("cl:pc&cv:2.0&pv:2.0&pk:QUJD&tm:1&token:" + OpenSslTokenOf("2.02.0pc2")), true);
  EXPECT_EQ(bad.status(), "ERROR");
  EXPECT_NE(bad.refused.find("token"), std::string::npos);
}

TEST_F(ServiceTest, LoginStatusesAndTheServerBean) {
  ASSERT_TRUE(client.Handshake());
  Reply r;
  EXPECT_FALSE(client.Login("demo", "wrong99", &r));
  EXPECT_EQ(r.status(), "ERRORPSD");
  EXPECT_FALSE(client.Login("nosuch", "demo123", &r));
  EXPECT_EQ(r.status(), "NOUSR");
  EXPECT_FALSE(client.Login("late", "late1234", &r));
  EXPECT_EQ(r.status(), "DUE");
  EXPECT_TRUE(client.Login("late", "late1234", &r));  // DUE was for one attempt
  ASSERT_TRUE(client.Login("demo", "demo123", &r));
  EXPECT_EQ(r.inner["serverBean"]["defTranIP"].asString(), "127.0.0.1");
  EXPECT_EQ(r.inner["serverBean"]["defTranPortTcp"].asString(), "7000");
  EXPECT_FALSE(r.inner["serverBean"].isMember("firstDetectionIP"));
  EXPECT_GE(client.token.size(), 32u);
}

TEST_F(ServiceTest, RefusesEnvelopeDeviations) {
  SignIn();
  const std::string fields = "uid:demo&mac:" + client.mac + "&token:" + client.token + Key() + "&page:1&size:10";
  EXPECT_EQ(client.Call("devList", fields).status(), "OK");

  Reply wrongTm = client.Send("devList", client.SharedWrap(client.EnvelopeText(fields, "1700000001")));
  EXPECT_EQ(wrongTm.status(), "ERROR");
  EXPECT_NE(wrongTm.refused.find("tm"), std::string::npos);

  std::string e = client.EnvelopeText(fields, client.tm);
  int tooMany = 16 - static_cast<int>(e.size() % 8);  // 9 to 16 padding spaces
  Reply padded = client.Send("devList", client.SharedWrap(e, tooMany));
  EXPECT_EQ(padded.status(), "ERROR");
  EXPECT_NE(padded.refused.find("padding"), std::string::npos);
  std::string cv = e;
  cv.replace(cv.find("&cv:2.0"), 7, "&cv:2.1");
  EXPECT_NE(client.Send("devList", client.SharedWrap(cv)).refused.find("cv"), std::string::npos);
  std::string broken = e;
  broken.insert(broken.find("&cl:") - 4, "\n");  // a line break inside biz
  EXPECT_EQ(client.Send("devList", client.SharedWrap(broken)).status(), "ERROR");

  std::string upper = client.SharedWrap(e);
  for (std::size_t i = 4; i < upper.size(); ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
  EXPECT_EQ(client.Send("devList", upper).http, 400);  // no session opens uppercase hex
}

TEST_F(ServiceTest, RefusesFieldDeviationsAndForeignTokens) {
  SignIn();
  auto list = [&](const std::string& tail) { return client.Call("devList", tail); };
  const std::string mac = "&mac:" + client.mac;
  EXPECT_EQ(list("uid:demo" + mac + "&token:" + client.token + Key() + "&page:1&size:10").status(), "OK");
  EXPECT_EQ(list("uid:demo" + mac + "&token:" + client.token + Key() + "&size:10&page:1").status(), "ERROR");
  EXPECT_EQ(list("uid:demo" + mac + "&token:forged" + Key() + "&page:1&size:10").status(), "ERROR");
  EXPECT_EQ(list("uid:bob.lee" + mac + "&token:" + client.token + Key() + "&page:1&size:10").status(), "ERROR");
  EXPECT_EQ(list("uid:demo&mac:02-00-5e-10-00-02&token:" + client.token + Key() + "&page:1&size:10").status(), "ERROR");
  EXPECT_EQ(list("uid:demo" + mac + "&token:" + client.token + Key() + "&page:0&size:10").status(), "ERROR");

  // umac: the MAC alone for setAlarm, uid "," MAC for the other switches
  EXPECT_EQ(client.Call("setAlarm", Head("cam1") + "&status:on&umac:" + client.mac).status(), "OK");
  EXPECT_EQ(client.Call("setAlarm", Head("cam1") + "&status:on&umac:demo," + client.mac).status(), "ERROR");
  EXPECT_EQ(client.Call("setLed", Head("cam1") + "&umac:" + client.mac + "&status:off").status(), "ERROR");
  EXPECT_EQ(client.Call("setLed", Head("cam1") + "&umac:demo," + client.mac + "&status:off").status(), "OK");
}

TEST_F(ServiceTest, DeviceSettingsChangeTheWorldAndAnswerTheirStatuses) {
  SignIn();
  const std::string umac = "&umac:demo," + client.mac;
  EXPECT_EQ(client.Call("setAlarmTime", Head("cam1") + umac + "&start:8&end:8").status(), "OK");
  EXPECT_EQ(client.Call("setAlarmTime", Head("cam2") + umac + "&start:1&end:2").status(), "OFFLINE");
  EXPECT_EQ(client.Call("setAlarmTime", Head("cam1") + umac + "&start:24&end:2").status(), "ERROR");
  EXPECT_EQ(client.Call("setLed", Head("cam2") + umac + "&status:off").status(), "OK");
  EXPECT_EQ(client.Call("setVoice", Head("cam2") + umac + "&status:off").status(), "BUSY");
  EXPECT_EQ(client.Call("setLed", Head("cam9") + umac + "&status:on").status(), "NODEV");
  EXPECT_EQ(client.Call("devName", Head("cam1") + "&name:%61%62").status(), "ERROR");  // name out of place
  EXPECT_EQ(client.Call("devName", "uid:demo&sid:cam1&name:%61%62%E4%B8%AD&mac:" + client.mac + "&token:" + client.token).status(), "OK");
  EXPECT_EQ(client.Call("devName", "uid:demo&sid:cam1&name:%e4%b8%ad&mac:" + client.mac + "&token:" + client.token).status(), "ERROR");

  Scenario world = service.World();
  const Device* cam1 = world.FindDevice("cam1");
  EXPECT_EQ(cam1->alarmStatus, 1);
  EXPECT_EQ(cam1->alarmStartTime, 8);
  EXPECT_EQ(cam1->name, "ab中");
  EXPECT_EQ(world.FindDevice("cam2")->ledStatus, 0);
  EXPECT_EQ(world.FindDevice("cam2")->soundLeadStatus, 1);

  EXPECT_EQ(client.Call("deleteDev", Head("cam2") + "&psd:" + OpenSslMd5Hex("nope")).status(), "ERRORPSD");
  EXPECT_EQ(client.Call("deleteDev", Head("cam2") + "&psd:" + OpenSslMd5Hex("demo123")).status(), "OK");
  EXPECT_EQ(client.Call("deleteDev", Head("cam2") + "&psd:" + OpenSslMd5Hex("demo123")).status(), "NODEV");
  EXPECT_EQ(service.World().FindAccount("demo")->devices, (std::vector<std::string>{"cam1", "cam1"}));
}

TEST_F(ServiceTest, SharingBindsUnbindsAndRefusesPerStatus) {
  SignIn();
  auto add = [&](const std::string& name) {
    return client.Call("addUser", "uid:demo&sid:cam1" + Key() + "&mac:" + client.mac + "&token:" + client.token +
                                      "&name:" + name).status();
  };
  EXPECT_EQ(add("usr1"), "REPEAT");
  EXPECT_EQ(add("nosuch"), "NOUSER");
  EXPECT_EQ(add("bob.lee"), "OK");
  EXPECT_EQ(service.World().FindAccount("bob.lee")->devices, std::vector<std::string>{"cam1"});
  EXPECT_EQ(add("late"), "OUTMAX");  // demo, usr1, usr2, bob.lee: the limit of 4
  EXPECT_EQ(client.Call("addUser", "uid:demo&sid:cam2" + Key() + "&mac:" + client.mac + "&token:" + client.token +
                                       "&name:bob.lee").status(), "NOTADMIN");
  EXPECT_EQ(client.Call("deleteBindUser", Head("cam1") + "&name:bob.lee").status(), "OK");
  EXPECT_TRUE(service.World().FindAccount("bob.lee")->devices.empty());
  EXPECT_EQ(client.Call("deleteBindUser", Head("cam1") + "&name:bob.lee").status(), "NOUSER");
  EXPECT_EQ(client.Call("deleteBindUser", Head("cam1") + "&name:demo").status(), "ERROR");
}

TEST_F(ServiceTest, CurrentAndPlayBackAnswerFromTheScenario) {
  SignIn();
  auto current = [&](const std::string& sid, const std::string& play, const std::string& date) {
    return client.Call("current", Head(sid) + Key() + "&net:4&inner:192.168.1.20&us:0&ts:1&play:" + play +
                                      "&date:" + date + "&umac:demo," + client.mac + "&ispub:");
  };
  Reply live = current("cam1", "0", "");
  ASSERT_EQ(live.status(), "OK");
  const Json::Value& bean = live.inner["serverBean"];
  EXPECT_TRUE(bean["status"].isInt());
  EXPECT_EQ(bean["status"].asInt(), 4);
  EXPECT_EQ(bean["penetratePort"].asString(), "7300");
  EXPECT_FALSE(bean.isMember("transVideoLong"));
  EXPECT_EQ(current("cam1", "1", "20140520-08").status(), "OK");
  EXPECT_EQ(current("cam1", "1", "").status(), "ERROR");
  EXPECT_EQ(current("cam1", "0", "2014052008").status(), "ERROR");
  EXPECT_EQ(current("cam2", "0", "").inner["serverBean"]["status"].asInt(), 1);  // offline

  auto playBack = [&](const std::string& sid) {
    return client.Call("playBack", "uid:demo&sid:" + sid + "&mac:" + client.mac + Key() + "&token:" + client.token);
  };
  Reply days = playBack("cam1");
  ASSERT_EQ(days.status(), "OK");
  EXPECT_EQ(days.inner["playBack"]["videoDaylist"].asString(), "20140520,08,09");
  EXPECT_EQ(playBack("cam2").status(), "OFFLINE");
}

TEST_F(ServiceTest, PasswordChangeAndRecoveryInThreeSteps) {
  SignIn();
  const std::string head = "uid:demo&mac:" + client.mac + "&token:" + client.token;
  EXPECT_EQ(client.Call("changePassword", head + "&old:" + OpenSslMd5Hex("bad") + "&psd:" + OpenSslMd5Hex("next123")).status(), "ERRORPSD");
  EXPECT_EQ(client.Call("changePassword", head + "&old:" + OpenSslMd5Hex("demo123") + "&psd:" + OpenSslMd5Hex("next123")).status(), "OK");

  TestClient other(service);
  ASSERT_TRUE(other.Handshake("1700000500"));
  const std::string token = OpenSslTokenOf("demo" + other.mac + "1700000500");
  const std::string key = "&exp:" + other.exp() + "&mod:" + other.mod();
  EXPECT_EQ(other.Call("initPassword", "uid:ghost&step:1" + key + "&token:" + OpenSslTokenOf("ghost" + other.mac + "1700000500") + "&mac:" + other.mac).status(), "NOUSER");
  Reply one = other.Call("initPassword", "uid:demo&step:1" + key + "&token:" + token + "&mac:" + other.mac);
  ASSERT_EQ(one.status(), "OK");
  EXPECT_EQ(one.inner["userBean"]["question"][0]["question"].asString(), "3");
  EXPECT_EQ(one.inner["userBean"]["question"][1]["question"].asString(), "7");
  std::string code = one.inner["userBean"]["code"].asString();

  auto answer = [&](const std::string& text) {
    return other.Call("initPassword", "uid:demo&step:2&question:3&answer:" + PercentEncodeAll(text) + key +
                                          "&token:" + token + "&mac:" + other.mac + "&code:" + code);
  };
  EXPECT_EQ(answer("wrong").status(), "ERRORANSWER");
  Reply two = answer("a&b:c 中");  // survives because every byte is encoded
  ASSERT_EQ(two.status(), "OK");
  std::string code2 = two.inner["userBean"]["code"].asString();
  EXPECT_EQ(other.Call("initPassword", "uid:demo&step:3&psd:" + OpenSslMd5Hex("again99") + "&token:" + token +
                                           "&mac:" + other.mac + "&code:" + code).status(), "ERROR");
  EXPECT_EQ(other.Call("initPassword", "uid:demo&step:3&psd:" + OpenSslMd5Hex("again99") + "&token:" + token +
                                           "&mac:" + other.mac + "&code:" + code2).status(), "OK");
  EXPECT_EQ(service.World().FindAccount("demo")->passwordMd5, OpenSslMd5Hex("again99"));
}

TEST_F(ServiceTest, OlderOperationsUseTheDesLayerOnly) {
  SignIn();
  Reply update = client.Send("checkVersion", client.OwnWrap("client:pc&version:2.0&token:" + OpenSslTokenOf("pc2.0")), true);
  EXPECT_EQ(update.status(), "UPDATE");
  EXPECT_TRUE(update.outer["version"]["updateStatus"].isInt());
  EXPECT_EQ(update.outer["version"]["updateStatus"].asInt(), 1);
  EXPECT_EQ(update.outer["version"]["resourceUrl"].asString(), "http://127.0.0.1/setup");
  EXPECT_EQ(client.Send("checkVersion", client.OwnWrap("client:pc&version:2.0&token:" + OpenSslTokenOf("pc2.1")), true).status(), "ERROR");

  std::string advice = "uid:demo&appAdvise:" + PercentEncodeAll("more cameras\r\n") + "&token:" + OpenSslTokenOf("demo");
  EXPECT_EQ(client.Send("saveAdvise", client.SharedWrap(advice)).status(), "OK");
  EXPECT_EQ(service.Feedback(), std::vector<std::string>{"more cameras\r\n"});
  EXPECT_EQ(client.Send("saveAdvise", client.SharedWrap("uid:demo&appAdvise:%4d&token:" + client.token)).status(), "ERROR");
}

TEST_F(ServiceTest, TransportFaultsAndUnknownPaths) {
  SignIn();
  HttpResponse slow = service.Handle("/velmor/devName.do?data=" + client.SharedWrap(client.EnvelopeText("x:1", client.tm)));
  EXPECT_TRUE(slow.gzip);
  EXPECT_EQ(slow.delayMs, 250);
  EXPECT_EQ(service.Handle("/velmor/nothing.do?data=00").status, 404);
  EXPECT_EQ(service.Handle("/other").contentType.rfind("text/html", 0), 0u);
  HttpRequest thumbnail{"/img/cam1.png", true, Service::kThumbnailUserAgent};
  EXPECT_EQ(service.Handle(thumbnail).contentType, "image/png");
  thumbnail.target = "/img/cam7.png";
  EXPECT_EQ(service.Handle(thumbnail).status, 404);
}

// 25 devices with cam07 listed twice, and 12 users bound to one of them.
std::string PagingScenario() {
  std::string devices, sids, users;
  for (int i = 1; i <= 25; ++i) {
    std::string sid = "cam" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    devices += std::string(i > 1 ? "," : "") + "{\"sid\": \"" + sid + "\", \"admin\": \"demo\"" +
               (i == 1 ? ", \"boundUsers\": [BOUND], \"adminPosition\": 1" : "") + "}";
    sids += std::string(i > 1 ? "," : "") + "\"" + sid + "\"" + (i == 7 ? ",\"cam07\"" : "");
  }
  for (int i = 1; i <= 11; ++i) users += std::string(i > 1 ? "," : "") + "\"user" + std::to_string(i) + "\"";
  devices.replace(devices.find("BOUND"), 5, users);
  return R"({"accounts": [{"user": "demo", "password": "demo123", "devices": [)" + sids + R"(]}], "devices": [)" +
         devices + "]}";
}

class PagingTest : public ServiceTest {
 protected:
  PagingTest() : ServiceTest(PagingScenario()) {}
};

TEST_F(PagingTest, DevListPagesOfTenWithTheRepeatKept) {
  SignIn();
  std::vector<std::string> seen;
  std::vector<int> sizes;
  for (int page = 1; page <= 4; ++page) {
    Reply r = client.Call("devList", "uid:demo&mac:" + client.mac + "&token:" + client.token + Key() +
                                         "&page:" + std::to_string(page) + "&size:10");
    ASSERT_EQ(r.status(), "OK");
    sizes.push_back(static_cast<int>(r.inner["result"].size()));
    for (const Json::Value& d : r.inner["result"]) {
      seen.push_back(d["sid"].asString());
      EXPECT_TRUE(d["status"].isInt() && d["init"].isInt());
      EXPECT_TRUE(d["ledStatus"].isString());
    }
  }
  EXPECT_EQ(sizes, (std::vector<int>{10, 10, 6, 0}));
  EXPECT_EQ(seen[6], "cam07");
  EXPECT_EQ(seen[7], "cam07");
  EXPECT_EQ(seen.back(), "cam25");
}

TEST_F(PagingTest, BindUserListHonoursThePageAndNeedsIt) {
  SignIn();
  auto page = [&](const std::string& tail) {
    return client.Call("bindUserList", "uid:demo&sid:cam01" + Key() + "&mac:" + client.mac + "&token:" + client.token + tail);
  };
  Reply first = page("&page:1"), second = page("&page:2");
  ASSERT_EQ(first.status(), "OK");
  ASSERT_EQ(first.inner["userList"].size(), 10u);
  ASSERT_EQ(second.inner["userList"].size(), 2u);
  EXPECT_EQ(first.inner["userList"][1]["uid"].asString(), "demo");  // adminPosition 1
  EXPECT_EQ(first.inner["userList"][1]["isAdmin"].asInt(), 1);
  EXPECT_EQ(first.inner["userList"][0]["isAdmin"].asInt(), 0);
  EXPECT_EQ(second.inner["userList"][1]["uid"].asString(), "user11");
  EXPECT_EQ(page("").status(), "ERROR");
}

}  // namespace
}  // namespace lumivex::sim::test
