#pragma once
// The JSON messages of a camera session: flat objects whose every value is
// a string, written compactly with the members in ascending order of their
// names and a closing newline, the form the cameras and servers expect.

#include <map>
#include <string>

namespace lumivex {

using JsonMessage = std::map<std::string, std::string>;

// {"a":"1","b":"2"} followed by "\n". Quotes, backslashes and control
// characters are escaped; other bytes pass as they are (UTF-8).
std::string CompactJson(const JsonMessage& message);

}  // namespace lumivex
