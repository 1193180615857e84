// "current.do" against the scripted service: the request, and every row of
// the status table.

#include <gtest/gtest.h>

#include "device/negotiation.h"
#include "webservice/service_fixture.h"

namespace lumivex {
namespace {

using test::HttpReply;
using test::ServiceDouble;

class Negotiation : public test::ServiceFixture {
 protected:
  void SetUp() override {
    ServiceFixture::SetUp();
    g_.m_LocalIp = "192.168.1.20";
    settings_.umac = "alice,00:1a:2b:3c:4d:5e";
  }
  void Answer(const std::string& bean) {
    Script([this, bean](const ServiceDouble::Request&) { return Ok("{\"serverBean\":" + bean + "}"); });
  }

  DeviceConnection conn_;
};

TEST_F(Negotiation, LiveViewSendsPlay0AndAnEmptyDate) {
  Answer(R"({"status":5,"tranIP":"10.1.1.1","tranPortTcp":"7000","transVideoLong":"30"})");
  ASSERT_TRUE(RequestStart(ctx_, "cam-01", conn_));
  ASSERT_EQ(Requests().size(), 1u);
  EXPECT_EQ(Requests()[0].operation, "current");
  EXPECT_EQ(Requests()[0].fields, "uid:alice&sid:cam-01&mac:00:1a:2b:3c:4d:5e&token:tok-7f3e&" + ExpMod() +
                                      "&net:4&inner:192.168.1.20&us:0&ts:1&play:0&date:&"
                                      "umac:alice,00:1a:2b:3c:4d:5e&ispub:");
  EXPECT_EQ(conn_.sid, "cam-01");
}

TEST_F(Negotiation, PlaybackSendsPlay1AndTheHour) {
  Answer(R"({"status":5,"tranIP":"10.1.1.1","tranPortTcp":"7000"})");
  ASSERT_TRUE(RequestStart(ctx_, "cam-01", conn_, true, "20140520-08"));
  EXPECT_NE(Requests()[0].fields.find("&play:1&date:20140520-08&"), std::string::npos);
}

TEST_F(Negotiation, Lan) {
  Answer(R"({"status":2,"devInner":"192.168.1.30","devPortTcp":"8000","tranIP":"10.1.1.1",
             "tranPortTcp":"7000","transVideoLong":"-1"})");
  ASSERT_TRUE(RequestStart(ctx_, "cam-01", conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_LAN);
  EXPECT_EQ(conn_.m_Ip, "192.168.1.30");
  EXPECT_EQ(conn_.m_DstPort, 8000);
  EXPECT_EQ(conn_.m_TranIp, "10.1.1.1");
  EXPECT_EQ(conn_.m_DstTranPort, 7000);
  EXPECT_EQ(conn_.transVideoLong, -1);
}

TEST_F(Negotiation, PortMappingTakesTheOuterAddress) {
  Answer(R"({"status":3,"devInner":"192.168.1.30","devOuter":"203.0.113.9","devPortTcp":"8000",
             "tranIP":"10.1.1.1","tranPortTcp":"7000"})");
  ASSERT_TRUE(RequestStart(ctx_, "cam-01", conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_PORT_MAPPING);
  EXPECT_EQ(conn_.m_Ip, "203.0.113.9");
  EXPECT_EQ(conn_.m_DstPort, 8000);
}

TEST_F(Negotiation, APortOutsideOneTo65535IsRefusedNotCut) {
  for (const char* port : {"73536", "-5", "0", "4294967297", ""}) {
    Answer(std::string(R"({"status":2,"devInner":"192.168.1.30","devPortTcp":")") + port +
           R"(","tranIP":"10.1.1.1","tranPortTcp":"7000"})");
    DeviceConnection conn;
    EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn)) << port;
    EXPECT_EQ(conn.m_DeviceNATType, -1) << port;
  }
  Answer(R"({"status":5,"tranIP":"10.1.1.1","tranPortTcp":"65536"})");
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_));
}

