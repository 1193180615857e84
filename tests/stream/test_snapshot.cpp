#include "stream/snapshot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <tuple>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "sim/clip.h"
#include "support/temp_dir.h"

namespace lumivex {
namespace {

namespace fs = std::filesystem;

uint32_t Le(const std::string& file, std::size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(file.at(at + i));
  return value;
}

std::size_t RowBytes(int width) { return (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4; }

// Every field of the 54-byte header, read by hand.
void ExpectHeader(const std::string& file, int width, int height) {
  const std::size_t image = RowBytes(width) * height;
  ASSERT_EQ(file.size(), 54 + image);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(Le(file, 2, 4), file.size());
  EXPECT_EQ(Le(file, 6, 4), 0u);
  EXPECT_EQ(Le(file, 10, 4), 54u);
  EXPECT_EQ(Le(file, 14, 4), 40u);
  EXPECT_EQ(Le(file, 18, 4), static_cast<uint32_t>(width));
  EXPECT_EQ(static_cast<int32_t>(Le(file, 22, 4)), -height);
  EXPECT_EQ(Le(file, 26, 2), 1u);
  EXPECT_EQ(Le(file, 28, 2), 24u);
  EXPECT_EQ(Le(file, 30, 4), 0u);
  EXPECT_EQ(Le(file, 34, 4), static_cast<uint32_t>(height * ((width * 24 + 31) / 32) * 4));
  EXPECT_EQ(Le(file, 38, 4), 100u);
  EXPECT_EQ(Le(file, 42, 4), 100u);
  EXPECT_EQ(Le(file, 46, 4), 0u);
  EXPECT_EQ(Le(file, 50, 4), 0u);
}

uint8_t Pattern(int x, int y, int channel) { return static_cast<uint8_t>(x * 3 + y * 7 + channel * 11); }

TEST(SnapshotTest, RowsArePaddedAndHeaderIsExact) {
  test::TempDir dir;
  for (auto [width, height] : {std::pair{318, 180}, std::pair{321, 181}, std::pair{320, 2}, std::pair{1, 1}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const int stride = width * 3 + 13;  // the source rows have room past the picture
    std::vector<uint8_t> bgr(static_cast<std::size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) bgr[y * stride + x * 3 + c] = Pattern(x, y, c);
    const fs::path path = dir / ("p" + std::to_string(width) + ".bmp");
    ASSERT_TRUE(WriteBitmapFile(bgr.data(), stride, path.string(), height, width));
    const std::string file = test::ReadFileBytes(path);
    ExpectHeader(file, width, height);
    if (width % 4 == 0) {  // the unpadded layout
      EXPECT_EQ(file.size(), static_cast<std::size_t>(width) * height * 3 + 54);
    }
    for (auto [x, y] : {std::pair{0, 0}, std::pair{width - 1, 0}, std::pair{width / 2, height - 1},
                        std::pair{width - 1, height - 1}})
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(static_cast<uint8_t>(file[54 + y * RowBytes(width) + x * 3 + c]), Pattern(x, y, c)) << x << "," << y;
    for (int y = 0; y < height; ++y)  // the padding is zeros, not the source's spare bytes
      for (std::size_t p = width * 3; p < RowBytes(width); ++p) EXPECT_EQ(file[54 + y * RowBytes(width) + p], 0);
  }
}

TEST(SnapshotTest, ReplacesAnOldFileAndLeavesNoneHalfWritten) {
  test::TempDir dir;
  const fs::path path = dir / "s.bmp";
  const std::vector<uint8_t> dark(4 * 3 * 2, 0x10), light(4 * 3 * 2, 0xF0);
  ASSERT_TRUE(WriteBitmapFile(dark.data(), 12, path.string(), 2, 4));
  ASSERT_TRUE(WriteBitmapFile(light.data(), 12, path.string(), 2, 4));
  std::string file = test::ReadFileBytes(path);
  ExpectHeader(file, 4, 2);
  EXPECT_EQ(file.substr(54), std::string(24, '\xF0'));

  // Refused pictures and unwritable places leave the old file and no other.
  EXPECT_FALSE(WriteBitmapFile(dark.data(), 12, path.string(), 2, 0));
  EXPECT_FALSE(WriteBitmapFile(dark.data(), 11, path.string(), 2, 4));
  EXPECT_FALSE(WriteBitmapFile(nullptr, 12, path.string(), 2, 4));
  EXPECT_FALSE(WriteBitmapFile(dark.data(), 12, (dir / "missing/s.bmp").string(), 2, 4));
  EXPECT_EQ(test::ReadFileBytes(path), file);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// Decodes frame 0 of the clip with libavcodec.
struct DecodedPicture {
  AVCodecContext* ctx = nullptr;
  AVFrame* frame = av_frame_alloc();
  ~DecodedPicture() {
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
  }
  bool Decode(const sim::Clip& clip) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    ctx = avcodec_alloc_context3(codec);
    if (avcodec_open2(ctx, codec, nullptr) < 0) return false;
    const std::string bytes = ParameterSetRecord(clip.sps) + ParameterSetRecord(clip.pps) + clip.frames[0];
    AVPacket* packet = av_packet_alloc();
    av_new_packet(packet, static_cast<int>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), packet->data);
    bool ok = avcodec_send_packet(ctx, packet) >= 0 && avcodec_send_packet(ctx, nullptr) >= 0 &&
              avcodec_receive_frame(ctx, frame) >= 0;
    av_packet_free(&packet);
    return ok;
  }
  static std::string ParameterSetRecord(const std::string& set) { return std::string("\0\0\0\1", 4) + set; }
};

// The sim's per-camera tint (FNV-1a of the label) gives the chroma planes.
uint32_t LabelHash(const std::string& s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

// BT.601, limited range, as blue-green-red.
std::array<int, 3> ExpectedBgr(int y, int u, int v) {
  auto clamp = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 255.0))); };
  const double l = 1.164 * (y - 16);
  return {clamp(l + 2.018 * (u - 128)), clamp(l - 0.391 * (u - 128) - 0.813 * (v - 128)),
          clamp(l + 1.596 * (v - 128))};
}

