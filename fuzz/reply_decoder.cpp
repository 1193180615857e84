// The DES layer of a web reply, both forms, and the JSON parse that follows.
// Input: four characters of the session's shared key, then the body.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "webservice/envelope.h"
#include "webservice/request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace lumivex;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view key = input.substr(0, 4), body = input.substr(key.size());
  // A small capacity as well as the largest, so that the bound is exercised.
  for (std::size_t capacity : {std::size_t{64}, kMaxSharedKeyReplyBytes}) {
    std::string text;
    DecodeSharedKeyReply(key, body, text, capacity);
    if (text.size() >= capacity) __builtin_trap();
    Json::Value doc;
    ParseJsonObject(text, doc);
    DecodeOwnKeyReply(body, text, capacity);
    if (text.size() >= capacity) __builtin_trap();
    ParseJsonObject(text, doc);
  }
  return 0;
}
