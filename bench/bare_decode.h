#pragma once
// The yardstick of the live-view path: the same H.264 frames decoded by a
// plain libavcodec context on one thread, with nothing around it; and,
// apart from it, the conversion of each picture to the window's size.

#include <cstdint>
#include <string>

#include "sim/clip.h"
#include "stream/video_surface.h"

namespace lumivex::bench {

struct BareDecodeResult {
  uint64_t frames = 0;          // pictures that came out
  double cpuSeconds = 0;        // decoding them, on the decoding thread
  double convertCpuSeconds = 0; // converting them to the window, on the same thread
};

// Encodes the clip the sim streams for key, then decodes frames of it on
// the calling thread, looping over the clip, and converts each picture to
// window as the live view does; false with the reason.
bool BareDecode(const sim::ClipKey& key, uint64_t frames, PictureSize window, BareDecodeResult& out,
                std::string& error);

}  // namespace lumivex::bench
