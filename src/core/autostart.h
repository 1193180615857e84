#pragma once
// Starting the client when the user logs on: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/lumivex.desktop, that runs the program with no
// arguments. The entry counts as on when it exists, has a non-empty Exec and
// is not Hidden=true.

#include <string>
#include <string_view>

namespace lumivex {

// The entry's path; empty without a home folder.
std::string AutostartEntryPath();

// program as one argument of an Exec key: quoted and escaped as the Desktop
// Entry rules ask when it holds a reserved character, "%" doubled. Empty for
// text that no entry can carry (not UTF-8, control characters) or that is
// not an absolute path.
std::string DesktopExecArgument(std::string_view program);

// The whole entry for program; empty when program cannot be carried.
std::string AutostartEntryText(std::string_view program);

// On writes the entry for program (folders created as needed), off removes
// it. False when that failed; removing an entry that is not there succeeds.
bool SetAutostartEntry(const std::string& entryPath, bool on, const std::string& program);
bool AutostartEntryEnabled(const std::string& entryPath);

// The same at AutostartEntryPath().
bool SetAutostart(bool on, const std::string& program);
bool AutostartEnabled();

}  // namespace lumivex
