#include "sim/png.h"

#include <zlib.h>

#include <array>

namespace lumivex::sim {
namespace {

void PutBigEndian32(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v >> 24));
  out.push_back(static_cast<char>(v >> 16));
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v));
}

// length, type, data, CRC-32 over type and data
void PutChunk(std::string& out, std::string_view type, std::string_view data) {
  PutBigEndian32(out, static_cast<uint32_t>(data.size()));
  std::string body(type);
  body += data;
  out += body;
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  PutBigEndian32(out, static_cast<uint32_t>(crc));
}

bool Compress(const std::string& raw, std::string& out) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  out.resize(size);
  int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                     static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
  if (rc != Z_OK) return false;
  out.resize(size);
  return true;
}

uint32_t Fnv1a(std::string_view text) {
  uint32_t h = 2166136261u;
  for (unsigned char c : text) h = (h ^ c) * 16777619u;
  return h;
}

}  // namespace

std::string EncodePng(int width, int height, std::string_view rgb) {
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return {};
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  if (rgb.size() != stride * static_cast<std::size_t>(height)) return {};

  std::string raw;  // each row: filter type 0, then its pixels
  raw.reserve((stride + 1) * height);
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');
    raw.append(rgb.substr(y * stride, stride));
  }
  std::string idat;
  if (!Compress(raw, idat)) return {};

  std::string ihdr;
  PutBigEndian32(ihdr, static_cast<uint32_t>(width));
  PutBigEndian32(ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // depth 8, RGB, deflate, no filter method, no interlace

  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", ihdr);
  PutChunk(png, "IDAT", idat);
  PutChunk(png, "IEND", {});
  return png;
}

std::string MakeThumbnail(std::string_view name) {
  const uint32_t h = Fnv1a(name);
  const std::array<uint8_t, 3> base = {static_cast<uint8_t>(64 + (h & 0x7f)),
                                       static_cast<uint8_t>(64 + ((h >> 8) & 0x7f)),
                                       static_cast<uint8_t>(64 + ((h >> 16) & 0x7f))};
  const int stripe = 8 + static_cast<int>((h >> 24) % 8);
  std::string rgb;
  rgb.reserve(kThumbnailWidth * kThumbnailHeight * 3);
  for (int y = 0; y < kThumbnailHeight; ++y) {
    for (int x = 0; x < kThumbnailWidth; ++x) {
      // diagonal stripes, a frame, and a darker band for a caption
      bool light = ((x + y) / stripe) % 2 == 0;
      bool frame = x < 3 || y < 3 || x >= kThumbnailWidth - 3 || y >= kThumbnailHeight - 3;
      bool band = y >= kThumbnailHeight - 20;
      for (uint8_t c : base) {
        int v = light ? c + 40 : c;
        if (band) v = c / 3;
        if (frame) v = 240;
        rgb.push_back(static_cast<char>(v > 255 ? 255 : v));
      }
    }
  }
  return EncodePng(kThumbnailWidth, kThumbnailHeight, rgb);
}

}  // namespace lumivex::sim
