// lumivexctl: the command-line driver of the Lumivex core.

#include <filesystem>
#include <iostream>

#include "cli/options.h"
#include "config/user_config.h"
#include "config/user_settings.h"
#include "core/deployment.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/net_info.h"
#include "core/program_folder.h"
#include "webservice/http.h"

namespace lumivex::cli {
namespace {

int Info(const Global& g, const std::string& folder, bool haveNet) {
  std::cout << "program folder: " << folder << "\n";
  if (haveNet)
    std::cout << "mac: " << g.m_Mac << "\nip: " << g.m_LocalIp << "\nmask: " << g.m_LocalMask << "\n";
  else
    std::cout << "message: 获取网络信息失败，请检查网络和防火墙设置\n";
  std::cout << "service: " << OperationUrlPrefix(g, "security") << "\n"
            << "web port operations: " << WebPortUrlPrefix(g, "checkVersion") << "\n"
            << "tls verification: " << (g.tlsVerify ? "on" : "off")
            << (g.caFile.empty() ? std::string() : ", trusting " + g.caFile) << "\n";
  return haveNet ? 0 : 1;
}

int Fetch(const Global& g, const std::vector<std::string>& args) {
  if (args.size() < 2) return std::cerr << Usage(), 2;
  std::string body;
  FetchResult r = HttpFetch(args[1], TransportOptionsOf(g), body);
  if (!r.ok) {
    std::cout << "failed: " << r.error << "\n";
    return 1;
  }
  std::cout << "status: " << r.httpStatus << "\nbytes: " << body.size() << "\n";
  if (args.size() > 2 && args[2] == "--body") std::cout << body << "\n";
  return 0;
}

int NewConfig(const std::string& folder, const std::vector<std::string>& args) {
  if (args.size() < 2) return std::cerr << Usage(), 2;
  std::string configFolder = folder + "/config";
  std::error_code ec;
  std::filesystem::create_directories(configFolder, ec);
  UserSettings settings;
  settings.userName = args[1];
  if (!CreateDefaultUserConfig(settings, configFolder)) {
    std::cout << "failed: cannot write the configuration of " << args[1] << "\n";
    return 1;
  }
  std::cout << "written: " << settings.configPath << "\n";
  return 0;
}

}  // namespace
}  // namespace lumivex::cli

int main(int argc, char** argv) {
  using namespace lumivex;
  cli::Options options;
  std::string error;
  if (!cli::ParseOptions(argc, argv, options, error)) {
    std::cerr << "lumivexctl: " << error << "\n" << cli::Usage();
    return 2;
  }
  InitLogging(options.verbose);
  std::string folder = ResolveProgramFolder(options.home);
  DeploymentSettings deployment;
  Global g;
  if (!cli::ResolveDeployment(options, folder, deployment, error) ||
      !ApplyDeployment(deployment, folder, g, error)) {
    std::cerr << "lumivexctl: " << error << "\n";
    return 2;
  }
  if (!InitHttpLibrary()) return 1;
  bool haveNet = GetLocalNetInfo(g);
  const std::string& command = options.command[0];
  int rc = 2;
  if (command == "info")
    rc = cli::Info(g, folder, haveNet);
  else if (command == "fetch")
    rc = cli::Fetch(g, options.command);
  else if (command == "new-config")
    rc = cli::NewConfig(folder, options.command);
  else
    std::cerr << "lumivexctl: unknown command " << command << "\n" << cli::Usage();
  CleanupHttpLibrary();
  return rc;
}
