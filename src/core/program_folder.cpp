#include "core/program_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/xdg.h"

namespace lumivex {
namespace {

constexpr char kSystemIni[] = "/etc/lumivex/lumivex.ini";
constexpr char kInstalledPictures[] = "/../share/lumivex/res";

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

bool IsInstallPrefix(const std::string& executableFolder) {
  return std::filesystem::path(executableFolder).filename() == "bin" &&
         IsDirectory(executableFolder + kInstalledPictures);
}

// access() also answers for a read-only file system.
bool TakesFiles(const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; }

std::string PictureFolder(const std::string& programFolder, const std::string& executableFolder) {
  for (const std::string& candidate :
       {programFolder + "/res", executableFolder + "/res",
        std::filesystem::path(executableFolder + kInstalledPictures).lexically_normal().string()})
    if (IsDirectory(candidate)) return candidate;
  return executableFolder + "/res";
}

bool MakeFolderTakingFiles(const std::string& folder, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = folder + ": " + ec.message();
    return false;
  }
  if (!TakesFiles(folder)) {
    error = folder + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

std::string ExecutablePath() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? "" : exe.string();
}

std::string ExecutableFolder() {
  const std::string exe = ExecutablePath();
  std::error_code ec;
  if (exe.empty()) return std::filesystem::current_path(ec).string();
  return std::filesystem::path(exe).parent_path().string();
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

ProgramLayout LayoutFor(std::string_view homeOption, const std::string& executableFolder) {
  ProgramLayout layout;
  const char* env = std::getenv("LUMIVEX_HOME");
  const bool named = !homeOption.empty() || (env && *env);
  const std::string config = XdgConfigHome();
  if (!named && !config.empty() && (IsInstallPrefix(executableFolder) || !TakesFiles(executableFolder))) {
    layout.kind = LayoutKind::kInstalled;
    layout.programFolder = config + "/lumivex";
    const std::string state = XdgStateHome();
    layout.logFolder = (state.empty() ? config : state) + "/lumivex";
    const std::string runtime = XdgRuntimeDir();
    layout.lockFile = (runtime.empty() ? layout.programFolder : runtime) + "/lumivex.lock";
    layout.systemIni = kSystemIni;
  } else {
    layout.programFolder = named ? ResolveProgramFolder(homeOption) : executableFolder;
    layout.logFolder = layout.programFolder + "/log";
    layout.lockFile = layout.programFolder + "/lumivex.lock";
  }
  layout.resFolder = PictureFolder(layout.programFolder, executableFolder);
  return layout;
}

ProgramLayout ResolveLayout(std::string_view homeOption) { return LayoutFor(homeOption, ExecutableFolder()); }

std::string LogFileOf(const ProgramLayout& layout, const char* program) {
  return layout.logFolder + "/" + program + ".log";
}

LogOptions LogOptionsOf(const ProgramLayout& layout, const char* program, bool verbose) {
  LogOptions options;
  options.program = program;
  options.verbose = verbose;
  options.file = LogFileOf(layout, program);
  return options;
}

bool PrepareLayout(const ProgramLayout& layout, std::string& error) {
  return MakeFolderTakingFiles(layout.programFolder + "/config", error) &&
         MakeFolderTakingFiles(layout.logFolder, error);
}

std::string InFolder(const std::string& folder, const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  return (std::filesystem::path(folder) / path).lexically_normal().string();
}

}  // namespace lumivex
