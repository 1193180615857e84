#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace lumivex::test {
namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& extraEnv, int& outFd, int& errFd) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> env;
  // An extra entry replaces the variable of the same name.
  auto named = [](const char* entry, const std::string& extra) {
    const std::size_t eq = extra.find('=');
    return eq != std::string::npos && std::strncmp(entry, extra.c_str(), eq + 1) == 0;
  };
  for (char** e = environ; *e; ++e) {
    bool replaced = false;
    for (const std::string& extra : extraEnv) replaced = replaced || named(*e, extra);
    if (!replaced) env.push_back(*e);
  }
  for (const std::string& e : extraEnv) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(out[0]);
    ::close(err[0]);
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
  }
  outFd = out[0];
  errFd = err[0];
  return pid;
}

// Reads what is there from the readable descriptors within a step of ms.
bool Pump(int outFd, int errFd, std::string& out, std::string& err, int ms) {
  pollfd p[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  int n = ::poll(p, 2, ms);
  if (n <= 0) return n == 0;
  bool open = false;
  char buf[4096];
  for (int i = 0; i < 2; ++i) {
    if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP))) {
      open |= p[i].fd >= 0;
      continue;
    }
    ssize_t got = ::read(p[i].fd, buf, sizeof buf);
    if (got > 0) (i == 0 ? out : err).append(buf, static_cast<std::size_t>(got));
    open |= got > 0;
  }
  return open;
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= dirs.size();) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds bound, const std::vector<std::string>& extraEnv) {
  ProcessResult result;
  int outFd = -1, errFd = -1;
  pid_t pid = Spawn(program, args, extraEnv, outFd, errFd);
  auto deadline = Clock::now() + bound;
  int status = 0;
  bool ended = false;
  while (Clock::now() < deadline) {
    if (Pump(outFd, errFd, result.out, result.err, 50)) continue;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;
      break;
    }
    ::usleep(5000);  // output closed, the program is finishing
  }
  if (!ended) {
    ::kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  } else {
    result.exitCode = ExitCodeOf(status);
    Pump(outFd, errFd, result.out, result.err, 0);
  }
  ::close(outFd);
  ::close(errFd);
  return result;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  pid_ = Spawn(program, args, {}, outFd_, errFd_);
}

ChildProcess::~ChildProcess() { Stop(); }

void ChildProcess::Drain(int fd, std::string& into) {
  char buf[4096];
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    ssize_t got = ::read(fd, buf, sizeof buf);
    if (got <= 0) return;
    into.append(buf, static_cast<std::size_t>(got));
  }
}

const std::string& ChildProcess::ReadErrors() {
  if (errFd_ >= 0) Drain(errFd_, err_);
  return err_;
}

std::string ChildProcess::WaitForLine(const std::string& prefix, std::chrono::milliseconds bound) {
  auto deadline = Clock::now() + bound;
  while (true) {
    std::size_t eol;
    while ((eol = outBuffer_.find('\n')) != std::string::npos) {
      std::string line = outBuffer_.substr(0, eol);
      outBuffer_.erase(0, eol + 1);
      if (line.rfind(prefix, 0) == 0) return line;
    }
    if (Clock::now() >= deadline || pid_ < 0) return {};
    if (!Pump(outFd_, errFd_, outBuffer_, err_, 50) && waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return {};
    }
  }
}

int ChildProcess::Stop(std::chrono::milliseconds bound) {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    auto deadline = Clock::now() + bound;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
      Drain(outFd_, outBuffer_);
      Drain(errFd_, err_);
      ::usleep(10000);
    }
    if (done == 0) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    } else {
      exitCode_ = ExitCodeOf(status);
    }
    pid_ = -1;
  }
  if (outFd_ >= 0) {
    Drain(errFd_, err_);
    ::close(outFd_);
    ::close(errFd_);
    outFd_ = errFd_ = -1;
  }
  return exitCode_;
}

}  // namespace lumivex::test
