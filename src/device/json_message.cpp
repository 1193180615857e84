#include "device/json_message.h"

#include <cstdio>

namespace lumivex {
namespace {

void AppendQuoted(std::string& out, const std::string& text) {
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

}  // namespace

std::string CompactJson(const JsonMessage& message) {
  std::string out = "{";
  for (const auto& [name, value] : message) {  // std::map: ascending by name
    if (out.size() > 1) out += ',';
    AppendQuoted(out, name);
    out += ':';
    AppendQuoted(out, value);
  }
  out += "}\n";
  return out;
}

}  // namespace lumivex
