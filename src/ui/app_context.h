#pragma once
// What the windows of the desktop program share for the whole run. One
// AppContext is made by main after the QApplication and outlives every window.
//
// Threads:
// - global and settings follow the phases of core/global.h: the start-up
//   (GUI) thread writes them until the sign-in window opens; during sign-in
//   only the login worker writes them; once the sign-in window has closed
//   (and its worker has been joined) the main window and its workers read
//   them, and write only the fields their Parts give them.
// - wall is the GUI thread's (LoadUserSettings before the main window opens,
//   the wall while it runs, SaveWindowState after it has closed).
// - cameras has its own lock (webservice/camera_list.h): any thread.
// - notifier may be called from any thread; it carries every call onto the
//   GUI thread.
// - instanceLock and instanceServer belong to the GUI thread.
// - jobs runs the dialogs' web operations; it is the last member, so its
//   threads are joined before anything they use goes.

#include <string>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/program_folder.h"
#include "core/single_instance.h"
#include "ui/background_jobs.h"
#include "ui/qt_notifier.h"
#include "ui/single_instance_server.h"
#include "webservice/camera_list.h"
#include "webservice/service_context.h"

namespace lumivex {

struct AppContext {
  explicit AppContext(const ProgramLayout& layout);
  // The portable layout of folder (the tests' own program folders).
  explicit AppContext(const std::string& folder);
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  const ProgramLayout layout;
  const std::string programFolder;  // holds config/ and lumivex.ini
  std::string resFolder;  // the pictures (a test may point it at the build's)

  // In the order the process-wide objects are made.
  UserSettings settings;
  Global global;
  WallLayout wall;

  QtNotifier notifier;
  ServiceContext service;
  CameraList cameras;

  SingleInstanceLock instanceLock;
  // Windows connect to raiseRequested to come forward when a second
  // instance is started in the same program folder.
  SingleInstanceServer instanceServer;

  // A picture of res/ by its file name (ui/geometry/pictures.h).
  std::string ResPath(const std::string& name) const;

  ui::BackgroundJobs jobs;
};

// Runs the main window until it has closed.
void RunMainWindow(AppContext& app);

}  // namespace lumivex
