// bindUserList.do: the inner document of one page of a device's bound users
// (every page answers the same).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "webservice/sharing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static lumivex::fuzz::FileService service;
  service.AnswerInner("bindUserList", std::string(reinterpret_cast<const char*>(data), size));
  std::vector<lumivex::BoundUser> users;
  lumivex::ListBoundUsers(*service.ctx, "cam0001", users);
  for (std::size_t i = 0; i < users.size(); ++i)
    for (std::size_t j = i + 1; j < users.size(); ++j)
      if (users[i].uid == users[j].uid) __builtin_trap();  // every user once
  return 0;
}
