#include "webservice/device_settings.h"

#include <optional>

#include "config/user_config.h"
#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/notifier.h"
#include "core/text.h"
#include "webservice/camera_list.h"
#include "webservice/envelope.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr char kTitle[] = "提示";
constexpr std::size_t kSettingReplyBytes = 262144;
constexpr std::size_t kRemoveReplyBytes = 65536;
constexpr long kMaxNameUnits = 259;

int Tell(ServiceContext& ctx, const std::string& text, int result) {
  ctx.notifier.MessageBox(kTitle, text);
  return result;
}

std::optional<CameraInfo> Device(const CameraList& list, int index, const char* operation) {
  std::optional<CameraInfo> info = list.Get(index);
  if (!info) LogLine(std::string(operation) + ".do: no device at index " + DecimalText(index));
  return info;
}

// uid, sid, MAC and token: the head of every field string here.
FieldString DeviceFields(const ServiceContext& ctx, const CameraInfo& info) {
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("sid", info.sid.str())
      .Add("mac", ctx.g.m_Mac.str())
      .Add("token", ctx.g.m_Token.str());
  return fields;
}

// The uid-MAC form of "umac".
std::string UidMac(const ServiceContext& ctx) {
  return ctx.settings.userName.str() + "," + ctx.g.m_Mac.str();
}

ServiceReply Send(ServiceContext& ctx, const char* operation, const FieldString& fields,
                  std::size_t replyBytes = kSettingReplyBytes) {
  return SendRequest(ctx, EnvelopeRequest(ctx, operation, fields, replyBytes));
}

struct SwitchTexts {
  const char* operation;
  const char* offDone;
  const char* onDone;
  const char* offFailed;
  const char* onFailed;
  bool toldOnWrapFailure;
};

// LED and voice prompts: ask for the opposite of the current state; a
// value other than 0 or 1 counts as off, so "on" is asked for.
int Toggle(ServiceContext& ctx, CameraList& list, int index, int32_t CameraInfo::*field,
           const SwitchTexts& texts) {
  std::optional<CameraInfo> info = Device(list, index, texts.operation);
  if (!info) return 0;
  bool wasOn = (*info).*field == 1;
  FieldString fields = DeviceFields(ctx, *info);
  fields.Add("umac", UidMac(ctx)).Add("status", wasOn ? "off" : "on");
  ServiceReply reply = Send(ctx, texts.operation, fields);
  if (reply.result == ServiceReply::Result::kWrapFailed && !texts.toldOnWrapFailure) return 0;
  if (!reply.StatusIs("OK")) return Tell(ctx, wasOn ? texts.offFailed : texts.onFailed, 0);
  list.Modify(index, [&](CameraInfo& entry) { entry.*field = wasOn ? 0 : 1; });
  ctx.notifier.Repaint();
  return Tell(ctx, wasOn ? texts.offDone : texts.onDone, 1);
}

bool RemoveFromConfig(const std::string& path, const std::string& sid) {
  return EditUserConfig(path, [&](MarkupDocument& doc) {
    if (!IntoConfigElement(doc, "config4", "CameraList")) return false;
    bool removed = false;
    while (doc.FindChild("Camera")) {
      if (!doc.IntoChild()) break;
      if (doc.GetAttrib("Id") == sid) {
        doc.RemoveElem();  // the search goes on after it
        removed = true;
      } else {
        doc.OutOfElem();
      }
    }
    return removed;
  });
}

}  // namespace

int SetAlarm(ServiceContext& ctx, CameraList& list, int index, bool on) {
  std::optional<CameraInfo> info = Device(list, index, "setAlarm");
  if (!info) return 0;
  FieldString fields = DeviceFields(ctx, *info);
  fields.Add("status", on ? "on" : "off").Add("umac", ctx.g.m_Mac.str());
  ServiceReply reply = Send(ctx, "setAlarm", fields);
  if (!reply.StatusIs("OK")) return Tell(ctx, on ? "开启失败" : "关闭失败", 0);
  list.Modify(index, [on](CameraInfo& entry) { entry.alarmStatus = on ? 1 : 0; });
  ctx.notifier.Repaint();
  return Tell(ctx, on ? "开启成功" : "关闭成功", 1);
}

