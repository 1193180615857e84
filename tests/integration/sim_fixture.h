#pragma once
// The real lumivex-sim on loopback, and a client wired to it the way the
// desktop program wires itself.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "config/user_settings.h"
#include "core/global.h"
#include "support/child_process.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "webservice/camera_list.h"
#include "webservice/service_context.h"

namespace lumivex::test {

// Starts lumivex-sim on a scenario (the JSON text) and waits for its ready line.
struct SimOptions {
  bool verbose = false;  // the sim also logs every decoded field string (see Log())
  std::string host = "127.0.0.1";
  std::vector<std::string> launcher;  // e.g. {"ip", "netns", "exec", NAME}: runs the sim through it
};

class SimServer {
 public:
  explicit SimServer(const std::string& scenarioJson, bool verbose = false);
  SimServer(const std::string& scenarioJson, const SimOptions& options);
  ~SimServer();

  uint16_t webPort() const { return webPort_; }
  uint16_t lanPort() const { return lanPort_; }
  const std::string& host() const { return host_; }
  // The frames its cameras sent: "<sid> <frameNumber> <bytes> <crc32>" lines.
  std::string FrameLog() const;
  // What its cameras received: "<ms> <sid> <message or event>" lines.
  std::string ControlLog() const;
  // Where the camera sid writes the talk-back sound it heard.
  std::string TalkWavPath(const std::string& sid) const;
  const std::string& caFile() const { return caFile_; }
  // What the sim refused so far (its "refused" log lines), for failure messages.
  std::string Refusals();
  // Everything it logged so far on standard error.
  std::string Log();
  // Stops it now (SIGTERM, SIGKILL after bound); the exit code, -1 when killed.
  int Stop(std::chrono::milliseconds bound = std::chrono::seconds(5));
  pid_t pid() const;

  // The deployment options for lumivexctl: host, ports, CA, loopback network.
  std::vector<std::string> CliOptions(const std::string& home) const;

 private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> process_;
  uint16_t webPort_ = 0, lanPort_ = 0;
  std::string caFile_, host_;
};

// A client of the sim: its own program folder (with config/), state and
// notifier, like one run of the desktop program.
struct SimClient {
  explicit SimClient(const SimServer& sim);

  bool Handshake();
  // Handshake (once) then login; false when either fails.
  bool SignIn(const std::string& user, const std::string& password, bool remember = false,
              bool autoLogin = false);

  TempDir home;
  Global g;
  UserSettings settings;
  RecordingNotifier notifier;
  ServiceContext ctx;
  CameraList cameras;
  bool handshakeDone = false;
  // Updater launches seen (ctx.startUpdater is replaced by a recorder).
  std::vector<std::string> updaterUrls;
  int exitCode = -1;  // set when the client would have ended
};

std::string SimPath();
std::string CliPath();

}  // namespace lumivex::test
