#include "ui/app_context.h"

#include <filesystem>
#include <system_error>

#include "core/program_folder.h"

namespace lumivex {
namespace {

std::string PictureFolder(const std::string& programFolder) {
  std::error_code ec;
  std::string own = programFolder + "/res";
  if (std::filesystem::is_directory(own, ec)) return own;
  return ExecutableFolder() + "/res";
}

}  // namespace

AppContext::AppContext(const std::string& folder)
    : programFolder(folder), resFolder(PictureFolder(folder)), service(global, settings, notifier, folder) {
  service.exitProcess = cameras.ExitAfterDiscovery();
}

std::string AppContext::ResPath(const std::string& name) const { return resFolder + "/" + name; }

}  // namespace lumivex
