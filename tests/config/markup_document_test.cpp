#include "config/markup_document.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace lumivex {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string out;
  for (char16_t unit : text) {
    char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

std::size_t FileCount(const std::filesystem::path& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

struct EncodingCase {
  const char* label;
  MarkupDocument::Encoding encoding;
  std::string mark;
  bool utf16, bigEndian;
};

class EncodingRoundTrip : public ::testing::TestWithParam<EncodingCase> {};

// Load, change a text to Chinese, save: the file stays in its encoding with
// its mark, and the new text is in the file in that encoding's bytes.
TEST_P(EncodingRoundTrip, KeepsEncodingAndMark) {
  const EncodingCase& c = GetParam();
  TempDir dir;
  auto path = dir / "a_config.xml";
  std::u16string xml = u"<config><config1><VideoPath>x</VideoPath></config1></config>";
  std::string body = c.utf16 ? Utf16Bytes(xml, c.bigEndian)
                             : "<config><config1><VideoPath>x</VideoPath></config1></config>";
  WriteFileBytes(path, c.mark + body);

  MarkupDocument doc;
  ASSERT_TRUE(doc.Load(path.string()));
  EXPECT_EQ(doc.encoding(), c.encoding);
  ASSERT_TRUE(doc.FindRoot("config") && doc.FindChild("config1") && doc.IntoChild());
  ASSERT_TRUE(doc.FindChild("VideoPath") && doc.IntoChild());
  ASSERT_TRUE(doc.SetText("我的"));
  ASSERT_TRUE(doc.Save(path.string()));

  std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.substr(0, c.mark.size()), c.mark);
  std::string after = bytes.substr(c.mark.size());
  std::string open = c.utf16 ? Utf16Bytes(u"<config", c.bigEndian) : "<config";
  EXPECT_EQ(after.substr(0, open.size()), open) << "no declaration, no stray mark";
  // U+6211 U+7684 by hand.
  std::string chinese = c.utf16 ? (c.bigEndian ? std::string("\x62\x11\x76\x84", 4)
                                               : std::string("\x11\x62\x84\x76", 4))
                                : std::string("\xE6\x88\x91\xE7\x9A\x84");
  EXPECT_NE(after.find(chinese), std::string::npos);

  pugi::xml_document check;
  pugi::xml_encoding encoding = c.utf16 ? (c.bigEndian ? pugi::encoding_utf16_be
                                                       : pugi::encoding_utf16_le)
                                        : pugi::encoding_utf8;
  ASSERT_TRUE(check.load_buffer(after.data(), after.size(), pugi::parse_default, encoding));
  EXPECT_STREQ(check.child("config").child("config1").child_value("VideoPath"), "我的");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, EncodingRoundTrip,
    ::testing::Values(
        EncodingCase{"Utf16LeBom", MarkupDocument::Encoding::kUtf16Le, "\xFF\xFE", true, false},
        EncodingCase{"Utf16BeBom", MarkupDocument::Encoding::kUtf16Be, "\xFE\xFF", true, true},
        EncodingCase{"Utf8Bom", MarkupDocument::Encoding::kUtf8Bom, "\xEF\xBB\xBF", false, false},
        EncodingCase{"Utf8NoMark", MarkupDocument::Encoding::kUtf8, "", false, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MarkupDocument, RefusesFilesWithoutExactlyOneRoot) {
  TempDir dir;
  auto path = dir / "bad.xml";
  const std::string cases[] = {"", "not xml at all", "<config><config1>", "<config/><config/>",
                               std::string("\xFF\xFE<\0c\0o\0", 8)};
  for (const std::string& bytes : cases) {
    WriteFileBytes(path, bytes);
    MarkupDocument doc;
    EXPECT_FALSE(doc.Load(path.string())) << bytes;
    EXPECT_FALSE(doc.FindRoot("config"));
    EXPECT_FALSE(doc.Save((dir / "out.xml").string())) << "an empty document is never saved";
  }
  MarkupDocument doc;
  EXPECT_FALSE(doc.Load((dir / "missing.xml").string()));
}

TEST(MarkupDocument, CursorSearchesAddsAndRemovesAfterTheChildPosition) {
  MarkupDocument doc;
  doc.CreateRoot("r");
  ASSERT_TRUE(doc.FindRoot("r"));
  EXPECT_FALSE(doc.FindRoot("other"));
  EXPECT_FALSE(doc.OutOfElem()) << "the root has no parent element";
  EXPECT_FALSE(doc.IntoChild()) << "no child found yet";
  for (const char* name : {"a", "b", "a"}) ASSERT_TRUE(doc.AddChild(name));

  doc.ResetChildPos();
  ASSERT_TRUE(doc.FindChild("b"));
  ASSERT_TRUE(doc.AddChild("c", "text"));  // after b
  EXPECT_FALSE(doc.FindChild("b")) << "searching goes on after c";
  ASSERT_TRUE(doc.FindChild("a"));
  doc.ResetChildPos();
  ASSERT_TRUE(doc.AddChild("z"));  // no position: at the end

  std::string order;
  doc.ResetChildPos();
  while (doc.FindChild()) {
    doc.IntoChild();
    order += doc.Name();
    doc.OutOfElem();
  }
  EXPECT_EQ(order, "abcaz");

  doc.ResetChildPos();
  while (doc.FindChild("a")) {
    doc.IntoChild();
    ASSERT_TRUE(doc.RemoveElem());
    EXPECT_EQ(doc.Name(), "r");
  }
  order.clear();
  doc.ResetChildPos();
  while (doc.FindChild()) {
    doc.IntoChild();
    order += doc.Name() + doc.GetText();
    doc.OutOfElem();
  }
  EXPECT_EQ(order, "bctextz");
}

TEST(MarkupDocument, TextAndAttributesSurviveEscaping) {
  TempDir dir;
  auto path = (dir / "x.xml").string();
  MarkupDocument doc;
  doc.CreateRoot("config");
  doc.FindRoot("config");
  doc.AddChild("User", "a<b>&c");
  doc.IntoChild();
  doc.SetAttrib("ID", "al\"ice'&<");
  doc.SetAttrib("Password", "0");
  doc.SetAttrib("ID", "bob\"&");  // replaced in place, order kept
  ASSERT_TRUE(doc.Save(path));

  MarkupDocument back;
  ASSERT_TRUE(back.Load(path));
  ASSERT_TRUE(back.FindRoot("config") && back.FindChild("User") && back.IntoChild());
  EXPECT_EQ(back.GetText(), "a<b>&c");
  EXPECT_EQ(back.GetAttrib("ID"), "bob\"&");
  EXPECT_EQ(back.GetAttrib("Missing"), "");

  pugi::xml_document check;
  ASSERT_TRUE(check.load_file(path.c_str()));
  auto first = check.child("config").child("User").first_attribute();
  EXPECT_STREQ(first.name(), "ID");
  EXPECT_STREQ(first.next_attribute().name(), "Password");
}

TEST(MarkupDocument, SaveIsPrivateAndLeavesNoTemporaryFile) {
  TempDir dir;
  auto path = (dir / "x.xml").string();
  MarkupDocument doc;
  doc.CreateRoot("config");
  mode_t oldMask = ::umask(0);  // the mode must not depend on the caller's umask
  bool first = doc.Save(path);
  ::umask(oldMask);
  ASSERT_TRUE(first);
  ASSERT_TRUE(doc.Save(path));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(FileCount(dir.path()), 1u);
}

// A write that fails half-way leaves the old file as it was and no temporary
// beside it. The file size limit stands in for a full disk or an unwritable
// folder, which permissions cannot make for a privileged test user.
TEST(MarkupDocument, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  auto path = (dir / "x.xml").string();
  WriteFileBytes(path, "<config><old/></config>");
  MarkupDocument doc;
  ASSERT_TRUE(doc.Load(path));
  doc.FindRoot("config");
  doc.AddChild("new", std::string(4096, 'x'));

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool saved_ok = doc.Save(path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(saved_ok);
  EXPECT_EQ(ReadFileBytes(path), "<config><old/></config>");
  EXPECT_EQ(FileCount(dir.path()), 1u);
}

// A damaged or hostile file nested far deeper than the format: refused as a
// file that does not load, so it is never saved back (indented by depth, it
// would grow with the square of its depth), in either encoding.
TEST(MarkupDocumentTest, DeeplyNestedFileDoesNotLoadAndIsNeverRewritten) {
  TempDir dir;
  const std::string path = (dir / "deep_config.xml").string();
  auto nested = [](int levels) {
    std::string open, close;
    for (int i = 0; i < levels; ++i) {
      open += "<a>";
      close += "</a>";
    }
    return "<config><config1><ShowClose>1</ShowClose></config1><config3>" + open + close + "</config3></config>";
  };
  for (int levels : {100000, 63}) {
    const std::string utf8 = nested(levels);
    std::u16string utf16(utf8.begin(), utf8.end());
    for (const std::string& bytes : {utf8, "\xFF\xFE" + Utf16Bytes(utf16, false)}) {
      WriteFileBytes(path, bytes);
      MarkupDocument doc;
      EXPECT_FALSE(doc.Load(path)) << levels;
      EXPECT_FALSE(doc.FindRoot("config"));
      EXPECT_EQ(ReadFileBytes(path), bytes);
    }
  }
  // The deepest the loader takes: 64 levels, config and config3 among them.
  WriteFileBytes(path, nested(62));
  MarkupDocument doc;
  EXPECT_TRUE(doc.Load(path));
}

// A file far beyond any account's configuration, by its size or by its count
// of elements (each costing pugixml ten times its text), does not load and is
// left as it is.
TEST(MarkupDocumentTest, OversizedFileOrTooManyElementsDoesNotLoad) {
  TempDir dir;
  const std::string path = (dir / "big_config.xml").string();
  auto flat = [](std::size_t elements, std::size_t textBytes) {
    std::string body;
    for (std::size_t i = 0; i < elements; ++i) body += "<a/>";
    return "<config><config3>" + body + std::string(textBytes, 'x') + "</config3></config>";
  };
  // "<config><config3>" and the two closing tags are four of the marks.
  for (const std::string& bytes : {flat(65533, 0), flat(0, (16u << 20) - 35)}) {
    WriteFileBytes(path, bytes);
    MarkupDocument doc;
    EXPECT_FALSE(doc.Load(path)) << bytes.size();
    EXPECT_FALSE(doc.FindRoot("config"));
    EXPECT_EQ(ReadFileBytes(path).size(), bytes.size());
  }
  for (const std::string& bytes : {flat(65532, 0), flat(0, (16u << 20) - 36)}) {
    WriteFileBytes(path, bytes);
    MarkupDocument doc;
    EXPECT_TRUE(doc.Load(path)) << bytes.size();
  }
}

}  // namespace
}  // namespace lumivex
