// lumivex-sim: the stand-in cloud on loopback (web service, thumbnails, LAN
// probe responder, cameras, relay, traversal server) played from one
// scenario file.

#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "core/version.h"
#include "sim/app.h"
#include "sim/camera_world.h"
#include "sim/lan_responder.h"
#include "sim/scenario.h"
#include "sim/server.h"
#include "sim/service.h"
#include "sim/sim_log.h"
#include "sim/traffic_dump.h"
#include "webservice/crypto.h"

using namespace lumivex::sim;

namespace {

constexpr std::chrono::milliseconds kStopBound{1500};

int Fail(const std::string& text) {
  LogError(text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  std::string error;
  if (!ParseSimOptions(argc, argv, options, error)) {
    std::cerr << "lumivex-sim: " << error << "\n" << kUsage;
    return 2;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (options.version) {
    std::cout << "lumivex-sim " << lumivex::kVersionText << "\n";
    return 0;
  }
  SetVerbose(options.verbose);
  if (!options.dumpDir.empty() && !StartTrafficDump(options.dumpDir, error)) return Fail(error);

  // SIGINT and SIGTERM are taken by sigwait below; every thread started
  // from here on inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  Scenario scenario;
  if (!LoadScenario(options.scenario, scenario, error)) return Fail("scenario " + error);

  Pki pki;
  try {
    pki = MakePki(AltNamesFor(options.host));
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  std::string caPath;
  if (!WriteStateFolder(options.state, pki, caPath, error)) return Fail(error);

  std::unique_ptr<lumivex::ClientKeyPair> serviceKey = lumivex::ClientKeyPair::Generate();
  if (!serviceKey) return Fail("cannot make the service's RSA key");

  // The cameras start before the service, whose current.do answers carry
  // their ports; until the service exists no client holds a key anyway.
  std::atomic<Service*> keyHolder{nullptr};
  CameraWorld cameras(scenario, [&keyHolder] {
    Service* s = keyHolder.load();
    return s ? s->DeviceKeys() : std::vector<SessionKey>{};
  });
  if (!cameras.Start(options.host, {options.frameLog, options.controlLog, options.talkDir}, error)) return Fail(error);
  FillEndpoints(scenario, cameras.endpoints());

  LanResponder lan(scenario);
  Service service(std::move(scenario), std::move(serviceKey));
  keyHolder = &service;
  // On every way out the cameras stop before the service they ask for keys goes.
  struct StopCameras {
    CameraWorld& cameras;
    std::atomic<Service*>& keys;
    ~StopCameras() {
      cameras.Stop();
      keys = nullptr;
    }
  } stopCameras{cameras, keyHolder};
  WebServer web([&service](const HttpRequest& request) { return service.Handle(request); });
  if (!web.Start(options.host, options.port, pki.serverCertPem, pki.serverKeyPem, error)) return Fail(error);
  if (!lan.Start(options.lanBind, options.lanPort, error)) return Fail(error);

  std::printf("lumivex-sim: ready web=%u lan=%u ca=%s relay=%u traversal=%u\n", web.port(), lan.port(),
              caPath.c_str(), cameras.endpoints().relay, cameras.endpoints().traversal);
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  LogDetail(signal == SIGINT ? "stopping on SIGINT" : "stopping on SIGTERM");
  // The stop is bounded whatever a thread still waits on (a peer's socket
  // that never answers): after this the process ends without the joins.
  std::thread([] {
    std::this_thread::sleep_for(kStopBound);
    LogError("the stop took longer than " + std::to_string(kStopBound.count()) + " ms: ending without it");
    std::_Exit(1);
  }).detach();
  web.Stop();
  lan.Stop();
  return 0;
}
