#include "core/text.h"

#include <limits>

namespace lumivex {

int32_t DecimalPrefix(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '\v' || text[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  const int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > std::numeric_limits<int32_t>::max()
                                  ? std::numeric_limits<int32_t>::max()
                                  : value);
}

bool PortNumber(std::string_view text, uint16_t& port) {
  const int32_t value = DecimalPrefix(text);
  if (value < 1 || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string HexLower(const void* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out(size * 2, '0');
  for (std::size_t i = 0; i < size; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  return out;
}

namespace {

// Bytes of the UTF-8 sequence starting at i, 0 when it is not a valid one.
std::size_t SequenceLength(std::string_view utf8, std::size_t i) {
  unsigned char c = static_cast<unsigned char>(utf8[i]);
  std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > utf8.size()) return 0;
  for (std::size_t k = 1; k < len; ++k)
    if ((static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) return 0;
  return len;
}

}  // namespace

long Utf16Length(std::string_view utf8) {
  long units = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    std::size_t len = SequenceLength(utf8, i);
    if (len == 0) return -1;
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

std::string CutUtf16(std::string_view utf8, long maxUnits) {
  long units = 0;
  std::size_t end = 0;
  while (end < utf8.size()) {
    std::size_t len = SequenceLength(utf8, end);
    long charUnits = len == 4 ? 2 : 1;
    if (len == 0 || units + charUnits > maxUnits) break;
    units += charUnits;
    end += len;
  }
  return std::string(utf8.substr(0, end));
}

std::string WithCause(std::string message, std::string_view cause) {
  if (!cause.empty()) message.append("\n").append(cause);
  return message;
}

std::string DecimalText(long long value) { return std::to_string(value); }

}  // namespace lumivex
