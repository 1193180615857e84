// Text rules every module leans on: field widths and the decimal-prefix rule.

#include <gtest/gtest.h>

#include "core/fixed_text.h"
#include "core/global.h"
#include "core/text.h"

namespace lumivex {
namespace {

TEST(FixedText, CutsAtItsWidthAndAtANul) {
  FixedText<5> key;
  EXPECT_TRUE(key.Assign("ab12"));
  EXPECT_FALSE(key.Assign("ab12cd"));  // a longer keyValue keeps its first 4
  EXPECT_EQ(key, "ab12");
  key = std::string_view("x\0yz", 4);
  EXPECT_EQ(key.str(), "x");
  FixedText<51> umac = std::string(80, 'u');
  EXPECT_EQ(umac.size(), 50u);
}

TEST(DecimalPrefix, ReadsLeadingDigitsOnly) {
  EXPECT_EQ(DecimalPrefix("25min"), 25);
  EXPECT_EQ(DecimalPrefix("  -7x"), -7);
  EXPECT_EQ(DecimalPrefix("+12"), 12);
  EXPECT_EQ(DecimalPrefix("true"), 0);
  EXPECT_EQ(DecimalPrefix(""), 0);
  EXPECT_EQ(DecimalPrefix("- 5"), 0);
  EXPECT_EQ(DecimalPrefix("99999999999"), 2147483647);
  EXPECT_EQ(DecimalPrefix("-99999999999"), -2147483647 - 1);
}

TEST(TextHelpers, CaseInsensitiveStatusAndUtf16Units) {
  EXPECT_TRUE(EqualsIgnoreCase("ok", "OK"));
  EXPECT_TRUE(EqualsIgnoreCase("UpAtE", "UPATE"));
  EXPECT_FALSE(EqualsIgnoreCase("UPDATE", "UPATE"));
  EXPECT_EQ(Utf16Length("abc"), 3);
  EXPECT_EQ(Utf16Length("中文"), 2);
  EXPECT_EQ(Utf16Length("\xF0\x9F\x93\xB7"), 2);  // a camera emoji: a surrogate pair
  EXPECT_EQ(Utf16Length("\xE4\xB8"), -1);
  EXPECT_EQ(HexLower(std::string_view("\x00\xab\xff", 3)), "00abff");
}

TEST(TextHelpers, CutUtf16KeepsWholeCharacters) {
  EXPECT_EQ(CutUtf16("abc", 2), "ab");
  EXPECT_EQ(CutUtf16("中文字", 2), "中文");
  EXPECT_EQ(CutUtf16("a\xF0\x9F\x93\xB7", 2), "a");
  EXPECT_EQ(CutUtf16("a\xF0\x9F\x93\xB7", 3), "a\xF0\x9F\x93\xB7");
  EXPECT_EQ(CutUtf16("ab\xE4\xB8", 10), "ab") << "a broken sequence ends the text";
}

TEST(Global, StartsWithTheDocumentedValues) {
  Global g;
  EXPECT_EQ(g.m_ClientType, "pc");
  EXPECT_EQ(g.m_ClientVersion, "2.0");
  EXPECT_EQ(g.m_ProtocolVersion, "2.0");
  EXPECT_EQ(g.m_AppIdent, "pcvelmor2.02.0");
  EXPECT_EQ(g.m_AppSecret.size(), 17u);
  EXPECT_EQ(g.m_DevProtocol, "3.0");
  EXPECT_EQ(g.m_Scheme, "https");
  EXPECT_EQ(g.m_WebPort, 80);
  EXPECT_EQ(g.m_UDPConnType, 0);
  EXPECT_EQ(g.m_TCPConnType, 1);
  EXPECT_TRUE(g.m_TimeStamp.empty());
  EXPECT_TRUE(g.m_KeyValue.empty());
  EXPECT_EQ(g.NextLocalUdpPort(), 18886);
  EXPECT_EQ(g.NextLocalUdpPort(), 18887);
}

}  // namespace
}  // namespace lumivex
