#include "config/user_dirs.h"

#include <fstream>
#include <sstream>

#include "core/folders.h"
#include "core/xdg.h"

namespace lumivex {
namespace {

constexpr std::streamsize kMaxFileBytes = 64 * 1024;

// The file is shell text: the value sits in double quotes and may escape
// characters with a backslash.
std::string ShellValue(std::string_view raw) {
  if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') raw = raw.substr(1, raw.size() - 2);
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
    value += raw[i];
  }
  return value;
}

}  // namespace

std::string UserDirFromText(std::string_view text, std::string_view name, const std::string& home) {
  const std::string key = "XDG_" + std::string(name) + "_DIR=";
  std::string found;
  std::istringstream lines{std::string(text)};
  for (std::string line; std::getline(lines, line);) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    std::string_view raw(line);
    raw.remove_prefix(start + key.size());
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\r')) raw.remove_suffix(1);
    std::string value = ShellValue(raw);
    if (value == "$HOME" || value.starts_with("$HOME/")) {
      if (home.empty()) continue;
      value = home + value.substr(5);
    }
    if (!value.empty() && value.front() == '/') found = WithoutTrailingSlash(value);  // the last one counts
  }
  return found;
}

std::string UserDir(std::string_view name, std::string_view fallback) {
  const std::string home = HomeFolder();
  const std::string config = XdgConfigHome();
  if (!config.empty()) {
    std::ifstream in(config + "/user-dirs.dirs", std::ios::binary);
    std::string text(kMaxFileBytes, '\0');
    in.read(text.data(), kMaxFileBytes);
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::string dir = UserDirFromText(text, name, home);
    if (!dir.empty()) return dir;
  }
  return home.empty() ? "" : home + "/" + std::string(fallback);
}

}  // namespace lumivex
