#include "sim/camera_fixture.h"

#include "support/wait_for.h"

namespace lumivex::sim::test {

void CameraFixture::Start(const std::string& devices) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario("{\"devices\": [" + devices + "]}", s, error)) << error;
  world_ = std::make_unique<CameraWorld>(s, [] {
    return std::vector<SessionKey>{{"zzzz", ""}, {kKey, kUmac}};
  });
  ASSERT_TRUE(world_->Start("127.0.0.1", CameraOutputs{logPath(), controlLogPath(), talkDir()}, error)) << error;
}

Json::Value CameraFixture::Handshake(RawTcp& tcp, uint16_t port, const std::string& sid, const std::string& linkType,
                                     std::vector<std::string>* early) {
  EXPECT_TRUE(tcp.Connect(port));
  EXPECT_TRUE(tcp.Send(RawSeal(0x32, ConnectText(sid, kUmac, linkType, "v2.0"), kKey, "3e1f", 8)));
  std::string p;
  while (tcp.ReadPacket(p)) {
    if (p[0] == 0x32) return RawOpen(p, kKey, 8);
    if (early) early->push_back(p);
  }
  return Json::Value();
}

void CameraFixture::Startup(RawTcp& tcp) { ASSERT_TRUE(SendMessage(tcp, "{\"type\":\"startup\"}")); }

bool CameraFixture::SendMessage(RawTcp& tcp, const std::string& json) {
  return tcp.Send(RawSeal(0x32, json + "\n", kKey, "0a1b", 8));
}

std::vector<std::string> CameraFixture::Lines(const std::string& path, std::size_t n) {
  std::vector<std::string> lines;
  lumivex::test::WaitFor([&] {
    lines.clear();
    const std::string text = lumivex::test::ReadFileBytes(path);
    // whole lines only: the writer may be half-way through the last one
    for (std::size_t at = 0, eol; (eol = text.find('\n', at)) != std::string::npos; at = eol + 1)
      lines.push_back(text.substr(at, eol + 1 - at));
    return lines.size() >= n;
  });
  return lines;
}

}  // namespace lumivex::sim::test
