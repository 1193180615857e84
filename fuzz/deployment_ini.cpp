// lumivex.ini beside the program.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/deployment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  lumivex::DeploymentSettings settings;
  std::string error;
  if (!lumivex::ParseDeploymentIni(std::string_view(reinterpret_cast<const char*>(data), size), settings, error) &&
      error.empty())
    __builtin_trap();  // a refusal names its line
  return 0;
}
