#pragma once
// The program folder: where "config/", "res/" and lumivex.ini live. It is the
// executable's folder unless --home DIR or LUMIVEX_HOME names another, so a
// system-wide install can keep per-user data in a writable place.

#include <string>
#include <string_view>

namespace lumivex {

// The running executable, absolute (from /proc/self/exe); empty when unknown.
std::string ExecutablePath();

// Folder of the running executable (from /proc/self/exe), without a trailing slash.
std::string ExecutableFolder();

// homeOption (from --home) wins, then LUMIVEX_HOME, then the executable's folder.
// The result is absolute.
std::string ResolveProgramFolder(std::string_view homeOption);

// Creates folder/config when missing: on this platform the program folder
// may be a fresh per-user folder rather than an installed one.
bool EnsureConfigFolder(const std::string& folder);

// folder joined with a relative path; an absolute path stays as it is.
std::string InFolder(const std::string& folder, const std::string& path);

}  // namespace lumivex
