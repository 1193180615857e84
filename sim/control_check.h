#pragma once
// The checks a camera applies to the client's messages on a live stream:
// the startup message, then keep-alive and audio hold, pan/tilt, quality
// and close, each with exactly its members, every one a JSON string.

#include <json/json.h>

#include <cstdint>
#include <string>

namespace lumivex::sim {

// Empty when message is {"type":"startup"}; else why not.
std::string CheckStartup(const Json::Value& message);

class ControlCheck {
 public:
  // umac: the session's (from its connect message). udt: the keep-alive
  // carries no control number there.
  ControlCheck(std::string umac, bool udt) : umac_(std::move(umac)), udt_(udt) {}

  // Empty when the message is sound; else why it is refused. A sound
  // keep-alive or hold over TCP raises the connection's control number.
  std::string Check(const Json::Value& message);

 private:
  std::string CheckControlNumber(const std::string& text);

  const std::string umac_;
  const bool udt_;
  int64_t lastNumber_ = -1;  // none yet: the first may be any value >= 0
};

}  // namespace lumivex::sim
