#include "stream/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/logging.h"

namespace lumivex {
namespace {

// The drawing sizes a window can ask for; anything beyond is refused.
constexpr int kMaxDimension = 8192;

// Alpha of a BGRA pixel read as a little-endian word.
constexpr uint32_t kOpaque = 0xFF000000u;

// dst pixel (x, y) of a w x h picture turned from src (sw x sh, rows of
// sstride bytes, 4 bytes a pixel).
void Turn(const uint8_t* src, int sw, int sh, int sstride, int rotation, Picture& dst) {
  const auto* s = reinterpret_cast<const uint32_t*>(src);
  const int sp = sstride / 4;
  for (int y = 0; y < dst.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(dst.pixels.data() + static_cast<std::size_t>(y) * dst.stride);
    for (int x = 0; x < dst.width; ++x) {
      int sx, sy;
      switch (rotation) {
        case 1: sx = y; sy = sh - 1 - x; break;            // a quarter turn clockwise
        case 2: sx = sw - 1 - x; sy = sh - 1 - y; break;   // upside down
        default: sx = sw - 1 - y; sy = x; break;           // three quarters
      }
      row[x] = s[static_cast<std::size_t>(sy) * sp + sx];
    }
  }
}

// RGB32 wants alpha 0xFF, which not every swscale path writes. Four
// pixels an operation: a plain loop stays one pixel a step at -O2, and this
// pass over every window's picture would cost a third of the conversion.
void SetOpaque(Picture& out) {
  using Pixels4 = uint32_t __attribute__((vector_size(16)));
  for (int y = 0; y < out.height; ++y) {
    uint8_t* row = out.pixels.data() + static_cast<std::size_t>(y) * out.stride;
    uint8_t* const end = row + static_cast<std::size_t>(out.width) * 4;
    for (; row + sizeof(Pixels4) <= end; row += sizeof(Pixels4)) {
      Pixels4 four;
      std::memcpy(&four, row, sizeof four);
      four |= kOpaque;
      std::memcpy(row, &four, sizeof four);
    }
    for (; row < end; row += 4) {
      uint32_t one;
      std::memcpy(&one, row, 4);
      one |= kOpaque;
      std::memcpy(row, &one, 4);
    }
  }
}

}  // namespace

bool VideoDecoder::InitVideoDecoder(const StreamParameters& params) {
  // The parameter sets fed alone, and frames after a gap, make the decoder
  // complain on standard error; a damaged frame is simply not shown.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  Release();
  if (params.width <= 0 || params.width > kMaxPictureWidth || params.height <= 0 ||
      params.height > kMaxPictureHeight) {
    LogLine("the stream's picture size " + std::to_string(params.width) + "x" + std::to_string(params.height) +
            " is beyond " + std::to_string(kMaxPictureWidth) + "x" + std::to_string(kMaxPictureHeight));
    return false;
  }
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  if (!codec) return LogLine("no H.264 decoder"), false;
  context_ = avcodec_alloc_context3(codec);
  if (!context_) return false;
  context_->thread_count = 1;  // one decoder a session; sixteen sessions share the cores
  context_->flags |= AV_CODEC_FLAG_LOW_DELAY;  // a picture per packet: the clock shows it at once
  // The decoder refuses a larger picture before it allocates one.
  context_->max_pixels = static_cast<int64_t>(kMaxPictureWidth) * kMaxPictureHeight;
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    LogLine("the H.264 decoder does not open");
    Release();
    return false;
  }
  picture_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!picture_ || !packet_) {
    Release();
    return false;
  }
  for (const std::string* set : {&params.parameterSets.sps, &params.parameterSets.pps}) {
    std::string record = ParameterSetPackage::Record(*set);
    Feed(reinterpret_cast<const uint8_t*>(record.data()), record.size());
  }
  context_->width = params.width;
  context_->height = params.height;
  havePicture_ = false;
  return true;
}

void VideoDecoder::Feed(const uint8_t* data, std::size_t size) {
  // The decoder may read padding beyond the frame: decode from a padded copy.
  if (av_new_packet(packet_, static_cast<int>(size)) < 0) return;
  std::memcpy(packet_->data, data, size);
  avcodec_send_packet(context_, packet_);
  av_packet_unref(packet_);
}

