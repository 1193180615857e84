// Thumbnails read back by hand: signature, chunk layout, CRC-32 (zlib's,
// not the encoder's) and the inflated image data.

#include <gtest/gtest.h>
#include <zlib.h>

#include "sim/png.h"

namespace lumivex::sim {
namespace {

uint32_t Be32(const std::string& s, std::size_t at) {
  return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) | (uint32_t(uint8_t(s[at + 2])) << 8) |
         uint32_t(uint8_t(s[at + 3]));
}

struct Chunk {
  std::string type, data;
};

// Walks the chunks, checking each CRC; fails the test on a bad one.
std::vector<Chunk> ReadChunks(const std::string& png) {
  std::vector<Chunk> chunks;
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    uint32_t length = Be32(png, at);
    if (at + 12 + length > png.size()) break;
    Chunk c{png.substr(at + 4, 4), png.substr(at + 8, length)};
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
    EXPECT_EQ(Be32(png, at + 8 + length), static_cast<uint32_t>(crc)) << c.type;
    chunks.push_back(c);
    at += 12 + length;
  }
  EXPECT_EQ(at, png.size());
  return chunks;
}

TEST(Png, EncodesAnRgbImageThatReadsBack) {
  std::string rgb;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) rgb += {char(x * 40), char(y * 90), char(200)};
  std::string png = EncodePng(5, 3, rgb);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  std::vector<Chunk> chunks = ReadChunks(png);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[1].type, "IDAT");
  EXPECT_EQ(chunks[2].type, "IEND");
  ASSERT_EQ(chunks[0].data.size(), 13u);
  EXPECT_EQ(Be32(chunks[0].data, 0), 5u);
  EXPECT_EQ(Be32(chunks[0].data, 4), 3u);
  EXPECT_EQ(chunks[0].data.substr(8), std::string("\x08\x02\x00\x00\x00", 5));

  std::string raw(3 * (1 + 5 * 3) + 1, '\0');
  uLongf size = raw.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                       reinterpret_cast<const Bytef*>(chunks[1].data.data()), chunks[1].data.size()), Z_OK);
  ASSERT_EQ(size, 3u * 16u);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(raw[y * 16], '\0');  // filter type none
    EXPECT_EQ(raw.substr(y * 16 + 1, 15), rgb.substr(y * 15, 15));
  }
}

TEST(Png, RefusesAMismatchedBuffer) {
  EXPECT_TRUE(EncodePng(2, 2, std::string(11, 'x')).empty());
  EXPECT_TRUE(EncodePng(0, 2, "").empty());
}

TEST(Png, ThumbnailsAreStablePerNameAndDifferAcrossNames) {
  std::string a = MakeThumbnail("/img/cam01.png");
  EXPECT_EQ(a, MakeThumbnail("/img/cam01.png"));
  EXPECT_NE(a, MakeThumbnail("/img/cam02.png"));
  std::vector<Chunk> chunks = ReadChunks(a);
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(Be32(chunks[0].data, 0), uint32_t(kThumbnailWidth));
  EXPECT_EQ(Be32(chunks[0].data, 4), uint32_t(kThumbnailHeight));
  std::string raw((kThumbnailWidth * 3 + 1) * kThumbnailHeight, '\0');
  uLongf size = raw.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                       reinterpret_cast<const Bytef*>(chunks[1].data.data()), chunks[1].data.size()), Z_OK);
  EXPECT_EQ(size, raw.size());
}

}  // namespace
}  // namespace lumivex::sim
