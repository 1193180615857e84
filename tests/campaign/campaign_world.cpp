#include "campaign/campaign_world.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "device/negotiation.h"
#include "support/mp4_check.h"
#include "support/wait_for.h"

namespace lumivex::test {
namespace {

using namespace std::chrono_literals;

std::string Sid(bool relay, int i) { return (relay ? "relay0" : "lan0") + std::to_string(i); }

// Every camera shows the same small picture, so the sim encodes one clip.
std::string Device(const std::string& sid, const std::string& connection, const std::string& knobs) {
  return R"({"sid": ")" + sid + R"(", "name": "Cam", "admin": "viewer", "connection": {)" + connection +
         R"(}, "camera": {"width": 320, "height": 180, "listen": "shared")" + (knobs.empty() ? "" : ", " + knobs) +
         "}}";
}

std::string Scenario(const WorldOptions& o, uint16_t lanProxy, uint16_t relayProxy) {
  const std::string relayAt =
      o.throughProxy ? R"(, "tranIP": "127.0.0.1", "tranPortTcp": ")" + std::to_string(relayProxy) + "\"" : "";
  const std::string lanAt =
      o.throughProxy ? R"(, "devInner": "127.0.0.1", "devPortTcp": ")" + std::to_string(lanProxy) + "\"" : "";
  std::string devices, listed;
  for (int relay = 0; relay < 2; ++relay) {
    for (int i = 0; i < (relay ? World::kRelay : World::kLan); ++i) {
      const std::string sid = Sid(relay, i);
      const std::string connection =
          std::string(relay ? R"("status": 5)" : R"("status": 2)") + R"(, "transVideoLong": -1)" + (relay ? "" : lanAt) +
          relayAt;
      devices += Device(sid, connection, o.cameraKnobs) + ",\n";
      listed += "\"" + sid + "\", ";
    }
  }
  // Its answer names the sim's own shared camera port and relay: where the proxies lead.
  devices += Device("endpoints", R"("status": 2)", "");
  listed += "\"endpoints\"";
  return R"({"accounts": [{"user": "viewer", "password": "secret77", "devices": [)" + listed + "]}],\n" +
         R"("devices": [)" + devices + "]" + (o.scenarioTop.empty() ? "" : ",\n" + o.scenarioTop) + "}";
}

}  // namespace

int ThreadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

long ResidentKib() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

World::World(const WorldOptions& options) {
  if (options.throughProxy) {
    lanProxy = std::make_unique<ImpairmentProxy>();
    relayProxy = std::make_unique<ImpairmentProxy>();
  }
  sim = std::make_unique<SimServer>(
      Scenario(options, lanProxy ? lanProxy->port() : 0, relayProxy ? relayProxy->port() : 0));
  client = std::make_unique<SimClient>(*sim);
  if (!client->SignIn("viewer", "secret77")) throw std::runtime_error("cannot sign in to the sim: " + sim->Log());
  if (options.throughProxy) {
    DeviceConnection conn;
    if (!RequestStart(client->ctx, "endpoints", conn)) throw std::runtime_error("no endpoints from the sim");
    lanProxy->SetUpstream(conn.m_DstPort);
    relayProxy->SetUpstream(conn.m_DstTranPort);
  }
  client->settings.storage.Update([this](StorageFolders& f) {
    f.VideoPath.Set(videos.str() + "/");
    f.FileLength = 1;
  });
  wall_ = std::make_unique<HeadlessWall>(kLan + kRelay, PictureSize{160, 90});
  env_ = std::make_unique<StreamEnvironment>(client->ctx, *wall_, devices_);
  env_->watchdog.SetPeriod(options.watchdogPeriod);
  for (int relay = 0; relay < 2; ++relay) {
    for (int i = 0; i < (relay ? kRelay : kLan); ++i) {
      Session& s = sessions.emplace_back();
      s.sid = Sid(relay, i);
      s.relay = relay;
      s.record = i < (relay ? 1 : 2);
      s.camera = std::make_unique<CCamera>(*env_, s.sid, "Cam");
      s.camera->recording = s.record ? 1 : 0;
    }
  }
  threadsBefore_ = ThreadCount();
}

World::~World() {
  sampling_ = false;
  if (sampler_.joinable()) sampler_.join();
  sessions.clear();  // each camera stops what still runs
}

void World::StartAll() {
  sampling_ = true;
  sampler_ = std::thread([this] { Sample(); });
  for (Session& s : sessions) s.camera->StartCamera();
}

void World::Sample() {
  while (sampling_) {
    {
      std::lock_guard lock(statesMutex_);
      for (Session& s : sessions) {
        const int32_t now = s.camera->m_VideoStatus;
        if (s.states.empty() || s.states.back() != now) s.states.push_back(now);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::vector<int32_t> World::States(const Session& s) {
  std::lock_guard lock(statesMutex_);
  return s.states;
}

bool World::AllPlaying(std::chrono::milliseconds bound) {
  return WaitAll([](Session& s) { return s.camera->m_VideoStatus == STATUS_VIDEO_PLAYING; }, bound);
}

long long World::StopAll(std::string& problems) {
  long long longest = 0;
  for (Session& s : sessions) {
    const auto start = std::chrono::steady_clock::now();
    s.camera->StopCleanCamera();
    longest = std::max<long long>(
        longest, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    if (s.camera->m_VideoStatus != STATUS_READY) problems += s.sid + " is not ready after its stop\n";
  }
  return longest;
}

int World::CheckRecordings(std::string& problems, int& samples, int& frames) {
  int files = 0;
  for (Session& s : sessions) {
    // A minute's segment a stream at most: a failed session opens no more.
    const std::size_t segments = s.camera->recordings().size(), streams = static_cast<std::size_t>(StreamStarts(s.sid));
    if (segments > streams)
      problems += s.sid + ": " + std::to_string(segments) + " segments from " + std::to_string(streams) + " streams\n";
    for (const std::string& path : s.camera->recordings()) {
      Mp4Facts facts;
      std::string why;
      if (!ReadMp4(path, facts, why)) {
        problems += s.sid + ": " + path + " does not read back: " + why + "\n";
        continue;
      }
      // A segment need not begin on a key frame, but from its first one on it decodes.
      const bool keyed = std::find(facts.keys.begin(), facts.keys.end(), true) != facts.keys.end();
      if (keyed && facts.decoded == 0) problems += s.sid + ": " + path + " holds a key frame but decodes nothing\n";
      ++files;
      samples += static_cast<int>(facts.keys.size());
      frames += facts.decoded;
    }
  }
  return files;
}

bool World::ThreadsBack(std::string& problems) {
  sampling_ = false;
  if (sampler_.joinable()) sampler_.join();
  for (Session& s : sessions) s.camera.reset();
  int now = 0;
  // The proxies reap their finished connections within 50 ms.
  if (WaitFor([&] { return (now = ThreadCount()) <= threadsBefore_; }, 5s)) return true;
  problems += std::to_string(now) + " threads after the stop, " + std::to_string(threadsBefore_) + " before\n";
  return false;
}

int World::StreamStarts(const std::string& sid) const {
  int n = 0;
  std::istringstream in(sim->ControlLog());
  for (std::string line; std::getline(in, line);)
    if (line.find(" " + sid + " stream-start") != std::string::npos) ++n;
  return n;
}

}  // namespace lumivex::test
