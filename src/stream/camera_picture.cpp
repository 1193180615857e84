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

constexpr auto kUntilWoken = std::chrono::hours(24);

bool CCamera::StartFrameTicks() {
  const int32_t gap = params_.m_VideoTimeGap;
  recorder_.SetUp(env_.ctx.settings, sid_, params_);
  if (gap <= 0) return false;
  LogLine("m_wTimerRes=1");  // steady_clock sleeps need no timer resolution
  LogLine("m_VideoTimeGap=" + std::to_string(gap));
  meterNs_ = SteadyNowNs();
  promoted_ = false;
  const uint64_t id = env_.displayClock.Add(std::chrono::milliseconds(gap), [this](bool late) { OnFrameTimer(late); });
  clockId_ = id;  // the first tick comes a period from now; one that still came first promotes later
  return id != 0;
}

void CCamera::MeterBytes() {
  const int64_t now = SteadyNowNs();
  if (now - meterNs_ < 1'000'000'000) return;
  meterNs_ = now;
  lastSecondBytes = static_cast<int32_t>(std::min<uint64_t>(conn_.receivedBytes.exchange(0), INT32_MAX));
}

void CCamera::OnFrameTimer(bool late) {
  if (conn_.stopRequested) return;
  // Before the first picture there is nothing to show late.
  if (late && m_VideoStatus == STATUS_VIDEO_PLAYING) counters.late.fetch_add(1, std::memory_order_relaxed);
  MeterBytes();
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
  group_.Add(frame.data, frame.size, frame.keyFrame);
  const int64_t decodeStart = ThreadCpuNs();
  const AVFrame* picture = decoder_.Decode(frame.data, frame.size);
  counters.decodeCpuNs.fetch_add(ThreadCpuNs() - decodeStart, std::memory_order_relaxed);
  if (!picture) return;
  counters.decoded.fetch_add(1, std::memory_order_relaxed);
  const WallPlace where = place();
  if (where.page != env_.wall.currentPage()) {
    decoder_.SetLoopFilter(true);  // in full when it comes on screen
    return;  // decoded all the same: the decoder stays current
  }
  int32_t connecting = STATUS_VIDEO_CONNECTING;
  if (m_VideoStatus.compare_exchange_strong(connecting, STATUS_VIDEO_PLAYING)) {
    LogState(STATUS_VIDEO_PLAYING);
    Wake();
  }
  if (!promoted_) promoted_ = env_.displayClock.Promote(clockId_);
  const bool reduced = Present(*picture, where);
  // A snapshot that cannot be decoded again waits for full pictures.
  decoder_.SetLoopFilter(!reduced || (snapshotRequested && !group_.complete()));
  if (snapshotRequested) TakePendingSnapshot(*picture);
}

bool CCamera::Present(const AVFrame& picture, WallPlace where) {
  VideoSurface* surface = env_.wall.Surface(where);
  if (!surface) return false;
  const PictureSize size = surface->DrawingSize();
  const int turn = rotation;
  const bool reduced = ShownReduced(picture.width, picture.height, turn, size);
  const int64_t convertStart = ThreadCpuNs();
  const bool converted = !size.empty() && converter_.Convert(picture, turn, size, surface->BackBuffer(), reduced);
  counters.convertCpuNs.fetch_add(ThreadCpuNs() - convertStart, std::memory_order_relaxed);
  if (!converted) return false;
  surface->Present(Overlay());
  if (counters.shown.fetch_add(1, std::memory_order_relaxed) == 0) counters.firstPictureNs = SteadyNowNs();
  if (reduced) counters.reduced.fetch_add(1, std::memory_order_relaxed);
  return reduced;
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
  const AVFrame* full = &picture;
  VideoDecoder again;  // only when the loop filter was left out since the key frame
  if (!decoder_.fullSinceKey()) {
    if (!group_.DecodeFull(params_, again)) return;  // full pictures come from the next key frame on
    full = again.lastPicture();
  }
  std::string path;
  // A failure keeps the request: the next shown frame tries again.
  if (!TakeSnapshot(full, folder, s.userName.str(), sid_, LocalNow(), path)) return;
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
      case STATUS_VIDEO_PLAYING:  // the pictures are the ticks' to draw: sleep until that ends
        if (WaitUnlessStopped(kUntilWoken, [this] { return m_VideoStatus != STATUS_VIDEO_PLAYING; })) return;
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
