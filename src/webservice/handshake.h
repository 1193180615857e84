#pragma once
// "security.do": the key exchange that every later request needs, and the
// service's means to force an update.

#include <string>

namespace lumivex {

struct ServiceContext;

inline constexpr char kForcedUpdateMessage[] = "检测到系统有重要更新，请下载更新！";
// The same in a build without the self-updater.
inline constexpr char kForcedPackageUpdateMessage[] = "检测到系统有重要更新，请通过系统的软件包管理器更新！";

// 1 on success, 0 on failure. On "UPATE" (any letter case) it tells the user,
// starts the updater with UserSettings.updateUrl and ends the process with
// exit code 0 through ctx.exitProcess; it returns 0 only when the updater
// cannot be started. A failed transfer puts its cause, when libcurl gives
// one, into *cause. Runs on the start-up thread before any worker exists.
int SecurityHandshake(ServiceContext& ctx, std::string* cause = nullptr);

}  // namespace lumivex
