#include "sim/camera_stream.h"

#include <algorithm>
#include <cstdlib>
#include <random>

#include "sim/sim_log.h"

namespace lumivex::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kTurnSteps = 5;

// The earliest of the knobs that spoil a stream, as a time after start.
Clock::time_point BadAt(const CameraConfig& config, Clock::time_point start) {
  auto at = Clock::time_point::max();
  for (int seconds : {config.garbageAfterSeconds, config.absurdLengthAfterSeconds, config.stallAfterSeconds})
    if (seconds > 0) at = std::min(at, start + std::chrono::seconds(seconds));
  return at;
}

void PutLe(std::string& out, std::size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<char>(value >> (8 * i));
}

// Bytes that start no packet: the first is no packet type.
std::string Garbage() {
  std::mt19937 random(20141104);
  std::string bytes(4096, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  bytes[0] = static_cast<char>(0xA5);
  return bytes;
}

// A video fragment claiming 65535 bytes as fragment 32752 of 32767 of frame
// 0x7FFFFFF0, with those bytes, then an interactive header whose length is
// negative as a signed 16-bit number, and nothing after it.
std::string AbsurdHeaders() {
  std::string video(25 + 0xFFFF, '\0');
  video[0] = 0x46;
  PutLe(video, 1, 0xFFFF, 2);
  PutLe(video, 5, 0x7FFFFFF0u, 4);
  PutLe(video, 17, 0x7FFF, 2);
  PutLe(video, 19, 0x7FF0, 2);
  std::string interactive = "\x32..abcd";
  interactive.push_back('\0');
  PutLe(interactive, 1, 0xFFF0, 2);
  return video + interactive;
}  // each way, across and up and down

// The step of one turn: a tenth of the picture, kept even.
int TurnStep(int size) { return std::max(2, size / 20 * 2); }

int Turned(int position, int steps, int size) {
  const int step = TurnStep(size);
  return std::clamp(position + steps * step, -kTurnSteps * step, kTurnSteps * step);
}

}  // namespace

bool AwaitStartupMessage(StreamContext& c, const std::string& who) {
  const auto deadline = Clock::now() + milliseconds(CameraStream::kStartupWaitMs);
  std::string packet, why;
  while (!c.services.stop) {
    if (Clock::now() >= deadline) {
      LogNote(who + ": no startup within " + std::to_string(CameraStream::kStartupWaitMs / 1000) + " s, hanging up");
      return false;
    }
    int rc = ReceivePacket(c.link, c.splitter, 200, packet, why);
    if (rc == kStreamUnfollowable) LogRefused(who, why);
    if (rc == kStreamEnded) LogNote(who + " before startup: " + why);
    if (rc < 0) return false;
    if (rc == 0 || static_cast<uint8_t>(packet[0]) != kInteractive) continue;
    Json::Value message;
    if (!OpenMessage(packet, c.key.keyValue, kPacketHeader, message)) {
      LogRefused(who, "a packet that does not open with the session's keyValue");
      return false;
    }
    LogNote(who + " got " + LogText(message));
    if (std::string refusal = CheckStartup(message); !refusal.empty()) {
      LogRefused(who, refusal);
      continue;
    }
    c.services.controlLog.Write(c.camera.sid, LogText(message));
    return true;
  }
  return false;
}

bool SendCloseMessage(StreamContext& c) {
  Json::Value close(Json::objectValue);
  close["cmd"] = "close";
  std::string packet;
  return SealMessage(kInteractive, close, c.key.keyValue, kPacketHeader, packet) && c.link.Send(packet);
}

CameraStream::CameraStream(StreamContext context, std::shared_ptr<const Clip> clip, CameraAudio audio)
    : c_(std::move(context)),
      who_("camera " + c_.camera.sid),
      clip_(std::move(clip)),
      wanted_(clip_->key),
      audioKind_(audio),
      check_(c_.umac, c_.udt) {
  if (audio == CameraAudio::kSpeex) audio_ = c_.services.audio.Speex();
  if (audio == CameraAudio::kAac) audio_ = c_.services.audio.Aac(c_.camera.config.audioSample);
  frameNumber_ = FirstFrameNumber(c_.camera);
  if (c_.camera.config.startOnNonKey) position_ = 1;
}

bool CameraStream::SendEarlyMedia() {
  const std::string& frame = clip_->frames[0];
  for (const std::string& p : VideoPackets(frame, static_cast<int32_t>(frameNumber_), true, StreamClockMs()))
    if (!c_.link.Send(p)) return false;
  c_.services.frameLog.Write(c_.camera.sid, static_cast<int32_t>(frameNumber_++), frame);
  auto speex = c_.services.audio.Speex();
  if (speex && !c_.link.Send(AudioPacket(kSpeexAudio, speex->payloads[0], StreamClockMs()))) return false;
  auto aac = c_.udt ? nullptr : c_.services.audio.Aac(16000);
  if (aac && !c_.link.Send(AudioPacket(kAacAudio, aac->payloads[0], StreamClockMs()))) return false;
  LogNote(who_ + " sent media before the reply (mediaBeforeReply)");
  return true;
}

