#pragma once
// The updater's pure rules: what its command line asks for, and how far the
// progress window's bar and percentage go. No Qt, no I/O.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumivex {

// The client's command line holds the address in a 260-byte field.
inline constexpr std::size_t kMaxUpdateAddress = 259;

// The progress bar in window pixels; right and bottom are exclusive.
inline constexpr int kBarLeft = 20;
inline constexpr int kBarTop = 38;
inline constexpr int kBarRight = 320;
inline constexpr int kBarBottom = 70;

enum class UpdateAddress {
  None,     // no "http://" or "https://": the window waits at 0% for "取消"
  Given,    // address holds it
  TooLong,  // longer than kMaxUpdateAddress: refused
};

struct UpdateCommandLine {
  bool update = false;  // "-u" somewhere; without it the program ends at once
  UpdateAddress kind = UpdateAddress::None;
  std::string address;  // from the first scheme to the end, trailing characters kept
};

// The arguments after the program name, joined by single spaces: the command
// line the client wrote, without the program path (whose folder may hold "-u").
std::string JoinArguments(int argc, const char* const* argv);

UpdateCommandLine ParseUpdateCommandLine(std::string_view commandLine);

// trunc(received * 100 / total) in floating point, held to 0..100 (a server
// may send more than it announced); nothing when the total is unknown (0).
std::optional<int> ProgressPercent(uint64_t received, uint64_t total);

// Width of the filled part of the bar for a percentage.
int BarFillWidth(int percent);

// Remembers the percentage last shown, so each change is reported once.
class ProgressTracker {
 public:
  // The new percentage when it differs from the last one shown.
  std::optional<int> Update(uint64_t received, uint64_t total);
  int last() const { return last_; }

 private:
  int last_ = 0;
};

}  // namespace lumivex
