// The answer of a device to the LAN probe.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "webservice/camera_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  lumivex::LanDevice device;
  if (lumivex::ParseLanAnswer(std::string_view(reinterpret_cast<const char*>(data), size), device) &&
      (device.id.empty() || device.mac.size() != 17))
    __builtin_trap();
  return 0;
}
