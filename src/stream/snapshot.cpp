#include "stream/snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "core/file_write.h"
#include "core/logging.h"

namespace lumivex {
namespace {

constexpr uint32_t kHeaderBytes = 54;

void PutLittleEndian(std::vector<uint8_t>& out, std::size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// The whole file in memory: header, then the rows. Rows are padded to a
// multiple of 4 bytes as every BMP reader expects, and the file-size field
// counts the padded rows; the image-size field always assumed the padding.
// For widths that are a multiple of 4 this is the unpadded layout.
bool BuildBitmap(const uint8_t* bgr, int stride, int height, int width, std::vector<uint8_t>& file) {
  if (!bgr || width <= 0 || height <= 0 || stride < 0 || static_cast<int64_t>(width) * 3 > stride) return false;
  const uint64_t rowBytes = (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4;
  const uint64_t imageBytes = rowBytes * static_cast<uint64_t>(height);
  if (imageBytes + kHeaderBytes > 0xFFFFFFFFu) return false;
  file.assign(kHeaderBytes + imageBytes, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutLittleEndian(file, 2, static_cast<uint32_t>(file.size()), 4);
  PutLittleEndian(file, 10, kHeaderBytes, 4);
  PutLittleEndian(file, 14, 40, 4);
  PutLittleEndian(file, 18, static_cast<uint32_t>(width), 4);
  PutLittleEndian(file, 22, static_cast<uint32_t>(-height), 4);  // negative: top row first
  PutLittleEndian(file, 26, 1, 2);
  PutLittleEndian(file, 28, 24, 2);
  PutLittleEndian(file, 34, static_cast<uint32_t>(imageBytes), 4);
  PutLittleEndian(file, 38, 100, 4);
  PutLittleEndian(file, 42, 100, 4);
  for (int y = 0; y < height; ++y)
    std::memcpy(&file[kHeaderBytes + y * rowBytes], bgr + static_cast<std::size_t>(y) * stride,
                static_cast<std::size_t>(width) * 3);
  return true;
}

struct SwsFree {
  void operator()(SwsContext* sws) const { sws_freeContext(sws); }
};

// A BGR24 copy of the picture in a buffer of its own.
bool ConvertToBgr(const AVFrame& picture, std::vector<uint8_t>& bgr, int& stride) {
  const auto format = static_cast<AVPixelFormat>(picture.format);
  if (picture.width <= 0 || picture.height <= 0 || format == AV_PIX_FMT_NONE) return false;
  std::unique_ptr<SwsContext, SwsFree> sws(sws_getContext(picture.width, picture.height, format, picture.width,
                                                         picture.height, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                                         nullptr, nullptr, nullptr));
  if (!sws) return false;
  stride = FFALIGN(picture.width * 3, 32);
  // A little room past the end: swscale's vector code may store whole blocks.
  bgr.assign(static_cast<std::size_t>(stride) * picture.height + 64, 0);
  uint8_t* planes[4] = {bgr.data(), nullptr, nullptr, nullptr};
  int strides[4] = {stride, 0, 0, 0};
  return sws_scale(sws.get(), picture.data, picture.linesize, 0, picture.height, planes, strides) ==
         picture.height;
}

}  // namespace

bool WriteBitmapFile(const uint8_t* bgr, int stride, const std::string& path, int height, int width) {
  std::vector<uint8_t> file;
  if (!BuildBitmap(bgr, stride, height, width, file)) {
    LogLine("snapshot: no picture to write");
    return false;
  }
  // Written beside the target and renamed over it, so that a failed write
  // never leaves a broken file under the real name.
  const bool ok = WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(file.data()), file.size()), 0644);
  if (!ok) LogLine("snapshot: cannot write " + path + ": " + std::strerror(errno));
  return ok;
}

bool TakeSnapshot(const AVFrame* picture, const std::string& imagePath, std::string_view userName,
                  std::string_view sid, const LocalStamp& stamp, std::string& writtenPath) {
  if (!picture) return false;
  std::string path;
  if (!PrepareStampedPath(imagePath, userName, sid, stamp, "bmp", path)) {
    LogLine("snapshot: no folder below " + imagePath);
    return false;
  }
  std::vector<uint8_t> bgr;
  int stride = 0;
  if (!ConvertToBgr(*picture, bgr, stride)) {
    LogLine("snapshot: the picture cannot be converted");
    return false;
  }
  if (!WriteBitmapFile(bgr.data(), stride, path, picture->height, picture->width)) return false;
  writtenPath = path;
  return true;
}

}  // namespace lumivex
