// "watch": a live session without a screen, through the same CCamera the
// desktop wall uses: state changes, the connection type, frames shown and
// dropped, the bit rate, and the files written.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/client.h"
#include "core/text.h"
#include "stream/audio_wav.h"
#include "stream/camera.h"

namespace lumivex::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr PictureSize kSurfaceSize{480, 270};

struct WatchOptions {
  int seconds = 10;
  bool record = false;
  bool snapshot = false;
  std::string listenPath, talkPath, folder;
  int quality = 0;
  int watchdogSeconds = 0;
  std::vector<std::string> ptz;
};

bool IsDirection(const std::string& d) { return d == "left" || d == "right" || d == "up" || d == "down"; }

// Flags from args[2] on; false with the reason printed.
bool ParseWatch(const std::vector<std::string>& args, WatchOptions& o) {
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--record") o.record = true;
    else if (a == "--snapshot") o.snapshot = true;
    else if (a == "--seconds" && hasValue) o.seconds = DecimalPrefix(args[++i]);
    else if (a == "--listen" && hasValue) o.listenPath = args[++i];
    else if (a == "--talk" && hasValue) o.talkPath = args[++i];
    else if (a == "--folder" && hasValue) o.folder = args[++i];
    else if (a == "--quality" && hasValue) o.quality = DecimalPrefix(args[++i]);
    else if (a == "--pattern" && hasValue) ++i;  // the unlock pattern, checked before the session
    else if (a == "--watchdog-seconds" && hasValue) o.watchdogSeconds = DecimalPrefix(args[++i]);
    else if (a == "--ptz") {
      while (i + 1 < args.size() && IsDirection(args[i + 1])) o.ptz.push_back(args[++i]);
      if (o.ptz.empty()) return std::fprintf(stderr, "lumivexctl: --ptz takes left, right, up or down\n"), false;
    } else {
      return std::fprintf(stderr, "lumivexctl: watch does not know %s\n", a.c_str()), false;
    }
  }
  if (o.seconds < 1 || o.seconds > 86400)
    return std::fprintf(stderr, "lumivexctl: --seconds takes a number from 1 to 86400\n"), false;
  if (o.quality != 0 && std::find(std::begin(kQualityLevels), std::end(kQualityLevels), o.quality) ==
                            std::end(kQualityLevels))
    return std::fprintf(stderr, "lumivexctl: --quality takes 88000, 480000 or 1200000\n"), false;
  if (o.watchdogSeconds < 0 || o.watchdogSeconds > 3600)
    return std::fprintf(stderr, "lumivexctl: --watchdog-seconds takes 1 to 3600\n"), false;
  return true;
}

PtzDirection Direction(const std::string& direction) {
  if (direction == "left") return PtzDirection::kLeft;
  if (direction == "right") return PtzDirection::kRight;
  if (direction == "up") return PtzDirection::kUp;
  return PtzDirection::kDown;
}

class Watch {
 public:
  Watch(Client& c, const WatchOptions& o, const CameraInfo& info)
      : c_(c), o_(o), wall_(1, kSurfaceSize), devices_(o.listenPath, o.talkPath), env_(c.context(), wall_, devices_) {
    if (o.watchdogSeconds > 0) env_.watchdog.SetPeriod(std::chrono::seconds(o.watchdogSeconds));
    env_.fileWritten = [this](const std::string& path) { c_.notifier().Print("snapshot: " + path); };
    wall_.audio().SetFailureHandler(
        [this](AudioFailure failure) { c_.notifier().Tip(AudioFailureTip(failure), kAudioFailureTipMs); });
    camera_ = std::make_unique<CCamera>(env_, info.sid.str(), info.name);
  }

  int Run() {
    camera_->recording = o_.record ? 1 : 0;
    camera_->StartCamera();
    const auto end = Clock::now() + std::chrono::seconds(o_.seconds);
    int32_t last = -1;
    while (Clock::now() < end) {
      const int32_t status = camera_->m_VideoStatus;
      if (status != last) Changed(last = status);
      if (played_) Steer();
      std::this_thread::sleep_for(10ms);
    }
    Finish();
    return played_ ? kExitOk : kExitFailed;
  }

