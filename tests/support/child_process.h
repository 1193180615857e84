#pragma once
// Runs another program of the project for a test: with its output captured,
// every wait bounded, and the child ended when the object goes.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace lumivex::test {

struct ProcessResult {
  int exitCode = -1;     // -1 when it did not end by itself (killed at the bound)
  std::string out, err;  // standard output and error
};

// Runs program with args (argv[0] is program), waits at most bound.
// extraEnv holds "NAME=value" entries added to the environment, each in
// place of the variable of that name.
// The program's path on PATH; empty when there is none.
std::string FindOnPath(const std::string& name);

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds bound = std::chrono::seconds(60),
                         const std::vector<std::string>& extraEnv = {});

// A long-running child whose standard output is read line by line.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of standard output that starts with prefix, within bound;
  // empty when none came (or the child ended).
  std::string WaitForLine(const std::string& prefix, std::chrono::milliseconds bound);
  // SIGTERM, then SIGKILL if it has not ended within bound; the exit code.
  int Stop(std::chrono::milliseconds bound = std::chrono::seconds(5));
  // Everything the child wrote on standard error so far (drained on Stop).
  const std::string& errors() const { return err_; }
  // The same after reading what is waiting in the pipe now.
  const std::string& ReadErrors();
  pid_t pid() const { return pid_; }

 private:
  void Drain(int fd, std::string& into);

  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1;
  std::string outBuffer_, err_;
  int exitCode_ = -1;
};

}  // namespace lumivex::test
