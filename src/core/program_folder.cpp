#include "core/program_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace lumivex {

std::string ExecutablePath() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? "" : exe.string();
}

std::string ExecutableFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec).string();
  return exe.parent_path().string();
}

std::string ResolveProgramFolder(std::string_view homeOption) {
  std::string folder(homeOption);
  if (folder.empty()) {
    const char* env = std::getenv("LUMIVEX_HOME");
    if (env && *env) folder = env;
  }
  if (folder.empty()) return ExecutableFolder();
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
  std::string result = ec ? folder : absolute.lexically_normal().string();
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

bool EnsureConfigFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(folder) / "config", ec);
  return !ec;
}

std::string InFolder(const std::string& folder, const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  return (std::filesystem::path(folder) / path).lexically_normal().string();
}

}  // namespace lumivex
