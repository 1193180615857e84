#include "sim/operations.h"

namespace lumivex::sim {

OpReply Refuse(OpContext& ctx, std::string reason) {
  ctx.refused = std::move(reason);
  return Status("ERROR");
}

OpReply Status(std::string status) {
  OpReply r;
  r.status = std::move(status);
  return r;
}

const Operation* FindOperation(std::string_view name) {
  for (auto table : {AccountOperations(), DeviceOperations()})
    for (const Operation& op : table)
      if (op.name == name) return &op;
  return nullptr;
}

}  // namespace lumivex::sim