const AVFrame* VideoDecoder::Decode(const uint8_t* data, std::size_t size) {
  if (!context_ || size == 0 || size > 16 * 1024 * 1024) return nullptr;
  Feed(data, size);
  if (avcodec_receive_frame(context_, picture_) != 0) return nullptr;
  if (picture_->width > kMaxPictureWidth || picture_->height > kMaxPictureHeight) return nullptr;
  havePicture_ = true;
  fullSinceKey_ = (fullSinceKey_ || picture_->key_frame) && loopFilter_;
  return picture_;
}

void VideoDecoder::SetLoopFilter(bool on) {
  loopFilter_ = on;
  // Read by the decoder for every slice: it takes effect with the next frame.
  if (context_) context_->skip_loop_filter = on ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
}

void VideoDecoder::Release() {
  if (context_) avcodec_free_context(&context_);
  if (picture_) av_frame_free(&picture_);
  if (packet_) av_packet_free(&packet_);
  havePicture_ = false;
  loopFilter_ = true;
  fullSinceKey_ = true;
}

void FrameGroup::Add(const uint8_t* data, std::size_t size, bool keyFrame) {
  if (keyFrame) {
    Clear();
    complete_ = true;
  }
  if (!complete_) return;
  if (bytes_.size() + size > kMaxBytes) return Clear();
  bytes_.insert(bytes_.end(), data, data + size);
  ends_.push_back(bytes_.size());
}

bool FrameGroup::DecodeFull(const StreamParameters& params, VideoDecoder& decoder) const {
  if (!complete_ || ends_.empty() || !decoder.InitVideoDecoder(params)) return false;
  std::size_t begin = 0;
  for (std::size_t end : ends_) {
    decoder.Decode(bytes_.data() + begin, end - begin);
    begin = end;
  }
  return decoder.lastPicture() != nullptr;
}

void FrameGroup::Clear() {
  bytes_.clear();
  ends_.clear();
  complete_ = false;
}

bool ShownReduced(int width, int height, int rotation, PictureSize size) {
  const bool quarter = rotation % 2 != 0;
  const int across = quarter ? size.height : size.width, down = quarter ? size.width : size.height;
  return !size.empty() && across * 2 <= width && down * 2 <= height;
}

bool PictureConverter::Scale(const AVFrame& p, int width, int height, uint8_t* pixels, int stride, bool reduced) {
  // Every other row of each plane: half the rows to scale, for a picture
  // drawn at half its height or less. Planar 4:2:0 only, so that the chroma
  // rows halve with the luma rows.
  const auto format = static_cast<AVPixelFormat>(p.format);
  const bool skipRows = reduced && (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) && p.height >= 2;
  const int step = skipRows ? 2 : 1;
  const int rows = p.height / step;
  sws_ = sws_getCachedContext(sws_, p.width, rows, format, width, height, AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR,
                              nullptr, nullptr, nullptr);
  if (!sws_) return false;
  int srcStride[4] = {};
  for (int i = 0; i < 4; ++i) srcStride[i] = p.linesize[i] * step;
  uint8_t* dst[4] = {pixels, nullptr, nullptr, nullptr};
  int dstStride[4] = {stride, 0, 0, 0};
  return sws_scale(sws_, p.data, srcStride, 0, rows, dst, dstStride) == height;
}

bool PictureConverter::Convert(const AVFrame& picture, int rotation, PictureSize size, Picture& out, bool reduced) {
  if (size.empty() || size.width > kMaxDimension || size.height > kMaxDimension) return false;
  if (picture.width <= 0 || picture.height <= 0) return false;
  out.Resize(size.width, size.height);
  rotation = ((rotation % kRotations) + kRotations) % kRotations;
  bool ok = false;
  if (rotation == 0) {
    ok = Scale(picture, size.width, size.height, out.pixels.data(), out.stride, reduced);
  } else {
    // Scaled in the turned orientation, then turned into place.
    const bool quarter = rotation != 2;
    const int sw = quarter ? size.height : size.width, sh = quarter ? size.width : size.height;
    turned_.resize(static_cast<std::size_t>(sw) * sh * 4);
    ok = Scale(picture, sw, sh, turned_.data(), sw * 4, reduced);
    if (ok) Turn(turned_.data(), sw, sh, sw * 4, rotation, out);
  }
  if (!ok) return false;
  SetOpaque(out);
  return true;
}

void PictureConverter::Release() {
  if (sws_) sws_freeContext(sws_);
  sws_ = nullptr;
  turned_.clear();
  turned_.shrink_to_fit();
}

}  // namespace lumivex
