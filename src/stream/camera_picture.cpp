// The picture side of a session: the frame clock, recording, decoding,
// drawing into the wall window, snapshots, and the status painter.

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

using namespace std::chrono_literals;

void CCamera::TimerSetUp() {
  const int32_t gap = params_.m_VideoTimeGap;
  recorder_.SetUp(env_.ctx.settings, sid_, params_);
  if (gap <= 0) return Fail();
  LogLine("m_wTimerRes=1");  // steady_clock sleeps need no timer resolution
  LogLine("m_VideoTimeGap=" + std::to_string(gap));
  try {
    clock_ = std::thread([this] { FrameClock(); });
  } catch (const std::system_error&) {
    Fail();
  }
}

void CCamera::FrameClock() {
  RunFrameClock(std::chrono::milliseconds(params_.m_VideoTimeGap), conn_.stopRequested, [this](bool late) {
    if (late) counters.late.fetch_add(1, std::memory_order_relaxed);
    OnFrameTimer();
  });
}

void CCamera::OnFrameTimer() {
  // A failed session records nothing: were a segment opened here after the
  // painter closed it, a failed camera would leave an empty file a second.
  const bool record = recording != 0 && m_VideoStatus != STATUS_VIDEO_FAILED;
  if (!recorder_.Tick(record) && record && conn_.transport() == Transport::kUdt) recording = 0;
  TickResult result = ring_->Tick([this](const ShownFrame& frame) { ShowFrame(frame); });
  if (result == TickResult::kDroppedGap || result == TickResult::kDroppedIncomplete)
    counters.dropped.fetch_add(1, std::memory_order_relaxed);
  if (redrawRequested_.exchange(0) && result != TickResult::kShown && m_VideoStatus == STATUS_VIDEO_PLAYING) {
    const AVFrame* last = decoder_.lastPicture();
    if (last && wallPage == env_.wall.currentPage()) Present(*last, place());
  }
}

void CCamera::ShowFrame(const ShownFrame& frame) {
  if (conn_.stopRequested) return;
  if (recording && recorder_.isOpen()) recorder_.WriteMp4Sample(frame.data, frame.size, frame.keyFrame);
  const AVFrame* picture = decoder_.Decode(frame.data, frame.size);
  if (!picture) return;
  counters.decoded.fetch_add(1, std::memory_order_relaxed);
  const WallPlace where = place();
  if (where.page != env_.wall.currentPage()) return;  // decoded all the same: the decoder stays current
  int32_t connecting = STATUS_VIDEO_CONNECTING;
  if (m_VideoStatus.compare_exchange_strong(connecting, STATUS_VIDEO_PLAYING)) LogState(STATUS_VIDEO_PLAYING);
  Present(*picture, where);
  if (snapshotRequested) TakePendingSnapshot(*picture);
}

void CCamera::Present(const AVFrame& picture, WallPlace where) {
  VideoSurface* surface = env_.wall.Surface(where);
  if (!surface) return;
  const PictureSize size = surface->DrawingSize();
  if (size.empty() || !converter_.Convert(picture, rotation, size, surface->BackBuffer())) return;
  surface->Present(Overlay());
  if (counters.shown.fetch_add(1, std::memory_order_relaxed) == 0) counters.firstPictureNs = SteadyNowNs();
}

FrameOverlay CCamera::Overlay() {
  FrameOverlay overlay;
  char caption[600];
  std::snprintf(caption, sizeof caption, "%s  %.2fK/s", name().c_str(), lastSecondBytes / 1024.0);
  overlay.caption = caption;
  if (recording) overlay.recordMark = RecordMarkVisible(recordBlinkCounter_++, params_.m_VideoTimeGap);
  overlay.deviceAudio = env_.wall.audio().audioCamera() == this;
  overlay.talkBack = env_.wall.audio().talkingCamera() == this;
  return overlay;
}

void CCamera::TakePendingSnapshot(const AVFrame& picture) {
  const UserSettings& s = env_.ctx.settings;
  const std::string folder = s.storage.Get().ImagePath.str();
  std::string path;
  // A failure keeps the request: the next shown frame tries again.
  if (!TakeSnapshot(&picture, folder, s.userName.str(), sid_, LocalNow(), path)) return;
  snapshotRequested = 0;
  if (env_.fileWritten) env_.fileWritten(path);
  env_.ctx.notifier.MessageBox("提示", "视频截图保存成功");
}

void CCamera::PaintStatus() {
  for (;;) {
    if (conn_.stopRequested) return;
    VideoSurface* surface = env_.wall.Surface(place());
    if (!surface) {
      if (SleepUnlessStopped(1000ms)) return;
      continue;
    }
    switch (m_VideoStatus.load()) {
      case STATUS_READY:
        surface->ShowStatus(StatusPicture::kIdle, 0);
        if (SleepUnlessStopped(1000ms)) return;
        break;
      case STATUS_VIDEO_CONNECTING:
        surface->ShowStatus(StatusPicture::kConnecting, progressStep_++);
        if (SleepUnlessStopped(500ms)) return;
        break;
      case STATUS_VIDEO_PLAYING:
        if (SleepUnlessStopped(1000ms)) return;
        break;
      case STATUS_VIDEO_FAILED: {
        recorder_.Close();
        FrameRing* ring = ringInUse_.load();
        if (ring && ring->filledCount() > 1) {
          if (SleepUnlessStopped(300ms)) return;
          break;
        }
        surface->ShowStatus(StatusPicture::kFailed, 0);
        if (SleepUnlessStopped(2000ms)) return;
        break;
      }
      default:
        return;
    }
  }
}

}  // namespace lumivex
