// initPassword.do: the inner document of the recovery's first step (user
// bean, security questions), or of its second when the input's length is
// odd (one request an input keeps the rate up).

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "webservice/account.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static lumivex::fuzz::FileService service;
  service.AnswerInner("initPassword", std::string(reinterpret_cast<const char*>(data), size));
  lumivex::RecoveryState state;
  if (size % 2 == 1) {
    state.uid = "alice";
    state.code = "c0de";
    lumivex::RecoverStep2(*service.ctx, state, 1, "answer");
  } else if (lumivex::RecoverStep1(*service.ctx, state, "alice") == 1 && !state.noQuestions) {
    if (state.questions.size() != 2) __builtin_trap();
    for (const auto& q : state.questions)
      if (lumivex::SecurityQuestionText(q.number).empty()) __builtin_trap();
  }
  return 0;
}
