#pragma once
// The operations behind the request envelope. The service opens the layers
// and checks what every operation has in common (field formats, sign-in,
// token, mac, key); each operation here decides its own outcome.

#include <json/json.h>

#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/field_check.h"
#include "sim/scenario.h"

namespace lumivex::sim {

inline constexpr int kPageSize = 10;

// One client, from its handshake on.
struct Session {
  std::string keyValue;
  std::string tm;
  std::string clientExp, clientMod;
  std::string user, token, mac;  // set by a successful login
  struct Recovery {
    std::string code;
    int step = 0;  // the last step that succeeded with this code
  };
  std::map<std::string, Recovery> recovery;  // by user id
};

struct OpReply {
  std::string status = "OK";
  Json::Value inner;  // null: no "sk"/"biz" layer
};

struct OpContext {
  Scenario& world;
  Session& session;
  const Fields& f;
  std::string refused;  // set by Refuse()
};

// A client fault: status "ERROR" and the reason, which the service logs.
OpReply Refuse(OpContext& ctx, std::string reason);
OpReply Status(std::string status);

struct Operation {
  std::string_view name;
  bool signedIn;  // uid, token and mac must be the session's sign-in
  // The field layout; initPassword has one per step.
  std::span<const FieldRule> (*layout)(std::string_view fields);
  OpReply (*run)(OpContext&);
};

template <const auto& kLayout>
std::span<const FieldRule> LayoutOf(std::string_view) {
  return kLayout;
}

// Every operation that arrives inside the envelope; null for other names.
const Operation* FindOperation(std::string_view name);

// Both parts' tables.
std::span<const Operation> AccountOperations();
std::span<const Operation> DeviceOperations();

// The devices an account lists, as devList shows them, with init derived
// from the device's admin.
Json::Value DeviceObject(const Device& d, std::string_view user);
// Page (from 1) of the account's device objects, kPageSize a page.
Json::Value DevicePage(const Scenario& world, const Account& account, int page);
// Page (from 1) of a device's userList.
Json::Value BoundUserPage(const Device& d, int page);

}  // namespace lumivex::sim
