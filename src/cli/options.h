#pragma once
// Global options of lumivexctl: where the program folder is and how the
// service is reached. Every command takes them before its own arguments.

#include <string>
#include <vector>

#include "core/deployment.h"

namespace lumivex::cli {

struct Options {
  std::string home;  // --home DIR; empty: LUMIVEX_HOME or the executable's folder
  std::vector<std::pair<std::string, std::string>> overrides;  // deployment keys from the command line
  bool verbose = false;
  bool help = false;
  std::string user, password;  // -u, -p
  bool remember = false, autoLogin = false;
  std::vector<std::string> command;  // the command and its arguments
};

// Fills options from argv; false with a message in error on a bad option.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

// lumivex.ini of the program folder, then the command-line overrides.
bool ResolveDeployment(const Options& options, const std::string& programFolder,
                       DeploymentSettings& settings, std::string& error);

const char* Usage();

}  // namespace lumivex::cli
