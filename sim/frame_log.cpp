#include "sim/frame_log.h"

#include <zlib.h>

namespace lumivex::sim {

std::string FrameLogLine(std::string_view sid, int32_t frameNumber, std::string_view frame) {
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(frame.data()), static_cast<uInt>(frame.size()));
  char tail[64];
  std::snprintf(tail, sizeof tail, " %d %zu %08lx\n", static_cast<int>(frameNumber), frame.size(),
                static_cast<unsigned long>(crc));
  return std::string(sid) + tail;
}

FrameLog::~FrameLog() {
  if (file_) std::fclose(file_);
}

bool FrameLog::Open(const std::string& path, std::string& error) {
  std::lock_guard lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) error = path + ": cannot be written";
  return file_ != nullptr;
}

void FrameLog::Write(std::string_view sid, int32_t frameNumber, std::string_view frame) {
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::string line = FrameLogLine(sid, frameNumber, frame);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace lumivex::sim