bool CameraStream::AwaitStartup() { return AwaitStartupMessage(c_, who_); }

void CameraStream::Run() {
  ControlLog& log = c_.services.controlLog;
  log.Write(c_.camera.sid, std::string("stream-start ") + (c_.udt ? "udt" : "tcp"));
  log.Write(c_.camera.sid, "stream-end " + Stream());
}

std::string CameraStream::Stream() {
  const CameraConfig& config = c_.camera.config;
  const auto start = Clock::now();
  const auto closeAt = config.closeAfterSeconds > 0 ? start + std::chrono::seconds(config.closeAfterSeconds)
                                                    : Clock::time_point::max();
  const auto frameGap = milliseconds(kClipTimeGapMs);
  const auto audioGap = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(audio_ ? audio_->periodMs : 1000));
  auto nextFrame = start, nextAudio = start;
  const auto badAt = BadAt(config, start);
  lastControl_ = start;
  auto gone = [this] {
    LogNote(who_ + ": the client is gone");
    return std::string("client-gone");
  };
  while (!c_.services.stop) {
    auto now = Clock::now();
    if (now >= badAt) return GoBad();
    if (now >= closeAt) {
      if (SendClose()) LogNote(who_ + " sent close after " + std::to_string(config.closeAfterSeconds) + " s");
      return "camera-close";
    }
    const auto silence = std::chrono::seconds(config.keepAliveTimeoutSeconds);
    if (config.keepAliveTimeoutSeconds > 0 && now - lastControl_ > silence) {
      LogNote(who_ + ": no message from the client for " + std::to_string(config.keepAliveTimeoutSeconds) +
              " s, hanging up");
      return "keepalive-timeout";
    }
    if (now >= nextFrame) {
      if (!SendFrame()) return gone();
      nextFrame = std::max(nextFrame + frameGap, now - std::chrono::seconds(1));  // no burst after a stall
    }
    if (audio_ && now >= nextAudio) {
      if (audioOn_ && !SendAudio()) return gone();
      nextAudio = std::max(nextAudio + audioGap, now - std::chrono::seconds(1));
    }
    auto due = std::min({nextFrame, audio_ ? nextAudio : nextFrame, closeAt, badAt});
    auto wait = std::chrono::duration_cast<milliseconds>(due - Clock::now()).count();
    if (std::string end = TakeClientPackets(c_, who_, static_cast<int>(std::clamp<long long>(wait, 0, 200)),
                                            [this](const std::string& p) { return HandlePacket(p); });
        !end.empty())
      return end;
  }
  return "stopped";
}

std::string CameraStream::GoBad() {
  const CameraConfig& config = c_.camera.config;
  auto first = [&](int seconds) {
    for (int other : {config.garbageAfterSeconds, config.absurdLengthAfterSeconds, config.stallAfterSeconds})
      if (other > 0 && other < seconds) return false;
    return seconds > 0;
  };
  std::string bytes;
  if (first(config.garbageAfterSeconds)) {
    bytes = Garbage();
    LogNote(who_ + " sends garbage (garbageAfterSeconds)");
  } else if (first(config.absurdLengthAfterSeconds)) {
    bytes = AbsurdHeaders();
    LogNote(who_ + " sends absurd lengths (absurdLengthAfterSeconds)");
  } else {
    LogNote(who_ + " stops sending (stallAfterSeconds)");
  }
  if (!bytes.empty() && !c_.link.Send(bytes)) return "client-gone";
  while (!c_.services.stop)
    if (std::string end = TakeClientPackets(c_, who_, 200, [this](const std::string& p) { return HandlePacket(p); });
        !end.empty())
      return end;
  return "stopped";
}

