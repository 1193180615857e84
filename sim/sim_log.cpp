#include "sim/sim_log.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace lumivex::sim {
namespace {

std::atomic<bool> verbose{false};
std::mutex lineMutex;

void WriteLine(std::string_view text) {
  std::string line = "lumivex-sim: ";
  for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  std::lock_guard lock(lineMutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void SetVerbose(bool on) { verbose = on; }
bool Verbose() { return verbose; }

void LogRefused(std::string_view operation, std::string_view reason) {
  WriteLine("refused " + std::string(operation) + ": " + std::string(reason));
}

void LogDetail(std::string_view text) {
  if (verbose) WriteLine(text);
}

void LogError(std::string_view text) { WriteLine(text); }

void LogNote(std::string_view text) { WriteLine(text); }

}  // namespace lumivex::sim
