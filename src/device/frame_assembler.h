#pragma once
// Puts the fragments of the video stream back together into whole frames,
// for the command-line driver and the tests. A frame whose fragments do not
// all arrive before the next frame starts is dropped, as are fragments that
// do not fit the frame layout (1375-byte pieces, at most 307200 bytes).

#include <cstdint>
#include <string>
#include <vector>

#include "device/session_packet.h"

namespace lumivex {

inline constexpr std::size_t kFragmentBytes = 1375;
inline constexpr std::size_t kMaxFrameBytes = 307200;

struct VideoFrame {
  int32_t frameNumber = 0;
  int32_t timestamp = 0;
  bool keyFrame = false;
  std::string bytes;

  uint32_t Crc32() const;  // zlib's CRC-32 of bytes
};

class FrameAssembler {
 public:
  // True when this fragment completed a frame, which is then in frame.
  bool Add(const VideoFragment& fragment, VideoFrame& frame);

  int droppedFrames() const { return dropped_; }
  int refusedFragments() const { return refused_; }

 private:
  bool Fits(const VideoFragment& fragment) const;
  void Begin(const VideoFragment& fragment);

  bool active_ = false;
  VideoFrame current_;
  int32_t count_ = 0;
  std::size_t size_ = 0;  // frame length once the last fragment is in
  std::vector<bool> received_;
  int32_t missing_ = 0;
  int dropped_ = 0;
  int refused_ = 0;
};

}  // namespace lumivex
