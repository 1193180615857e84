// devList.do: the inner document of one page of the device list (every page
// answers the same), through the first listing, and a refresh of it when
// the input's length is odd.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "webservice/camera_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static lumivex::fuzz::FileService service;
  service.AnswerInner("devList", std::string(reinterpret_cast<const char*>(data), size));
  lumivex::CameraList list;
  if (list.Update(*service.ctx) && size % 2 == 1) list.Refresh(*service.ctx);
  for (const lumivex::CameraInfo& info : list.Snapshot())
    if (info.sid.size() > 17 || info.lockPsd.size() > 259) __builtin_trap();
  return 0;
}
