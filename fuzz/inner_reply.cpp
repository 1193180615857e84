// The inner layer of a web reply (DecodeInnerReply): the input is the inner
// text the service seals. It is opened three ways: sealed properly (must
// come back unchanged), as raw AES blocks with whatever padding they end in,
// and taken apart as "sk" and "biz" members as they arrived.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "webservice/crypto.h"
#include "webservice/envelope.h"
#include "webservice/request.h"
#include "webservice/service_double.h"

namespace {

using namespace lumivex;

struct Keys {
  std::unique_ptr<ClientKeyPair> pair = ClientKeyPair::Generate();
  std::string aes = "Q1w2E3r4T5y6U7i8";
  std::string sk;
  Keys() {
    if (!pair) __builtin_trap();
    sk = test::raw::Base64(test::raw::RsaPublicEncrypt(pair->ExponentHex(), pair->ModulusHex(), aes));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static Keys keys;
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string key, inner;

  std::string sealed;
  test::raw::Aes(true, keys.aes, input, sealed);
  bool opened = DecodeInnerReply(*keys.pair, keys.sk, test::raw::Base64(sealed), key, inner, kMaxReplyBizBytes);
  // A text with a NUL ends there; anything else comes back whole.
  if (input.size() < 65536 && input.find('\0') == std::string::npos &&
      (!opened || inner != input || key != keys.aes))
    __builtin_trap();

  std::string blocks = input.substr(0, input.size() / 16 * 16), cipher;
  std::string rawBlocks;
  if (!blocks.empty() && test::raw::Aes(true, keys.aes, blocks, cipher)) {
    cipher.resize(blocks.size());  // without the padding block OpenSSL adds
    DecodeInnerReply(*keys.pair, keys.sk, test::raw::Base64(cipher), key, inner, 64);
  }

  Json::Value doc;
  std::string sk, biz;
  if (ParseJsonObject(input, doc) && ReadText(doc, "sk", sk) && ReadText(doc, "biz", biz))
    DecodeInnerReply(*keys.pair, sk, biz, key, inner, kMaxReplyBizBytes);
  return 0;
}
