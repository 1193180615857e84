#pragma once
// The two digests the service checks requests against.

#include <string>
#include <string_view>

namespace lumivex::sim {

inline constexpr std::string_view kAppSecret = "Rk3wPz8eVb2q@mYd@";

// 40 lowercase hex digits of HMAC-SHA1 keyed with the application secret.
std::string TokenOf(std::string_view text);
// 32 lowercase hex digits of MD5.
std::string Md5Hex(std::string_view text);

}  // namespace lumivex::sim
