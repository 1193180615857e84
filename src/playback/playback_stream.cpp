// The playback session's owner side: the recording's labels once the
// handshake is done, the frame ticks, the sound.

extern "C" {
#include <libavutil/frame.h>
}

#include "core/logging.h"
#include "playback/playback_session.h"

namespace lumivex {

bool PlaybackSession::SessionOpened(const StreamParameters& params) {
  RecordingStart start;
  if (!ParseInitTime(params.playbackInitTime, start) || params.playbackGap < 0) {
    LogLine("the connect reply's playback-initTime is not a time");
    return false;
  }
  startSecond_ = start.time.hour * 3600 + start.time.minute * 60 + start.time.second;
  playbackGap_ = params.playbackGap;
  LogLine("Label1");
  listener_.RecordingKnown(FormatClock(start.time), FormatClock(AddSeconds(start.time, params.playbackGap)),
                           params.playbackGap);
  listener_.PositionChanged(0, FormatClock(start.time));
  LogLine("startup");
  LogLine("m_VideoTimeGap=" + std::to_string(params.m_VideoTimeGap));
  // Before the first tick: the tick-only fields are handed over by phase.
  params_ = params;
  firstFrameShown_ = false;
  failedShown_ = false;
  if (params.audio == CameraAudio::kAac) {
    LogLine("m_AudioSample=" + std::to_string(params.m_AudioSample));
    audio_.StartCameraAudio(AudioStreamInfo{params.audio, params.m_AudioSample});
  }
  opening_ = false;
  return true;
}

bool PlaybackSession::SoundArrived(const AudioPacket& packet) {
  if (!packet.aac) return false;  // playback plays AAC only
  LogLine("playback audio at " + std::to_string(packet.timestamp));
  audio_.StorePacket(packet);
  return true;
}

void PlaybackSession::SessionFailed() {
  SetStatus(STATUS_VIDEO_FAILED);
  opening_ = false;
  if (!session_.ticking()) canvas_.ShowStatus(StatusPicture::kFailed);
}

void PlaybackSession::FrameTick(bool) {
  if (session_.connection().stop.requested()) return;
  FrameRing& ring = *session_.ring();
  if (m_VideoStatus == STATUS_VIDEO_FAILED) {
    // What was received stays on screen; an empty ring shows the failure.
    if (!failedShown_ && ring.filledCount() < 2) {
      canvas_.ShowStatus(StatusPicture::kFailed);
      failedShown_ = true;
    }
    return;
  }
  ring.Tick([this](const ShownFrame& frame) { ShowFrame(frame); });
}

void PlaybackSession::ShowFrame(const ShownFrame& frame) {
  counters.framesReceived.fetch_add(1, std::memory_order_relaxed);
  if (onFrame) onFrame(params_, frame);
  currentVideoTime_ = frame.timestamp;
  if (!firstFrameShown_) {
    firstFrameShown_ = true;
    SetStatus(STATUS_VIDEO_PLAYING);
    session_.PromoteTicks();
  }
  const int32_t second = frame.timestamp / 1000;
  if (second != lastShownSecond_) {
    lastShownSecond_ = second;
    const int32_t position = NextSecondPosition(position_, playbackGap_);
    position_ = position;
    listener_.PositionChanged(position, TimeLabel(position));
  }
  const AVFrame* picture = session_.decoder().Decode(frame.data, frame.size);
  if (!picture) return;
  const PictureSize size = canvas_.DrawingSize();
  if (size.empty() || !converter_.Convert(*picture, 0, size, canvas_.BackBuffer())) return;
  canvas_.Present(FrameOverlay{});
  counters.shown.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace lumivex
