#include "sim/field_check.h"

#include <algorithm>

namespace lumivex::sim {
namespace {

bool AllOf(std::string_view s, bool (*pred)(char)) { return std::all_of(s.begin(), s.end(), pred); }

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUserChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '@' || c == '.' || c == '_';
}
bool IsBase64Char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '+' || c == '/';
}
// Printable ASCII or any byte of a UTF-8 sequence; never ":" (it would blur
// where a name ends).
bool IsTextByte(char c) {
  auto u = static_cast<unsigned char>(c);
  return (u >= 0x20 && u != 0x7f && c != ':');
}
bool IsTokenChar(char c) { return c > 0x20 && c < 0x7f && c != ':'; }

bool IsUnsignedDecimal(std::string_view s) {
  if (s.empty() || s.size() > 19 || !AllOf(s, IsDigit)) return false;
  return s == "0" || s[0] != '0';
}

bool IsDecimalInt(std::string_view s) {
  std::string_view digits = s.starts_with("-") ? s.substr(1) : s;
  if (!IsUnsignedDecimal(digits) || digits.size() > 10) return false;
  if (s.starts_with("-") && digits == "0") return false;
  long long v = std::stoll(std::string(s));
  return v >= -2147483648LL && v <= 2147483647LL;
}

bool IsMac(std::string_view s) {
  if (s.size() != 17) return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i % 3 == 2 ? s[i] != '-' : !IsLowerHex(s[i])) return false;
  }
  return true;
}

bool IsPercentEncoded(std::string_view s) {
  if (s.size() % 3 != 0) return false;
  for (std::size_t i = 0; i < s.size(); i += 3) {
    if (s[i] != '%' || !IsUpperHex(s[i + 1]) || !IsUpperHex(s[i + 2])) return false;
  }
  return true;
}

bool IsBase64(std::string_view s) {
  if (s.empty() || s.size() % 4 != 0) return false;
  std::size_t pad = s.ends_with("==") ? 2 : s.ends_with("=") ? 1 : 0;
  return AllOf(s.substr(0, s.size() - pad), IsBase64Char);
}

bool IsIpv4(std::string_view s) {
  int parts = 0;
  std::size_t start = 0;
  while (true) {
    std::size_t end = s.find('.', start);
    std::string_view part = s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!IsUnsignedDecimal(part) || part.size() > 3 || std::stoi(std::string(part)) > 255) return false;
    ++parts;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts == 4;
}

bool IsDate(std::string_view s) {
  return s.size() == 11 && AllOf(s.substr(0, 8), IsDigit) && s[8] == '-' && AllOf(s.substr(9), IsDigit);
}

const char* Expected(Kind kind) {
  switch (kind) {
    case Kind::kLiteral: return "the fixed value";
    case Kind::kUser: return "4 to 20 letters, digits, '@', '.' or '_'";
    case Kind::kText: return "non-empty printable text";
    case Kind::kToken: return "a non-empty token";
    case Kind::kHex40: return "40 lowercase hexadecimal digits";
    case Kind::kMd5: return "32 lowercase hexadecimal digits";
    case Kind::kExp: return "\"010001\"";
    case Kind::kMod: return "256 uppercase hexadecimal digits";
    case Kind::kMac: return "six lowercase hex pairs joined by '-'";
    case Kind::kInt: return "a decimal integer as %d prints it";
    case Kind::kTime: return "decimal seconds";
    case Kind::kFlag: return "0 or 1";
    case Kind::kOnOff: return "on or off";
    case Kind::kPercent: return "%XX for every byte, uppercase hex";
    case Kind::kBase64: return "Base64 text";
    case Kind::kIpv4OrEmpty: return "dotted IPv4 text or nothing";
    case Kind::kDateOrEmpty: return "nothing or YYYYMMDD-HH";
    case Kind::kEmpty: return "nothing";
  }
  return "?";
}

