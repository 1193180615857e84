// lumivex_bench_live: the cost of the live view's frame path per shown
// frame, next to bare decoding of the same frames in the same run, with
// memory per session and the time to the first picture. Prints one JSON
// object on standard output.

#include <json/json.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <thread>

#include "bare_decode.h"
#include "bench_options.h"
#include "bench_sim.h"
#include "core/logging.h"
#include "ffmpeg_peer.h"
#include "live_sessions.h"
#include "run_guard.h"
#include "support/temp_dir.h"
#include "usage.h"

namespace lumivex::bench {
namespace {

constexpr int kFrameGapMs = sim::kClipTimeGapMs;

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Whole milliseconds: finer would be noise on a shared machine.
Json::Value Ms(double ms) { return Json::Int64(std::llround(ms)); }

Json::Value MedianAndMax(const std::vector<double>& ms) {
  Json::Value r(Json::objectValue);
  r["median"] = Ms(Median(ms));
  r["max"] = Ms(ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()));
  return r;
}

Json::Value PerFrame(double seconds, uint64_t frames) {
  return frames ? Json::Value(seconds / static_cast<double>(frames)) : Json::Value();
}

// a / b, or null when either is missing or b is not positive.
Json::Value Ratio(const Json::Value& a, const Json::Value& b) {
  const bool comparable = !a.isNull() && !b.isNull() && b.asDouble() > 0;
  return comparable ? Json::Value(a.asDouble() / b.asDouble()) : Json::Value();
}

Json::Value PeerReport(const PeerResult& peer, const Json::Value& path) {
  Json::Value r(Json::objectValue);
  r["name"] = "ffmpeg";
  r["processes"] = peer.processes;
  r["frames"] = Json::UInt64(peer.frames);
  r["cpu_seconds"] = peer.cpuSeconds;
  const Json::Value perFrame = PerFrame(peer.cpuSeconds, peer.frames);
  r["cpu_seconds_per_frame"] = perFrame;
  r["path_over_peer"] = Ratio(path, perFrame);
  return r;
}

Json::Value Report(const BenchOptions& o, const LiveResult& live, const BareDecodeResult& bare,
                   const PeerResult* peer, double load) {
  Json::Value r(Json::objectValue);
  r["sessions"] = o.sessions;
  r["size"] = std::to_string(o.width) + "x" + std::to_string(o.height);
  r["window"] = std::to_string(o.windowWidth) + "x" + std::to_string(o.windowHeight);
  r["auto_quality"] = o.autoQuality;
  r["reach"] = o.reach == 5 ? "relay" : o.reach == 4 ? "p2p" : "lan";
  r["bit_rate"] = live.bitRate;
  r["quality_switch_ms"] = live.qualitySwitchMs >= 0 ? Ms(live.qualitySwitchMs) : Json::Value();
  r["seconds"] = o.seconds;
  r["frames_expected"] = Json::Int64(static_cast<int64_t>(o.sessions) * o.seconds * 1000 / kFrameGapMs);
  r["frames_shown"] = Json::UInt64(live.window.shown);
  r["frames_decoded"] = Json::UInt64(live.window.decoded);
  r["frames_late"] = Json::UInt64(live.window.late);
  r["frames_dropped"] = Json::UInt64(live.window.dropped);
  r["frames_reduced"] = Json::UInt64(live.window.reduced);
  const Json::Value path = PerFrame(live.cpuSeconds, live.window.shown);
  const Json::Value decode = PerFrame(bare.cpuSeconds, bare.frames);
  r["cpu_seconds_per_shown_frame_path"] = path;
  // The path broken down: decoding, conversion, and everything else.
  const double decodeSeconds = static_cast<double>(live.window.decodeCpuNs) / 1e9;
  const double convertSeconds = static_cast<double>(live.window.convertCpuNs) / 1e9;
  r["cpu_seconds_per_shown_frame_decode"] = PerFrame(decodeSeconds, live.window.shown);
  r["cpu_seconds_per_shown_frame_convert"] = PerFrame(convertSeconds, live.window.shown);
  r["cpu_seconds_per_shown_frame_other"] =
      PerFrame(std::max(0.0, live.cpuSeconds - decodeSeconds - convertSeconds), live.window.shown);
  r["cpu_seconds_per_frame_bare_decode"] = decode;
  r["ratio"] = Ratio(path, decode);
  r["bare_decode_frames"] = Json::UInt64(bare.frames);
  r["cpu_seconds_per_frame_bare_convert"] = PerFrame(bare.convertCpuSeconds, bare.frames);
  const double mib = static_cast<double>(std::max(0L, live.peakAfterKib - live.rssBeforeKib)) / 1024.0;
  r["peak_rss_mib_per_session"] = std::round(mib / o.sessions * 100) / 100;
  r["first_picture_ms"] = MedianAndMax(live.firstPictureMs);
  r["first_picture_after_reply_ms"] = MedianAndMax(live.firstPictureAfterReplyMs);
  r["key_frame_interval_ms"] = sim::kClipFrames * kFrameGapMs;
  r["sessions_played"] = live.played;
  r["sessions_playing_at_end"] = live.playingAtEnd;
  r["client_cpu_seconds"] = live.cpuSeconds;
  r["sim_cpu_seconds"] = live.simCpuSeconds >= 0 ? Json::Value(live.simCpuSeconds) : Json::Value();
  r["start_all_ms"] = Ms(live.startAllMs);
  r["play_all_ms"] = Ms(live.playAllMs);
  r["stop_all_ms"] = Ms(live.stopAllMs);
  r["stop_ms"] = MedianAndMax(live.stopMs);
  r["threads"] = live.threads;
  r["threads_idle"] = live.threadsIdle;
  r["threads_per_session"] = std::round(double(live.threads - live.threadsIdle) / o.sessions * 100) / 100;
  r["voluntary_switches_per_second"] =
      live.voluntarySwitchesPerSecond >= 0 ? Json::Value(std::round(live.voluntarySwitchesPerSecond)) : Json::Value();
  if (peer) r["peer"] = PeerReport(*peer, path);
  r["cores"] = std::thread::hardware_concurrency();
  r["load_average_1m"] = std::round(load * 100) / 100;
  return r;
}

void Print(const Json::Value& report) {
  Json::StreamWriterBuilder w;
  w["indentation"] = "";
  w["precision"] = 4;  // significant digits: the machine is shared, more would be noise
  std::cout << Json::writeString(w, report) << std::endl;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "lumivex_bench_live: %s\n", what.c_str());
  return 1;
}

