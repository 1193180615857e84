#include "updater/update_job.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "updater/update_rules.h"

namespace lumivex {
namespace {

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A file beside the installer that nobody else can have opened; it becomes
// the installer only by rename, so a stopped download never leaves half of one.
class PartialFile {
 public:
  explicit PartialFile(const std::string& finalPath) {
    std::vector<char> name(finalPath.begin(), finalPath.end());
    for (char c : std::string(".XXXXXX")) name.push_back(c);
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ >= 0) path_ = name.data();
  }
  ~PartialFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  bool open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Complete: on disk, executable, and in place of any earlier installer.
  bool Commit(const std::string& finalPath, std::string& error) {
    if (::fsync(fd_) != 0 || ::fchmod(fd_, 0755) != 0) {
      error = ErrnoText("installer file");
      return false;
    }
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) {
      error = ErrnoText("installer file");
      return false;
    }
    if (::rename(path_.c_str(), finalPath.c_str()) != 0) {
      error = ErrnoText("rename to " + finalPath);
      return false;
    }
    path_.clear();
    return true;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

// No arguments, our environment and folder; a session of its own, with the
// signal state a fresh program expects (we ignore SIGPIPE, threads may block
// signals), so it outlives us untouched.
bool StartInstaller(const std::string& path, pid_t& pid, std::string& error) {
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigfillset(&defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::string program = path;
  char* argv[] = {program.data(), nullptr};
  int rc = ::posix_spawn(&pid, path.c_str(), nullptr, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    error = "cannot start " + path + ": " + std::strerror(rc);
    return false;
  }
  return true;
}

UpdateResult Failed(UpdateOutcome outcome, std::string error) {
  LogInfo("update: " + error);
  UpdateResult result;
  result.outcome = outcome;
  result.error = std::move(error);
  return result;
}

}  // namespace

std::string InstallerPath() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/lumivex-setup";
}

TransportOptions UpdateTransportOptions() {
  TransportOptions o;
  o.connectTimeout = std::chrono::seconds(10);
  o.totalTimeout = std::chrono::milliseconds(0);
  return o;
}

UpdateResult RunUpdate(const std::string& address, const UpdateJobOptions& options,
                       const std::atomic<bool>& cancel, const PercentCallback& percent) {
  PartialFile file(options.installerPath);
  if (!file.open()) return Failed(UpdateOutcome::DownloadFailed, ErrnoText("temporary file beside " + options.installerPath));

  bool writeFailed = false;
  ProgressTracker tracker;
  DownloadRequest request;
  request.url = address;
  request.options = options.transport;
  request.maxBytes = std::numeric_limits<uint64_t>::max();
  request.sink = [&](const char* data, std::size_t size) {
    if (cancel) return false;
    writeFailed = !WriteAll(file.fd(), data, size);
    return !writeFailed;
  };
  request.progress = [&](uint64_t received, uint64_t total) {
    if (cancel) return false;
    if (std::optional<int> p = tracker.Update(received, total); p && percent) percent(*p);
    return true;
  };
  DownloadResult download = DownloadUrl(request);

  if (cancel) return Failed(UpdateOutcome::Cancelled, "cancelled");
  if (writeFailed) return Failed(UpdateOutcome::DownloadFailed, ErrnoText("writing the installer"));
  if (!download.ok) return Failed(UpdateOutcome::DownloadFailed, "download: " + download.error);
  if (download.httpStatus != 200)
    return Failed(UpdateOutcome::DownloadFailed, "download: HTTP status " + std::to_string(download.httpStatus));
  std::string error;
  if (!file.Commit(options.installerPath, error)) return Failed(UpdateOutcome::DownloadFailed, error);

  UpdateResult result;
  if (!StartInstaller(options.installerPath, result.installerPid, error))
    return Failed(UpdateOutcome::StartFailed, error);
  result.outcome = UpdateOutcome::Started;
  LogInfo("update: started " + options.installerPath + " (pid " + std::to_string(result.installerPid) + ")");
  return result;
}

UpdateJob::UpdateJob(UpdateJobOptions options, PercentCallback percent, FinishedCallback finished)
    : options_(std::move(options)), percent_(std::move(percent)), finished_(std::move(finished)) {}

UpdateJob::~UpdateJob() {
  Cancel();
  Wait();
}

void UpdateJob::Start(const std::string& address) {
  if (thread_.joinable()) return;
  thread_ = std::thread([this, address] {
    UpdateResult result = RunUpdate(address, options_, cancel_, percent_);
    if (finished_) finished_(result);
  });
}

void UpdateJob::Cancel() { cancel_ = true; }

void UpdateJob::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace lumivex
