#pragma once
// The streaming half of a camera connection: video paced by the clip's
// frame interval, audio at its own pace, and what the client sends
// meanwhile: control messages (keep-alive and audio hold, pan/tilt,
// quality, close), checked strictly, and talk-back audio, decoded.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "sim/camera_session.h"
#include "sim/control_check.h"
#include "sim/stream_clock.h"
#include "sim/talk_audio.h"

namespace lumivex::sim {

struct StreamContext {
  Link& link;
  SimCamera& camera;
  const SessionKey& key;  // seals what the camera sends, opens what it receives
  PacketSplitter& splitter;
  CameraServices& services;
  bool udt = false;  // the connection came through NAT traversal
  std::string umac;  // the session's, from its connect message
};

// Waits for {"type":"startup"} and writes it to the control log; false
// when it does not come (logged).
bool AwaitStartupMessage(StreamContext& c, const std::string& who);
// {"cmd":"close"} to the client.
bool SendCloseMessage(StreamContext& c);

// A control packet from the client, opened with the session's key and
// checked. kAccepted: message holds it and it went to the control log;
// kRefused: it opened but was refused (logged, not acted on); kBroken: not
// an interactive packet the session's key opens (logged), which ends the
// stream.
enum class ControlRead { kAccepted, kRefused, kBroken };
ControlRead ReadControl(const StreamContext& c, const std::string& who, ControlCheck& check, const std::string& packet,
                        Json::Value& message);

// Reads what the client sends within waitMs and hands each whole packet to
// handle. Empty while the stream goes on, else why it ends: handle's reason,
// or the connection's.
std::string TakeClientPackets(StreamContext& c, const std::string& who, int waitMs,
                              const std::function<std::string(const std::string&)>& handle);

// One video frame's packets on the link, leaving out the fragment that the
// dropFragment knob names when this is its frame (the streamFrame-th of the
// stream); a frame that went whole goes to the frame log. False when the
// client is gone.
bool SendVideoFrame(StreamContext& c, const std::string& who, const std::string& frame, uint32_t number, bool key,
                    int32_t timestamp, int streamFrame);

class CameraStream {
 public:
  static constexpr int kStartupWaitMs = 30000;

  CameraStream(StreamContext context, std::shared_ptr<const Clip> clip, CameraAudio audio);

  // The mediaBeforeReply knob: one whole frame and audio packets (AAC too
  // on TCP) before the connect reply.
  bool SendEarlyMedia();
  // False when the startup message does not come (logged).
  bool AwaitStartup();
  // Until the client leaves, a knob or "close" ends it, or the sim stops;
  // its start and end go to the control log.
  void Run();

 private:
  using Clock = std::chrono::steady_clock;

  // Why the stream ended, a word for the control log.
  std::string Stream();
  // The stream's fault from here on (garbage, absurd lengths or a stall);
  // the connection stays open until the client goes.
  std::string GoBad();
  bool SendFrame();
  bool SendAudio();
  bool SendClose();
  // Empty while the stream goes on; else why it ends.
  std::string HandlePacket(const std::string& packet);
  std::string HandleMessage(const Json::Value& message);
  void HandleTalk(const std::string& packet);
  void Turn(int panSteps, int tiltSteps);
  void ChangeBitRate(int bitRate);
  void SwitchClipIfReady();

  StreamContext c_;
  const std::string who_;
  std::shared_ptr<const Clip> clip_;
  ClipCache::Handle pending_;  // the next clip (pan, tilt or quality), taken at a key frame
  ClipKey wanted_;
  const CameraAudio audioKind_;  // also the codec the client talks back in
  std::shared_ptr<const AudioClip> audio_;
  bool audioOn_ = true;     // "pause" holds the camera's audio, "running" resumes it
  std::size_t position_ = 0;  // in the clip
  std::size_t audioPosition_ = 0;
  uint32_t frameNumber_;  // sent as the 32 bits it has
  int streamFrame_ = 0;  // frames of this stream so far
  Clock::time_point lastControl_;
  ControlCheck check_;
  TalkDecoder talk_;
};

}  // namespace lumivex::sim
