#include "ui/app_context.h"

namespace lumivex {

AppContext::AppContext(const ProgramLayout& programLayout)
    : layout(programLayout),
      programFolder(layout.programFolder),
      resFolder(layout.resFolder),
      service(global, settings, notifier, programFolder) {
  service.exitProcess = cameras.ExitAfterDiscovery();
}

AppContext::AppContext(const std::string& folder) : AppContext(LayoutFor(folder, ExecutableFolder())) {}

std::string AppContext::ResPath(const std::string& name) const { return resFolder + "/" + name; }

}  // namespace lumivex
