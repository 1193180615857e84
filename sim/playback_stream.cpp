#include "sim/playback_stream.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sim/sim_log.h"
#include "webservice/crypto.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kPictureWaitMs = 5;  // polling an encoder that runs late

ClipKey FeedKey(const SimCamera& camera) {
  const CameraConfig& c = camera.config;
  return {c.width, c.height, c.bitRate, camera.name, 0, 0};
}

}  // namespace

Json::Value PlaybackReply(const Clip& first, int gapSeconds, const std::string& initTime, CameraAudio audio,
                          int audioSample) {
  Json::Value r = ConnectReply(first, 0, audio, audioSample);
  r.removeMember("bitRate");  // a recording has no bit rate to change
  r["playbackGap"] = std::to_string(gapSeconds);
  r["playback-initTime"] = initTime;
  return r;
}

void ServePlayback(Link& link, bool udt, SimCamera& camera, const ConnectRequest& request, PacketSplitter& splitter,
                   CameraServices& services) {
  const std::string who = "camera " + camera.sid;
  RequestHour hour;
  std::string why;
  if (!ParseRequestHour(request.message["request-date"].asString(), hour, why)) return LogRefused(who, why);
  if (!DayListHolds(camera.videoDaylist, hour)) {
    services.controlLog.Write(camera.sid, "playback-refused " + hour.text);
    return LogRefused(who, "no recording of " + hour.text + " (day list \"" + camera.videoDaylist + "\")");
  }
  const CameraConfig& config = camera.config;
  // a playback client takes Speex for the end of its session: Speex cameras play back silent
  const CameraAudio audio = AudioFor(config, udt) == CameraAudio::kAac ? CameraAudio::kAac : CameraAudio::kNone;
  PlaybackStream stream({link, camera, request.key, splitter, services, udt, request.message["umac"].asString()},
                        hour, audio);
  auto first = stream.First();
  if (!first) return LogError(who + ": no picture to play back, hanging up");
  if (config.mediaBeforeReply && !stream.SendEarlyMedia(*first)) return;
  std::string reply;
  if (!SealMessage(kInteractive, PlaybackReply(*first, config.playbackGap, stream.initTime(), audio, config.audioSample),
                   request.key.keyValue, kPacketHeader, reply))
    return LogError(who + ": the connect reply cannot be sealed");
  if (!link.Send(reply)) return LogNote(who + ": the client is gone before the reply");
  StreamContext context{link, camera, request.key, splitter, services, udt, request.message["umac"].asString()};
  if (!AwaitStartupMessage(context, who)) return;
  stream.Run();
}

PlaybackStream::PlaybackStream(StreamContext context, const RequestHour& hour, CameraAudio audio)
    : c_(std::move(context)),
      who_("camera " + c_.camera.sid),
      hour_(hour),
      gap_(c_.camera.config.playbackGap),
      start_(hour.start + std::chrono::seconds(c_.camera.config.playbackStartSecond)),
      initTime_(InitTimeText(start_)),
      feed_(FeedKey(c_.camera), start_, gap_),
      check_(ControlCheck::Playback(c_.umac, gap_)) {
  if (audio == CameraAudio::kAac) audio_ = c_.services.audio.Aac(c_.camera.config.audioSample);
  frameNumber_ = FirstFrameNumber(c_.camera);
  if (c_.camera.config.startOnNonKey) frame_ = 1;
}

bool PlaybackStream::SendEarlyMedia(const Clip& first) {
  for (const std::string& p : VideoPackets(first.frames[0], static_cast<int32_t>(frameNumber_), true, 0))
    if (!c_.link.Send(p)) return false;
  c_.services.frameLog.Write(c_.camera.sid, static_cast<int32_t>(frameNumber_++), first.frames[0]);
  LogNote(who_ + " sent a frame before the reply (mediaBeforeReply)");
  return true;
}

void PlaybackStream::Run() {
  ControlLog& log = c_.services.controlLog;
  log.Write(c_.camera.sid, "playback-start " + hour_.text + " " + initTime_);
  log.Write(c_.camera.sid, "stream-end " + Stream());
}

