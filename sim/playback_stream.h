#pragma once
// A playback session: the recording of one hour from the camera's day
// list, streamed from its start at the clip's frame rate with timestamps
// that are the position in the recording (ms), and steered by the client:
// jump, pause, play, keep-alive, close. AAC cameras send their tone with
// it (shifted by a knob); Speex cameras send no sound at all.

#include <chrono>
#include <memory>
#include <string>

#include "sim/camera_stream.h"
#include "sim/playback_feed.h"

namespace lumivex::sim {

// Plays the connect message's hour back on link when the day list holds
// it; refuses (logged, and "playback-refused <hour>" in the control log)
// and hangs up when not. The message has passed CheckConnect.
void ServePlayback(Link& link, bool udt, SimCamera& camera, const ConnectRequest& request, PacketSplitter& splitter,
                   CameraServices& services);

// The reply's members, all JSON strings.
Json::Value PlaybackReply(const Clip& first, int gapSeconds, const std::string& initTime, CameraAudio audio,
                          int audioSample);

class PlaybackStream {
 public:
  // audio: kAac or kNone.
  PlaybackStream(StreamContext context, const RequestHour& hour, CameraAudio audio);

  // The recording's first second, encoded; null when it cannot be (logged).
  std::shared_ptr<const Clip> First() { return feed_.Wait(0); }
  const std::string& initTime() const { return initTime_; }
  // The mediaBeforeReply knob: the first frame before the reply.
  bool SendEarlyMedia(const Clip& first);
  // Until the client leaves, a knob or "close" ends it, or the sim stops;
  // its start and end go to the control log.
  void Run();

 private:
  using Clock = std::chrono::steady_clock;

  std::string Stream();
  // Sends what is due; false when the client is gone.
  bool SendDue(Clock::time_point now, bool& waitingForPicture, bool& noPicture);
  bool SendFrame(const Clip& group);
  bool SendAudio();
  std::string HandlePacket(const std::string& packet);
  std::string HandleMessage(const Json::Value& message);
  void Jump(int second);
  // Video and audio are due from now on at the present position.
  void Anchor(Clock::time_point now);
  double FrameMs() const;  // the next frame's position, exactly
  Clock::time_point Due(double positionMs) const;
  bool VideoLeft() const { return second_ < gap_; }
  bool AudioLeft() const { return audio_ && audioMs_ < gap_ * 1000.0; }

  StreamContext c_;
  const std::string who_;
  const RequestHour hour_;
  const int gap_;
  const RecordingTime start_;
  const std::string initTime_;
  PlaybackFeed feed_;
  std::shared_ptr<const AudioClip> audio_;  // null: no sound
  ControlCheck check_;
  int second_ = 0;  // of the next frame
  int frame_ = 0;   // in its second
  double audioMs_ = 0;  // the next audio packet's position
  std::size_t audioIndex_ = 0;
  bool paused_ = false;
  bool finished_ = false;  // "playback-finished" is logged
  Clock::time_point anchorTime_;
  double anchorMs_ = 0;
  uint32_t frameNumber_;  // sent as the 32 bits it has
  int streamFrame_ = 0;
  Clock::time_point lastControl_;
};

}  // namespace lumivex::sim
