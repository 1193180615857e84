#include "core/startup.h"

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/net_info.h"
#include "core/text.h"
#include "core/version.h"
#include "webservice/http.h"

namespace lumivex {
namespace {

template <typename F, typename... Args>
void RunIfSet(const F& step, Args&&... args) {
  if (step) step(std::forward<Args>(args)...);
}

}  // namespace

StartupSteps DefaultPlatformSteps(const std::string& lockFile, SingleInstanceLock& lock) {
  StartupSteps steps;
  steps.acquireInstance = [lockFile, &lock] { return lock.Acquire(lockFile); };
  steps.releaseInstance = [&lock] { lock.Release(); };
  steps.getLocalNetInfo = [](Global& g) { return GetLocalNetInfo(g); };
  steps.initLibraries = InitHttpLibrary;
  steps.cleanupLibraries = CleanupHttpLibrary;
  return steps;
}

StartupResult RunStartup(Global& g, UserSettings& settings, const StartupSteps& steps) {
  auto tell = [&](const std::string& text) { RunIfSet(steps.messageBox, kPromptTitle, text); };
  auto endWithoutLock = [&](StartupResult r) {
    RunIfSet(steps.releaseInstance);
    return r;
  };

  SingleInstanceLock::State lock =
      steps.acquireInstance ? steps.acquireInstance() : SingleInstanceLock::State::kError;
  if (lock == SingleInstanceLock::State::kHeldByOther) {
    RunIfSet(steps.raiseFirstInstance);
    return StartupResult::kSecondInstance;
  }
  if (lock != SingleInstanceLock::State::kAcquired) return StartupResult::kNoInstanceLock;

  if (!steps.getLocalNetInfo || !steps.getLocalNetInfo(g)) {
    LogLine("GetLocalNetInfo failed");
    tell(kNoNetworkMessage);
    return endWithoutLock(StartupResult::kNoNetwork);
  }
  if (!steps.initLibraries || !steps.initLibraries()) return endWithoutLock(StartupResult::kLibraryFailed);

  settings.productMajor = kProductMajor;
  settings.productMinor = kProductMinor;
  RunIfSet(steps.startLanDiscovery);

  std::string cause;
  if (!steps.securityHandshake || !steps.securityHandshake(cause)) {
    tell(WithCause(kRequestFailedMessage, cause));
    RunIfSet(steps.cleanupLibraries);
    return endWithoutLock(StartupResult::kHandshakeFailed);
  }

  RunIfSet(steps.runSignIn);
  if (g.m_LoggedIn == 0) {
    RunIfSet(steps.cleanupLibraries);
    return endWithoutLock(StartupResult::kNotSignedIn);
  }

  settings.umac = settings.userName.str() + "," + g.m_Mac.str();
  if (steps.loadUserSettings && !steps.loadUserSettings(settings))
    LogLine("LoadUserSettings failed: the preferences keep their initial values");

  RunIfSet(steps.runMainWindow);
  RunIfSet(steps.saveWindowState);
  RunIfSet(steps.cleanupLibraries);
  return endWithoutLock(StartupResult::kFinished);
}

}  // namespace lumivex
