// What a camera takes from the client on a live stream, as its control
// log records it, and what it refuses: driven over loopback TCP by the raw
// client, and the rules one by one on the checker itself.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "sim/camera_fixture.h"
#include "sim/control_check.h"
#include "sim/stream_clock.h"

namespace lumivex::sim {
namespace {

using test::kUmac;
using test::RawTcp;

class SimControlLog : public test::CameraFixture {
 protected:
  static std::string Control(const std::string& cmd, const std::string& more = "") {
    return R"({"cmd":")" + cmd + "\"," + more + R"("type":"control","umac":")" + kUmac + "\"}";
  }
  static std::string KeepAlive(const std::string& cmd, const std::string& number) {
    return Control(cmd, R"("control_number":")" + number + "\",");
  }
};

struct Line {
  int32_t ms = -1;
  std::string sid, text;
};

Line Parse(const std::string& line) {
  Line l;
  std::istringstream in(line);
  in >> l.ms >> l.sid;
  std::getline(in >> std::ws, l.text);
  return l;
}

TEST_F(SimControlLog, RecordsWhatTheCameraTookInOrderAndRefusesTheRest) {
  Start(R"({"sid": "cam01", "camera": {"width": 160, "height": 90}})");
  const int32_t before = StreamClockMs();
  {
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort("cam01"), "cam01").isObject());
    Startup(tcp);
    testing::internal::CaptureStderr();
    for (const std::string& m : std::vector<std::string>{
             KeepAlive("running", "0"), KeepAlive("running", "1"), KeepAlive("running", "2"),
             KeepAlive("running", "2"),  // refused: the number must grow
             KeepAlive("pause", "3"),
             Control("resetBitRate", R"("bitRate":"480000",)"),
             Control("resetBitRate", R"("bitRate":"123",)"),  // refused
             Control("turnUp"),
             // refused, one rule each
             Control("running"),                                        // no control_number over TCP
             KeepAlive("running", "07"),                                // not as %d writes it
             KeepAlive("running", "-4"),
             Control("turnLeft", R"("speed":"2",)"),                    // a member too many
             Control("zoomIn"),                                         // unknown command
             R"({"cmd":"turnDown","type":"control","umac":"eve,02-00-5e-10-00-09"})",
             R"({"cmd":"turnDown","type":"status","umac":")" + std::string(kUmac) + "\"}",
             R"({"bitRate":480000,"cmd":"resetBitRate","type":"control","umac":")" + std::string(kUmac) + "\"}",
             KeepAlive("running", "10"),  // the last line before the hang-up
         })
      ASSERT_TRUE(SendMessage(tcp, m)) << m;
    const std::vector<std::string> lines = ControlLines(9);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_NE(lines.back().find(R"("control_number":"10")"), std::string::npos) << lines.back();
    const std::string refusals = testing::internal::GetCapturedStderr();
    std::size_t count = 0;
    for (std::size_t at = 0; (at = refusals.find("lumivex-sim: refused camera cam01: ", at)) != std::string::npos; ++at)
      ++count;
    EXPECT_EQ(count, 10u) << refusals;
    for (const char* why : {"control_number\" 2 after 2", "\"bitRate\" \"123\"", "\"running\" without \"control_number\"",
                            "unexpected member \"speed\"", "unknown \"cmd\" \"zoomIn\"", "the session's is",
                            "\"type\" is not \"control\"", "\"bitRate\" is not a JSON string"})
      EXPECT_NE(refusals.find(why), std::string::npos) << why << "\n" << refusals;
  }  // hangs up
  const std::vector<std::string> lines = ControlLines(10);
  const int32_t after = StreamClockMs();
  const std::string umac = std::string(",\"umac\":\"") + kUmac + "\"}";
  const std::vector<std::string> expected = {
      R"({"type":"startup"})",
      "stream-start tcp",
      R"({"cmd":"running","control_number":"0","type":"control")" + umac,
      R"({"cmd":"running","control_number":"1","type":"control")" + umac,
      R"({"cmd":"running","control_number":"2","type":"control")" + umac,
      R"({"cmd":"pause","control_number":"3","type":"control")" + umac,
      R"({"bitRate":"480000","cmd":"resetBitRate","type":"control")" + umac,
      R"({"cmd":"turnUp","type":"control")" + umac,
      R"({"cmd":"running","control_number":"10","type":"control")" + umac,
      "stream-end client-gone",
  };
  ASSERT_EQ(lines.size(), expected.size());
  int32_t last = before;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].back(), '\n');
    const Line l = Parse(lines[i]);
    EXPECT_EQ(l.sid, "cam01");
    EXPECT_EQ(l.text, expected[i]) << i;
    EXPECT_GE(l.ms, last) << "in time order on the stream clock: " << lines[i];
    last = l.ms;
  }
  EXPECT_LE(last, after);
}

