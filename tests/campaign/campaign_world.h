#pragma once
// One fault of the campaign: a sim with sixteen cameras (ten reached on the
// LAN, six through the relay; three of them recording), a client signed in
// to it, optionally the impairment proxy in front of the cameras and the
// relay, and the sixteen live sessions with a sampler of their states.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "integration/sim_fixture.h"
#include "stream/audio_memory.h"
#include "stream/camera.h"
#include "support/impairment_proxy.h"

namespace lumivex::test {

struct WorldOptions {
  std::string cameraKnobs;  // more members of every camera object, e.g. "\"stallAfterSeconds\": 3"
  std::string scenarioTop;  // more top-level members, e.g. "\"relay\": {\"resetAfterSeconds\": 3}"
  bool throughProxy = false;
  std::chrono::milliseconds watchdogPeriod{2000};
};

struct Session {
  std::string sid;
  bool relay = false;
  bool record = false;
  std::unique_ptr<CCamera> camera;
  std::vector<int32_t> states;  // every state the sampler saw, in order, repeats left out
};

class World {
 public:
  static constexpr int kLan = 10, kRelay = 6;

  explicit World(const WorldOptions& options);
  ~World();

  void StartAll();
  // Waits until every session satisfies condition; false at the bound.
  template <typename Condition>
  bool WaitAll(Condition condition, std::chrono::milliseconds bound);
  bool AllPlaying(std::chrono::milliseconds bound);
  // The sessions' states seen so far, as a copy.
  std::vector<int32_t> States(const Session& s);
  // Stops every session: each ends ready; the longest stop in ms.
  long long StopAll(std::string& problems);
  // Reads back every segment recorded with libavformat and decodes it; the
  // number read, their samples and the pictures decoded; problems appended.
  int CheckRecordings(std::string& problems, int& samples, int& frames);
  // Ends the sessions and the proxies, then waits (bounded) for the
  // process's thread count to come back to what it was before the start.
  bool ThreadsBack(std::string& problems);
  // Stream starts the sim's control log holds for sid.
  int StreamStarts(const std::string& sid) const;

  std::vector<Session> sessions;
  std::unique_ptr<ImpairmentProxy> lanProxy, relayProxy;
  std::unique_ptr<SimServer> sim;
  std::unique_ptr<SimClient> client;
  TempDir videos;

 private:
  void Sample();

  std::unique_ptr<HeadlessWall> wall_;
  MemoryDevices devices_;
  std::unique_ptr<StreamEnvironment> env_;
  int threadsBefore_ = 0;
  std::mutex statesMutex_;
  std::atomic<bool> sampling_{false};
  std::thread sampler_;
};

template <typename Condition>
bool World::WaitAll(Condition condition, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    bool all = true;
    for (Session& s : sessions) all = all && condition(s);
    if (all) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Threads of this process, from /proc/self/task.
int ThreadCount();
// Resident memory of this process in KiB, from /proc/self/status.
long ResidentKib();

}  // namespace lumivex::test
