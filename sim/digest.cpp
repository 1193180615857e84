#include "sim/digest.h"

#include "core/text.h"
#include "webservice/crypto.h"

namespace lumivex::sim {

std::string TokenOf(std::string_view text) { return HexLower(HmacSha1(kAppSecret, text)); }

std::string Md5Hex(std::string_view text) { return HexLower(Md5(text)); }

}  // namespace lumivex::sim
