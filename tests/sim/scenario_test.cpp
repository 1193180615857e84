// The scenario reader: the demo file holds what the demo needs, and a
// malformed file is refused with an error that names the place.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "sim/scenario.h"
#include "sim/test_client.h"

namespace lumivex::sim {
namespace {

std::string DemoPath() {
  return (std::filesystem::path(__FILE__).parent_path() / "../../sim/scenarios/demo.json").lexically_normal().string();
}

std::string Refusal(const std::string& text) {
  Scenario s;
  std::string error;
  EXPECT_FALSE(ParseScenario(text, s, error)) << text;
  return error;
}

TEST(Scenario, DemoCoversEveryConnectionTypeAndModel) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(LoadScenario(DemoPath(), s, error)) << error;
  const Account* demo = s.FindAccount("demo");
  ASSERT_NE(demo, nullptr);
  EXPECT_EQ(demo->passwordMd5, test::OpenSslMd5Hex("demo123"));
  EXPECT_GE(demo->devices.size(), 8u);

  std::set<int> types;
  bool panTilt = false, q2 = false, offline = false, locked = false, shared = false;
  for (const std::string& sid : demo->devices) {
    const Device* d = s.FindDevice(sid);
    ASSERT_NE(d, nullptr);
    types.insert(d->connection.status.value_or(d->status == 1 ? 2 : 1));
    panTilt |= d->type.starts_with("y");
    q2 |= d->type.starts_with("q2");
    offline |= d->status != 1;
    locked |= d->lock == 1 && d->lockPsd == test::OpenSslTokenOf("1235789");
    shared |= d->admin != "demo" && !d->admin.empty();
    EXPECT_TRUE(d->img.starts_with("/img/")) << sid;
  }
  EXPECT_EQ(types, (std::set<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(panTilt && q2 && offline && locked && shared);
  const Account* rita = s.FindAccount("rita");
  ASSERT_NE(rita, nullptr);
  EXPECT_EQ(rita->questions.size(), 2u);
}

TEST(Scenario, RefusesMalformedFilesWithTheirPlace) {
  EXPECT_NE(Refusal("{\"accounts\": [").find("not valid JSON"), std::string::npos);
  EXPECT_EQ(Refusal(R"({"acounts": []})"), "acounts: unknown key");  // typo
  EXPECT_EQ(Refusal(R"({"devices": [{"sid": "a", "status": "1"}]})"), "devices[0].status: expected an integer");
  EXPECT_EQ(Refusal(R"({"accounts": [{"user": "demo"}]})"), "accounts[0].password: missing");
  EXPECT_NE(Refusal(R"({"devices": [{"sid": "a"}, {"sid": "a"}]})").find("appears twice"), std::string::npos);
  EXPECT_NE(Refusal(R"({"accounts": [{"user": "u1", "password": "p", "devices": ["x"]}]})").find("no device"),
            std::string::npos);
  EXPECT_EQ(Refusal(R"({"devices": [{"sid": "a", "lan": {"ip": "127.0.0.1", "mac": "0011"}}]})"),
            "devices[0].lan.mac: expected 12 hexadecimal characters");
  EXPECT_EQ(Refusal(R"({"faults": {"lgin": {"http404": true}}})"), "faults.lgin: not an operation name");
  EXPECT_EQ(Refusal(R"({"faults": {"login": {"delayMs": -5}}})"), "faults.login.delayMs: expected 0 to 60000");
  EXPECT_NE(Refusal(R"({"devices": [{"sid": "a", "statuses": {"setLed": {"times": 1}}}]})").find("status: missing"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"devices": [{"sid": "a", "lockPattern": "1205"}]})").find("lockPattern"), std::string::npos);
  EXPECT_NE(Refusal(R"({"devices": [{"sid": "a", "connection": {"status": 2, "devIner": "x"}}]})").find("devIner"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"thumbnails": 1, "thumbnails": 2})").find("not valid JSON"), std::string::npos);
  Scenario s;
  std::string error;
  EXPECT_FALSE(LoadScenario("/nonexistent/scenario.json", s, error));
  EXPECT_NE(error.find("cannot be read"), std::string::npos);
}

TEST(Scenario, DefaultsAndNotes) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(R"({"_note": "x", "devices": [{"sid": "cam1", "_why": "y",
      "connection": {"status": 5, "tranPortTcp": 7000, "tranIP": "127.0.0.1"}}]})", s, error)) << error;
  const Device& d = s.devices[0];
  EXPECT_EQ(d.name, "cam1");
  EXPECT_EQ(d.img, "/img/cam1.png");
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.connection.members.at("tranPortTcp"), "7000");
  EXPECT_FALSE(d.lan.has_value());
}

}  // namespace
}  // namespace lumivex::sim
