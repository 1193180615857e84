#include "sim/control_check.h"

#include <algorithm>
#include <vector>

namespace lumivex::sim {
namespace {

constexpr int64_t kMaxControlNumber = 2147483647;  // the client's counter is 32 bits

struct Command {
  const char* cmd;
  std::vector<std::string> members;  // besides type, cmd and umac
};

std::vector<std::string> Members(const Json::Value& m, std::string& notString) {
  std::vector<std::string> names = m.getMemberNames();
  for (const std::string& name : names)
    if (!m[name].isString() && notString.empty()) notString = name;
  return names;
}

// Exactly type, cmd, umac and extra, in any order.
std::string CheckMembers(const std::vector<std::string>& names, const std::string& cmd,
                         const std::vector<std::string>& extra) {
  std::vector<std::string> wanted = {"cmd", "type", "umac"};
  wanted.insert(wanted.end(), extra.begin(), extra.end());
  for (const std::string& name : names)
    if (std::find(wanted.begin(), wanted.end(), name) == wanted.end())
      return "unexpected member \"" + name + "\" in \"" + cmd + "\"";
  for (const std::string& name : wanted)
    if (std::find(names.begin(), names.end(), name) == names.end()) return "\"" + cmd + "\" without \"" + name + "\"";
  return {};
}

bool IsDecimal(const std::string& text) {
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string CheckStartup(const Json::Value& m) {
  std::string notString;
  std::vector<std::string> names = Members(m, notString);
  if (!notString.empty()) return "\"" + notString + "\" is not a JSON string";
  if (names != std::vector<std::string>{"type"} || m["type"].asString() != "startup")
    return "a message other than {\"type\":\"startup\"} before startup";
  return {};
}

ControlCheck ControlCheck::Playback(std::string umac, int gapSeconds) {
  ControlCheck check(std::move(umac), false);
  check.playbackGap_ = gapSeconds;
  return check;
}

std::string ControlCheck::Check(const Json::Value& m) {
  std::string notString;
  std::vector<std::string> names = Members(m, notString);
  if (!notString.empty()) return "\"" + notString + "\" is not a JSON string";
  if (m["type"].asString() != "control") return "\"type\" is not \"control\"";
  if (playbackGap_ >= 0) return CheckPlayback(names, m);
  const std::string cmd = m["cmd"].asString();
  const bool keepAlive = cmd == "running" || cmd == "pause";
  const bool turn = cmd == "turnLeft" || cmd == "turnRight" || cmd == "turnUp" || cmd == "turnDown";
  std::vector<std::string> extra;
  if (keepAlive && !udt_) extra = {"control_number"};
  else if (cmd == "resetBitRate") extra = {"bitRate"};
  else if (!keepAlive && !turn && cmd != "close") return "unknown \"cmd\" \"" + cmd + "\"";
  if (std::string why = CheckMembers(names, cmd, extra); !why.empty()) return why;
  if (m["umac"].asString() != umac_) return "\"umac\" is \"" + m["umac"].asString() + "\", the session's is " + umac_;
  if (cmd == "resetBitRate") {
    const std::string rate = m["bitRate"].asString();
    if (rate != "88000" && rate != "480000" && rate != "1200000")
      return "\"bitRate\" \"" + rate + "\" (expected 88000, 480000 or 1200000)";
  }
  if (keepAlive && !udt_) return CheckControlNumber(m["control_number"].asString());
  return {};
}

// The keep-alive carries no control number in playback, over TCP too.
std::string ControlCheck::CheckPlayback(const std::vector<std::string>& names, const Json::Value& m) const {
  const std::string cmd = m["cmd"].asString();
  if (cmd != "running" && cmd != "jump" && cmd != "playback-play" && cmd != "playback-pause" && cmd != "close")
    return "unknown \"cmd\" \"" + cmd + "\" in playback";
  std::vector<std::string> extra;
  if (cmd == "jump") extra = {"point"};
  if (std::string why = CheckMembers(names, cmd, extra); !why.empty()) return why;
  if (m["umac"].asString() != umac_) return "\"umac\" is \"" + m["umac"].asString() + "\", the session's is " + umac_;
  if (cmd != "jump") return {};
  const std::string point = m["point"].asString();
  if (!IsDecimal(point)) return "\"point\" \"" + point + "\" is not decimal text";
  if (std::stoll(point) > playbackGap_)
    return "\"point\" " + point + " is beyond the recording's " + std::to_string(playbackGap_) + " s";
  return {};
}

std::string ControlCheck::CheckControlNumber(const std::string& text) {
  if (!IsDecimal(text)) return "\"control_number\" \"" + text + "\" is not decimal text";
  const int64_t number = std::stoll(text);
  if (number > kMaxControlNumber) return "\"control_number\" " + text + " is beyond 32 bits";
  if (number <= lastNumber_)
    return "\"control_number\" " + text + " after " + std::to_string(lastNumber_) + " (it must grow)";
  lastNumber_ = number;
  return {};
}

}  // namespace lumivex::sim
