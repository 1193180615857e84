#pragma once
// lumivex-sim with a number of identical cameras on loopback, and one
// client signed in to it the way the desktop program signs in.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "config/user_settings.h"
#include "core/global.h"
#include "support/child_process.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "webservice/service_context.h"

namespace lumivex::bench {

// Every camera has this name and rate, so the sim encodes one clip for all.
inline constexpr char kCameraName[] = "Bench";
inline constexpr int kCameraBitRate = 480000;
inline constexpr char kBenchUser[] = "bench";
inline constexpr char kBenchPassword[] = "bench123";

struct BenchCameras {
  int count = 0;
  int width = 0;
  int height = 0;
  int reach = 2;  // the connection type every camera is reached by
};

// "cam01" ... for index 0 ...
std::string CameraSid(int index);
// The scenario: one account with every camera, all reached the same way
// (LAN by default), no sound.
std::string ScenarioJson(const BenchCameras& cameras);

class BenchSim {
 public:
  BenchSim() = default;
  ~BenchSim();
  BenchSim(const BenchSim&) = delete;
  BenchSim& operator=(const BenchSim&) = delete;

  // Starts the sim and waits (bounded) for its ready line; false with the reason.
  bool Start(const BenchCameras& cameras, std::string& error);
  void Stop();

  uint16_t webPort() const { return webPort_; }
  uint16_t lanPort() const { return lanPort_; }
  const std::string& caFile() const { return caFile_; }
  pid_t pid() const { return process_ ? process_->pid() : -1; }
  // Reads its standard error so that it never blocks on a full pipe.
  void DrainLog();
  // The end of what it logged, for failure reports.
  std::string LogTail(std::size_t bytes);
  // Lines of its control log that hold text.
  int ControlLines(const std::string& text) const;

 private:
  test::TempDir dir_;
  std::unique_ptr<test::ChildProcess> process_;
  uint16_t webPort_ = 0, lanPort_ = 0;
  std::string caFile_;
  std::string controlLog_;
};

// A client of the sim with its own program folder, like one run of the program.
struct BenchClient {
  explicit BenchClient(const BenchSim& sim);

  // Handshake and login; false with the reason.
  bool SignIn(std::string& error);

  test::TempDir home;
  Global g;
  UserSettings settings;
  test::RecordingNotifier notifier;
  ServiceContext ctx;
};

}  // namespace lumivex::bench
