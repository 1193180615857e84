// The live session's owner side: what its frame ticks do (recording,
// decoding, drawing into the wall window, snapshots) and its sound.

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdio>

#include "config/user_settings.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "stream/camera.h"
#include "stream/session_clock.h"
#include "stream/snapshot.h"
#include "webservice/service_context.h"

namespace lumivex {

bool CCamera::SessionOpened(const StreamParameters& params) {
  // Before the first tick: the tick-only fields are handed over by phase.
  counters.replyNs = SteadyNowNs();
  bitRate = params.bitRate;
  recorder_.SetUp(env_.ctx.settings, sid_, params);
  LogLine("m_wTimerRes=1");  // steady_clock sleeps need no timer resolution
  LogLine("m_VideoTimeGap=" + std::to_string(params.m_VideoTimeGap));
  frameGap_ = params.m_VideoTimeGap;
  meterNs_ = SteadyNowNs();
  promoted_ = false;
  failedShown_ = false;
  return true;
}

bool CCamera::SoundArrived(const AudioPacket& packet) {
  if (packet.aac && session_.connection().transport() == Transport::kUdt) return false;  // UDT carries Speex only
  if (audio_.cameraAudioOff == 0) audio_.StorePacket(packet);
  return true;
}

void CCamera::SessionFailed() {
  SetStatus(STATUS_VIDEO_FAILED);
  // Without ticks nothing else shows it; with them, the tick does once the
  // frames still in the ring have been shown.
  if (!session_.ticking()) ShowStatus(StatusPicture::kFailed);
}

void CCamera::RelayCut() {
  if (env_.cutoffNoticePending.exchange(false))
    env_.ctx.notifier.MessageBox("提示", "检测到当前网速不稳定，请稍后重试");
}

void CCamera::MeterBytes() {
  const int64_t now = SteadyNowNs();
  if (now - meterNs_ < 1'000'000'000) return;
  meterNs_ = now;
  const uint64_t bytes = session_.connection().receivedBytes.exchange(0);
  lastSecondBytes = static_cast<int32_t>(std::min<uint64_t>(bytes, INT32_MAX));
}

void CCamera::FrameTick(bool late) {
  if (session_.connection().stop.requested()) return;
  FrameRing& ring = *session_.ring();
  const bool failed = m_VideoStatus == STATUS_VIDEO_FAILED;
  // Before the first picture there is nothing to show late.
  if (late && m_VideoStatus == STATUS_VIDEO_PLAYING) counters.late.fetch_add(1, std::memory_order_relaxed);
  MeterBytes();
  // A failed session records nothing: a segment opened after the failure
  // would leave an empty file a second.
  if (failed) recorder_.Close();
  const bool record = recording != 0 && !failed;
  if (!recorder_.Tick(record) && record && session_.connection().transport() == Transport::kUdt) recording = 0;
  const TickResult result = ring.Tick([this](const ShownFrame& frame) { ShowFrame(frame); });
  if (result == TickResult::kDroppedGap || result == TickResult::kDroppedIncomplete)
    counters.dropped.fetch_add(1, std::memory_order_relaxed);
  if (failed && !failedShown_ && ring.filledCount() <= 1) {
    ShowStatus(StatusPicture::kFailed);  // the last frames shown first
    failedShown_ = true;
  }
  if (redrawRequested_.exchange(0) && result != TickResult::kShown && m_VideoStatus == STATUS_VIDEO_PLAYING) {
    const AVFrame* last = session_.decoder().lastPicture();
    const SurfaceLease window = env_.wall.Lease(*this);
    if (last && window && window.onScreen()) Present(*last, window);
  }
}

void CCamera::ShowFrame(const ShownFrame& frame) {
  if (recording && recorder_.isOpen()) recorder_.WriteMp4Sample(frame.data, frame.size, frame.keyFrame);
  group_.Add(frame.data, frame.size, frame.keyFrame);
  VideoDecoder& decoder = session_.decoder();
  const int64_t decodeStart = ThreadCpuNs();
  const AVFrame* picture = decoder.Decode(frame.data, frame.size);
  counters.decodeCpuNs.fetch_add(ThreadCpuNs() - decodeStart, std::memory_order_relaxed);
  if (!picture) return;
  counters.decoded.fetch_add(1, std::memory_order_relaxed);
  bool reduced;
  {
    const SurfaceLease window = env_.wall.Lease(*this);
    if (!window || !window.onScreen()) {
      decoder.SetLoopFilter(true);  // in full when it comes on screen
      return;  // decoded all the same: the decoder stays current
    }
    int32_t connecting = STATUS_VIDEO_CONNECTING;
    if (m_VideoStatus.compare_exchange_strong(connecting, STATUS_VIDEO_PLAYING))
      LogInfo("camera " + sid_ + ": " + VideoStatusName(STATUS_VIDEO_PLAYING));
    if (!promoted_) promoted_ = session_.PromoteTicks();
    reduced = Present(*picture, window);
  }
  // A snapshot that cannot be decoded again waits for full pictures.
  decoder.SetLoopFilter(!reduced || (snapshotRequested && !group_.complete()));
  if (snapshotRequested) TakePendingSnapshot(*picture);
}

bool CCamera::Present(const AVFrame& picture, const SurfaceLease& window) {
  VideoSurface& surface = *window;
  const PictureSize size = surface.DrawingSize();
  const int turn = rotation;
  const bool reduced = ShownReduced(picture.width, picture.height, turn, size);
  const int64_t convertStart = ThreadCpuNs();
  const bool converted = !size.empty() && converter_.Convert(picture, turn, size, surface.BackBuffer(), reduced);
  counters.convertCpuNs.fetch_add(ThreadCpuNs() - convertStart, std::memory_order_relaxed);
  if (!converted) return false;
  surface.Present(Overlay());
  if (counters.shown.fetch_add(1, std::memory_order_relaxed) == 0) counters.firstPictureNs = SteadyNowNs();
  if (reduced) counters.reduced.fetch_add(1, std::memory_order_relaxed);
  return reduced;
}

FrameOverlay CCamera::Overlay() {
  FrameOverlay overlay;
  char caption[600];
  std::snprintf(caption, sizeof caption, "%s  %.2fK/s", name().c_str(), lastSecondBytes / 1024.0);
  overlay.caption = caption;
  if (recording) overlay.recordMark = RecordMarkVisible(recordBlinkCounter_++, frameGap_);
  overlay.deviceAudio = env_.wall.audio().audioCamera() == this;
  overlay.talkBack = env_.wall.audio().talkingCamera() == this;
  return overlay;
}

void CCamera::TakePendingSnapshot(const AVFrame& picture) {
  const UserSettings& s = env_.ctx.settings;
  const std::string folder = s.storage.Get().ImagePath.str();
  const AVFrame* full = &picture;
  VideoDecoder again;  // only when the loop filter was left out since the key frame
  if (!session_.decoder().fullSinceKey()) {
    if (!group_.DecodeFull(session_.parameters(), again)) return;  // full pictures come from the next key frame on
    full = again.lastPicture();
  }
  std::string path;
  // A failure keeps the request: the next shown frame tries again.
  if (!TakeSnapshot(full, folder, s.userName.str(), sid_, LocalNow(), path)) return;
  snapshotRequested = 0;
  if (env_.fileWritten) env_.fileWritten(path);
  env_.ctx.notifier.MessageBox("提示", "视频截图保存成功");
}

}  // namespace lumivex
