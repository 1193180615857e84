#pragma once
// lumivex-sim and the lumivex program for the Qt tests, on loopback. Their
// paths come from the build (LUMIVEX_SIM_PATH, LUMIVEX_PROGRAM_PATH) or from
// the environment (LUMIVEX_SIM, LUMIVEX_PROGRAM); a test that needs one that
// is not named skips.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/global.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

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
                                   "127.0.0.1", "--port", "0", "--lan-port", "0", "--verbose"});
    } catch (const std::exception&) {
      return;
    }
    std::string ready = process_->WaitForLine("lumivex-sim: ready", std::chrono::seconds(30));
    std::smatch m;
    static const std::regex kReady(R"(web=(\d+) lan=(\d+) ca=(\S+))");
    if (!std::regex_search(ready, m, kReady)) return;
    webPort_ = static_cast<uint16_t>(std::stoi(m[1]));
    lanPort_ = static_cast<uint16_t>(std::stoi(m[2]));
    caFile_ = m[3];
  }
  ~UiSim() {
    if (process_) process_->Stop();
  }

  bool ok() const { return webPort_ != 0; }
  // What it logged on standard error so far.
  std::string Log() { return process_ ? process_->ReadErrors() : ""; }

  // Points a client at the sim, as lumivex.ini would.
  void Deploy(Global& g) const {
    g.m_Host = "127.0.0.1";
    g.port = webPort_;
    g.m_WebPort = webPort_;
    g.caFile = caFile_;
    g.localIpOverride = "127.0.0.1";
    g.localMaskOverride = "255.0.0.0";
    g.lanProbePort = lanPort_;
  }
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

}  // namespace lumivex::test
