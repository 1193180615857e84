#pragma once
// The six operations that change one device of the account. Each is the
// body of a worker thread; it reports in message boxes titled "提示" and
// changes the device's entry only on success.

#include <string>

namespace lumivex {

struct ServiceContext;
class CameraList;

// "setAlarm.do": "开启成功"/"关闭成功", or "开启失败"/"关闭失败".
int SetAlarm(ServiceContext& ctx, CameraList& list, int index, bool on);
// "setAlarmTime.do": hours 0 to 23; "设置成功", "设备离线" or "设置失败".
int SetAlarmTime(ServiceContext& ctx, CameraList& list, int index, int startHour, int endHour);
// "setLed.do" and "setVoice.do" request the opposite of the current state.
int SetLed(ServiceContext& ctx, CameraList& list, int index);
int SetVoice(ServiceContext& ctx, CameraList& list, int index);
// "devName.do": newName already checked (at most 30 UTF-16 units).
int RenameDevice(ServiceContext& ctx, CameraList& list, int index, const std::string& newName);
// "deleteDev.do": on success the device's Camera entry leaves the user's
// configuration file; the caller removes the tree row and stops live view.
int RemoveDevice(ServiceContext& ctx, CameraList& list, int index);

}  // namespace lumivex