int SetAlarmTime(ServiceContext& ctx, CameraList& list, int index, int startHour, int endHour) {
  std::optional<CameraInfo> info = Device(list, index, "setAlarmTime");
  if (!info) return 0;
  if (startHour < 0 || startHour > 23 || endHour < 0 || endHour > 23) {
    LogLine("setAlarmTime.do: hours must lie in 0 to 23");
    return Tell(ctx, "设置失败", 0);
  }
  FieldString fields = DeviceFields(ctx, *info);
  fields.Add("umac", UidMac(ctx))
      .Add("start", DecimalText(startHour))
      .Add("end", DecimalText(endHour));
  ServiceReply reply = Send(ctx, "setAlarmTime", fields);
  if (reply.result == ServiceReply::Result::kWrapFailed) return 0;
  if (reply.StatusIs("OFFLINE")) return Tell(ctx, "设备离线", 0);
  if (!reply.StatusIs("OK")) return Tell(ctx, "设置失败", 0);
  list.Modify(index, [&](CameraInfo& entry) {
    entry.alarmStatus = 1;
    entry.alarmStartTime = startHour;
    entry.alarmEndTime = endHour;
  });
  ctx.notifier.Repaint();
  return Tell(ctx, "设置成功", 1);
}

int SetLed(ServiceContext& ctx, CameraList& list, int index) {
  static const SwitchTexts kLed{"setLed",       "关闭LED成功", "开启LED成功",
                                "关闭LED失败", "开启LED失败", true};
  return Toggle(ctx, list, index, &CameraInfo::ledStatus, kLed);
}

int SetVoice(ServiceContext& ctx, CameraList& list, int index) {
  static const SwitchTexts kVoice{"setVoice",         "关闭语音播报成功", "开启语音播报成功",
                                  "关闭语音播报失败", "开启语音播报失败", false};
  return Toggle(ctx, list, index, &CameraInfo::soundLeadStatus, kVoice);
}

int RenameDevice(ServiceContext& ctx, CameraList& list, int index, const std::string& newName) {
  std::optional<CameraInfo> info = Device(list, index, "devName");
  if (!info) return 0;
  std::string encoded;
  if (!PercentEncode(newName, encoded, 260)) {
    LogLine("devName.do: the name is not UTF-8 of at most 260 bytes");
    return 0;
  }
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("sid", info->sid.str())
      .Add("name", encoded)
      .Add("mac", ctx.g.m_Mac.str())
      .Add("token", ctx.g.m_Token.str());
  ServiceReply reply = Send(ctx, "devName", fields);
  if (reply.result == ServiceReply::Result::kWrapFailed) return 0;
  if (reply.StatusIs("NODEV")) return Tell(ctx, "该设备不存在", 0);
  if (!reply.StatusIs("OK")) return Tell(ctx, "修改设备名称失败，请重试", 0);
  std::string name = CutUtf16(newName, kMaxNameUnits);
  list.Rename(index, name);
  ctx.notifier.Repaint();
  return 1;
}

int RemoveDevice(ServiceContext& ctx, CameraList& list, int index) {
  std::optional<CameraInfo> info = Device(list, index, "deleteDev");
  if (!info) return 0;
  FieldString fields = DeviceFields(ctx, *info);
  fields.Add("psd", ctx.g.m_Password.str());
  ServiceReply reply = Send(ctx, "deleteDev", fields, kRemoveReplyBytes);
  if (reply.result == ServiceReply::Result::kWrapFailed) return 0;
  if (reply.StatusIs("ERRORPSD")) return Tell(ctx, "登陆密码错误，删除设备失败，请稍后重试", 0);
  if (reply.StatusIs("NODEV")) return Tell(ctx, "设备不存在，删除设备失败，请稍后重试", 0);
  if (!reply.StatusIs("OK")) return Tell(ctx, "删除设备失败，请稍后重试", 0);
  if (!RemoveFromConfig(ctx.settings.configPath, info->sid.str()))
    LogLine("deleteDev.do: no Camera " + info->sid.str() + " removed from the config file");
  ctx.notifier.Repaint();
  return 1;
}

}  // namespace lumivex
