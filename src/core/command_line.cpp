#include "core/command_line.h"

#include <getopt.h>

#include "core/version.h"

namespace lumivex {
namespace {

struct DeploymentFlag {
  const char* longName;
  const char* key;
};

constexpr DeploymentFlag kDeploymentFlags[] = {
    {"host", "host"},         {"port", "port"},         {"web-port", "web_port"},
    {"scheme", "scheme"},     {"ca-file", "ca_file"},   {"local-net", "local_net"},
    {"lan-port", "lan_port"},
};

enum CommonId : int { kHome = 1000, kInsecure, kVerbose, kTraceHttp, kHelp, kVersion, kDeployment = 1100,
                      kProgram = 1200 };

std::vector<option> LongOptions(const CommandLine& line) {
  std::vector<option> longs = {
      {"home", required_argument, nullptr, kHome},  {"insecure", no_argument, nullptr, kInsecure},
      {"verbose", no_argument, nullptr, kVerbose},  {"trace-http", no_argument, nullptr, kTraceHttp},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kVersion},
  };
  int id = kDeployment;
  for (const DeploymentFlag& flag : kDeploymentFlags)
    longs.push_back({flag.longName, required_argument, nullptr, id++});
  id = kProgram;
  for (const ProgramOption& p : line.programOptions)
    longs.push_back({p.longName, p.takesValue ? required_argument : no_argument, nullptr, id++});
  longs.push_back({nullptr, 0, nullptr, 0});
  return longs;
}

// "+" stops at the first operand, ":" reports a missing value apart.
std::string ShortOptions(const CommandLine& line) {
  std::string shorts = "+:h";
  for (const ProgramOption& p : line.programOptions) {
    if (!p.shortName) continue;
    shorts += p.shortName;
    if (p.takesValue) shorts += ':';
  }
  return shorts;
}

const ProgramOption* ProgramOptionOf(const CommandLine& line, int id) {
  for (std::size_t i = 0; i < line.programOptions.size(); ++i) {
    const ProgramOption& p = line.programOptions[i];
    if (id == kProgram + static_cast<int>(i) || (p.shortName && id == p.shortName)) return &p;
  }
  return nullptr;
}

std::string Offending(char** argv, int index) {
  return index > 0 && argv[index - 1] ? argv[index - 1] : "?";
}

bool TakeCommon(int id, const char* value, CommonOptions& o) {
  switch (id) {
    case kHome: o.home = value; return true;
    case kInsecure: o.overrides.emplace_back("tls_verify", "0"); return true;
    case kVerbose: o.verbose = true; return true;
    case kTraceHttp: o.traceHttp = true; return true;
    case 'h':
    case kHelp: o.help = true; return true;
    case kVersion: o.version = true; return true;
  }
  int flag = id - kDeployment;
  if (flag < 0 || flag >= static_cast<int>(std::size(kDeploymentFlags))) return false;
  o.overrides.emplace_back(kDeploymentFlags[flag].key, value);
  return true;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, const CommandLine& line, CommonOptions& options,
                     std::string& error) {
  const std::vector<option> longs = LongOptions(line);
  const std::string shorts = ShortOptions(line);
  optind = 0;  // glibc: a full restart, so a second parse sees the whole argv
  opterr = 0;
  int id;
  while ((id = getopt_long(argc, argv, shorts.c_str(), longs.data(), nullptr)) != -1) {
    if (id == '?' || id == ':') {
      error = (id == ':' ? Offending(argv, optind) + " needs a value"
                         : "unknown option " + Offending(argv, optind));
      return -1;
    }
    if (TakeCommon(id, optarg, options)) continue;
    const ProgramOption* p = ProgramOptionOf(line, id);
    if (!p || !line.onOption || !line.onOption(*p, optarg, error)) return -1;
  }
  if (optind < argc && !line.operandsAllowed) {
    error = std::string("unexpected argument ") + argv[optind];
    return -1;
  }
  return optind;
}

std::string VersionLine(const char* program) {
  return std::string(program) + " " + kVersionText;
}

}  // namespace lumivex