bool CameraStream::SendFrame() {
  const std::string& frame = clip_->frames[position_];
  if (!SendVideoFrame(c_, who_, frame, frameNumber_, clip_->IsKeyFrame(position_), StreamClockMs(), streamFrame_))
    return false;
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

bool CameraStream::SendClose() { return SendCloseMessage(c_); }

bool SendVideoFrame(StreamContext& c, const std::string& who, const std::string& frame, uint32_t number, bool key,
                    int32_t timestamp, int streamFrame) {
  const CameraConfig& config = c.camera.config;
  bool whole = true;
  std::vector<std::string> packets = VideoPackets(frame, static_cast<int32_t>(number), key, timestamp);
  for (std::size_t i = 0; i < packets.size(); ++i) {
    if (streamFrame == config.dropFrame && static_cast<int>(i) == config.dropFragment) {
      whole = false;
      LogNote(who + " left out fragment " + std::to_string(i) + " of frame " + std::to_string(number) +
              " (dropFragment)");
      continue;
    }
    if (!c.link.Send(packets[i])) return false;
  }
  if (whole) c.services.frameLog.Write(c.camera.sid, static_cast<int32_t>(number), frame);
  return true;
}

std::string TakeClientPackets(StreamContext& c, const std::string& who, int waitMs,
                              const std::function<std::string(const std::string&)>& handle) {
  std::string packet, why;
  int rc = ReceivePacket(c.link, c.splitter, waitMs, packet, why);
  while (rc == 1) {
    if (std::string end = handle(packet); !end.empty()) return end;
    rc = ReceivePacket(c.link, c.splitter, 0, packet, why);
  }
  if (rc == kStreamUnfollowable) {
    LogRefused(who, why);
    return "unfollowable";
  }
  if (rc == kStreamEnded) {
    LogNote(who + ": " + why);
    return "client-gone";
  }
  return {};
}

ControlRead ReadControl(const StreamContext& c, const std::string& who, ControlCheck& check, const std::string& packet,
                        Json::Value& message) {
  if (static_cast<uint8_t>(packet[0]) != kInteractive) {
    LogRefused(who, "the client sent a video packet");
    return ControlRead::kBroken;
  }
  if (!OpenMessage(packet, c.key.keyValue, kPacketHeader, message)) {
    LogRefused(who, "a packet that does not open with the session's keyValue");
    return ControlRead::kBroken;
  }
  LogNote(who + " got " + LogText(message));
  if (std::string refusal = check.Check(message); !refusal.empty()) {
    LogRefused(who, refusal);  // not acted on; the stream goes on
    return ControlRead::kRefused;
  }
  c.services.controlLog.Write(c.camera.sid, LogText(message));
  return ControlRead::kAccepted;
}

std::string CameraStream::HandlePacket(const std::string& packet) {
  const uint8_t type = static_cast<uint8_t>(packet[0]);
  if (type == kSpeexAudio || type == kAacAudio) {
    HandleTalk(packet);
    return {};
  }
  Json::Value message;
  const ControlRead read = ReadControl(c_, who_, check_, packet, message);
  if (read == ControlRead::kBroken) return "refused";
  lastControl_ = Clock::now();
  return read == ControlRead::kAccepted ? HandleMessage(message) : std::string();
}

std::string CameraStream::HandleMessage(const Json::Value& m) {
  const std::string cmd = m["cmd"].asString();
  if (cmd == "running") audioOn_ = true;
  else if (cmd == "pause") audioOn_ = false;
  else if (cmd == "turnLeft") Turn(-1, 0);
  else if (cmd == "turnRight") Turn(1, 0);
  else if (cmd == "turnUp") Turn(0, -1);
  else if (cmd == "turnDown") Turn(0, 1);
  else if (cmd == "resetBitRate") ChangeBitRate(std::atoi(m["bitRate"].asCString()));
  else if (cmd == "close") return "client-close";
  return {};
}

// The client talks in the codec the camera announced: AAC when its reply
// named it, Speex otherwise.
void CameraStream::HandleTalk(const std::string& packet) {
  const bool aac = static_cast<uint8_t>(packet[0]) == kAacAudio;
  if (aac != (audioKind_ == CameraAudio::kAac)) {
    LogRefused(who_, aac ? "AAC talk-back to a Speex camera" : "Speex talk-back to an AAC camera");
    return;
  }
  const std::string_view payload = std::string_view(packet).substr(kAudioHeader);
  TalkSound sound;
  std::string why;
  if (!(aac ? talk_.DecodeAac(payload, sound, why) : talk_.DecodeSpeex(payload, sound, why))) {
    LogRefused(who_, why);
    return;
  }
  // a sid's file keeps the rate of its first sound: a Speex session after an AAC one is left out
  if (sound.sampleRate > 0 && !c_.services.talkFiles.Append(c_.camera.sid, sound.sampleRate, sound.samples, why))
    LogError(who_ + ": talk-back not written: " + why);
  c_.services.controlLog.Write(c_.camera.sid, std::string("talk ") + (aac ? "aac " : "speex ") +
                                                  std::to_string(payload.size()));
}

void CameraStream::Turn(int panSteps, int tiltSteps) {
  ClipKey next = wanted_;
  next.pan = Turned(wanted_.pan, panSteps, wanted_.width);
  next.tilt = Turned(wanted_.tilt, tiltSteps, wanted_.height);
  if (next == wanted_) return;
  wanted_ = next;
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
  if (auto next = pending_.get()) {
    // The rate a client asked for shows in the log when the stream takes it.
    if (next->key.bitRate != clip_->key.bitRate)
      c_.services.controlLog.Write(c_.camera.sid, "clip-switch " + std::to_string(next->key.bitRate));
    clip_ = std::move(next);
  }
  pending_ = {};
}

}  // namespace lumivex::sim
