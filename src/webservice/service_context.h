#pragma once
// What every web operation works with: the process state, the signed-in
// user's settings, where to report, and the client's key pair. One context
// lives for the whole run (tests make their own).

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/version.h"
#include "webservice/crypto.h"

namespace lumivex {

struct Global;
struct UserSettings;
class Notifier;

struct ServiceContext {
  ServiceContext(Global& global, UserSettings& userSettings, Notifier& reports, std::string folder);

  Global& g;
  UserSettings& settings;
  Notifier& notifier;
  std::string programFolder;  // holds "config/"

  // Made by the handshake once per process and kept until the end. Only the
  // handshake (on the start-up thread, before any worker) writes it.
  std::unique_ptr<ClientKeyPair> keyPair;

  // Starts the updater with the installer address; false when it cannot be
  // started. The default runs UpdaterPath() as "-u URL".
  std::function<bool(const std::string& url)> startUpdater;
  // Ends the client at once after the updater started. Default: _exit.
  std::function<void(int code)> exitProcess;
  // False in a distribution build (kSelfUpdate): an update is announced and
  // left to the package manager; nothing is started.
  bool selfUpdate = kSelfUpdate;

  // The update check asks again while the service answers neither optional
  // nor mandatory; this bounds it.
  int updateCheckAttempts = 5;
  std::chrono::milliseconds updateCheckPause{1000};

  std::string ConfigFolder() const { return programFolder + "/config"; }
};

// lumivex-update beside the running executable, or $LUMIVEX_UPDATER.
std::string UpdaterPath();

// Starts program with args, detached; false when it cannot be started.
bool StartProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace lumivex