TEST(SnapshotTest, PictureOfTheClipHasItsKnownColours) {
  sim::Clip clip;
  std::string error;
  ASSERT_TRUE(sim::EncodeClip({640, 360, 480000, "SNAP", 0}, clip, error)) << error;
  DecodedPicture picture;
  ASSERT_TRUE(picture.Decode(clip));

  test::TempDir dir;
  std::string written;
  ASSERT_TRUE(TakeSnapshot(picture.frame, dir.str() + "/", "alice", "CAM9", {2014, 5, 20, 8, 3, 9}, written));
  EXPECT_EQ(written, dir.str() + "/alice/2014-05-20/2014-05-20-08-03-09-CAM9.bmp");
  const std::string file = test::ReadFileBytes(written);
  ExpectHeader(file, 640, 360);

  const uint32_t tint = LabelHash("SNAP");
  const int u = 98 + (tint >> 8) % 60, v = 98 + (tint >> 16) % 60;
  // The black band at the top, right of the text, and the bright box that
  // starts at the left edge near the bottom in frame 0: top-down rows.
  for (auto [x, y, luma] : {std::tuple{637, 1, 16}, std::tuple{30, 300, 230}}) {
    const std::array<int, 3> want = ExpectedBgr(luma, u, v);
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(static_cast<uint8_t>(file[54 + y * RowBytes(640) + x * 3 + c]), want[c], 16)
          << x << "," << y << " channel " << c;
  }
}

TEST(SnapshotTest, NoFolderMeansNoSnapshot) {
  sim::Clip clip;
  std::string error;
  ASSERT_TRUE(sim::EncodeClip({64, 48, 100000, "S", 0}, clip, error)) << error;
  DecodedPicture picture;
  ASSERT_TRUE(picture.Decode(clip));
  test::TempDir dir;
  test::WriteFileBytes(dir / "alice", "a file where the user folder belongs");
  std::string written = "none";
  EXPECT_FALSE(TakeSnapshot(picture.frame, dir.str() + "/", "alice", "CAM9", {2014, 5, 20, 8, 3, 9}, written));
  EXPECT_FALSE(TakeSnapshot(picture.frame, dir.str() + "/", "..", "CAM9", {2014, 5, 20, 8, 3, 9}, written));
  EXPECT_FALSE(TakeSnapshot(nullptr, dir.str() + "/", "bob", "CAM9", {2014, 5, 20, 8, 3, 9}, written));
  EXPECT_EQ(written, "none");
}

}  // namespace
}  // namespace lumivex
