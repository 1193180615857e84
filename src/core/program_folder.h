#pragma once
// The program folder: where "config/", "res/" and lumivex.ini live. It is the
// executable's folder unless --home DIR or LUMIVEX_HOME names another, or the
// program is installed: then the user's data goes to the XDG folders.

#include <string>
#include <string_view>

#include "core/logging.h"

namespace lumivex {

// The running executable, absolute (from /proc/self/exe); empty when unknown.
std::string ExecutablePath();

// Folder of the running executable (from /proc/self/exe), without a trailing slash.
std::string ExecutableFolder();

// homeOption (from --home) wins, then LUMIVEX_HOME, then the executable's folder.
// The result is absolute.
std::string ResolveProgramFolder(std::string_view homeOption);

enum class LayoutKind {
  kPortable,   // everything in the program folder
  kInstalled,  // per-user XDG folders; the pictures under the install prefix
};

// Where one program keeps its files.
struct ProgramLayout {
  LayoutKind kind = LayoutKind::kPortable;
  std::string programFolder;  // config/ and lumivex.ini
  std::string logFolder;
  std::string lockFile;   // the single-instance lock
  std::string systemIni;  // installed only: read when programFolder has no lumivex.ini
  std::string resFolder;  // the pictures
};

// Portable beside a build, with --home or with LUMIVEX_HOME. Installed when
// the executable sits in an install prefix (bin/ beside share/lumivex/res)
// or its folder takes no files.
ProgramLayout ResolveLayout(std::string_view homeOption);
// The same for an executable in executableFolder.
ProgramLayout LayoutFor(std::string_view homeOption, const std::string& executableFolder);

// The log file of program ("lumivex", "lumivexctl", "lumivex-update").
std::string LogFileOf(const ProgramLayout& layout, const char* program);

// How program logs in this layout: its own file, debug lines when verbose.
LogOptions LogOptionsOf(const ProgramLayout& layout, const char* program, bool verbose);

// Creates config/ and the log folder and checks both take files. On failure
// error names the path and the system's reason.
bool PrepareLayout(const ProgramLayout& layout, std::string& error);

// folder joined with a relative path; an absolute path stays as it is.
std::string InFolder(const std::string& folder, const std::string& path);

}  // namespace lumivex
