#include "core/xdg.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "core/folders.h"

namespace lumivex {
namespace {

std::string PasswordDatabaseHome() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !found->pw_dir)
    return "";
  return found->pw_dir;
}

}  // namespace

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  std::string folder = home && *home ? home : PasswordDatabaseHome();
  if (folder.empty() || folder.front() != '/') return "";
  return WithoutTrailingSlash(folder);
}

namespace {

// The rules ignore a relative value.
std::string BaseFolder(const char* variable, const char* underHome) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return WithoutTrailingSlash(value);
  std::string home = HomeFolder();
  return home.empty() ? "" : home + underHome;
}

}  // namespace

std::string XdgConfigHome() { return BaseFolder("XDG_CONFIG_HOME", "/.config"); }

std::string XdgStateHome() { return BaseFolder("XDG_STATE_HOME", "/.local/state"); }

std::string XdgRuntimeDir() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || runtime[0] != '/' || !IsFolder(runtime)) return "";
  return WithoutTrailingSlash(runtime);
}

}  // namespace lumivex
