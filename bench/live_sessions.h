#pragma once
// N live-view sessions through the real path (sockets, frame ring, frame
// clock, decoder, conversion to a wall window) over one measured window.

#include <cstdint>
#include <string>
#include <vector>

#include "bench_sim.h"
#include "stream/video_surface.h"

namespace lumivex::bench {

struct FrameCounts {
  uint64_t shown = 0, decoded = 0, dropped = 0, late = 0, reduced = 0;
  int64_t decodeCpuNs = 0, convertCpuNs = 0;  // thread CPU time in the decoder and the conversion
};

struct LiveResult {
  int played = 0;        // sessions that were playing when the window opened
  int playingAtEnd = 0;  // and when it closed
  FrameCounts window;    // summed over the sessions, during the window only
  double cpuSeconds = 0;            // of this process, during the window
  double simCpuSeconds = -1;        // of the sim, during the window; -1 when unreadable
  long rssBeforeKib = 0;            // before the sessions started
  long peakAfterKib = 0;            // the peak at the end of the window
  std::vector<double> firstPictureMs;  // per session that showed a picture
  std::vector<double> firstPictureAfterReplyMs;  // the same from its connect reply
  double startAllMs = 0;  // starting every session (the caller's part)
  double playAllMs = 0;   // from the first start until all play
  double stopAllMs = 0;   // stopping every session, one after the other
  std::vector<double> stopMs;  // each StopCleanCamera of a playing session
  int threads = 0;             // of this process while all play (/proc/self/task)
  int threadsIdle = 0;         // before the sessions started
  double voluntarySwitchesPerSecond = -1;  // every thread's, during the window
  int32_t bitRate = 0;    // what the cameras streamed during the window
  double qualitySwitchMs = -1;  // automatic quality: asking until every stream took the new rate
};

struct LiveRun {
  int seconds = 10;
  PictureSize window;  // each session's wall window
  bool autoQuality = false;
};

// Runs cameras.count sessions of the sim's cameras for run.seconds once all
// play (and, with automatic quality, once every stream took the rate the
// window asks for). False (with the reason) when not all of them played in
// time; the result holds what was measured all the same.
bool RunLiveSessions(BenchClient& client, BenchSim& sim, const BenchCameras& cameras, const LiveRun& run,
                     LiveResult& out, std::string& error);

}  // namespace lumivex::bench
