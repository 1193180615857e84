// lumivexctl: the command-line driver of the Lumivex core.

#include <iostream>

#include "cli/client.h"
#include "cli/options.h"

int main(int argc, char** argv) {
  using namespace lumivex::cli;
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::cerr << "lumivexctl: " << error << "\n" << Usage();
    return kExitUsage;
  }
  if (options.help) {
    std::cout << Usage();
    return kExitOk;
  }
  if (options.version) {
    std::cout << lumivex::VersionLine("lumivexctl") << "\n";
    return kExitOk;
  }
  return Client(std::move(options)).Run();
}