TEST_F(SimControlLog, EveryStreamStartsAndEndsWithItsReason) {
  Start(R"({"sid": "a", "camera": {"width": 160, "height": 90, "audio": "none"}},
           {"sid": "b", "camera": {"width": 160, "height": 90, "closeAfterSeconds": 1}})");
  {
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort("a"), "a").isObject());
    Startup(tcp);
    ASSERT_TRUE(SendMessage(tcp, Control("close")));
    EXPECT_TRUE(tcp.SeesEnd());
  }
  {
    RawTcp tcp;  // a second session of the same camera, through the relay
    ASSERT_TRUE(Handshake(tcp, world_->endpoints().relay, "a", "5").isObject());
    Startup(tcp);
  }
  {
    RawTcp tcp;
    ASSERT_TRUE(Handshake(tcp, CameraPort("b"), "b").isObject());
    Startup(tcp);
    EXPECT_TRUE(tcp.SeesEnd());
  }
  std::map<std::string, std::vector<std::string>> bySid;  // the relay's hang-up may come after b's start
  for (const std::string& line : ControlLines(10)) bySid[Parse(line).sid].push_back(Parse(line).text);
  const std::vector<std::string> a = {R"({"type":"startup"})",
                                      "stream-start tcp",
                                      Control("close"),
                                      "stream-end client-close",
                                      R"({"type":"startup"})",
                                      "stream-start tcp",
                                      "stream-end client-gone"};
  const std::vector<std::string> b = {R"({"type":"startup"})", "stream-start tcp", "stream-end camera-close"};
  EXPECT_EQ(bySid["a"], a);
  EXPECT_EQ(bySid["b"], b);
  EXPECT_EQ(bySid.size(), 2u);
}

TEST(SimControlCheck, StartupIsExactlyItsOneMember) {
  auto check = [](const char* text) {
    Json::Value v;
    std::istringstream(text) >> v;
    return CheckStartup(v);
  };
  EXPECT_EQ(check(R"({"type":"startup"})"), "");
  EXPECT_NE(check(R"({"type":"startup","umac":"a,b"})"), "");
  EXPECT_NE(check(R"({"type":"control","cmd":"running"})"), "");
  EXPECT_NE(check(R"({"type":1})"), "");
}

TEST(SimControlCheck, RulesOverTcpAndOverUdt) {
  const std::string u = "demo,02-00-5e-10-00-01";
  auto message = [&](std::string cmd, std::vector<std::pair<std::string, std::string>> more = {}) {
    Json::Value v(Json::objectValue);
    v["type"] = "control";
    v["cmd"] = cmd;
    v["umac"] = u;
    for (auto& [name, value] : more) v[name] = value;
    return v;
  };
  ControlCheck tcp(u, false);
  EXPECT_EQ(tcp.Check(message("running", {{"control_number", "5"}})), "") << "the first may start anywhere";
  EXPECT_NE(tcp.Check(message("pause", {{"control_number", "5"}})), "");
  EXPECT_EQ(tcp.Check(message("pause", {{"control_number", "9"}})), "") << "greater, not only one more";
  for (const char* bad : {"", "+10", "1e3", "0x10", "10 ", "2147483648", "99999999999"})
    EXPECT_NE(tcp.Check(message("running", {{"control_number", bad}})), "") << bad;
  EXPECT_EQ(tcp.Check(message("running", {{"control_number", "2147483647"}})), "");
  for (const char* turn : {"turnLeft", "turnRight", "turnUp", "turnDown", "close"}) {
    EXPECT_EQ(tcp.Check(message(turn)), "") << turn;
    EXPECT_NE(tcp.Check(message(turn, {{"control_number", "1"}})), "") << turn;
  }
  for (const char* rate : {"88000", "480000", "1200000"})
    EXPECT_EQ(tcp.Check(message("resetBitRate", {{"bitRate", rate}})), "") << rate;
  for (const char* rate : {"88001", "", "480000 "})
    EXPECT_NE(tcp.Check(message("resetBitRate", {{"bitRate", rate}})), "") << rate;
  EXPECT_NE(tcp.Check(message("resetBitRate")), "");
  Json::Value number = message("turnLeft");
  number["umac"] = 7;
  EXPECT_NE(tcp.Check(number), "");
  Json::Value noUmac = message("turnLeft");
  noUmac.removeMember("umac");
  EXPECT_NE(tcp.Check(noUmac), "");
  Json::Value noType = message("turnLeft");
  noType.removeMember("type");
  EXPECT_NE(tcp.Check(noType), "");

  ControlCheck udt(u, true);  // the keep-alive is type, cmd and umac only
  EXPECT_EQ(udt.Check(message("running")), "");
  EXPECT_EQ(udt.Check(message("running")), "");
  EXPECT_NE(udt.Check(message("running", {{"control_number", "0"}})), "");
  EXPECT_NE(udt.Check(message("running", {{"umac", "demo,02-00-5e-10-00-02"}})), "");
}

}  // namespace
}  // namespace lumivex::sim
