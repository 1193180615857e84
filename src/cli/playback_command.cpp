// "playback": one recorded hour of a camera's memory card through the same
// PlaybackSession the playback window uses, without a screen: the start and
// end labels, each state change, the position every second, the scripted
// controls, and the frames shown; --save keeps what was received as MP4.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "cli/client.h"
#include "core/text.h"
#include "playback/playback_session.h"
#include "stream/audio_wav.h"
#include "stream/display_clock.h"
#include "stream/recorder.h"
#include "stream/video_wall.h"

namespace lumivex::cli {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr PictureSize kCanvasSize{640, 360};
constexpr auto kCommandWait = 5s;

struct PlaybackOptions {
  std::string hour;  // "YYYYMMDD-HH"
  int seconds = 10;
  int jump = -1;
  bool back = false, forward = false;
  int pauseAfter = -1, resumeAfter = -1;
  std::string savePath, listenPath;
};

bool Usage(const char* text) {
  std::fprintf(stderr, "lumivexctl: playback %s\n", text);
  return false;
}

bool ParsePlayback(const std::vector<std::string>& args, PlaybackOptions& o) {
  int32_t year, month, day, hour;
  if (args.size() < 3 || !ParseSelectedHour(args[2], year, month, day, hour))
    return Usage("takes SID YYYYMMDD-HH");
  o.hour = args[2];
  for (std::size_t i = 3; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    auto number = [&](int& out) { out = DecimalPrefix(args[++i]); };
    if (a == "--seconds" && hasValue) number(o.seconds);
    else if (a == "--jump" && hasValue) number(o.jump);
    else if (a == "--back") o.back = true;
    else if (a == "--forward") o.forward = true;
    else if (a == "--pause-after" && hasValue) number(o.pauseAfter);
    else if (a == "--resume-after" && hasValue) number(o.resumeAfter);
    else if (a == "--save" && hasValue) o.savePath = args[++i];
    else if (a == "--listen" && hasValue) o.listenPath = args[++i];
    else if (a == "--pattern" && hasValue) ++i;  // checked before the session
    else return std::fprintf(stderr, "lumivexctl: playback does not know %s\n", a.c_str()), false;
  }
  if (o.seconds < 1 || o.seconds > 86400) return Usage("--seconds takes a number from 1 to 86400");
  if (o.jump < -1) return Usage("--jump takes seconds from the start of the recording");
  if ((o.pauseAfter < 0) != (o.resumeAfter < 0) || o.resumeAfter < o.pauseAfter)
    return Usage("--pause-after S needs --resume-after T, T not before S");
  return true;
}

// Prints what the window would show; any thread.
class PrintingListener : public PlaybackListener {
 public:
  explicit PrintingListener(ConsoleNotifier& out) : out_(out) {}

  void RecordingKnown(const std::string& start, const std::string& end, int32_t gap) override {
    out_.Print("start: " + start);
    out_.Print("end: " + end);
    out_.Print("length: " + std::to_string(gap) + " s");
  }
  void PositionChanged(int32_t position, const std::string& label) override {
    std::lock_guard lock(mutex_);
    position_ = position;
    label_ = label;
  }
  void StatusChanged(int32_t status) override {
    if (status == STATUS_VIDEO_PLAYING) played = true;
    out_.Print(std::string("state: ") + VideoStatusName(status));
  }
  void PrintPosition() {
    std::lock_guard lock(mutex_);
    out_.Print("position: " + std::to_string(position_) + " " + label_);
  }

  std::atomic<bool> played{false};

 private:
  ConsoleNotifier& out_;
  std::mutex mutex_;
  int32_t position_ = 0;            // guarded by mutex_
  std::string label_ = "00:00:00";  // guarded by mutex_
};

// The received frames as they are, in one fragmented MP4 file. A save that
// kept no frame leaves no file and says why.
class FrameSaver {
 public:
  explicit FrameSaver(std::string path) : path_(std::move(path)) {}

  // The frame clock's thread.
  void Save(const StreamParameters& params, const ShownFrame& frame) {
    if (path_.empty() || failure_ != Failure::kNone) return;
    if (!segment_.isOpen()) {
      std::error_code ec;
      const bool existed = std::filesystem::exists(path_, ec);
      if (!segment_.Open(path_, Mp4Track::Of(params))) {
        failure_ = existed ? Failure::kExists : Failure::kNotCreated;
        return;
      }
      created_ = true;
    }
    if (segment_.WriteFrame(frame.data, frame.size, frame.keyFrame)) {
      ++saved_;
      return;
    }
    std::vector<uint8_t> sample;
    failure_ = AnnexBToSample(frame.data, frame.size, sample) ? Failure::kNotWritten : Failure::kNotH264;
  }
  // After the session has stopped; false when nothing was saved.
  bool Finish(ConsoleNotifier& out) {
    if (path_.empty()) return true;
    segment_.Close();
    const uint64_t saved = saved_;
    if (saved == 0) {
      std::error_code ec;
      if (created_) std::filesystem::remove(path_, ec);  // ours (it could not exist before): no empty MP4 stays
      out.Print("not saved: " + path_ + " (" + Why(failure_) + ")");
      return false;
    }
    const std::string cut = failure_ == Failure::kNone ? "" : "; then " + Why(failure_);
    out.Print("saved: " + path_ + " (" + std::to_string(saved) + " frames" + cut + ")");
    return true;
  }

