// Runs make_res into a fresh folder and reads every picture back: BMP and
// PNG headers by hand, the pixels through QImage.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "ui/geometry/pictures.h"

namespace lumivex::ui {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
#ifdef LUMIVEX_MAKE_RES_PATH
constexpr char kMakeRes[] = LUMIVEX_MAKE_RES_PATH;
#else
constexpr char kMakeRes[] = "";
#endif
using test::RunProgram;
using test::TempDir;

struct Size {
  int width;
  int height;
  bool operator==(const Size&) const = default;
};

// The files the windows read, with the size their use implies, written out
// here rather than taken from pictures.h.
std::map<std::string, Size> ExpectedFiles() {
  std::map<std::string, Size> files = {
      {"CameraRect.bmp", {640, 360}},  // stretched over a wall window
      {"CameraRect8.bmp", {640, 360}},
      {"CameraRectPlayback.bmp", {640, 360}},  // the playback area is 640 x 360
      {"CameraRectPlayback2.bmp", {640, 360}},
      {"VideoRecord.png", {23, 23}},  // overlay icons are 23 x 23
      {"DevAudio.png", {23, 23}},
      {"LocalAudio.png", {23, 23}},
      {"expand.bmp", {22, 22}},  // group header icon, 22 x 22
      {"collapse.bmp", {22, 22}},
      {"cameraThumnail.bmp", {96, 72}},  // camera row picture, 96 x 72
      {"cameraThumnailLock.bmp", {96, 72}},
      {"lumivex.png", {64, 64}},
      {"tb_audio_stop_dimmed.png", {50, 40}},
      {"tb_talk_stop_dimmed.png", {50, 40}},
  };
  auto buttons = [&](std::initializer_list<const char*> bases, Size size) {
    for (const char* base : bases) {
      for (const char* state : {"_normal.png", "_pressed.png", "_focused.png"}) {
        files[std::string(base) + state] = size;
      }
    }
  };
  buttons(
      {"tb_split", "tb_close_device", "tb_quality_low", "tb_quality_sd", "tb_quality_hd",
       "tb_alarm", "tb_page_previous", "tb_page_next", "tb_rotate", "tb_snapshot", "tb_audio_start",
       "tb_audio_stop", "tb_talk_start", "tb_talk_stop", "tb_record_start", "tb_record_stop"},
      {50, 40});  // toolbar buttons are 50 x 40
  buttons({"cap_minimize", "cap_maximize", "cap_restore", "cap_close", "cap_menu"},
          {30, 20});                                                   // caption buttons 30 x 20
  buttons({"ptz_up", "ptz_down", "ptz_left", "ptz_right"}, {40, 40});  // arrows 40 x 40
  buttons({"tab_selected", "tab_clickable"}, {96, 32});               // settings tabs 96 x 32
  // The playback window's 40 x 14 and 70 x 18 dialog units.
  buttons({"pb_back", "pb_pause", "pb_resume", "pb_forward"}, {70, 30});
  buttons({"pb_start"}, {123, 38});
  return files;
}

uint32_t Le(const std::string& b, std::size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  return v;
}

uint32_t Be32(const std::string& b, std::size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  return v;
}

// A 24-bit uncompressed Windows bitmap with a 40-byte header and rows
// padded to four bytes.
void CheckBmpHeader(const std::string& b, Size size, const std::string& name) {
  ASSERT_GE(b.size(), 54u) << name;
  EXPECT_EQ(b.substr(0, 2), "BM") << name;
  EXPECT_EQ(Le(b, 2, 4), b.size()) << name;
  EXPECT_EQ(Le(b, 14, 4), 40u) << name;
  EXPECT_EQ(static_cast<int32_t>(Le(b, 18, 4)), size.width) << name;
  EXPECT_EQ(static_cast<int32_t>(Le(b, 22, 4)), size.height) << name;
  EXPECT_EQ(Le(b, 26, 2), 1u) << name;
  EXPECT_EQ(Le(b, 28, 2), 24u) << name;
  EXPECT_EQ(Le(b, 30, 4), 0u) << name;
  std::size_t row = (static_cast<std::size_t>(size.width) * 3 + 3) / 4 * 4;
  EXPECT_EQ(b.size(), Le(b, 10, 4) + row * size.height) << name;
}

// Eight-bit RGBA: the icons are drawn over video and over the header band.
void CheckPngHeader(const std::string& b, Size size, const std::string& name) {
  ASSERT_GE(b.size(), 33u) << name;
  EXPECT_EQ(b.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << name;
  EXPECT_EQ(Be32(b, 8), 13u) << name;
  EXPECT_EQ(b.substr(12, 4), "IHDR") << name;
  EXPECT_EQ(Be32(b, 16), static_cast<uint32_t>(size.width)) << name;
  EXPECT_EQ(Be32(b, 20), static_cast<uint32_t>(size.height)) << name;
  EXPECT_EQ(static_cast<uint8_t>(b[24]), 8) << name;  // bit depth
  EXPECT_EQ(static_cast<uint8_t>(b[25]), 6) << name;  // colour type RGBA
}

int DistinctColours(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  }
  return static_cast<int>(colours.size());
}

class MakeRes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (*kMakeRes == '\0') return;
    folder_ = new TempDir;
    result_ = new test::ProcessResult(Run({(folder_->path() / "res").string()}));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete folder_;
    result_ = nullptr;
    folder_ = nullptr;
  }
  void SetUp() override {
    if (!result_) GTEST_SKIP() << "make_res is not built here";
    ASSERT_EQ(result_->exitCode, 0) << result_->err;
  }
  static fs::path Res() { return folder_->path() / "res"; }
  static test::ProcessResult Run(const std::vector<std::string>& args) {
    return RunProgram(kMakeRes, args, std::chrono::seconds(60), {"QT_QPA_PLATFORM=offscreen"});
  }

  static TempDir* folder_;
  static test::ProcessResult* result_;
};

