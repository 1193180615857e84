#include "app/device_access.h"

#include "core/global.h"
#include "webservice/camera_list.h"
#include "webservice/envelope.h"

namespace lumivex {

bool IsAdministrator(const CameraInfo& info) { return info.init == 1; }

WatchAccess WatchAccessOf(const CameraInfo& info) {
  if (info.lock == 1 && !IsAdministrator(info)) return WatchAccess::kLockedByAdministrator;
  if (!info.online()) return WatchAccess::kOffline;
  return info.lock == 1 ? WatchAccess::kNeedsPattern : WatchAccess::kOpen;
}

bool PatternUnlocks(const Global& g, const CameraInfo& info, std::string_view pattern) {
  return TokenOf(g.m_AppSecret.str(), pattern) == info.lockPsd.str();
}

bool MayOpenAlarm(const CameraInfo& info) { return info.showAlarm == 1 && info.online(); }

}  // namespace lumivex
