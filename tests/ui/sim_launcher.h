#pragma once
// lumivex-sim and the lumivex program for the Qt tests, on loopback. Their
// paths come from the build (LUMIVEX_SIM_PATH, LUMIVEX_PROGRAM_PATH) or from
// the environment (LUMIVEX_SIM, LUMIVEX_PROGRAM); a test that needs one that
// is not named skips.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/global.h"
#include "core/net_info.h"
#include "support/child_process.h"
#include "support/sim_endpoint.h"
#include "support/temp_dir.h"
#include "ui/app_context.h"
#include "webservice/handshake.h"
#include "webservice/login.h"

namespace lumivex::test {

inline std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

inline std::string SimProgram() {
#ifdef LUMIVEX_SIM_PATH
  return LUMIVEX_SIM_PATH;
#else
  return FromEnvironment("LUMIVEX_SIM");
#endif
}

inline std::string DesktopProgram() {
#ifdef LUMIVEX_PROGRAM_PATH
  return LUMIVEX_PROGRAM_PATH;
#else
  return FromEnvironment("LUMIVEX_PROGRAM");
#endif
}

// The sim on a scenario (JSON text), verbose, so that its log shows every
// decoded field string.
class UiSim {
 public:
  explicit UiSim(const std::string& scenarioJson) {
    std::string scenario = (dir_ / "scenario.json").string();
    WriteFileBytes(scenario, scenarioJson);
    try {
      process_ = std::make_unique<ChildProcess>(
          SimProgram(),
          std::vector<std::string>{"--scenario", scenario, "--state", (dir_ / "state").string(), "--host",
                                   "127.0.0.1", "--port", "0", "--lan-port", "0", "--talk-dir",
                                   (dir_ / "talk").string(), "--control-log", (dir_ / "control.log").string(),
                                   "--verbose"});
    } catch (const std::exception&) {
      return;
    }
    SimEndpoint ready;
    if (!WaitForSimReady(*process_, ready)) return;
    webPort_ = ready.webPort;
    lanPort_ = ready.lanPort;
    caFile_ = ready.caFile;
  }
  ~UiSim() {
    if (process_) process_->Stop();
  }

  bool ok() const { return webPort_ != 0; }
  // What it logged on standard error so far.
  std::string Log() { return process_ ? process_->ReadErrors() : ""; }

  // What the cameras accepted on their streams so far, a line each.
  std::string ControlLog() const {
    std::error_code ec;
    return std::filesystem::exists(dir_ / "control.log", ec) ? ReadFileBytes(dir_ / "control.log") : "";
  }

  // Where the camera sid writes the talk-back it heard.
  std::string TalkWavPath(const std::string& sid) const { return (dir_ / "talk" / (sid + ".wav")).string(); }

  // Points a client at the sim, as lumivex.ini would.
  void Deploy(Global& g) const { PointAtLoopbackSim(g, webPort_, caFile_, lanPort_); }
  // The same for the lumivex program's command line.
  std::vector<std::string> ProgramOptions(const std::string& home) const {
    return {"--home",      home,
            "--host",      "127.0.0.1",
            "--port",      std::to_string(webPort_),
            "--web-port",  std::to_string(webPort_),
            "--scheme",    "https",
            "--ca-file",   caFile_,
            "--local-net", "127.0.0.1/255.0.0.0",
            "--lan-port",  std::to_string(lanPort_)};
  }

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> process_;
  uint16_t webPort_ = 0, lanPort_ = 0;
  std::string caFile_;
};

// Points app at the sim and signs in as the start-up does: network identity,
// handshake, login (remembered), and the session's umac.
inline bool SignInToSim(const UiSim& sim, AppContext& app, const char* user, const char* password) {
  sim.Deploy(app.global);
  LoginOutcome outcome;
  if (!GetLocalNetInfo(app.global) || SecurityHandshake(app.service) != 1 ||
      Login_Start(app.service, {user, password, true, false, {}}, outcome) != 1)
    return false;
  app.settings.umac = app.settings.userName.str() + "," + app.global.m_Mac.str();
  return true;
}

}  // namespace lumivex::test
