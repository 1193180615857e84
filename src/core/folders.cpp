#include "core/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace lumivex {
namespace {

// Another thread or program may create the same level at the same moment.
bool CreateLevel(const std::string& level) {
  if (IsFolder(level)) return true;
  if (mkdir(level.c_str(), 0755) == 0) return true;
  return errno == EEXIST && IsFolder(level);
}

}  // namespace

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool CreateFolderLevels(const std::string& folder) {
  if (folder.empty()) return false;
  // Each '/' ends a level; the root itself is never created.
  for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    if (folder[slash - 1] == '/') continue;  // "//" adds no level
    if (!CreateLevel(folder.substr(0, slash))) return false;
  }
  return folder.back() == '/' || CreateLevel(folder);
}

bool PrepareFolderToOpen(const std::string& text) {
  if (text.empty()) return false;
  if (IsFolder(text)) return true;
  std::size_t last = text.rfind('/');
  if (last != std::string::npos && last > 0 && !CreateFolderLevels(text.substr(0, last + 1))) return false;
  return IsFolder(text);
}

bool MakeWritableFolder(const std::string& folder) {
  if (folder.empty() || folder.front() != '/' || !CreateFolderLevels(folder)) return false;
  std::string probe = folder + (folder.back() == '/' ? "" : "/") + ".lumivex-probe-XXXXXX";
  int fd = mkstemp(probe.data());
  if (fd < 0) return false;
  close(fd);
  unlink(probe.c_str());
  return true;
}

}  // namespace lumivex
