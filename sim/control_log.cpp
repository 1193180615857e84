#include "sim/control_log.h"

#include "sim/stream_clock.h"

namespace lumivex::sim {

std::string ControlLogLine(int32_t ms, std::string_view sid, std::string_view text) {
  std::string line = std::to_string(ms) + ' ';
  line += sid;
  line += ' ';
  // one message, one line, whatever the text holds
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  return line + '\n';
}

ControlLog::~ControlLog() {
  if (file_) std::fclose(file_);
}

bool ControlLog::Open(const std::string& path, std::string& error) {
  std::lock_guard lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) error = path + ": cannot be written";
  return file_ != nullptr;
}

void ControlLog::Write(std::string_view sid, std::string_view text) {
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::string line = ControlLogLine(StreamClockMs(), sid, text);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace lumivex::sim
