#include "live_sessions.h"

#include <chrono>
#include <memory>
#include <thread>

#include "stream/audio_memory.h"
#include "stream/camera.h"
#include "stream/video_wall.h"
#include "support/wait_for.h"
#include "usage.h"

namespace lumivex::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using Cameras = std::vector<std::unique_ptr<CCamera>>;

// Connecting, the sim's first encode of the clip and the first key frame,
// with room for a loaded machine; more sessions take longer to start.
std::chrono::milliseconds PlayBound(int sessions) { return 30s + sessions * 500ms; }
constexpr auto kStepBetweenDrains = 200ms;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<FrameCounts> Counts(const Cameras& cameras) {
  std::vector<FrameCounts> counts;
  for (const auto& camera : cameras)
    counts.push_back({camera->counters.shown, camera->counters.decoded, camera->counters.dropped,
                      camera->counters.late, camera->counters.reduced, camera->counters.decodeCpuNs,
                      camera->counters.convertCpuNs});
  return counts;
}

// What the window added, summed; a session restarted meanwhile counts from zero.
FrameCounts Added(const std::vector<FrameCounts>& before, const std::vector<FrameCounts>& after) {
  auto added = [](auto a, auto b) { return a >= b ? a - b : a; };
  FrameCounts sum;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    sum.shown += added(after[i].shown, before[i].shown);
    sum.decoded += added(after[i].decoded, before[i].decoded);
    sum.dropped += added(after[i].dropped, before[i].dropped);
    sum.late += added(after[i].late, before[i].late);
    sum.reduced += added(after[i].reduced, before[i].reduced);
    sum.decodeCpuNs += added(after[i].decodeCpuNs, before[i].decodeCpuNs);
    sum.convertCpuNs += added(after[i].convertCpuNs, before[i].convertCpuNs);
  }
  return sum;
}

int Playing(const Cameras& cameras) {
  int n = 0;
  for (const auto& camera : cameras) n += camera->m_VideoStatus == STATUS_VIDEO_PLAYING;
  return n;
}

// Sleeps through the window, reading the sim's log now and then.
void RunWindow(BenchSim& sim, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    sim.DrainLog();
    std::this_thread::sleep_for(std::min<Clock::duration>(end - now, kStepBetweenDrains));
  }
}

double SimCpu(const BenchSim& sim) {
  double seconds = -1;
  return ProcessCpuSecondsOf(sim.pid(), seconds) ? seconds : -1;
}

// One stop after the other, each timed.
void StopAll(Cameras& cameras, LiveResult& out) {
  for (auto& camera : cameras) {
    const auto stopping = Clock::now();
    camera->StopCleanCamera();
    out.stopMs.push_back(MsSince(stopping));
  }
  cameras.clear();
}

// Asks every camera for the window's level and waits (bounded) until
// every stream went over to it at a key frame.
bool SwitchQuality(BenchSim& sim, Cameras& cameras, int32_t level, LiveResult& out, std::string& error) {
  const auto asked = Clock::now();
  const std::string switched = "clip-switch " + std::to_string(level);
  for (auto& camera : cameras)
    if (!camera->SetQuality(level)) return error = "a camera could not be asked for " + std::to_string(level), false;
  const bool all = test::WaitFor(
      [&] {
        sim.DrainLog();
        return sim.ControlLines(switched) >= static_cast<int>(cameras.size());
      },
      PlayBound(static_cast<int>(cameras.size())));
  out.qualitySwitchMs = MsSince(asked);
  if (!all) error = "not every stream went over to " + std::to_string(level);
  return all;
}

}  // namespace

bool RunLiveSessions(BenchClient& client, BenchSim& sim, const BenchCameras& cameras, const LiveRun& run,
                     LiveResult& out, std::string& error) {
  MemoryUse before;
  if (!ReadMemoryUse(before)) {
    error = "/proc/self/status cannot be read";
    return false;
  }
  out.rssBeforeKib = before.rssKib;
  out.threadsIdle = ThreadCount();

  HeadlessWall wall(cameras.count, run.window);
  MemoryDevices devices;
  StreamEnvironment env(client.ctx, wall, devices);
  Cameras live;
  for (int i = 0; i < cameras.count; ++i) live.push_back(std::make_unique<CCamera>(env, CameraSid(i), kCameraName));

  const auto started = Clock::now();
  for (auto& camera : live) camera->StartCamera();
  out.startAllMs = MsSince(started);
  const bool allPlay = test::WaitFor(
      [&] {
        sim.DrainLog();
        return Playing(live) == cameras.count;
      },
      PlayBound(cameras.count));
  out.playAllMs = MsSince(started);
  out.played = Playing(live);
  if (!allPlay)
    error = std::to_string(out.played) + " of " + std::to_string(cameras.count) + " sessions played within " +
            std::to_string(PlayBound(cameras.count).count()) + " ms";
  out.bitRate = kCameraBitRate;
  const int32_t level = AutoQualityLevel(run.window.width);
  bool switched = true;
  if (allPlay && run.autoQuality && level != kCameraBitRate) {
    switched = SwitchQuality(sim, live, level, out, error);
    if (switched) out.bitRate = level;
  }

  out.threads = ThreadCount();
  const std::vector<FrameCounts> first = Counts(live);
  const double cpu = ProcessCpuSeconds(), simCpu = SimCpu(sim);
  const long switches = VoluntarySwitches();
  RunWindow(sim, run.seconds);
  if (switches >= 0) out.voluntarySwitchesPerSecond = double(VoluntarySwitches() - switches) / run.seconds;
  out.window = Added(first, Counts(live));
  out.cpuSeconds = ProcessCpuSeconds() - cpu;
  const double simCpuAfter = SimCpu(sim);
  if (simCpu >= 0 && simCpuAfter >= 0) out.simCpuSeconds = simCpuAfter - simCpu;
  MemoryUse after;
  if (ReadMemoryUse(after)) out.peakAfterKib = after.peakKib;
  out.playingAtEnd = Playing(live);
  for (const auto& camera : live) {
    const auto& k = camera->counters;
    if (k.firstPictureNs <= 0) continue;
    out.firstPictureMs.push_back(static_cast<double>(k.firstPictureNs - k.startedNs) / 1e6);
    if (k.replyNs > 0) out.firstPictureAfterReplyMs.push_back(static_cast<double>(k.firstPictureNs - k.replyNs) / 1e6);
  }

  const auto stopping = Clock::now();
  StopAll(live, out);
  out.stopAllMs = MsSince(stopping);
  return allPlay && switched;
}

}  // namespace lumivex::bench
