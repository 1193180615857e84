// checkVersion.do: the reply document of the update check (own-key form, no
// inner layer).

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "webservice/account.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static lumivex::fuzz::FileService service;
  service.AnswerOwnKey("checkVersion", std::string(reinterpret_cast<const char*>(data), size));
  int result = lumivex::CheckForUpdate(*service.ctx);
  if (result < -1 || result > 2) __builtin_trap();
  if (result > 0 && service.settings.updateUrl.size() > 259) __builtin_trap();
  return 0;
}
