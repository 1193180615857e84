#pragma once
// The scenario: the accounts, cameras and fault knobs the stand-in cloud
// plays. Read once from a JSON file; the service then keeps its own copy and
// changes it as requests arrive (passwords, settings, bindings).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/camera_config.h"

namespace lumivex::sim {

// A status answered instead of the operation's own outcome. times < 0: every
// request; otherwise the next `times` requests, then the override is spent.
struct StatusOverride {
  std::string status;
  int times = -1;
};
using StatusOverrides = std::map<std::string, StatusOverride>;  // by operation name

// Transport-level faults of one operation ("login", "devList", ..., "img").
struct Fault {
  bool http404 = false;       // an HTML 404 page instead of the answer
  bool gzip = false;          // body sent with Content-Encoding: gzip
  bool gzipBomb = false;      // instead of the body, a gzip stream expanding to 1 GiB
  int delayMs = 0;            // wait before answering
  std::string status;         // non-empty: answer this status (after decoding)
  int times = -1;             // how many requests the fault applies to; < 0: all
};

struct Question {
  int number = 0;
  std::string answer;  // UTF-8, compared exactly
};

struct Account {
  std::string user;
  std::string passwordMd5;            // 32 lowercase hex digits
  std::vector<Question> questions;
  std::vector<std::string> devices;   // sids in listing order; a sid may repeat
  StatusOverrides statuses;
};

// The serverBean of "current.do": status and the endpoint members present.
struct ConnectionAnswer {
  std::optional<int> status;                  // default: 2 online, 1 offline
  std::map<std::string, std::string> members;  // sent as JSON strings
};

struct LanAnswer {
  std::string id;       // defaults to the sid; may differ in letter case
  std::string ip;       // dotted IPv4 text
  std::string mac;      // 12 hex characters
  uint16_t value = 0;   // bytes 50-51, written high byte first
  int repeat = 1;       // datagrams sent per probe
};

struct Device {
  std::string sid;
  std::string name;
  int showAlarm = 1;
  int alarmStatus = 0;
  int alarmStartTime = 0;
  int alarmEndTime = 0;
  int ledStatus = 1;
  int soundLeadStatus = 1;
  int lock = 0;
  std::string lockPsd;
  std::string type = "c1";
  std::string version = "1.0.0";
  std::string img;      // default "/img/<sid>.png"
  int status = 1;
  int showLED = 1;
  int showSound = 1;

  std::string admin;                    // user name of the initial binder
  std::vector<std::string> boundUsers;  // other bound users, in order
  int adminPosition = 0;                // where the admin stands in userList
  int maxUsers = 20;                    // admin included; a bind beyond is OUTMAX
  ConnectionAnswer connection;
  std::string videoDaylist;
  bool sdcard = true;
  std::optional<LanAnswer> lan;
  StatusOverrides statuses;
  CameraConfig camera;  // what the simulated camera streams, and its faults
};

struct UpdateOffer {
  std::string resourceUrl;
  int updateStatus = 0;  // 0 optional, 1 mandatory, other: ask again
};

struct Scenario {
  std::vector<Account> accounts;
  std::vector<Device> devices;
  std::map<std::string, std::string> servers;  // login serverBean members
  std::optional<UpdateOffer> update;
  std::map<std::string, Fault> faults;          // by operation name
  int thumbnails = 0;                           // extra /img/thumb<N>.png
  int relayResetAfterSeconds = 0;               // > 0: the relay resets each connection this long after it opened

  Account* FindAccount(std::string_view user);
  const Account* FindAccount(std::string_view user) const;
  Device* FindDevice(std::string_view sid);
  const Device* FindDevice(std::string_view sid) const;
};

// Operation names known to the sim (also the keys of faults and statuses).
bool IsOperationName(std::string_view name);

// Strict reading: unknown keys (other than ones starting with "_"), wrong
// types, duplicate users or sids and dangling references are refused with an
// error naming the place, e.g. "devices[2].status: expected an integer".
bool ParseScenario(std::string_view text, Scenario& out, std::string& error);
bool LoadScenario(const std::string& path, Scenario& out, std::string& error);

}  // namespace lumivex::sim
