// The commands of lumivexctl. Each applies the checks of the window that
// offers it in the desktop client, then calls the same operation.

#include <cstdio>
#include <map>

#include "app/device_access.h"
#include "cli/client.h"
#include "cli/json_out.h"
#include "core/deployment.h"
#include "core/net_info.h"
#include "core/text.h"
#include "core/version.h"
#include "playback/catalogue.h"
#include "webservice/account.h"
#include "webservice/device_settings.h"
#include "webservice/envelope.h"
#include "webservice/http.h"
#include "webservice/input_rules.h"
#include "webservice/sharing.h"

namespace lumivex::cli {

int Connect(Client& c, bool (*mayWatch)(Client&, const CameraInfo&));       // stream_commands.cpp
int WatchCommand(Client& c, bool (*mayWatch)(Client&, const CameraInfo&));  // watch_command.cpp
int PlaybackCommand(Client& c, bool (*mayWatch)(Client&, const CameraInfo&));  // playback_command.cpp
int SettingsCommand(Client& c);                                             // settings_command.cpp

namespace {

int ExitOf(int operationResult) { return operationResult == 1 ? kExitOk : kExitFailed; }

// The value after flag in args (from position from on); empty when absent.
std::string FlagValue(const std::vector<std::string>& args, const std::string& flag, std::size_t from) {
  for (std::size_t i = from; i + 1 < args.size(); ++i)
    if (args[i] == flag) return args[i + 1];
  return {};
}

bool HasFlag(const std::vector<std::string>& args, const std::string& flag) {
  for (const std::string& a : args)
    if (a == flag) return true;
  return false;
}

int Info(Client& c) {
  const Global& g = c.global();
  c.notifier().Print("mac: " + g.m_Mac.str());
  c.notifier().Print("ip: " + g.m_LocalIp.str());
  c.notifier().Print("mask: " + g.m_LocalMask.str());
  c.notifier().Print("service: " + OperationUrlPrefix(g, "security"));
  c.notifier().Print("older operations: " + WebPortUrlPrefix(g, "checkVersion"));
  c.notifier().Print(std::string("tls verification: ") + (g.tlsVerify ? "on" : "off") +
                     (g.caFile.empty() ? "" : ", trusting " + g.caFile));
  return g.m_LocalIp.empty() ? kExitFailed : kExitOk;
}

int Fetch(Client& c) {
  std::string body;
  FetchResult r = HttpFetch(c.args()[1], TransportOptionsOf(c.global()), body);
  if (!r.ok) {
    c.notifier().Print("failed: " + r.error);
    return kExitFailed;
  }
  c.notifier().Print("http status: " + std::to_string(r.httpStatus));
  c.notifier().Print("bytes: " + std::to_string(body.size()));
  if (HasFlag(c.args(), "--body")) c.notifier().Print(body);
  return kExitOk;
}

int Login(Client& c) {
  const Global& g = c.global();
  auto server = [](const std::string& ip, int tcp, int udp) {
    return ip + " tcp " + std::to_string(tcp) + " udp " + std::to_string(udp);
  };
  c.notifier().Print("signed in: " + c.settings().userName.str());
  c.notifier().Print("relay: " + server(g.m_TranSrvIpAddress.str(), g.m_TranSrvTCPPort, g.m_TranSrvUDPPort));
  c.notifier().Print("detection 1: " + server(g.m_NCSrv1IpAddress.str(), g.m_NCSrv1TCPPort, g.m_NCSrv1UDPPort));
  c.notifier().Print("detection 2: " + server(g.m_NCSrv2IpAddress.str(), g.m_NCSrv2TCPPort, g.m_NCSrv2UDPPort));
  c.notifier().Print("configuration: " + c.settings().configPath);
  return kExitOk;
}

int Devices(Client& c) {
  if (!c.ListDevices()) return kExitFailed;
  std::vector<CameraInfo> all = c.cameras().Snapshot();
  for (std::size_t i = 0; i < all.size(); ++i) c.notifier().Print(CameraInfoJson(static_cast<int>(i), all[i]));
  return kExitOk;
}

int ProbeLan(Client& c) {
  if (!c.ListDevices()) return kExitFailed;  // the listing merges the probe's answers
  for (const LanDevice& d : c.cameras().LanResults())
    c.notifier().Print("answer: " + d.id.str() + " " + d.ip.str() + " " + d.mac.str() + " " +
                       std::to_string(static_cast<uint16_t>(d.port)));
  for (const CameraInfo& info : c.cameras().Snapshot())
    if (info.onLan) c.notifier().Print("on the LAN: " + info.sid.str() + " " + info.lanIp.str());
  return kExitOk;
}

// The tree offers alarm settings only for online devices that have an alarm.
int Alarm(Client& c) {
  const auto& a = c.args();
  if (a[2] != "on" && a[2] != "off") return std::fprintf(stderr, "lumivexctl: alarm takes on or off\n"), kExitUsage;
  int index = c.FindDevice(a[1]);
  if (index < 0) return kExitFailed;
  CameraInfo info = *c.cameras().Get(index);
  if (!MayOpenAlarm(info))
    return std::fprintf(stderr, "lumivexctl: %s has no alarm to set while it is %s\n", a[1].c_str(),
                        info.online() ? "online" : "offline"),
           kExitFailed;
  return ExitOf(SetAlarm(c.context(), c.cameras(), index, a[2] == "on"));
}

int AlarmTime(Client& c) {
  const auto& a = c.args();
  int start = DecimalPrefix(a[2]), end = DecimalPrefix(a[3]);
  if (a[2].empty() || a[3].empty() || start < 0 || start > 23 || end < 0 || end > 23)
    return std::fprintf(stderr, "lumivexctl: hours run from 0 to 23\n"), kExitUsage;
  int index = c.FindDevice(a[1]);
  if (index < 0) return kExitFailed;
  CameraInfo info = *c.cameras().Get(index);
  if (!MayOpenAlarm(info))
    return std::fprintf(stderr, "lumivexctl: %s has no alarm to set now\n", a[1].c_str()), kExitFailed;
  if (info.alarmStatus == 0) {
    c.notifier().MessageBox(kApplicationName, "请先开启报警");
    return kExitFailed;
  }
  return ExitOf(SetAlarmTime(c.context(), c.cameras(), index, start, end));
}

int Switch(Client& c, int (*operation)(ServiceContext&, CameraList&, int)) {
  int index = c.FindDevice(c.args()[1]);
  if (index < 0) return kExitFailed;
  c.global().selectedDevice = index;
  return ExitOf(operation(c.context(), c.cameras(), index));
}

int Rename(Client& c) {
  std::string refusal = CheckDeviceName(c.args()[2]);
  if (!refusal.empty()) {
    c.notifier().MessageBox(kApplicationName, refusal);
    return kExitUsage;
  }
  int index = c.FindDevice(c.args()[1]);
  if (index < 0) return kExitFailed;
  c.global().selectedDevice = index;
  int rc = RenameDevice(c.context(), c.cameras(), index, c.args()[2]);
  if (rc == 1) c.notifier().Print("name: " + c.cameras().Get(index)->name);
  return ExitOf(rc);
}

int Remove(Client& c) {
  int index = c.FindDevice(c.args()[1]);
  if (index < 0) return kExitFailed;
  c.global().selectedDevice = index;
  int rc = RemoveDevice(c.context(), c.cameras(), index);
  if (rc == 1) c.notifier().Print("removed: " + c.args()[1]);
  return ExitOf(rc);
}

// The bound-users dialog exists only for the device's administrator.
int AdministeredDevice(Client& c) {
  int index = c.FindDevice(c.args()[1]);
  if (index >= 0 && !IsAdministrator(*c.cameras().Get(index))) {
    std::fprintf(stderr, "lumivexctl: this account does not administer %s\n", c.args()[1].c_str());
    return -1;
  }
  return index;
}

int PrintBoundUsers(Client& c, const std::string& sid) {
  std::vector<BoundUser> users;
  int rc = ListBoundUsers(c.context(), sid, users);
  for (const BoundUser& u : users) c.notifier().Print(BoundUserJson(u));
  return ExitOf(rc);
}

int BoundUsers(Client& c) {
  if (AdministeredDevice(c) < 0) return kExitFailed;
  return PrintBoundUsers(c, c.args()[1]);
}

int BindUser(Client& c) {
  std::string refusal = CheckBindUserName(c.args()[2]);
  if (!refusal.empty()) {
    c.notifier().Tip(refusal, 2000);
    return kExitUsage;
  }
  if (AdministeredDevice(c) < 0) return kExitFailed;
  if (AddBoundUser(c.context(), c.args()[1], c.args()[2]) != 1) return kExitFailed;
  return PrintBoundUsers(c, c.args()[1]);
}

// Only a row marked "-" may be unbound: never the administrator.
int UnbindUser(Client& c) {
  if (AdministeredDevice(c) < 0) return kExitFailed;
  std::vector<BoundUser> users;
  if (ListBoundUsers(c.context(), c.args()[1], users) != 1) return kExitFailed;
  bool unbindable = false;
  for (const BoundUser& u : users) unbindable |= u.uid == c.args()[2] && !u.isAdmin;
  if (!unbindable) {
    c.notifier().Tip("请选择要删除的用户", 1000);
    return kExitFailed;
  }
  if (DeleteBoundUser(c.context(), c.args()[1], c.args()[2]) != 1) return kExitFailed;
  return PrintBoundUsers(c, c.args()[1]);
}

int ChangePasswordCommand(Client& c) {
  const auto& a = c.args();
  PasswordChangeCheck check = CheckPasswordChange(a[1], a[2], a[3], c.settings().rememberedPassword.str());
  if (!check.text.empty()) {
    c.notifier().Status(check.text);
    return kExitUsage;
  }
  return ExitOf(ChangePassword(c.context(), a[2]));
}

int Feedback(Client& c) {
  std::string refusal = CheckFeedback(c.args()[1]);
  if (!refusal.empty()) {
    c.notifier().Tip(refusal, 1000);
    return kExitUsage;
  }
  return ExitOf(SendFeedback(c.context(), c.args()[1]));
}

int CheckUpdate(Client& c) {
  c.notifier().SetAnswer(HasFlag(c.args(), "--yes"));
  return RunUpdateCheck(c.context()) < 0 ? kExitFailed : kExitOk;
}

std::string Two(int n) {
  char text[12];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

// Locked devices open only to their administrator, with the unlock pattern.
bool MayWatch(Client& c, const CameraInfo& info) {
  switch (WatchAccessOf(info)) {
    case WatchAccess::kLockedByAdministrator:
      c.notifier().MessageBox(kApplicationName, kLockedByAdministrator);
      return false;
    case WatchAccess::kNeedsPattern:
      if (PatternUnlocks(c.global(), info, FlagValue(c.args(), "--pattern", 2))) return true;
      c.notifier().Tip("密码错误", 1000);
      return false;
    default:
      return true;  // an offline device is refused before
  }
}

int PlaybackList(Client& c) {
  int index = c.FindDevice(c.args()[1]);
  if (index < 0) return kExitFailed;
  CameraInfo info = *c.cameras().Get(index);
  if (!info.online()) return std::fprintf(stderr, "lumivexctl: %s is offline\n", info.sid.c_str()), kExitFailed;
  if (!MayWatch(c, info)) return kExitFailed;
  PlaybackDayList list;
  std::string message;
  if (!LoadPlaybackCatalogue(c.context(), info.sid.str(), list, message)) {
    c.notifier().MessageBox("提示", message);
    return kExitFailed;
  }
  for (const auto& y : list.years)
    for (const auto& m : y.months)
      for (const auto& d : m.days) {
        if (y.year == 0 || m.month == 0 || d.day == 0) continue;
        std::string line = std::to_string(y.year) + "-" + Two(m.month) + "-" + Two(d.day);
        for (int h = 0; h < d.hourCount && h < 24; ++h) line += " " + Two(d.hours[h]);
        c.notifier().Print(line);
      }
  return kExitOk;
}

struct CommandSpec {
  int minArgs;  // besides the command word
  int (*run)(Client&);
};

const std::map<std::string, CommandSpec>& Commands() {
  static const std::map<std::string, CommandSpec> commands = {
      {"info", {0, Info}},
      {"fetch", {1, Fetch}},
      {"login", {0, Login}},
      {"devices", {0, Devices}},
      {"probe-lan", {0, ProbeLan}},
      {"alarm", {2, Alarm}},
      {"alarm-time", {3, AlarmTime}},
      {"led", {1, [](Client& c) { return Switch(c, SetLed); }}},
      {"voice", {1, [](Client& c) { return Switch(c, SetVoice); }}},
      {"rename", {2, Rename}},
      {"remove", {1, Remove}},
      {"bound-users", {1, BoundUsers}},
      {"bind-user", {2, BindUser}},
      {"unbind-user", {2, UnbindUser}},
      {"change-password", {3, ChangePasswordCommand}},
      {"recover", {1, nullptr}},  // runs in place of the sign-in
      {"feedback", {1, Feedback}},
      {"check-update", {0, CheckUpdate}},
      {"settings", {0, SettingsCommand}},
      {"playback-list", {1, PlaybackList}},
      {"playback", {2, [](Client& c) { return PlaybackCommand(c, MayWatch); }}},
      {"connect", {1, [](Client& c) { return Connect(c, MayWatch); }}},
      {"watch", {1, [](Client& c) { return WatchCommand(c, MayWatch); }}},
  };
  return commands;
}

}  // namespace

std::string CheckArguments(const std::vector<std::string>& command) {
  if (command.empty()) return "no command given";
  auto it = Commands().find(command[0]);
  if (it == Commands().end()) return "unknown command " + command[0];
  if (static_cast<int>(command.size()) - 1 < it->second.minArgs) return command[0] + ": missing arguments";
  if (command[0] == "recover" &&
      (FlagValue(command, "--answer", 2).empty() || FlagValue(command, "--new-password", 2).empty()))
    return "recover needs --answer TEXT and --new-password P";
  return {};
}

int RunCommand(Client& client) { return Commands().at(client.args()[0]).run(client); }

// The recovery dialog's three stages, with its checks.
int RunRecover(Client& c) {
  const auto& a = c.args();
  const std::string& user = a[1];
  std::string refusal = user.empty() ? "请输入用户名" : CheckRecoveryUser(user);
  if (!refusal.empty()) {
    c.notifier().MessageBox("提示", refusal);
    return kExitUsage;
  }
  RecoveryState state;
  if (RecoverStep1(c.context(), state, user) != 1 || state.noQuestions) return kExitFailed;
  std::string wanted = FlagValue(a, "--question", 2);
  int number = state.questions.empty() ? 0 : state.questions.front().number;
  if (!wanted.empty()) {
    number = 0;
    for (const SecurityQuestion& q : state.questions)
      if (q.number == DecimalPrefix(wanted)) number = q.number;
    if (number == 0) {
      std::fprintf(stderr, "lumivexctl: question %s is not one of those offered\n", wanted.c_str());
      return kExitUsage;
    }
  }
  for (const SecurityQuestion& q : state.questions)
    if (q.number == number) c.notifier().Print("question: " + std::to_string(q.number) + " " + q.text);
  std::string answer = FlagValue(a, "--answer", 2);
  if (RecoverStep2(c.context(), state, number, answer) != 1) return kExitFailed;
  std::string password = FlagValue(a, "--new-password", 2);
  refusal = CheckRecoveryPassword(password, password);
  if (!refusal.empty()) {
    c.notifier().MessageBox("提示", refusal);
    return kExitUsage;
  }
  return ExitOf(RecoverStep3(c.context(), state, password));
}

}  // namespace lumivex::cli