 private:
  enum class Failure { kNone, kExists, kNotCreated, kNotH264, kNotWritten };

  static std::string Why(Failure failure) {
    switch (failure) {
      case Failure::kNone: return "no frame was received";
      case Failure::kExists: return "it exists already";
      case Failure::kNotCreated: return "it cannot be created";
      case Failure::kNotH264: return "a frame is not H.264 with start codes";
      case Failure::kNotWritten: return "the file cannot be written";
    }
    return "";
  }

  const std::string path_;
  Mp4Segment segment_;
  bool created_ = false;  // by Save, on the frame clock's thread; read after the session stopped
  std::atomic<Failure> failure_{Failure::kNone};
  std::atomic<uint64_t> saved_{0};
};

class Playback {
 public:
  Playback(Client& c, const PlaybackOptions& o, const CameraInfo& info)
      : c_(c), o_(o), canvas_(kCanvasSize), devices_(o.listenPath, ""), listener_(c.notifier()), saver_(o.savePath) {
    session_ = std::make_unique<PlaybackSession>(c.context(), devices_, clock_, info.sid.str(), canvas_, listener_);
    session_->onFrame = [this](const StreamParameters& p, const ShownFrame& f) { saver_.Save(p, f); };
  }

  int Run() {
    session_->StartPlayback(o_.hour);
    const auto end = Clock::now() + std::chrono::seconds(o_.seconds);
    auto nextPrint = Clock::now() + 1s;
    while (Clock::now() < end) {
      if (listener_.played && !playingSince_) {
        playingSince_ = Clock::now();
        StepsAtStart();
      }
      if (playingSince_) TimedSteps();
      if (Clock::now() >= nextPrint) {
        listener_.PrintPosition();
        nextPrint += 1s;
      }
      std::this_thread::sleep_for(10ms);
    }
    const bool saved = Finish();
    return listener_.played && saved ? kExitOk : kExitFailed;
  }

 private:
  // Waits until the control thread has sent what was handed to it, so that
  // the next command does not replace it.
  void AwaitSent() {
    const auto deadline = Clock::now() + kCommandWait;
    while (session_->commandsSent() < commandsGiven_ && Clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
  }

  void StepsAtStart() {
    if (o_.jump >= 0) Give([&] { session_->JumpTo(o_.jump); }, "jumped");
    if (o_.forward) Give([&] { session_->Forward(); }, "forward");
    if (o_.back) Give([&] { session_->Back(); }, "back");
  }

  void TimedSteps() {
    const auto since = Clock::now() - *playingSince_;
    if (o_.pauseAfter >= 0 && !paused_ && since >= std::chrono::seconds(o_.pauseAfter)) {
      paused_ = true;
      Give([&] { session_->Pause(); }, "paused");
    }
    if (paused_ && !resumed_ && since >= std::chrono::seconds(o_.resumeAfter)) {
      resumed_ = true;
      Give([&] { session_->Resume(); }, "resumed");
    }
  }

  template <typename F>
  void Give(F step, const char* what) {
    ++commandsGiven_;
    step();
    c_.notifier().Print(std::string(what) + ": " + std::to_string(session_->position()));
    AwaitSent();
  }

  // False when a save was asked for and nothing was saved.
  bool Finish() {
    session_->StopCleanCamera();  // every thread joined: the counts are final
    const auto& k = session_->counters;
    const CameraAudioPlayer& audio = session_->audioPlayer();
    c_.notifier().Print("frames shown: " + std::to_string(k.shown.load()));
    c_.notifier().Print("frames received: " + std::to_string(k.framesReceived.load()));
    c_.notifier().Print("audio played: " + std::to_string(audio.bytesPlayed()) + " bytes");
    c_.notifier().Print("audio dropped: " + std::to_string(audio.syncDropped()));
    c_.notifier().Print("audio delayed: " + std::to_string(audio.syncDelayed()));
    session_.reset();  // and the audio player's own threads
    const bool saved = saver_.Finish(c_.notifier());
    if (!o_.listenPath.empty()) c_.notifier().Print("listened: " + o_.listenPath);
    return saved;
  }

  Client& c_;
  const PlaybackOptions o_;
  CountingSurface canvas_;
  WavFileDevices devices_;
  PrintingListener listener_;
  FrameSaver saver_;
  DisplayClock clock_{1};  // one window's ticks
  std::unique_ptr<PlaybackSession> session_;
  std::optional<Clock::time_point> playingSince_;
  uint64_t commandsGiven_ = 0;
  bool paused_ = false, resumed_ = false;
};

}  // namespace

int PlaybackCommand(Client& c, bool (*mayWatch)(Client&, const CameraInfo&)) {
  PlaybackOptions options;
  if (!ParsePlayback(c.args(), options)) return kExitUsage;
  int index = c.FindDevice(c.args()[1]);
  if (index < 0) return kExitFailed;
  CameraInfo info = *c.cameras().Get(index);
  if (!mayWatch(c, info)) return kExitFailed;
  return Playback(c, options, info).Run();
}

}  // namespace lumivex::cli
