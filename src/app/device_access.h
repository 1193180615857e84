#pragma once
// Who may open which device operation: the rules the device tree and
// lumivexctl both apply, written once.

#include <string_view>

namespace lumivex {

struct CameraInfo;
struct Global;

inline constexpr char kLockedByAdministrator[] = "此摄像头被管理员锁定，需要管理员解锁才能继续观看！";

// The account administers the device ("init" 1): it alone may share it,
// and it may open the device when it is locked.
bool IsAdministrator(const CameraInfo& info);

enum class WatchAccess {
  kLockedByAdministrator,  // locked, and this account is not its administrator
  kOffline,
  kNeedsPattern,           // locked: the unlock pattern opens it
  kOpen,
};

// Live view and playback, in the tree's order of checks.
WatchAccess WatchAccessOf(const CameraInfo& info);

// The unlock pattern ("1" to "9" in the order pressed) opens the device:
// its digest is the device's lockPsd.
bool PatternUnlocks(const Global& g, const CameraInfo& info, std::string_view pattern);

// The alarm dialog is offered for online devices that have an alarm.
bool MayOpenAlarm(const CameraInfo& info);

}  // namespace lumivex
