#pragma once
// The checks a camera applies to the client's messages: the startup
// message, then on a live stream keep-alive and audio hold, pan/tilt,
// quality and close, on a playback stream keep-alive, jump, play, pause
// and close; each with exactly its members, every one a JSON string.

#include <json/json.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumivex::sim {

// Empty when message is {"type":"startup"}; else why not.
std::string CheckStartup(const Json::Value& message);

class ControlCheck {
 public:
  // umac: the session's (from its connect message). udt: the keep-alive
  // carries no control number there.
  ControlCheck(std::string umac, bool udt) : umac_(std::move(umac)), udt_(udt) {}
  // A playback stream of gapSeconds: "jump" may go to 0 ... gapSeconds.
  static ControlCheck Playback(std::string umac, int gapSeconds);

  // Empty when the message is sound; else why it is refused. A sound
  // keep-alive or hold over TCP raises the connection's control number.
  std::string Check(const Json::Value& message);

 private:
  std::string CheckControlNumber(const std::string& text);
  std::string CheckPlayback(const std::vector<std::string>& names, const Json::Value& message) const;

  const std::string umac_;
  const bool udt_;
  int playbackGap_ = -1;  // < 0: a live stream
  int64_t lastNumber_ = -1;  // none yet: the first may be any value >= 0
};

}  // namespace lumivex::sim
