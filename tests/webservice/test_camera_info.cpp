// The device record as the listing and the LAN probe deliver it.

#include <gtest/gtest.h>
#include <json/json.h>

#include <cstring>
#include <string>

#include "webservice/camera_list.h"

namespace lumivex {
namespace {

Json::Value Parse(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
  return value;
}

constexpr char kFullDevice[] = R"({
  "sid":"CAM-0001","name":"前门 camera","showAlarm":"1","alarmStatus":"0",
  "alarmStartTime":"8","alarmEndTime":"20h","ledStatus":"1","soundLeadStatus":"0",
  "lock":"1","lockPsd":"7c4a8d09ca3762af61e59520943dc26494f8941b","type":"y1",
  "version":"3.1.4","img":"/img/cam-0001.png","init":1,"status":1,
  "showLED":"1","showSound":"2"})";

TEST(CameraInfo, EveryKeyOfADeviceObjectLandsInItsField) {
  CameraInfo info;
  ASSERT_TRUE(ParseCameraInfo(Parse(kFullDevice), info));
  EXPECT_EQ(info.sid, "CAM-0001");
  EXPECT_EQ(info.name, "前门 camera");
  EXPECT_EQ(info.showAlarm, 1);
  EXPECT_EQ(info.alarmStatus, 0);
  EXPECT_EQ(info.alarmStartTime, 8);
  EXPECT_EQ(info.alarmEndTime, 20);  // decimal-prefix rule
  EXPECT_EQ(info.ledStatus, 1);
  EXPECT_EQ(info.soundLeadStatus, 0);
  EXPECT_EQ(info.lock, 1);
  EXPECT_EQ(info.lockPsd, "7c4a8d09ca3762af61e59520943dc26494f8941b");
  EXPECT_EQ(info.type, "y1");
  EXPECT_TRUE(info.panTilt());
  EXPECT_FALSE(info.qSeries());
  EXPECT_EQ(info.version, "3.1.4");
  EXPECT_EQ(info.img, "/img/cam-0001.png");
  EXPECT_EQ(info.init, 1);
  EXPECT_EQ(info.status, 1);
  EXPECT_TRUE(info.online());
  EXPECT_EQ(info.showLED, 1);
  EXPECT_EQ(info.showSound, 2);
  EXPECT_EQ(info.onLan, 0);
  EXPECT_TRUE(info.lanIp.empty());
  EXPECT_TRUE(info.lanMac.empty());
  EXPECT_EQ(info.lanPort, 0);
}

TEST(CameraInfo, MissingKeysReadAsEmptyOrZero) {
  CameraInfo info;
  ASSERT_TRUE(ParseCameraInfo(Parse(R"({"sid":"S","type":"q2x","status":null})"), info));
  EXPECT_EQ(info.sid, "S");
  EXPECT_EQ(info.name, "");
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.init, 0);
  EXPECT_EQ(info.alarmStartTime, 0);
  EXPECT_TRUE(info.qSeries());
  EXPECT_TRUE(info.withoutAudio());
}

TEST(CameraInfo, TextsAreCutAtTheirFieldWidths) {
  std::string longSid(30, 'a'), longType(40, 't'), longImg(400, 'i');
  CameraInfo info;
  ASSERT_TRUE(ParseCameraInfo(Parse("{\"sid\":\"" + longSid + "\",\"type\":\"" + longType +
                                    "\",\"version\":\"" + longType + "\",\"img\":\"" + longImg +
                                    "\",\"lockPsd\":\"" + longImg + "\"}"),
                              info));
  EXPECT_EQ(info.sid, std::string(17, 'a'));
  EXPECT_EQ(info.type, std::string(15, 't'));
  EXPECT_EQ(info.version, std::string(15, 't'));
  EXPECT_EQ(info.img, std::string(259, 'i'));
  EXPECT_EQ(info.lockPsd, std::string(259, 'i'));
}

