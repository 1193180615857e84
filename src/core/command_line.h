#pragma once
// The options lumivex and lumivexctl share (where the program folder is, how
// the service is reached, --verbose, --help, --version), parsed once with
// getopt_long before anything needs a display. Each program adds its own.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace lumivex {

struct CommonOptions {
  std::string home;  // --home DIR; empty: LUMIVEX_HOME or the executable's folder
  std::vector<std::pair<std::string, std::string>> overrides;  // deployment keys
  bool verbose = false;
  bool traceHttp = false;  // libcurl's own trace on standard error
  bool help = false;
  bool version = false;
};

// An option of one program only; shortName 0 when it has none.
struct ProgramOption {
  const char* longName;
  char shortName;
  bool takesValue;
};

struct CommandLine {
  std::vector<ProgramOption> programOptions;
  // Called for each program option given; value is null for a switch. A
  // false return refuses the command line with error set.
  std::function<bool(const ProgramOption&, const char* value, std::string& error)> onOption;
  bool operandsAllowed = false;  // lumivexctl's command and its arguments
};

// Parses argv up to the first operand (getopt's "+" mode, so a command's own
// options stay its own). Returns the index of that operand, argc when there
// is none, or -1 with error set on an unknown option or a missing value.
int ParseCommandLine(int argc, char** argv, const CommandLine& line, CommonOptions& options,
                     std::string& error);

// "lumivex 2.0.0.0": the one version text of every program.
std::string VersionLine(const char* program);

}  // namespace lumivex
