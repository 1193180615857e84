#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/pki.h"
#include "support/http_test_server.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "updater/update_job.h"

namespace lumivex {
namespace {

namespace fs = std::filesystem;
using test::HttpReply;
using test::HttpTestServer;

class UpdateJobTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(InitHttpLibrary()); }

  UpdateJobTest() {
    options_.installerPath = (dir_ / "lumivex-setup").string();
    marker_ = dir_ / "installer-ran";
  }

  // The installer: a script that leaves its argument count in the marker file.
  std::string Installer() const { return "#!/bin/sh\necho $# > '" + marker_.string() + "'\n"; }

  HttpReply InstallerReply() const {
    HttpReply reply;
    reply.contentType = "application/octet-stream";
    reply.body = Installer();
    return reply;
  }

  UpdateResult Run(const std::string& address) {
    std::atomic<bool> cancel{false};
    return RunUpdate(address, options_, cancel, [this](int p) { percents_.push_back(p); });
  }

  // Waits for the started installer to write its marker, and reaps it.
  std::string MarkerOf(pid_t pid) {
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(test::WaitFor([&] { return fs::exists(marker_) && fs::file_size(marker_) > 0; }));
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    return test::ReadFileBytes(marker_);
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir_;
  fs::path marker_;
  UpdateJobOptions options_;
  std::vector<int> percents_;
};

TEST_F(UpdateJobTest, DefaultsFollowThePlatform) {
  TransportOptions o = UpdateTransportOptions();
  EXPECT_EQ(o.connectTimeout, std::chrono::seconds(10));
  EXPECT_EQ(o.totalTimeout.count(), 0);  // no limit on the transfer itself

  const char* saved = std::getenv("TMPDIR");
  std::string keep = saved ? saved : "";
  ::setenv("TMPDIR", "/var/tmp/me", 1);
  EXPECT_EQ(InstallerPath(), "/var/tmp/me/lumivex-setup");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(InstallerPath(), "/tmp/lumivex-setup");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(InstallerPath(), "/tmp/lumivex-setup");
  if (saved) ::setenv("TMPDIR", keep.c_str(), 1);
}

TEST_F(UpdateJobTest, DownloadedInstallerIsPutInPlaceExecutableAndRun) {
  test::WriteFileBytes(options_.installerPath, "an older installer");
  HttpTestServer server([&](const std::string&) { return InstallerReply(); });
  UpdateResult r = Run(server.Url("http", "/setup?v=2"));
  ASSERT_EQ(r.outcome, UpdateOutcome::Started) << r.error;
  EXPECT_EQ(MarkerOf(r.installerPid), "0\n");  // started without arguments
  EXPECT_EQ(server.targets(), std::vector<std::string>{"/setup?v=2"});
  EXPECT_EQ(test::ReadFileBytes(options_.installerPath), Installer());
  struct stat st{};
  ASSERT_EQ(::stat(options_.installerPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"installer-ran", "lumivex-setup"}));  // no temporary left
  ASSERT_FALSE(percents_.empty());
  EXPECT_EQ(percents_.back(), 100);
}

TEST_F(UpdateJobTest, SecureAddressIsAccepted) {
  sim::Pki pki = sim::MakePki();
  HttpTestServer server([&](const std::string&) { return InstallerReply(); }, pki.serverCertPem,
                        pki.serverKeyPem);
  options_.transport.caFile = (dir_ / "ca.pem").string();
  test::WriteFileBytes(options_.transport.caFile, pki.caCertPem);
  UpdateResult r = Run(server.Url("https", "/setup"));
  ASSERT_EQ(r.outcome, UpdateOutcome::Started) << r.error;
  EXPECT_EQ(MarkerOf(r.installerPid), "0\n");
}

TEST_F(UpdateJobTest, NoContentLengthStaysAtZeroUntilTheEnd) {
  HttpTestServer server([&](const std::string&) {
    HttpReply reply = InstallerReply();
    reply.noLength = true;
    return reply;
  });
  UpdateResult r = Run(server.Url("http", "/setup"));
  ASSERT_EQ(r.outcome, UpdateOutcome::Started) << r.error;
  EXPECT_TRUE(percents_.empty());
  EXPECT_EQ(MarkerOf(r.installerPid), "0\n");
}

TEST_F(UpdateJobTest, ErrorStatusFailsAndStartsNothing) {
  for (int status : {404, 500}) {
    SCOPED_TRACE(status);
    HttpTestServer server([&](const std::string&) {
      HttpReply reply = InstallerReply();  // a page that would run if it were started
      reply.status = status;
      return reply;
    });
    UpdateResult r = Run(server.Url("http", "/setup"));
    EXPECT_EQ(r.outcome, UpdateOutcome::DownloadFailed);
    EXPECT_EQ(r.installerPid, -1);
    EXPECT_TRUE(Entries().empty());  // no installer, no temporary file, no marker
  }
}

