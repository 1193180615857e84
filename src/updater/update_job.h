#pragma once
// The updater's download: the installer into a fresh temporary file beside
// its final path, renamed into place only when complete, made executable and
// started. Runs on a thread of its own; no Qt.

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "webservice/http.h"

namespace lumivex {

// $TMPDIR (or /tmp when unset or empty) followed by "/lumivex-setup".
std::string InstallerPath();

// Connection time-out 10 s, no limit on the transfer itself.
TransportOptions UpdateTransportOptions();

struct UpdateJobOptions {
  std::string installerPath = InstallerPath();
  TransportOptions transport = UpdateTransportOptions();
};

enum class UpdateOutcome {
  Started,         // the installer runs; the program ends
  DownloadFailed,  // "下载更新失败，请稍后重试"; the window stays
  StartFailed,     // "安装更新失败，请稍后重试"; the program ends
  Cancelled,       // "取消" stopped it; nothing left behind
};

struct UpdateResult {
  UpdateOutcome outcome = UpdateOutcome::DownloadFailed;
  pid_t installerPid = -1;  // when Started
  std::string error;        // why, for the log
};

// Called on the download thread with each new percentage.
using PercentCallback = std::function<void(int percent)>;

// The whole download and start, on the calling thread. cancel is looked at on
// every block and progress report; once set, the transfer stops and the
// temporary file is removed.
UpdateResult RunUpdate(const std::string& address, const UpdateJobOptions& options,
                       const std::atomic<bool>& cancel, const PercentCallback& percent);

// RunUpdate on a thread. Both callbacks run on that thread.
class UpdateJob {
 public:
  using FinishedCallback = std::function<void(const UpdateResult&)>;

  UpdateJob(UpdateJobOptions options, PercentCallback percent, FinishedCallback finished);
  ~UpdateJob();  // cancels and waits
  UpdateJob(const UpdateJob&) = delete;
  UpdateJob& operator=(const UpdateJob&) = delete;

  void Start(const std::string& address);  // at most once
  // Returns at once; the transfer stops at its next block or progress report.
  void Cancel();
  void Wait();

 private:
  UpdateJobOptions options_;
  PercentCallback percent_;
  FinishedCallback finished_;
  std::atomic<bool> cancel_{false};
  std::thread thread_;
};

}  // namespace lumivex
