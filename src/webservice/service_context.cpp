#include "webservice/service_context.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "core/logging.h"

extern char** environ;

namespace lumivex {

ServiceContext::ServiceContext(Global& global, UserSettings& userSettings, Notifier& reports,
                               std::string folder)
    : g(global), settings(userSettings), notifier(reports), programFolder(std::move(folder)) {
  startUpdater = [](const std::string& url) { return StartProgram(UpdaterPath(), {"-u", url}); };
  exitProcess = [](int code) { _exit(code); };
}

std::string UpdaterPath() {
  if (const char* path = std::getenv("LUMIVEX_UPDATER"); path && *path) return path;
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "lumivex-update";
  std::string folder(exe, static_cast<std::size_t>(n));
  folder.erase(folder.rfind('/') + 1);
  return folder + "lumivex-update";
}

bool StartProgram(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // Its own session, so that the updater outlives the client's terminal.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // no inherited handles
#endif
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    LogLine("cannot start " + program);
    return false;
  }
  // Reaped in the background so that no zombie stays if the client lives on.
  try {
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  } catch (const std::system_error&) {
    LogLine("no thread to wait for " + program + "; it stays a zombie until the client ends");
  }
  return true;
}

}  // namespace lumivex