TEST_F(Negotiation, NatTraversalKeepsTheTraversalServerWithTheSessionAndLeavesTheAddress) {
  conn_.m_Ip = "1.2.3.4";
  conn_.m_DstPort = 99;
  Answer(R"({"status":4,"penetrateIP":"198.51.100.7","penetratePort":"9100","tranIP":"10.1.1.1",
             "tranPortTcp":"7000"})");
  ASSERT_TRUE(RequestStart(ctx_, "cam-01", conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_NAT_TRAVERSAL);
  EXPECT_EQ(conn_.travSrvIp, "198.51.100.7");
  EXPECT_EQ(conn_.travSrvPort, 9100);
  EXPECT_EQ(ctx_.g.m_TravSrvIp, "198.51.100.7") << "the process-wide copy is written too";
  EXPECT_EQ(ctx_.g.m_TravSrvPort, 9100);
  EXPECT_EQ(conn_.m_Ip, "1.2.3.4");
  EXPECT_EQ(conn_.m_DstPort, 99);
  EXPECT_EQ(conn_.m_TranIp, "10.1.1.1");
  EXPECT_EQ(conn_.transVideoLong, 0) << "missing: 0";
}

TEST_F(Negotiation, RelayGoesToMIpAndAMissingLimitIsZero) {
  Answer(R"({"status":5,"tranIP":"10.1.1.1","tranPortTcp":"7000"})");
  ASSERT_TRUE(RequestStart(ctx_, "cam-01", conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_TRAN_SRV);
  EXPECT_EQ(conn_.m_Ip, "10.1.1.1");
  EXPECT_EQ(conn_.m_DstPort, 7000);
  EXPECT_EQ(conn_.transVideoLong, 0);
}

TEST_F(Negotiation, OfflineStoresType1AndFailsWithoutAMessage) {
  Answer(R"({"status":1,"transVideoLong":"12"})");
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, DEVICE_OFFLINE);
  EXPECT_EQ(conn_.transVideoLong, 12) << "stored whatever the status";
  EXPECT_TRUE(notifier_.Shown().empty());
}

TEST_F(Negotiation, AnUnknownStatusFailsAndLeavesTheTypeAlone) {
  Answer(R"({"status":6,"tranIP":"10.1.1.1","tranPortTcp":"7000"})");
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, -1);
  Answer(R"({"status":"2","devInner":"192.168.1.30","devPortTcp":"8000"})");
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_)) << "status is a JSON number";
  EXPECT_EQ(conn_.m_DeviceNATType, -1);
}

TEST_F(Negotiation, AnAddressLongerThan16CharactersFails) {
  Answer(R"({"status":2,"devInner":"192.168.100.20000","devPortTcp":"8000","tranIP":"10.1.1.1",
             "tranPortTcp":"7000"})");
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_));
  EXPECT_EQ(conn_.m_DeviceNATType, -1);
  EXPECT_TRUE(conn_.m_Ip.empty());
  Answer(R"({"status":5,"tranIP":"1234567890123456","tranPortTcp":"7000"})");
  EXPECT_TRUE(RequestStart(ctx_, "cam-01", conn_)) << "16 fit";
}

TEST_F(Negotiation, FailsOnEveryBrokenReply) {
  Script([this](const ServiceDouble::Request&) { return Status("ERROR"); });
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_));
  Script([](const ServiceDouble::Request&) { return NotJson(); });
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_));
  Script([this](const ServiceDouble::Request&) { return Ok("{\"nothing\":1}"); });
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_));
  Answer(R"({"status":5,"tranIP":"10.1.1.1","tranPortTcp":7000})");
  EXPECT_FALSE(RequestStart(ctx_, "cam-01", conn_)) << "a port as a JSON number";
  EXPECT_EQ(conn_.m_DeviceNATType, -1);
  EXPECT_TRUE(notifier_.Shown().empty());
}

}  // namespace
}  // namespace lumivex
