#include "sim/camera_stream.h"

#include <algorithm>
#include <cstdlib>

#include "sim/sim_log.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const Clock::time_point kEpoch = Clock::now();

constexpr int kPanSteps = 5;  // each way

}  // namespace

int32_t StreamClockMs() {
  return static_cast<int32_t>(std::chrono::duration_cast<milliseconds>(Clock::now() - kEpoch).count());
}

CameraStream::CameraStream(StreamContext context, std::shared_ptr<const Clip> clip, CameraAudio audio)
    : c_(context), who_("camera " + context.camera.sid), clip_(std::move(clip)), wanted_(clip_->key) {
  if (audio == CameraAudio::kSpeex) audio_ = c_.services.audio.Speex();
  if (audio == CameraAudio::kAac) audio_ = c_.services.audio.Aac(c_.camera.config.audioSample);
  frameNumber_ = c_.camera.nextStreamBase.fetch_add(1000000);
  if (c_.camera.config.startOnNonKey) position_ = 1;
}

bool CameraStream::SendEarlyMedia(bool udt) {
  const std::string& frame = clip_->frames[0];
  for (const std::string& p : VideoPackets(frame, frameNumber_, true, StreamClockMs()))
    if (!c_.link.Send(p)) return false;
  c_.services.frameLog.Write(c_.camera.sid, frameNumber_++, frame);
  auto speex = c_.services.audio.Speex();
  if (speex && !c_.link.Send(AudioPacket(kSpeexAudio, speex->payloads[0], StreamClockMs()))) return false;
  auto aac = udt ? nullptr : c_.services.audio.Aac(16000);
  if (aac && !c_.link.Send(AudioPacket(kAacAudio, aac->payloads[0], StreamClockMs()))) return false;
  LogNote(who_ + " sent media before the reply (mediaBeforeReply)");
  return true;
}

bool CameraStream::AwaitStartup() {
  const auto deadline = Clock::now() + milliseconds(kStartupWaitMs);
  std::string packet, why;
  while (!c_.services.stop) {
    if (Clock::now() >= deadline) {
      LogNote(who_ + ": no startup within " + std::to_string(kStartupWaitMs / 1000) + " s, hanging up");
      return false;
    }
    int rc = ReceivePacket(c_.link, c_.splitter, 200, packet, why);
    if (rc == kStreamUnfollowable) LogRefused(who_, why);
    if (rc == kStreamEnded) LogNote(who_ + " before startup: " + why);
    if (rc < 0) return false;
    if (rc == 0 || static_cast<uint8_t>(packet[0]) != kInteractive) continue;
    Json::Value message;
    if (!OpenMessage(packet, c_.key.keyValue, kPacketHeader, message)) {
      LogRefused(who_, "a packet that does not open with the session's keyValue");
      return false;
    }
    LogNote(who_ + " got " + LogText(message));
    if (message["type"] == "startup") return true;
  }
  return false;
}

void CameraStream::Run() {
  const CameraConfig& config = c_.camera.config;
  const auto start = Clock::now();
  const auto closeAt = config.closeAfterSeconds > 0 ? start + std::chrono::seconds(config.closeAfterSeconds)
                                                    : Clock::time_point::max();
  const auto frameGap = milliseconds(kClipTimeGapMs);
  const auto audioGap = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(audio_ ? audio_->periodMs : 1000));
  auto nextFrame = start, nextAudio = start;
  lastControl_ = start;
  std::string packet, why;
  while (!c_.services.stop) {
    auto now = Clock::now();
    if (now >= closeAt) {
      if (SendClose()) LogNote(who_ + " sent close after " + std::to_string(config.closeAfterSeconds) + " s");
      return;
    }
    const auto silence = std::chrono::seconds(config.keepAliveTimeoutSeconds);
    if (config.keepAliveTimeoutSeconds > 0 && now - lastControl_ > silence) {
      return LogNote(who_ + ": no message from the client for " + std::to_string(config.keepAliveTimeoutSeconds) +
                     " s, hanging up");
    }
    if (now >= nextFrame) {
      if (!SendFrame()) return LogNote(who_ + ": the client is gone");
      nextFrame = std::max(nextFrame + frameGap, now - std::chrono::seconds(1));  // no burst after a stall
    }
    if (audio_ && now >= nextAudio) {
      if (audioOn_ && !SendAudio()) return LogNote(who_ + ": the client is gone");
      nextAudio = std::max(nextAudio + audioGap, now - std::chrono::seconds(1));
    }
    auto due = std::min({nextFrame, audio_ ? nextAudio : nextFrame, closeAt});
    auto wait = std::chrono::duration_cast<milliseconds>(due - Clock::now()).count();
    int rc = ReceivePacket(c_.link, c_.splitter, static_cast<int>(std::clamp<long long>(wait, 0, 200)), packet, why);
    while (rc == 1) {
      if (!HandlePacket(packet)) return;
      rc = ReceivePacket(c_.link, c_.splitter, 0, packet, why);
    }
    if (rc == kStreamUnfollowable) return LogRefused(who_, why);
    if (rc == kStreamEnded) return LogNote(who_ + ": " + why);
  }
}