TEST(CameraInfo, NameIsCutAt259Utf16UnitsOnACharacterBoundary) {
  // 258 ASCII units, then a character outside the BMP (two units): it
  // would make 260, so it goes whole.
  std::string name = std::string(258, 'n') + "\xF0\x9F\x93\xB7" + "tail";
  CameraInfo info;
  ASSERT_TRUE(ParseCameraInfo(Parse("{\"sid\":\"S\",\"name\":\"" + name + "\"}"), info));
  EXPECT_EQ(info.name, std::string(258, 'n'));

  std::string chinese;
  for (int i = 0; i < 300; ++i) chinese += "门";
  ASSERT_TRUE(ParseCameraInfo(Parse("{\"sid\":\"S\",\"name\":\"" + chinese + "\"}"), info));
  EXPECT_EQ(info.name.size(), 259u * 3);
}

TEST(CameraInfo, MembersOfAnotherJsonTypeAreRefused) {
  CameraInfo info;
  for (const char* bad : {
           R"({"sid":123})",              // number where text is expected
           R"({"sid":"S","name":["x"]})",  // array
           R"({"sid":"S","img":{"a":1}})",  // object
           R"({"sid":"S","ledStatus":1})",  // flags arrive as text
           R"({"sid":"S","status":"1"})",   // status is a JSON number
           R"({"sid":"S","init":true})",
           R"({"sid":"S","status":1.5})",
           R"({"sid":"S","status":99999999999})",
       })
    EXPECT_FALSE(ParseCameraInfo(Parse(bad), info)) << bad;
  EXPECT_FALSE(ParseCameraInfo(Parse(R"(["not an object"])"), info));
  EXPECT_FALSE(ParseCameraInfo(Parse(R"("text")"), info));
}

// A probe answer laid out by hand: 1 byte, id, ip, MAC, 5 bytes, port.
std::string Answer(const std::string& id, const std::string& ip, const std::string& mac,
                   uint8_t portLow, uint8_t portHigh) {
  std::string d(52, '\0');
  d[0] = 0x0F;
  std::memcpy(&d[1], id.data(), id.size());
  std::memcpy(&d[17], ip.data(), ip.size());
  std::memcpy(&d[33], mac.data(), mac.size());
  std::memcpy(&d[45], "xxxxx", 5);
  d[50] = static_cast<char>(portLow);
  d[51] = static_cast<char>(portHigh);
  return d;
}

TEST(LanAnswer, FieldsComeFromTheirOffsets) {
  LanDevice device;
  ASSERT_TRUE(ParseLanAnswer(Answer("CAM-0001", "192.168.1.23", "0011AAbbCCdd", 0x34, 0x12), device));
  EXPECT_EQ(device.id, "CAM-0001");
  EXPECT_EQ(device.ip, "192.168.1.23");
  EXPECT_EQ(device.mac, "00:11:AA:bb:CC:dd");
  const unsigned char raw[2] = {0x34, 0x12};
  int16_t expected;
  std::memcpy(&expected, raw, 2);  // stored as received
  EXPECT_EQ(device.port, expected);
}

TEST(LanAnswer, SixteenCharacterFieldsNeedNoTerminator) {
  LanDevice device;
  std::string answer = Answer("ABCDEFGHIJKLMNOP", "255.255.255.255X", "001122334455", 0, 0);
  answer += "trailing bytes are not read";
  ASSERT_TRUE(ParseLanAnswer(answer, device));
  EXPECT_EQ(device.id, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(device.ip, "255.255.255.255X");
}

TEST(LanAnswer, ShortOrMalformedAnswersAreRefused) {
  LanDevice device;
  std::string good = Answer("CAM", "10.0.0.2", "001122334455", 1, 0);
  EXPECT_FALSE(ParseLanAnswer(good.substr(0, 51), device));
  EXPECT_FALSE(ParseLanAnswer("", device));
  EXPECT_FALSE(ParseLanAnswer(Answer("", "10.0.0.2", "001122334455", 1, 0), device));  // no id
  EXPECT_FALSE(ParseLanAnswer(Answer("CAM", "10.0.0.2", "00112233445", 1, 0), device));  // NUL in MAC
  EXPECT_FALSE(ParseLanAnswer(Answer("CAM", "10.0.0.2", "00112233445g", 1, 0), device));
}

}  // namespace
}  // namespace lumivex