TempDir* MakeRes::folder_ = nullptr;
test::ProcessResult* MakeRes::result_ = nullptr;

TEST_F(MakeRes, WritesExactlyTheExpectedFiles) {
  std::set<std::string> written;
  for (const auto& entry : fs::directory_iterator(Res())) written.insert(entry.path().filename());
  std::set<std::string> expected;
  for (const auto& [name, size] : ExpectedFiles()) expected.insert(name);
  EXPECT_EQ(written, expected);
  // The names the widgets load by are the same ones.
  std::set<std::string> listed;
  for (const auto& file : pictures::AllPictures()) {
    listed.insert(file.name);
    EXPECT_EQ((Size{file.width, file.height}), ExpectedFiles()[file.name]) << file.name;
  }
  EXPECT_EQ(listed, expected);
}

TEST_F(MakeRes, EveryPictureOpensWithItsSizeAndIsNotBlank) {
  for (const auto& [name, size] : ExpectedFiles()) {
    std::string bytes = ReadFileBytes(Res() / name);
    bool bmp = name.ends_with(".bmp");
    if (bmp) {
      CheckBmpHeader(bytes, size, name);
    } else {
      CheckPngHeader(bytes, size, name);
    }
    QImage image(QString::fromStdString((Res() / name).string()));
    ASSERT_FALSE(image.isNull()) << name;
    EXPECT_EQ((Size{image.width(), image.height()}), size) << name;
    EXPECT_GE(DistinctColours(image), 2) << name << " shows nothing";
  }
}

TEST_F(MakeRes, OverlayIconsAreTransparentAroundTheirDisc) {
  for (const char* name :
       {"VideoRecord.png", "DevAudio.png", "LocalAudio.png", "ptz_up_normal.png"}) {
    QImage image(QString::fromStdString((Res() / name).string()));
    ASSERT_FALSE(image.isNull()) << name;
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << name;
    EXPECT_GT(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 100) << name;
  }
}

TEST_F(MakeRes, TheThreeStatesOfAButtonDiffer) {
  for (const char* base : {"tb_split", "tb_record_stop", "cap_close", "ptz_left"}) {
    std::string b(base);
    std::string normal = ReadFileBytes(Res() / (b + "_normal.png"));
    std::string pressed = ReadFileBytes(Res() / (b + "_pressed.png"));
    std::string focused = ReadFileBytes(Res() / (b + "_focused.png"));
    EXPECT_NE(normal, pressed) << base;
    EXPECT_NE(normal, focused) << base;
    EXPECT_NE(pressed, focused) << base;
  }
  // The failure pictures are not the idle ones.
  EXPECT_NE(ReadFileBytes(Res() / "CameraRect.bmp"), ReadFileBytes(Res() / "CameraRect8.bmp"));
  EXPECT_NE(ReadFileBytes(Res() / "CameraRectPlayback.bmp"),
            ReadFileBytes(Res() / "CameraRectPlayback2.bmp"));
}

TEST_F(MakeRes, ASecondRunWritesTheSameBytes) {
  TempDir again;
  auto run = Run({again.str()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (const auto& [name, size] : ExpectedFiles()) {
    EXPECT_EQ(ReadFileBytes(again / name), ReadFileBytes(Res() / name)) << name;
  }
}

TEST_F(MakeRes, RefusesAMissingOrUnusableFolder) {
  EXPECT_EQ(Run({}).exitCode, 2);
  TempDir dir;
  test::WriteFileBytes(dir / "file", "x");
  auto run = Run({(dir / "file" / "res").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot make"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace lumivex::ui