bool CameraStream::SendFrame() {
  const std::string& frame = clip_->frames[position_];
  const bool key = clip_->IsKeyFrame(position_);
  const CameraConfig& config = c_.camera.config;
  bool whole = true;
  std::vector<std::string> packets = VideoPackets(frame, frameNumber_, key, StreamClockMs());
  for (std::size_t i = 0; i < packets.size(); ++i) {
    if (streamFrame_ == config.dropFrame && static_cast<int>(i) == config.dropFragment) {
      whole = false;
      LogNote(who_ + " left out fragment " + std::to_string(i) + " of frame " + std::to_string(frameNumber_) +
              " (dropFragment)");
      continue;
    }
    if (!c_.link.Send(packets[i])) return false;
  }
  if (whole) c_.services.frameLog.Write(c_.camera.sid, frameNumber_, frame);
  ++frameNumber_;
  ++streamFrame_;
  position_ = (position_ + 1) % clip_->frames.size();
  if (position_ == 0) SwitchClipIfReady();
  return true;
}

bool CameraStream::SendAudio() {
  const std::string& payload = audio_->payloads[audioPosition_];
  audioPosition_ = (audioPosition_ + 1) % audio_->payloads.size();
  return c_.link.Send(AudioPacket(audio_->packetType, payload, StreamClockMs()));
}

bool CameraStream::SendClose() {
  Json::Value close(Json::objectValue);
  close["cmd"] = "close";
  std::string packet;
  return SealMessage(kInteractive, close, c_.key.keyValue, kPacketHeader, packet) && c_.link.Send(packet);
}

bool CameraStream::HandlePacket(const std::string& packet) {
  const uint8_t type = static_cast<uint8_t>(packet[0]);
  if (type == kSpeexAudio || type == kAacAudio) return true;  // talk-back: the speaker is not simulated
  if (type != kInteractive) {
    LogRefused(who_, "the client sent a video packet");
    return false;
  }
  Json::Value message;
  if (!OpenMessage(packet, c_.key.keyValue, kPacketHeader, message)) {
    LogRefused(who_, "a packet that does not open with the session's keyValue");
    return false;
  }
  lastControl_ = Clock::now();
  LogNote(who_ + " got " + LogText(message));
  return HandleControl(message);
}

bool CameraStream::HandleControl(const Json::Value& m) {
  const std::string cmd = m["cmd"].isString() ? m["cmd"].asString() : std::string();
  if (cmd == "running") audioOn_ = true;
  else if (cmd == "pause") audioOn_ = false;
  else if (cmd == "turnLeft") Pan(-1);
  else if (cmd == "turnRight") Pan(1);
  else if (cmd == "resetBitRate") ChangeBitRate(m["bitRate"].isString() ? std::atoi(m["bitRate"].asCString()) : 0);
  else if (cmd == "close") return false;
  return true;
}

void CameraStream::Pan(int steps) {
  const int step = std::max(2, wanted_.width / 20 * 2);
  const int pan = std::clamp(wanted_.pan + steps * step, -kPanSteps * step, kPanSteps * step);
  if (pan == wanted_.pan) return;
  wanted_.pan = pan;
  pending_ = c_.services.clips.Request(wanted_);
}

void CameraStream::ChangeBitRate(int bitRate) {
  if (bitRate < 16000 || bitRate > 20000000 || bitRate == wanted_.bitRate) return;
  wanted_.bitRate = bitRate;
  pending_ = c_.services.clips.Request(wanted_);
}

// Only at the loop's start: the next clip begins with its own key frame.
void CameraStream::SwitchClipIfReady() {
  if (!pending_.valid() || pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
  if (auto next = pending_.get()) clip_ = std::move(next);
  pending_ = {};
}

}  // namespace lumivex::sim
