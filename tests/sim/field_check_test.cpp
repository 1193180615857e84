// The strict field-string reader: exact formats pass, each kind of
// deviation is refused with a reason naming the field.

#include <gtest/gtest.h>

#include "sim/field_check.h"

namespace lumivex::sim {
namespace {

constexpr FieldRule kLayout[] = {{"uid", Kind::kUser},      {"psd", Kind::kMd5},      {"exp", Kind::kExp},
                                 {"mod", Kind::kMod},       {"isnew", Kind::kFlag},   {"mac", Kind::kMac},
                                 {"name", Kind::kPercent},  {"page", Kind::kInt},     {"size", Kind::kLiteral, "10"}};

const std::string kMod = "C" + std::string(255, 'A');
const std::string kMd5 = "0cc175b9c0f1b6a831c399e269772661";  // MD5("a"), RFC 1321

std::string Good(const std::string& replaceWhat = {}, const std::string& with = {}) {
  std::string s = "uid:demo_1&psd:" + kMd5 + "&exp:010001&mod:" + kMod +
                  "&isnew:0&mac:0a-1b-2c-3d-4e-5f&name:%E4%B8%AD%61&page:12&size:10";
  if (!replaceWhat.empty()) s.replace(s.find(replaceWhat), replaceWhat.size(), with);
  return s;
}

std::string Refusal(const std::string& text) {
  Fields f;
  std::string error;
  EXPECT_FALSE(ParseFields(text, kLayout, f, error)) << text;
  return error;
}

TEST(FieldCheck, AcceptsTheExactFormat) {
  Fields f;
  std::string error;
  ASSERT_TRUE(ParseFields(Good(), kLayout, f, error)) << error;
  EXPECT_EQ(f["uid"], "demo_1");
  EXPECT_EQ(f["page"], "12");
  EXPECT_EQ(PercentDecode(f["name"]), "中a");
  EXPECT_TRUE(ParseFields(Good("&name:%E4%B8%AD%61", "&name:"), kLayout, f, error)) << error;  // empty text
}

TEST(FieldCheck, RefusesWrongNamesOrderAndCount) {
  EXPECT_NE(Refusal(Good("uid:", "user:")).find("\"uid\""), std::string::npos);
  EXPECT_NE(Refusal(Good("&page:12&size:10", "&size:10&page:12")).find("field 8"), std::string::npos);
  EXPECT_FALSE(Refusal(Good("&size:10", "")).empty());
  EXPECT_NE(Refusal(Good() + "&extra:1").find("after the last field"), std::string::npos);
  EXPECT_FALSE(Refusal(Good() + "&").empty());
  EXPECT_FALSE(Refusal(Good("&isnew:0", "&isnew0")).empty());
}

TEST(FieldCheck, RefusesWrongEncodings) {
  EXPECT_NE(Refusal(Good("%E4%B8%AD", "%e4%b8%ad")).find("\"name\""), std::string::npos);  // lowercase %xx
  EXPECT_FALSE(Refusal(Good("%E4%B8%AD%61", "%E4%B8%ADa")).empty());    // a byte left unencoded
  EXPECT_FALSE(Refusal(Good("%E4%B8%AD%61", "%E4%B8%AD%6")).empty());   // cut short
  EXPECT_NE(Refusal(Good(kMd5, "0CC175B9C0F1B6A831C399E269772661")).find("psd"), std::string::npos);
  EXPECT_FALSE(Refusal(Good(kMd5, kMd5.substr(1))).empty());             // 31 digits
  EXPECT_FALSE(Refusal(Good("0a-1b-2c-3d-4e-5f", "0A-1B-2C-3D-4E-5F")).empty());
  EXPECT_FALSE(Refusal(Good("0a-1b-2c-3d-4e-5f", "0a:1b:2c:3d:4e:5f")).empty());
  EXPECT_FALSE(Refusal(Good("0a-1b-2c-3d-4e-5f", "0a1b2c3d4e5f")).empty());
  EXPECT_FALSE(Refusal(Good("exp:010001", "exp:10001")).empty());
  EXPECT_FALSE(Refusal(Good(kMod, "c" + std::string(255, 'a'))).empty());  // lowercase modulus
  EXPECT_FALSE(Refusal(Good(kMod, kMod.substr(2))).empty());
  EXPECT_FALSE(Refusal(Good("page:12", "page:012")).empty());
  EXPECT_FALSE(Refusal(Good("page:12", "page:+12")).empty());
  EXPECT_FALSE(Refusal(Good("page:12", "page:1x")).empty());
  EXPECT_FALSE(Refusal(Good("isnew:0", "isnew:2")).empty());
  EXPECT_FALSE(Refusal(Good("size:10", "size:20")).empty());
  EXPECT_FALSE(Refusal(Good("uid:demo_1", "uid:de")).empty());       // under 4 characters
  EXPECT_FALSE(Refusal(Good("uid:demo_1", "uid:de mo")).empty());
}

TEST(FieldCheck, ValueKindsAtTheirEdges) {
  std::string e;
  EXPECT_TRUE(CheckValue({"n", Kind::kInt}, "-2147483648", e));
  EXPECT_FALSE(CheckValue({"n", Kind::kInt}, "2147483648", e));
  EXPECT_FALSE(CheckValue({"n", Kind::kInt}, "-0", e));
  EXPECT_TRUE(CheckValue({"b", Kind::kBase64}, "QUJD", e));
  EXPECT_TRUE(CheckValue({"b", Kind::kBase64}, "QQ==", e));
  EXPECT_FALSE(CheckValue({"b", Kind::kBase64}, "QQ=", e));
  EXPECT_FALSE(CheckValue({"b", Kind::kBase64}, "Q=Q=", e));
  EXPECT_FALSE(CheckValue({"b", Kind::kBase64}, "QU\nJD", e));
  EXPECT_TRUE(CheckValue({"d", Kind::kDateOrEmpty}, "20140520-08", e));
  EXPECT_FALSE(CheckValue({"d", Kind::kDateOrEmpty}, "2014-05-20", e));
  EXPECT_TRUE(CheckValue({"i", Kind::kIpv4OrEmpty}, "192.168.1.20", e));
  EXPECT_FALSE(CheckValue({"i", Kind::kIpv4OrEmpty}, "192.168.1.256", e));
  EXPECT_FALSE(CheckValue({"i", Kind::kIpv4OrEmpty}, "192.168.1", e));
  EXPECT_TRUE(CheckValue({"t", Kind::kText}, "王强", e));
  EXPECT_FALSE(CheckValue({"t", Kind::kText}, "a:b", e));
  EXPECT_EQ(PeekField("uid:a&step:2&x:y", "step"), "2");
  EXPECT_EQ(PeekField("uid:a&steps:2", "step"), "");
}

}  // namespace
}  // namespace lumivex::sim
