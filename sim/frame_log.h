#pragma once
// --frame-log FILE: one line per video frame a camera sent whole,
// "<sid> <frameNumber> <bytes> <crc32>" (zlib's CRC-32 of the whole frame as
// eight lowercase hex digits), flushed per line so that a test can compare
// what a client received while the sim still runs.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace lumivex::sim {

std::string FrameLogLine(std::string_view sid, int32_t frameNumber, std::string_view frame);

class FrameLog {
 public:
  FrameLog() = default;
  ~FrameLog();
  FrameLog(const FrameLog&) = delete;
  FrameLog& operator=(const FrameLog&) = delete;

  // Truncates path.
  bool Open(const std::string& path, std::string& error);
  // Does nothing unless open.
  void Write(std::string_view sid, int32_t frameNumber, std::string_view frame);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace lumivex::sim
