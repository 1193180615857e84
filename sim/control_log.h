#pragma once
// --control-log FILE: what the cameras accepted on their streaming
// connections, one line each, "<ms> <sid> <text>", ms on the stream clock.
// The text is the message as LogText prints it, or "stream-start <udt|tcp>",
// "stream-end <why>", "talk <speex|aac> <payloadBytes>", "clip-switch
// <bitRate>" (the stream went over to another rate at a key frame). Flushed per line so
// that a test can read it while the sim runs.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace lumivex::sim {

std::string ControlLogLine(int32_t ms, std::string_view sid, std::string_view text);

class ControlLog {
 public:
  ControlLog() = default;
  ~ControlLog();
  ControlLog(const ControlLog&) = delete;
  ControlLog& operator=(const ControlLog&) = delete;

  // Truncates path.
  bool Open(const std::string& path, std::string& error);
  // Stamps the line under the lock, so the file is in time order. Does
  // nothing unless open.
  void Write(std::string_view sid, std::string_view text);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace lumivex::sim