std::string PlaybackStream::Stream() {
  const CameraConfig& config = c_.camera.config;
  const auto start = Clock::now();
  const auto closeAt = config.closeAfterSeconds > 0 ? start + std::chrono::seconds(config.closeAfterSeconds)
                                                    : Clock::time_point::max();
  Anchor(start);
  feed_.Prepare(second_);
  lastControl_ = start;
  while (!c_.services.stop) {
    const auto now = Clock::now();
    if (now >= closeAt) {
      if (SendCloseMessage(c_)) LogNote(who_ + " sent close after " + std::to_string(config.closeAfterSeconds) + " s");
      return "camera-close";
    }
    if (config.keepAliveTimeoutSeconds > 0 && now - lastControl_ > std::chrono::seconds(config.keepAliveTimeoutSeconds)) {
      LogNote(who_ + ": no message from the client for " + std::to_string(config.keepAliveTimeoutSeconds) +
              " s, hanging up");
      return "keepalive-timeout";
    }
    bool waiting = false, noPicture = false;
    if (!SendDue(now, waiting, noPicture)) {
      LogNote(who_ + ": the client is gone");
      return "client-gone";
    }
    if (noPicture) return "no-picture";
    auto due = closeAt;
    if (!paused_ && VideoLeft()) due = std::min(due, Due(FrameMs()));
    if (!paused_ && AudioLeft()) due = std::min(due, Due(audioMs_));
    auto wait = std::chrono::duration_cast<milliseconds>(due - Clock::now()).count();
    const int bound = waiting ? kPictureWaitMs : 200;
    if (std::string end = TakeClientPackets(c_, who_, static_cast<int>(std::clamp<long long>(wait, 0, bound)),
                                            [this](const std::string& p) { return HandlePacket(p); });
        !end.empty())
      return end;
  }
  return "stopped";
}

bool PlaybackStream::SendDue(Clock::time_point now, bool& waitingForPicture, bool& noPicture) {
  if (paused_) return true;
  if (VideoLeft() && now >= Due(FrameMs())) {
    std::shared_ptr<const Clip> group;
    if (!feed_.Ready(second_, group)) {
      waitingForPicture = true;
    } else if (!group) {
      noPicture = true;
      return true;
    } else {
      if (now - Due(FrameMs()) > std::chrono::seconds(1)) Anchor(now);  // no burst after a stall
      if (!SendFrame(*group)) return false;
    }
  }
  if (AudioLeft() && now >= Due(audioMs_) && !SendAudio()) return false;
  if (!finished_ && !VideoLeft() && !AudioLeft()) {
    finished_ = true;
    c_.services.controlLog.Write(c_.camera.sid, "playback-finished " + std::to_string(gap_));
  }
  return true;
}

bool PlaybackStream::SendFrame(const Clip& group) {
  const int32_t position = second_ * 1000 + frame_ * 1000 / kClipFps;
  if (!SendVideoFrame(c_, who_, group.frames[frame_], frameNumber_, group.IsKeyFrame(frame_), position, streamFrame_))
    return false;
  ++frameNumber_;
  ++streamFrame_;
  if (++frame_ == static_cast<int>(group.frames.size())) {
    frame_ = 0;
    feed_.Prepare(++second_);
  }
  return true;
}

bool PlaybackStream::SendAudio() {
  const std::string& payload = audio_->payloads[audioIndex_];
  audioIndex_ = (audioIndex_ + 1) % audio_->payloads.size();
  const double stamp = std::max(0.0, std::floor(audioMs_) + c_.camera.config.playbackAudioShiftMs);
  audioMs_ += audio_->periodMs;
  return c_.link.Send(AudioPacket(audio_->packetType, payload, static_cast<int32_t>(stamp)));
}

std::string PlaybackStream::HandlePacket(const std::string& packet) {
  const uint8_t type = static_cast<uint8_t>(packet[0]);
  if (type == kSpeexAudio || type == kAacAudio) {
    LogRefused(who_, "talk-back audio during playback");
    return {};
  }
  Json::Value message;
  const ControlRead read = ReadControl(c_, who_, check_, packet, message);
  if (read == ControlRead::kBroken) return "refused";
  lastControl_ = Clock::now();
  return read == ControlRead::kAccepted ? HandleMessage(message) : std::string();
}

std::string PlaybackStream::HandleMessage(const Json::Value& m) {
  const std::string cmd = m["cmd"].asString();
  if (cmd == "jump") {
    Jump(std::atoi(m["point"].asCString()));
  } else if (cmd == "playback-pause") {
    paused_ = true;
  } else if (cmd == "playback-play" && paused_) {
    paused_ = false;
    Anchor(Clock::now());
  } else if (cmd == "close") {
    return "client-close";
  }
  return {};
}

// The next frame is the key frame of that second; a pause goes on.
void PlaybackStream::Jump(int second) {
  second_ = second;
  frame_ = 0;
  audioMs_ = second * 1000.0;
  finished_ = false;
  feed_.Prepare(second_);
  Anchor(Clock::now());
}

void PlaybackStream::Anchor(Clock::time_point now) {
  anchorTime_ = now;
  anchorMs_ = FrameMs();
}

double PlaybackStream::FrameMs() const { return second_ * 1000.0 + frame_ * 1000.0 / kClipFps; }

Clock::time_point PlaybackStream::Due(double positionMs) const {
  return anchorTime_ + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double, std::milli>(positionMs - anchorMs_));
}

}  // namespace lumivex::sim
