// The workers of a playback session: keep-alive, control commands, the
// receive loop, the frame clock, and the painter of the status pictures.

extern "C" {
#include <libavutil/frame.h>
}

#include "core/global.h"
#include "core/logging.h"
#include "config/user_settings.h"
#include "core/text.h"
#include "device/exact_io.h"
#include "device/session_packet.h"
#include "playback/playback_session.h"
#include "stream/session_clock.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

using namespace std::chrono_literals;

constexpr auto kKeepAlivePeriod = 5000ms;
constexpr auto kCommandWait = 200ms;

JsonMessage Control(const ServiceContext& ctx, const char* cmd) {
  return {{"type", "control"}, {"cmd", cmd}, {"umac", ctx.settings.umac.str()}};
}

}  // namespace

void PlaybackSession::KeepAlive() {
  std::string packet;
  if (!SealSessionPacket(ctx_.g.m_DevKeyValue.str(), Control(ctx_, "running"), packet))
    return SetStatus(STATUS_VIDEO_FAILED);
  // The same sealed bytes every time: the message never changes.
  do {
    if (!SendLen(conn_, conn_.transport(), packet.data(), packet.size())) return SetStatus(STATUS_VIDEO_FAILED);
  } while (!SleepUnlessStopped(kKeepAlivePeriod));
}

void PlaybackSession::ControlCommands() {
  const std::string devKey = ctx_.g.m_DevKeyValue.str();
  for (;;) {
    PlaybackCommand command;
    {
      std::unique_lock lock(commandMutex_);
      while (!command_ && !conn_.stopRequested) commandWake_.wait_for(lock, kCommandWait);
      if (conn_.stopRequested) return;
      command = *command_;
      command_.reset();
    }
    JsonMessage message;
    switch (command.kind) {
      case PlaybackCommand::Kind::kJump:
        message = Control(ctx_, "jump");
        message["point"] = std::to_string(command.point);
        break;
      case PlaybackCommand::Kind::kResume:
        message = Control(ctx_, "playback-play");
        break;
      case PlaybackCommand::Kind::kPause:
        message = Control(ctx_, "playback-pause");
        break;
      default:
        continue;
    }
    if (!SendSessionMessage(devKey, conn_, conn_.transport(), message)) return;
    counters.commandsSent.fetch_add(1, std::memory_order_relaxed);
  }
}

void PlaybackSession::ReceiveLoop() {
  const std::string devKey = ctx_.g.m_DevKeyValue.str();
  const Transport transport = conn_.transport();
  SessionPacket packet;
  VideoFragment fragment;
  AudioPacket sound;
  auto fail = [this] { SetStatus(STATUS_VIDEO_FAILED); };
  for (;;) {
    if (conn_.stopRequested) return;
    Received received = ReceiveSessionPacket(conn_, transport, packet);
    if (received == Received::kStopped) return;
    if (received == Received::kFailed) return fail();
    switch (packet.type()) {
      case FLAG_DEVICE_VIDEO_STREAM:
        if (!ParseVideoFragment(packet, fragment)) return fail();
        ring_->Insert(fragment);
        break;
      case FLAG_DEVICE_AUDIO_STREAM_AAC:
        if (!ParseAudioPacket(packet, sound)) return fail();
        LogLine("playback audio at " + std::to_string(sound.timestamp));
        audio_.StorePacket(sound);
        break;
      case FLAG_INTERACTIVE: {
        Json::Value message;
        if (!OpenSessionPacket(devKey, packet, message) || !message.isObject()) break;
        const Json::Value& cmd = message["cmd"];
        if (cmd.isString() && EqualsIgnoreCase(cmd.asString(), "close")) return fail();
        break;
      }
      default:
        return fail();  // Speex among them: playback plays AAC only
    }
  }
}

void PlaybackSession::TimerSetUp() {
  const int32_t gap = params_.m_VideoTimeGap;
  if (gap <= 0) return SetStatus(STATUS_VIDEO_FAILED);
  LogLine("m_VideoTimeGap=" + std::to_string(gap));
  try {
    clock_ = std::thread([this, gap] {
      RunFrameClock(std::chrono::milliseconds(gap), conn_.stopRequested, [this](bool) { OnFrameTimer(); });
    });
  } catch (const std::system_error&) {
    SetStatus(STATUS_VIDEO_FAILED);
  }
}

void PlaybackSession::OnFrameTimer() {
  if (m_VideoStatus == STATUS_VIDEO_FAILED) return;
  ring_->Tick([this](const ShownFrame& frame) { ShowFrame(frame); });
}

void PlaybackSession::ShowFrame(const ShownFrame& frame) {
  if (conn_.stopRequested) return;
  counters.framesReceived.fetch_add(1, std::memory_order_relaxed);
  if (onFrame) onFrame(params_, frame);
  currentVideoTime_ = frame.timestamp;
  if (!firstFrameShown_.exchange(1)) SetStatus(STATUS_VIDEO_PLAYING);
  const int32_t second = frame.timestamp / 1000;
  if (second != lastShownSecond_) {
    lastShownSecond_ = second;
    const int32_t position = NextSecondPosition(position_, playbackGap_);
    position_ = position;
    listener_.PositionChanged(position, TimeLabel(position));
  }
  const AVFrame* picture = decoder_.Decode(frame.data, frame.size);
  if (!picture) return;
  const PictureSize size = canvas_.DrawingSize();
  if (size.empty() || !converter_.Convert(*picture, 0, size, canvas_.BackBuffer())) return;
  canvas_.Present(FrameOverlay{});
  counters.shown.fetch_add(1, std::memory_order_relaxed);
}

int PlaybackSession::BufferedFrames() const {
  std::lock_guard lock(ringMutex_);
  return ring_ ? ring_->filledCount() : 0;
}

void PlaybackSession::PaintStatus() {
  while (!closeFlag_) {
    const int32_t status = m_VideoStatus;
    if (status == STATUS_VIDEO_CONNECTING) {
      canvas_.ShowStatus(StatusPicture::kConnecting, progressStep_++);
    } else if (status == STATUS_VIDEO_FAILED && BufferedFrames() < 2) {
      canvas_.ShowStatus(StatusPicture::kFailed, 0);
      if (lumivex::SleepUnlessStopped(closeFlag_, 1000ms)) return;
      continue;
    }
    if (lumivex::SleepUnlessStopped(closeFlag_, 300ms)) return;
  }
}

}  // namespace lumivex
