#pragma once
// The yardstick a user would reach for: N concurrent ffmpeg processes that
// decode the clip the cameras stream at its own rate, one thread each, and
// scale every picture to the window as BGRA, for the same seconds.

#include <cstdint>
#include <string>

#include "sim/clip.h"
#include "stream/video_surface.h"

namespace lumivex::bench {

struct PeerResult {
  int processes = 0;
  uint64_t frames = 0;      // pictures decoded, summed over the processes
  double cpuSeconds = 0;    // user + system time of the processes, summed
};

// Writes the clip of key as an H.264 byte stream file in folder, repeated
// for seconds at the clip's rate, and runs processes ffmpeg processes on
// it; false with the reason (ffmpeg missing, a process failed).
bool RunFfmpegPeer(const sim::ClipKey& key, int processes, int seconds, PictureSize window,
                   const std::string& folder, PeerResult& out, std::string& error);

}  // namespace lumivex::bench
