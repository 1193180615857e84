#include "bench_sim.h"
#include "support/sim_endpoint.h"

#include <json/json.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "core/net_info.h"
#include "webservice/handshake.h"
#include "webservice/http.h"
#include "webservice/login.h"

namespace lumivex::bench {
namespace {

constexpr auto kReadyBound = std::chrono::seconds(30);

}  // namespace

std::string CameraSid(int index) {
  char sid[16];
  std::snprintf(sid, sizeof sid, "cam%02d", index + 1);
  return sid;
}

std::string ScenarioJson(const BenchCameras& cameras) {
  Json::Value account(Json::objectValue);
  account["user"] = kBenchUser;
  account["password"] = kBenchPassword;
  account["devices"] = Json::Value(Json::arrayValue);
  Json::Value devices(Json::arrayValue);
  for (int i = 0; i < cameras.count; ++i) {
    const std::string sid = CameraSid(i);
    account["devices"].append(sid);
    Json::Value d(Json::objectValue);
    d["sid"] = sid;
    d["name"] = kCameraName;
    d["admin"] = kBenchUser;
    d["connection"]["status"] = cameras.reach;
    d["connection"]["transVideoLong"] = -1;
    d["camera"]["width"] = cameras.width;
    d["camera"]["height"] = cameras.height;
    d["camera"]["bitRate"] = kCameraBitRate;
    d["camera"]["audio"] = "none";
    devices.append(d);
  }
  Json::Value root(Json::objectValue);
  root["servers"]["defTranIP"] = "relay";
  root["servers"]["defTranPortTcp"] = "relay";
  root["accounts"].append(account);
  root["devices"] = devices;
  return Json::writeString(Json::StreamWriterBuilder(), root);
}

BenchSim::~BenchSim() { Stop(); }

bool BenchSim::Start(const BenchCameras& cameras, std::string& error) {
  const std::string scenario = (dir_ / "scenario.json").string();
  test::WriteFileBytes(scenario, ScenarioJson(cameras));
  controlLog_ = (dir_ / "control.log").string();
  const std::vector<std::string> args = {"--scenario",    scenario,    "--state", (dir_ / "state").string(),
                                         "--host",        "127.0.0.1", "--port",  "0",
                                         "--lan-port",    "0",         "--control-log", controlLog_};
  try {
    process_ = std::make_unique<test::ChildProcess>(LUMIVEX_SIM_PATH, args);
  } catch (const std::runtime_error& e) {
    error = e.what();
    return false;
  }
  test::SimEndpoint ready;
  if (!test::WaitForSimReady(*process_, ready, kReadyBound)) {
    error = "lumivex-sim did not get ready: " + LogTail(2000);
    Stop();
    return false;
  }
  webPort_ = ready.webPort;
  lanPort_ = ready.lanPort;
  caFile_ = ready.caFile;
  return true;
}

void BenchSim::Stop() {
  if (process_) process_->Stop();
}

void BenchSim::DrainLog() {
  if (process_) process_->ReadErrors();
}

std::string BenchSim::LogTail(std::size_t bytes) {
  if (!process_) return {};
  const std::string& all = process_->ReadErrors();
  return all.size() > bytes ? all.substr(all.size() - bytes) : all;
}

int BenchSim::ControlLines(const std::string& text) const {
  std::ifstream in(controlLog_);
  int n = 0;
  for (std::string line; std::getline(in, line);) n += line.find(text) != std::string::npos;
  return n;
}

BenchClient::BenchClient(const BenchSim& sim) : ctx(g, settings, notifier, home.str()) {
  std::filesystem::create_directories(home / "config");
  test::PointAtLoopbackSim(g, sim.webPort(), sim.caFile(), sim.lanPort());
  ctx.startUpdater = [](const std::string&) { return false; };  // no update offered; never start one
  ctx.exitProcess = [](int) {};
}

bool BenchClient::SignIn(std::string& error) {
  if (!InitHttpLibrary()) {
    error = "libcurl does not start";
    return false;
  }
  if (!GetLocalNetInfo(g)) {
    error = "no network identity (MAC, address)";
    return false;
  }
  if (SecurityHandshake(ctx) != 1) {
    error = "the security handshake failed: " + notifier.lastStatus();
    return false;
  }
  LoginInput input{kBenchUser, kBenchPassword, false, false, {}};
  LoginOutcome outcome;
  if (Login_Start(ctx, input, outcome) != 1) {
    error = "sign-in failed: " + notifier.lastStatus();
    return false;
  }
  settings.umac = settings.userName.str() + "," + g.m_Mac.str();  // as the start-up does after sign-in
  return true;
}

}  // namespace lumivex::bench
