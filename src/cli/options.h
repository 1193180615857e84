#pragma once
// Global options of lumivexctl: where the program folder is and how the
// service is reached. Every command takes them before its own arguments.

#include <string>
#include <vector>

#include "core/command_line.h"
#include "core/deployment.h"

namespace lumivex::cli {

struct Options : CommonOptions {
  std::string user, password;  // -u, -p
  bool remember = false, autoLogin = false;
  std::vector<std::string> command;  // the command and its arguments
};

// Fills options from argv; false with a message in error on a bad option.
bool ParseOptions(int argc, char** argv, Options& options, std::string& error);

const char* Usage();

}  // namespace lumivex::cli
