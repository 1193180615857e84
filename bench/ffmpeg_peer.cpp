#include "ffmpeg_peer.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "support/child_process.h"

extern char** environ;

namespace lumivex::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Beyond the seconds asked for: ffmpeg's start and the last frames.
constexpr auto kSlack = 30s;

bool WriteClipFile(const sim::Clip& clip, int repeats, const std::string& path) {
  const std::string startCode("\0\0\0\1", 4);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << startCode << clip.sps << startCode << clip.pps;
  for (int r = 0; r < repeats; ++r)
    for (const std::string& frame : clip.frames) out << frame;  // each begins with its start code
  return static_cast<bool>(out.flush());
}

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  return posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Waits for every child within the bound, summing their CPU time; those
// left at the bound are killed and count as failed.
int Reap(std::vector<pid_t>& pids, Clock::time_point deadline, double& cpuSeconds) {
  int failed = 0;
  while (!pids.empty()) {
    for (auto it = pids.begin(); it != pids.end();) {
      int status = 0;
      rusage usage{};
      const pid_t done = wait4(*it, &status, Clock::now() < deadline ? WNOHANG : 0, &usage);
      if (done == 0) {
        ++it;
        continue;
      }
      if (done == *it) cpuSeconds += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
      if (done != *it || !WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
      it = pids.erase(it);
    }
    if (pids.empty()) break;
    if (Clock::now() >= deadline)
      for (pid_t pid : pids) kill(pid, SIGKILL);
    else
      std::this_thread::sleep_for(50ms);
  }
  return failed;
}

}  // namespace

bool RunFfmpegPeer(const sim::ClipKey& key, int processes, int seconds, PictureSize window,
                   const std::string& folder, PeerResult& out, std::string& error) {
  const std::string ffmpeg = test::FindOnPath("ffmpeg");
  if (ffmpeg.empty()) return error = "--peer ffmpeg: no ffmpeg on PATH (apt-get install ffmpeg)", false;
  sim::Clip clip;
  if (!sim::EncodeClip(key, clip, error)) return false;
  const int perRepeat = static_cast<int>(clip.frames.size());
  const int repeats = std::max(1, (seconds * sim::kClipFps + perRepeat - 1) / perRepeat);
  const std::string path = folder + "/clip.h264";
  if (!WriteClipFile(clip, repeats, path)) return error = "cannot write " + path, false;
  const std::string scale = "scale=" + std::to_string(window.width) + ":" + std::to_string(window.height) +
                            ":flags=fast_bilinear";
  const std::vector<std::string> args = {ffmpeg,    "-hide_banner", "-nostdin", "-loglevel", "error",
                                         "-re",     "-threads",     "1",        "-framerate",
                                         std::to_string(sim::kClipFps), "-i", path, "-vf", scale,
                                         "-pix_fmt", "bgra",        "-f",       "null",      "-"};
  std::vector<pid_t> pids;
  for (int i = 0; i < processes; ++i) {
    const pid_t pid = Spawn(args);
    if (pid < 0) break;
    pids.push_back(pid);
  }
  const int started = static_cast<int>(pids.size());
  double cpu = 0;
  const int failed = Reap(pids, Clock::now() + std::chrono::seconds(seconds) + kSlack, cpu);
  if (started < processes || failed > 0)
    return error = std::to_string(processes - started + failed) + " of " + std::to_string(processes) +
                   " ffmpeg processes failed",
           false;
  out.processes = processes;
  out.frames = static_cast<uint64_t>(processes) * repeats * perRepeat;
  out.cpuSeconds = cpu;
  return true;
}

}  // namespace lumivex::bench
