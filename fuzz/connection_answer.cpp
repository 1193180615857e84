// current.do: the inner document that says how a camera is reached, for a
// live session, or for a playback one when the input's length is odd (one
// request an input keeps the rate up).

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/negotiation.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static lumivex::fuzz::FileService service;
  service.AnswerInner("current", std::string(reinterpret_cast<const char*>(data), size));
  const bool playback = size % 2 == 1;
  lumivex::DeviceConnection conn;
  if (lumivex::RequestStart(*service.ctx, "cam0001", conn, playback, playback ? "20140520-08" : "")) {
    int32_t type = conn.m_DeviceNATType.load();
    if (type < lumivex::DEVICE_LAN || type > lumivex::DEVICE_TRAN_SRV) __builtin_trap();
  }
  return 0;
}