bool Matches(const FieldRule& rule, std::string_view v) {
  switch (rule.kind) {
    case Kind::kLiteral: return v == rule.literal;
    case Kind::kUser: return v.size() >= 4 && v.size() <= 20 && AllOf(v, IsUserChar);
    case Kind::kText: return !v.empty() && AllOf(v, IsTextByte);
    case Kind::kToken: return !v.empty() && AllOf(v, IsTokenChar);
    case Kind::kHex40: return v.size() == 40 && AllOf(v, IsLowerHex);
    case Kind::kMd5: return v.size() == 32 && AllOf(v, IsLowerHex);
    case Kind::kExp: return v == "010001";
    case Kind::kMod: return v.size() == 256 && AllOf(v, IsUpperHex) && v[0] != '0';
    case Kind::kMac: return IsMac(v);
    case Kind::kInt: return IsDecimalInt(v);
    case Kind::kTime: return IsUnsignedDecimal(v);
    case Kind::kFlag: return v == "0" || v == "1";
    case Kind::kOnOff: return v == "on" || v == "off";
    case Kind::kPercent: return IsPercentEncoded(v);
    case Kind::kBase64: return IsBase64(v);
    case Kind::kIpv4OrEmpty: return v.empty() || IsIpv4(v);
    case Kind::kDateOrEmpty: return v.empty() || IsDate(v);
    case Kind::kEmpty: return v.empty();
  }
  return false;
}

// Keeps log lines short and printable.
std::string Shown(std::string_view v) {
  std::string out;
  for (char c : v.substr(0, 48)) out += (static_cast<unsigned char>(c) < 0x20 ? '?' : c);
  if (v.size() > 48) out += "...";
  return out;
}

}  // namespace

const std::string& Fields::operator[](std::string_view name) const {
  static const std::string kNone;
  auto it = values_.find(std::string(name));
  return it == values_.end() ? kNone : it->second;
}

bool CheckValue(const FieldRule& rule, std::string_view value, std::string& error) {
  if (Matches(rule, value)) return true;
  error = "\"" + std::string(rule.name) + "\" is \"" + Shown(value) + "\", expected ";
  error += rule.kind == Kind::kLiteral ? "\"" + std::string(rule.literal) + "\"" : Expected(rule.kind);
  return false;
}

bool ParseFields(std::string_view text, std::span<const FieldRule> layout, Fields& out, std::string& error) {
  Fields fields;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < layout.size(); ++i) {
    if (pos > text.size()) {
      error = "ends before \"" + std::string(layout[i].name) + "\"";
      return false;
    }
    std::size_t end = text.find('&', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(pos, end - pos);
    std::size_t colon = part.find(':');
    std::string_view name = part.substr(0, colon);
    if (colon == std::string_view::npos || name != layout[i].name) {
      error = "field " + std::to_string(i + 1) + " is \"" + Shown(name) + "\", expected \"" +
              std::string(layout[i].name) + "\"";
      return false;
    }
    std::string_view value = part.substr(colon + 1);
    if (!CheckValue(layout[i], value, error)) return false;
    fields.Set(name, std::string(value));
    pos = end + 1;
  }
  if (pos <= text.size()) {
    error = "unexpected text after the last field: \"" + Shown(text.substr(pos - 1)) + "\"";
    return false;
  }
  out = std::move(fields);
  return true;
}

std::string PeekField(std::string_view text, std::string_view name) {
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('&', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(pos, end - pos);
    if (part.size() > name.size() && part.starts_with(name) && part[name.size()] == ':')
      return std::string(part.substr(name.size() + 1));
    pos = end + 1;
  }
  return {};
}

std::string PercentDecode(std::string_view text) {
  auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  std::string out;
  for (std::size_t i = 0; i + 3 <= text.size(); i += 3)
    out.push_back(static_cast<char>(nibble(text[i + 1]) * 16 + nibble(text[i + 2])));
  return out;
}

}  // namespace lumivex::sim