 private:
  void Changed(int32_t status) {
    c_.notifier().Print(std::string("state: ") + VideoStatusName(status));
    if (status != STATUS_VIDEO_PLAYING || played_) return;
    played_ = true;
    c_.notifier().Print("connection type: " + std::to_string(camera_->natType()));
    if (o_.snapshot) camera_->snapshotRequested = 1;
    if (!o_.listenPath.empty()) wall_.audio().Listen(camera_.get());
    if (!o_.talkPath.empty()) wall_.audio().Talk(camera_.get());
    if (o_.quality) c_.notifier().Print(camera_->SetQuality(o_.quality) ? "quality: " + std::to_string(o_.quality)
                                                                        : std::string("quality: not sent"));
  }

  // One pan/tilt request at a time, the next once the session took it.
  void Steer() {
    if (next_ >= o_.ptz.size()) return;
    if (pending_ && camera_->panTiltPending(Direction(o_.ptz[next_ - 1]))) return;
    pending_ = true;
    camera_->RequestPanTilt(Direction(o_.ptz[next_++]));
  }

  void Finish() {
    if (!o_.talkPath.empty()) wall_.audio().StopTalk();
    if (!o_.listenPath.empty()) wall_.audio().Mute();
    const auto& k = camera_->counters;
    if (k.firstPictureNs > 0)
      c_.notifier().Print("first picture after: " + std::to_string((k.firstPictureNs - k.startedNs) / 1000000) + " ms");
    c_.notifier().Print("frames shown: " + std::to_string(k.shown.load()));
    c_.notifier().Print("frames decoded: " + std::to_string(k.decoded.load()));
    c_.notifier().Print("frames dropped: " + std::to_string(k.dropped.load()));
    c_.notifier().Print("bit rate: " + std::to_string(camera_->bitRate.load()));
    c_.notifier().Print("received: " + std::to_string(camera_->lastSecondBytes.load()) + " bytes/s");
    camera_->StopCleanCamera();
    c_.notifier().Print(std::string("state: ") + VideoStatusName(camera_->m_VideoStatus));
    for (const std::string& path : camera_->recordings()) c_.notifier().Print("recording: " + path);
    camera_.reset();  // waits for the audio to stop
    if (!o_.listenPath.empty()) c_.notifier().Print("listened: " + o_.listenPath);
  }

  Client& c_;
  const WatchOptions o_;
  HeadlessWall wall_;
  WavFileDevices devices_;
  StreamEnvironment env_;
  std::unique_ptr<CCamera> camera_;
  bool played_ = false;
  std::size_t next_ = 0;
  bool pending_ = false;
};

}  // namespace

int WatchCommand(Client& c, bool (*mayWatch)(Client&, const CameraInfo&)) {
  WatchOptions options;
  if (!ParseWatch(c.args(), options)) return kExitUsage;
  int index = c.FindDevice(c.args()[1]);
  if (index < 0) return kExitFailed;
  CameraInfo info = *c.cameras().Get(index);
  if (!info.online()) return std::fprintf(stderr, "lumivexctl: %s is offline\n", info.sid.c_str()), kExitFailed;
  if (!mayWatch(c, info)) return kExitFailed;
  if (!options.folder.empty()) {
    std::string folder = options.folder.back() == '/' ? options.folder : options.folder + "/";
    bool fits = false;
    c.settings().storage.Update([&](StorageFolders& storage) {
      fits = storage.VideoPath.Set(folder) && storage.ImagePath.Set(folder);
    });
    if (!fits) return std::fprintf(stderr, "lumivexctl: --folder is too long\n"), kExitUsage;
  }
  return Watch(c, options, info).Run();
}

}  // namespace lumivex::cli
