#pragma once
// What every camera of the run shares, and the quality levels the cameras
// are asked for.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "stream/device_session.h"
#include "stream/display_clock.h"
#include "stream/reconnect_watchdog.h"
#include "stream/video_wall.h"

namespace lumivex {

struct ServiceContext;
class AudioDevices;

// The three quality levels of the quality menu, bits per second.
inline constexpr int32_t kQualityLevels[] = {88000, 480000, 1200000};

// The level automatic quality asks for a window this many pixels wide:
// 88000 below 400, 480000 below 960, 1200000 from 960 on.
int32_t AutoQualityLevel(int windowWidth);

// What every camera of the run shares. The cameras go before it.
struct StreamEnvironment {
  StreamEnvironment(ServiceContext& context, VideoWall& videoWall, AudioDevices& devices)
      : ctx(context), wall(videoWall), audioDevices(devices) {}

  ServiceContext& ctx;
  VideoWall& wall;
  AudioDevices& audioDevices;
  std::atomic<bool> cutoffNoticePending{true};  // the relay cut-off notice is shown once per run
  // A recording segment or snapshot was written (any thread).
  std::function<void(const std::string& path)> fileWritten;
  DisplayClock displayClock;   // every session's frame ticks
  ReconnectWatchdog watchdog;  // its period may change before the first start
  // Tests put their own way to the camera here; null asks the service.
  SessionOpener* opener = nullptr;
};

}  // namespace lumivex