int Run(const BenchOptions& o) {
  // Sim start, sign-in, every session's start and stop, and the bare
  // decode all have bounds of their own; this one catches a lock-up.
  RunGuard guard(std::chrono::seconds(300 + 3 * o.seconds + 2 * o.sessions));
  const double load = LoadAverage();
  const BenchCameras cameras{o.sessions, o.width, o.height, o.reach};
  BenchSim sim;
  std::string error;
  guard.Phase("starting lumivex-sim");
  if (!sim.Start(cameras, error)) return Fail(error);
  guard.Child(sim.pid());
  BenchClient client(sim);
  guard.Phase("signing in");
  if (!client.SignIn(error)) return Fail(error + "\n" + sim.LogTail(2000));

  guard.Phase("running the live sessions");
  LiveResult live;
  const PictureSize window{o.windowWidth, o.windowHeight};
  const bool allPlayed = RunLiveSessions(client, sim, cameras, {o.seconds, window, o.autoQuality}, live, error);
  if (!allPlayed) std::fprintf(stderr, "lumivex_bench_live: %s\n%s\n", error.c_str(), sim.LogTail(2000).c_str());
  guard.Phase("stopping lumivex-sim");
  sim.Stop();

  // The same clip the cameras streamed during the window.
  const sim::ClipKey clip{o.width, o.height, live.bitRate, kCameraName, 0, 0};
  guard.Phase("decoding bare");
  BareDecodeResult bare;
  if (live.window.shown > 0 && !BareDecode(clip, live.window.shown, window, bare, error))
    return Fail("bare decoding: " + error);
  PeerResult peer;
  if (o.peerFfmpeg) {
    guard.Phase("running the ffmpeg peer");
    test::TempDir folder;
    if (!RunFfmpegPeer(clip, o.sessions, o.seconds, window, folder.str(), peer, error)) return Fail(error);
  }
  Print(Report(o, live, bare, o.peerFfmpeg ? &peer : nullptr, load));
  return allPlayed ? 0 : 1;
}

}  // namespace
}  // namespace lumivex::bench

int main(int argc, char** argv) {
  using namespace lumivex::bench;
  BenchOptions options;
  std::string error;
  if (!ParseBenchOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "lumivex_bench_live: %s\n%s\n", error.c_str(), kBenchUsage);
    return 2;
  }
  lumivex::InitLogging(false);
  return Run(options);
}
