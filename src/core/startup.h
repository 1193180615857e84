#pragma once
// The client's start-up sequence, with each platform step injected so that
// the desktop program, the command-line driver and the tests each wire their
// own. The order of the steps and the messages are fixed here.

#include <functional>
#include <string>

#include "core/single_instance.h"

namespace lumivex {

struct Global;
struct UserSettings;

inline constexpr char kPromptTitle[] = "提示";
inline constexpr char kNoNetworkMessage[] = "获取网络信息失败，请检查网络和防火墙设置";
inline constexpr char kRequestFailedMessage[] = "请求失败，请稍后重试";

// A step left empty is skipped when it only does something (raise, discovery,
// main window, save, clean-up); one whose result matters fails like that step
// failing, so a half-wired program never claims to have started.
struct StartupSteps {
  std::function<SingleInstanceLock::State()> acquireInstance;
  std::function<void()> raiseFirstInstance;  // the second instance asks the first to show itself
  std::function<bool(Global&)> getLocalNetInfo;
  std::function<bool()> initLibraries;
  std::function<void()> startLanDiscovery;  // its result is not waited for
  std::function<bool(std::string& cause)> securityHandshake;  // cause: why a transfer failed, if known
  std::function<void()> runSignIn;  // the sign-in window; m_LoggedIn tells the outcome
  std::function<bool(UserSettings&)> loadUserSettings;
  std::function<void()> runMainWindow;  // returns when the main window has closed
  std::function<void()> saveWindowState;
  std::function<void()> cleanupLibraries;
  std::function<void()> releaseInstance;
  std::function<void(const std::string& title, const std::string& text)> messageBox;
};

enum class StartupResult {
  kSecondInstance,  // another client runs here; it was asked to come forward
  kNoInstanceLock,  // the lock could not be taken at all
  kNoNetwork,
  kLibraryFailed,
  kHandshakeFailed,
  kNotSignedIn,
  kFinished,  // the main window ran and closed; shut-down is done
};

// The default steps that need no window: flock on lockFile, getifaddrs, libcurl.
StartupSteps DefaultPlatformSteps(const std::string& lockFile, SingleInstanceLock& lock);

StartupResult RunStartup(Global& g, UserSettings& settings, const StartupSteps& steps);

}  // namespace lumivex
