// login.do: the inner document of a successful sign-in (servers and token),
// through the whole operation, which then records the account.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "webservice/login.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static lumivex::fuzz::FileService service;
  service.AnswerInner("login", std::string(reinterpret_cast<const char*>(data), size));
  lumivex::LoginInput input{"alice", "secret1", true, false};
  lumivex::LoginOutcome outcome;
  lumivex::Login_Start(*service.ctx, input, outcome);
  return 0;
}
