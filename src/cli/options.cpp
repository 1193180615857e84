#include "cli/options.h"

#include <cstring>

namespace lumivex::cli {

const char* Usage() {
  return "usage: lumivexctl [--home DIR] [--host HOST] [--port N] [--web-port N]\n"
         "                  [--scheme http|https] [--ca-file FILE] [--insecure] [--verbose]\n"
         "                  [-u USER -p PASSWORD] [--remember] [--auto-login] COMMAND [ARGS]\n"
         "commands:\n"
         "  info               program folder, network identity and service URLs\n"
         "  fetch URL [--body] one GET with the client's transport; prints status and size\n"
         "  new-config USER    writes USER's default configuration file\n";
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  static const std::pair<const char*, const char*> kValueOptions[] = {
      {"--host", "host"},       {"--port", "port"},     {"--web-port", "web_port"},
      {"--scheme", "scheme"},   {"--ca-file", "ca_file"},
  };
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return error = arg + " needs a value", false;
      into = argv[++i];
      return true;
    };
    bool known = false;
    for (const auto& [flag, key] : kValueOptions) {
      if (arg != flag) continue;
      std::string v;
      if (!value(v)) return false;
      o.overrides.emplace_back(key, v);
      known = true;
    }
    if (known) continue;
    if (arg == "--home") {
      if (!value(o.home)) return false;
    } else if (arg == "-u") {
      if (!value(o.user)) return false;
    } else if (arg == "-p") {
      if (!value(o.password)) return false;
    } else if (arg == "--insecure") {
      o.overrides.emplace_back("tls_verify", "0");
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else if (arg == "--remember") {
      o.remember = true;
    } else if (arg == "--auto-login") {
      o.autoLogin = true;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  o.command.assign(argv + i, argv + argc);
  if (o.command.empty()) {
    error = "no command given";
    return false;
  }
  return true;
}

bool ResolveDeployment(const Options& o, const std::string& programFolder, DeploymentSettings& s,
                       std::string& error) {
  if (!LoadDeploymentIni(programFolder + "/lumivex.ini", s, error)) return false;
  for (const auto& [key, value] : o.overrides)
    if (!SetDeploymentValue(s, key, value, error)) return false;
  return true;
}

}  // namespace lumivex::cli
