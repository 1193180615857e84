#include "integration/sim_fixture.h"
#include "support/sim_endpoint.h"

#include <filesystem>
#include <stdexcept>

#include "core/net_info.h"
#include "support/temp_dir.h"
#include "webservice/handshake.h"
#include "webservice/http.h"
#include "webservice/login.h"

namespace lumivex::test {

std::string SimPath() { return LUMIVEX_SIM_PATH; }
std::string CliPath() { return LUMIVEXCTL_PATH; }

SimServer::SimServer(const std::string& scenarioJson, bool verbose)
    : SimServer(scenarioJson, [verbose] {
        SimOptions options;
        options.verbose = verbose;
        return options;
      }()) {}

SimServer::SimServer(const std::string& scenarioJson, const SimOptions& options) : host_(options.host) {
  std::string scenario = (dir_ / "scenario.json").string();
  WriteFileBytes(scenario, scenarioJson);
  std::vector<std::string> args = options.launcher;
  args.push_back(SimPath());
  args.insert(args.end(), {"--scenario", scenario, "--state", (dir_ / "state").string(), "--host", host_, "--port", "0",
                           "--lan-port", "0", "--frame-log", (dir_ / "frames.log").string(),
                           "--control-log", (dir_ / "control.log").string(), "--talk-dir", (dir_ / "talk").string()});
  if (options.verbose) args.push_back("--verbose");
  std::string program = args.front();
  args.erase(args.begin());
  process_ = std::make_unique<ChildProcess>(program, args);
  SimEndpoint ready;
  if (!WaitForSimReady(*process_, ready)) {
    process_->Stop();
    throw std::runtime_error("lumivex-sim did not start: " + process_->errors());
  }
  webPort_ = ready.webPort;
  lanPort_ = ready.lanPort;
  caFile_ = ready.caFile;
}

std::string SimServer::FrameLog() const { return ReadFileBytes(dir_ / "frames.log"); }

std::string SimServer::ControlLog() const { return ReadFileBytes(dir_ / "control.log"); }

std::string SimServer::TalkWavPath(const std::string& sid) const { return (dir_ / "talk" / (sid + ".wav")).string(); }

SimServer::~SimServer() { Stop(); }

int SimServer::Stop(std::chrono::milliseconds bound) { return process_ ? process_->Stop(bound) : -1; }

pid_t SimServer::pid() const { return process_ ? process_->pid() : -1; }

std::string SimServer::Log() { return process_->ReadErrors(); }

std::string SimServer::Refusals() {
  // The sim logs a refusal before it answers, so it is in the pipe by now.
  std::string all = process_->ReadErrors();
  std::string refused;
  std::size_t at = 0;
  while ((at = all.find("refused", at)) != std::string::npos) {
    std::size_t eol = all.find('\n', at);
    refused += all.substr(at, eol - at) + "\n";
    at = eol;
  }
  return refused;
}

std::vector<std::string> SimServer::CliOptions(const std::string& home) const {
  return {"--home", home, "--host", host_, "--port", std::to_string(webPort_), "--web-port",
          std::to_string(webPort_), "--scheme", "https", "--ca-file", caFile_, "--local-net",
          "127.0.0.1/255.0.0.0", "--lan-port", std::to_string(lanPort_)};
}

SimClient::SimClient(const SimServer& sim) : ctx(g, settings, notifier, home.str()) {
  std::filesystem::create_directories(home / "config");
  PointAtLoopbackSim(g, sim.webPort(), sim.caFile(), sim.lanPort());
  InitHttpLibrary();
  GetLocalNetInfo(g);
  ctx.startUpdater = [this](const std::string& url) {
    updaterUrls.push_back(url);
    return true;
  };
  ctx.exitProcess = [this](int code) { exitCode = code; };
  ctx.updateCheckPause = std::chrono::milliseconds(10);
}

bool SimClient::Handshake() {
  if (!handshakeDone) handshakeDone = SecurityHandshake(ctx) == 1;
  return handshakeDone;
}

bool SimClient::SignIn(const std::string& user, const std::string& password, bool remember,
                       bool autoLogin) {
  if (!Handshake()) return false;
  LoginInput input{user, password, remember, autoLogin, {}};
  LoginOutcome outcome;
  if (Login_Start(ctx, input, outcome) != 1) return false;
  settings.umac = settings.userName.str() + "," + g.m_Mac.str();  // as the start-up does after sign-in
  return true;
}

}  // namespace lumivex::test
