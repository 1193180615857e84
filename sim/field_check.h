#pragma once
// Strict reading of the plain field strings ("name:value&name:value..."):
// the names, their order and every value's encoding must be exactly what the
// client is meant to send, so that a client fault is refused, not guessed at.

#include <map>
#include <span>
#include <string>
#include <string_view>

namespace lumivex::sim {

enum class Kind {
  kLiteral,    // exactly FieldRule::literal
  kUser,       // user name rule: 4 to 20 of letters, digits, "@", ".", "_"
  kText,       // non-empty, printable, no ":" (ids, names sent as UTF-8)
  kToken,      // non-empty, printable ASCII, no ":"
  kHex40,      // 40 lowercase hex digits (TokenOf)
  kMd5,        // 32 lowercase hex digits
  kExp,        // "010001"
  kMod,        // 256 uppercase hex digits
  kMac,        // "xx-xx-xx-xx-xx-xx", lowercase hex
  kInt,        // decimal as "%d" prints it: "0", "7", "-3"; no "+", no leading zero
  kTime,       // seconds as "%d" or "%lld" prints them, not negative
  kFlag,       // "0" or "1"
  kOnOff,      // "on" or "off"
  kPercent,    // "%XX" per byte, uppercase hex, nothing unencoded; may be empty
  kBase64,     // standard alphabet, "=" padding, no line breaks, non-empty
  kIpv4OrEmpty,
  kDateOrEmpty,  // "" or "%d%02d%02d-%02d" (20140520-08)
  kEmpty,
};

struct FieldRule {
  std::string_view name;
  Kind kind;
  std::string_view literal = {};
};

class Fields {
 public:
  const std::string& operator[](std::string_view name) const;
  bool Has(std::string_view name) const { return values_.count(std::string(name)) > 0; }
  void Set(std::string_view name, std::string value) { values_[std::string(name)] = std::move(value); }

 private:
  std::map<std::string, std::string> values_;
};

// Splits text at "&" and each part at its first ":" and checks the names in
// order and each value against its kind. error names the first deviation.
bool ParseFields(std::string_view text, std::span<const FieldRule> layout, Fields& out, std::string& error);

// One value against one kind; error says what was expected.
bool CheckValue(const FieldRule& rule, std::string_view value, std::string& error);

// The value of a field named name in text, without checking anything else.
std::string PeekField(std::string_view text, std::string_view name);

// Bytes of a kPercent value (already checked).
std::string PercentDecode(std::string_view text);

}  // namespace lumivex::sim
