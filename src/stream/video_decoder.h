#pragma once
// H.264 decoding of the live stream, and the conversion of a decoded
// picture straight to a window's size and orientation.
//
// A picture that a window shows at half its size or less in both
// directions is made more cheaply, where nobody can see the difference:
// the decoder leaves out the loop filter and the conversion reads every
// other row. A snapshot of such a picture is decoded again in full from the
// frames since the last key frame (FrameGroup).

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
  // From the next frame on; on by default.
  void SetLoopFilter(bool on);
  // Whether every frame since the last key frame, that one included, was
  // decoded with the loop filter: the last picture is the full one.
  bool fullSinceKey() const { return fullSinceKey_; }
  void Release();

 private:
  void Feed(const uint8_t* data, std::size_t size);

  AVCodecContext* context_ = nullptr;
  AVFrame* picture_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool havePicture_ = false;
  bool loopFilter_ = true;
  bool fullSinceKey_ = true;
};

// The frames since the last key frame, kept so that a picture decoded
// without the loop filter can be decoded again in full.
class FrameGroup {
 public:
  // More is not kept: the group is then incomplete until the next key frame.
  static constexpr std::size_t kMaxBytes = 8u << 20;

  void Add(const uint8_t* data, std::size_t size, bool keyFrame);
  // A key frame and every frame after it.
  bool complete() const { return complete_; }
  // Decodes the group with decoder, opened afresh for params: its last
  // picture is the group's last frame in full. False when incomplete.
  bool DecodeFull(const StreamParameters& params, VideoDecoder& decoder) const;
  void Clear();

 private:
  std::vector<uint8_t> bytes_;
  std::vector<std::size_t> ends_;  // of each frame in bytes_
  bool complete_ = false;
};

// Whether a width x height picture, turned by rotation quarter turns, is
// drawn at size at half its size or less in both directions.
bool ShownReduced(int width, int height, int rotation, PictureSize size);

// Rotation of the shown picture: 0 upright, then quarter turns clockwise.
inline constexpr int kRotations = 4;

class PictureConverter {
 public:
  PictureConverter() = default;
  ~PictureConverter() { Release(); }
  PictureConverter(const PictureConverter&) = delete;
  PictureConverter& operator=(const PictureConverter&) = delete;

  // Scales picture into out at size, turned by rotation quarter turns
  // clockwise; out is resized to size. reduced: the picture is drawn at
  // half its size or less (ShownReduced), and every other row is enough.
  // False when the picture cannot be converted.
  bool Convert(const AVFrame& picture, int rotation, PictureSize size, Picture& out, bool reduced = false);
  void Release();

 private:
  bool Scale(const AVFrame& picture, int width, int height, uint8_t* pixels, int stride, bool reduced);

  SwsContext* sws_ = nullptr;
  std::vector<uint8_t> turned_;  // scaled before a quarter or half turn
};

}  // namespace lumivex
