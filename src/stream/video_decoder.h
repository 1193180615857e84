#pragma once
// H.264 decoding of the live stream, and the conversion of a decoded
// picture straight to a window's size and orientation.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/stream_handshake.h"
#include "stream/video_surface.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace lumivex {

// The largest picture a camera may send: the connect reply's size and every
// decoded picture stay within it, so that a stream cannot make the decoder
// allocate what a hostile SPS announces.
inline constexpr int kMaxPictureWidth = 4096;
inline constexpr int kMaxPictureHeight = 2304;

class VideoDecoder {
 public:
  VideoDecoder() = default;
  ~VideoDecoder() { Release(); }
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Opens the decoder and feeds it the parameter sets first; false for a
  // size beyond the largest picture.
  bool InitVideoDecoder(const StreamParameters& params);
  // One frame as one packet; the picture, or null when none came out.
  // The picture stays valid until the next call or Release.
  const AVFrame* Decode(const uint8_t* data, std::size_t size);
  // The last picture that came out, or null.
  const AVFrame* lastPicture() const { return havePicture_ ? picture_ : nullptr; }
  void Release();

 private:
  void Feed(const uint8_t* data, std::size_t size);

  AVCodecContext* context_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool havePicture_ = false;
};

// Rotation of the shown picture: 0 upright, then quarter turns clockwise.
inline constexpr int kRotations = 4;

class PictureConverter {
 public:
  PictureConverter() = default;
  ~PictureConverter() { Release(); }
  PictureConverter(const PictureConverter&) = delete;
  PictureConverter& operator=(const PictureConverter&) = delete;

  // Scales picture into out at size, turned by rotation quarter turns
  // clockwise; out is resized to size. False when the picture cannot be
  // converted.
  bool Convert(const AVFrame& picture, int rotation, PictureSize size, Picture& out);
  void Release();

 private:
  bool Scale(const AVFrame& picture, int width, int height, uint8_t* pixels, int stride);

  SwsContext* sws_ = nullptr;
  std::vector<uint8_t> turned_;  // scaled before a quarter or half turn
};

}  // namespace lumivex
