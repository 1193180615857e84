#pragma once
// Small text rules shared by every module.

#include <cstdint>
#include <string>
#include <string_view>

namespace lumivex {

// The decimal-prefix rule: optional leading blanks and sign, then digits;
// anything else ends the number; no digits gives 0. Saturates at int32 limits.
int32_t DecimalPrefix(std::string_view text);

// A port number by the decimal-prefix rule; false unless it is 1 to 65535
// (a port cut to its low 16 bits, or a negative one, would name another).
bool PortNumber(std::string_view text, uint16_t& port);

// Case-insensitive ASCII comparison ("status" against "OK").
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Lowercase hexadecimal of bytes, two digits each.
std::string HexLower(const void* data, std::size_t size);
inline std::string HexLower(std::string_view bytes) { return HexLower(bytes.data(), bytes.size()); }

// Number of UTF-16 code units the UTF-8 text takes; -1 when it is not valid UTF-8.
long Utf16Length(std::string_view utf8);

// The longest prefix of whole characters that fits maxUnits UTF-16 units;
// an invalid sequence ends the text.
std::string CutUtf16(std::string_view utf8, long maxUnits);

// Decimal text of an integer, as "%d" prints it.
std::string DecimalText(long long value);

// A message and, on a line of its own under it, its cause when there is one;
// the windows show the two lines apart.
std::string WithCause(std::string message, std::string_view cause);

}  // namespace lumivex
