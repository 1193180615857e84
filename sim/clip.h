#pragma once
// The H.264 loop the simulated cameras stream: encoded once per picture
// size, bit rate, camera name and pan and tilt position, on first use, by
// libx264 through libavcodec with one thread, so the same key always gives
// the same bytes. 2 s at 15 frames a second; frame 0 is the only key frame
// (IDR); every frame is one slice NAL unit in byte-stream form.

#include <compare>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/picture.h"

namespace lumivex::sim {

inline constexpr int kClipFps = 15;
inline constexpr int kClipTimeGapMs = 66;  // what the connect reply announces
inline constexpr int kClipFrames = 30;

struct ClipKey {
  int width = 640;
  int height = 360;
  int bitRate = 480000;
  std::string label;  // drawn into every picture
  int pan = 0;        // backdrop offset in pixels, across
  int tilt = 0;       // and up and down
  auto operator<=>(const ClipKey&) const = default;
};

struct Clip {
  ClipKey key;
  std::string sps, pps;             // parameter sets without start code
  std::vector<std::string> frames;  // 00 00 00 01 and one slice NAL unit each
  bool IsKeyFrame(std::size_t index) const;
};

// False with a reason when the encoder is missing or its output is not
// the shape described above.
bool EncodeClip(const ClipKey& key, Clip& out, std::string& error);

// count pictures, drawn by draw(index, picture), with the loop's encoder
// settings: frame 0 the only key frame. label and pan are not used.
using PictureDrawer = std::function<void(int index, YuvPicture& picture)>;
bool EncodeFrames(const ClipKey& key, int count, const PictureDrawer& draw, Clip& out, std::string& error);

// The NAL units of an Annex B byte stream, without start codes.
std::vector<std::string> SplitNalUnits(const std::string& stream);

class ClipCache {
 public:
  using Handle = std::shared_future<std::shared_ptr<const Clip>>;

  // Starts encoding in the background unless the key is known. The clip
  // is null when encoding failed (the reason is logged).
  Handle Request(const ClipKey& key);

 private:
  std::mutex mutex_;
  std::map<ClipKey, Handle> clips_;
};

}  // namespace lumivex::sim
