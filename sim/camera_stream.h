#pragma once
// The streaming half of a camera connection: video paced by the clip's
// frame interval, audio at its own pace, and the control messages the
// client sends meanwhile (keep-alive and audio hold, pan/tilt, quality,
// close).

#include <chrono>
#include <memory>
#include <string>

#include "sim/camera_session.h"

namespace lumivex::sim {

struct StreamContext {
  Link& link;
  SimCamera& camera;
  const SessionKey& key;  // seals what the camera sends, opens what it receives
  PacketSplitter& splitter;
  CameraServices& services;
};

class CameraStream {
 public:
  static constexpr int kStartupWaitMs = 30000;

  CameraStream(StreamContext context, std::shared_ptr<const Clip> clip, CameraAudio audio);

  // The mediaBeforeReply knob: one whole frame and audio packets (AAC too
  // on TCP) before the connect reply.
  bool SendEarlyMedia(bool udt);
  // False when the startup message does not come (logged).
  bool AwaitStartup();
  // Until the client leaves, a knob or "close" ends it, or the sim stops.
  void Run();

 private:
  using Clock = std::chrono::steady_clock;

  bool SendFrame();
  bool SendAudio();
  bool SendClose();
  // False when the connection is to end.
  bool HandlePacket(const std::string& packet);
  bool HandleControl(const Json::Value& message);
  void Pan(int steps);
  void ChangeBitRate(int bitRate);
  void SwitchClipIfReady();

  StreamContext c_;
  const std::string who_;
  std::shared_ptr<const Clip> clip_;
  ClipCache::Handle pending_;  // the next clip (pan or quality), taken at a key frame
  ClipKey wanted_;
  std::shared_ptr<const AudioClip> audio_;
  bool audioOn_ = true;     // "pause" holds the camera's audio, "running" resumes it
  std::size_t position_ = 0;  // in the clip
  std::size_t audioPosition_ = 0;
  int32_t frameNumber_;
  int streamFrame_ = 0;  // frames of this stream so far
  Clock::time_point lastControl_;
};

// Milliseconds since the sim started: the packets' timestamps.
int32_t StreamClockMs();

}  // namespace lumivex::sim