TEST_F(UpdateJobTest, FailedDownloadLeavesAnEarlierInstallerAlone) {
  test::WriteFileBytes(options_.installerPath, "an older installer");
  HttpTestServer server([&](const std::string&) {
    HttpReply reply = InstallerReply();
    reply.status = 404;
    return reply;
  });
  EXPECT_EQ(Run(server.Url("http", "/setup")).outcome, UpdateOutcome::DownloadFailed);
  EXPECT_EQ(test::ReadFileBytes(options_.installerPath), "an older installer");
  EXPECT_EQ(Entries(), std::vector<std::string>{"lumivex-setup"});
}

TEST_F(UpdateJobTest, SavedFileThatIsNoProgramFailsToStart) {
  HttpTestServer server([](const std::string&) { return HttpReply{200, "text/html", "<html>moved</html>"}; });
  UpdateResult r = Run(server.Url("http", "/setup"));
  EXPECT_EQ(r.outcome, UpdateOutcome::StartFailed);
  EXPECT_EQ(test::ReadFileBytes(options_.installerPath), "<html>moved</html>");
}

TEST_F(UpdateJobTest, UnwritableFolderFails) {
  options_.installerPath = (dir_ / "missing" / "lumivex-setup").string();
  HttpTestServer server([&](const std::string&) { return InstallerReply(); });
  EXPECT_EQ(Run(server.Url("http", "/setup")).outcome, UpdateOutcome::DownloadFailed);
  EXPECT_TRUE(server.targets().empty());
}

// A listener whose accept queue is full: further connects get no answer.
class SilentListener {
 public:
  SilentListener() {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 0) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) port_ = 0;
  }
  ~SilentListener() {
    ::close(filler_);
    ::close(listen_);
  }
  uint16_t port() const { return port_; }

 private:
  int listen_ = -1;
  int filler_ = -1;
  uint16_t port_ = 0;
};

TEST_F(UpdateJobTest, ServerThatDoesNotConnectInTimeFails) {
  SilentListener silent;
  ASSERT_NE(silent.port(), 0);
  options_.transport.connectTimeout = std::chrono::milliseconds(300);
  options_.transport.totalTimeout = std::chrono::seconds(20);  // only a guard should the connect succeed
  auto start = std::chrono::steady_clock::now();
  UpdateResult r = Run("http://127.0.0.1:" + std::to_string(silent.port()) + "/setup");
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.outcome, UpdateOutcome::DownloadFailed);
  EXPECT_LT(took, std::chrono::seconds(10));  // the connect limit ended it, not the guard
  EXPECT_TRUE(Entries().empty());
}

TEST_F(UpdateJobTest, CancelStopsTheDownloadAndLeavesNothingBehind) {
  test::WriteFileBytes(options_.installerPath, "an older installer");
  HttpTestServer server([&](const std::string&) {
    HttpReply reply = InstallerReply();
    reply.body = Installer() + std::string(1000 - Installer().size(), '#');
    reply.pauseAfter = 339;
    reply.pause = std::chrono::seconds(60);
    return reply;
  });
  std::atomic<int> percent{0};
  std::mutex mutex;
  std::optional<UpdateResult> finished;
  UpdateJob job(
      options_, [&](int p) { percent = p; },
      [&](const UpdateResult& r) {
        std::lock_guard lock(mutex);
        finished = r;
      });
  job.Start(server.Url("http", "/setup"));
  ASSERT_TRUE(test::WaitFor([&] { return percent == 33; }));
  EXPECT_EQ(Entries().size(), 2u);  // the earlier installer and the partial download beside it
  job.Cancel();
  ASSERT_TRUE(test::WaitFor([&] {
    std::lock_guard lock(mutex);
    return finished.has_value();
  }));
  job.Wait();
  EXPECT_EQ(finished->outcome, UpdateOutcome::Cancelled);
  EXPECT_EQ(Entries(), std::vector<std::string>{"lumivex-setup"});
  EXPECT_EQ(test::ReadFileBytes(options_.installerPath), "an older installer");
}

TEST_F(UpdateJobTest, DestroyingARunningJobCancelsIt) {
  HttpTestServer server([&](const std::string&) {
    HttpReply reply = InstallerReply();
    reply.delay = std::chrono::seconds(60);
    return reply;
  });
  {
    UpdateJob job(options_, nullptr, nullptr);
    job.Start(server.Url("http", "/setup"));
    ASSERT_TRUE(test::WaitFor([&] { return !server.targets().empty(); }));
  }
  EXPECT_TRUE(Entries().empty());
}

}  // namespace
}  // namespace lumivex
