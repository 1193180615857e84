#include "core/autostart.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "core/file_write.h"
#include "core/logging.h"
#include "core/text.h"
#include "core/xdg.h"

namespace lumivex {
namespace {

constexpr char kEntryName[] = "lumivex.desktop";
constexpr char kGroup[] = "[Desktop Entry]";
// A larger file is no entry of ours; reading it whole would serve nothing.
constexpr std::streamsize kMaxEntryBytes = 64 * 1024;
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool HasControlCharacter(std::string_view text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// Inside double quotes these four take a backslash.
std::string Quoted(std::string_view argument) {
  std::string out = "\"";
  for (char c : argument) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

// The string rules of every value come on top: "\" is written "\\"; and
// "%" starts a field code in Exec.
std::string EscapedValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += '\\';
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

}  // namespace

std::string AutostartEntryPath() {
  std::string config = XdgConfigHome();
  return config.empty() ? "" : config + "/autostart/" + kEntryName;
}

std::string DesktopExecArgument(std::string_view program) {
  if (program.empty() || program.front() != '/' || Utf16Length(program) < 0 ||
      HasControlCharacter(program))
    return "";
  bool reserved = program.find_first_of(kReserved) != std::string_view::npos;
  return EscapedValue(reserved ? Quoted(program) : std::string(program));
}

std::string AutostartEntryText(std::string_view program) {
  std::string exec = DesktopExecArgument(program);
  if (exec.empty()) return "";
  return std::string(kGroup) +
         "\n"
         "Type=Application\n"
         "Name=velmor视频客户端\n"
         "Comment=Lumivex camera client\n"
         "Exec=" + exec + "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool SetAutostartEntry(const std::string& entryPath, bool on, const std::string& program) {
  if (entryPath.empty()) return false;
  std::error_code ec;
  if (!on) {
    std::filesystem::remove(entryPath, ec);
    if (ec) LogLine("autostart: cannot remove " + entryPath + ": " + ec.message());
    return !ec;
  }
  std::string text = AutostartEntryText(program);
  if (text.empty()) {
    LogLine("autostart: the program path cannot stand in a desktop entry: " + program);
    return false;
  }
  std::filesystem::create_directories(std::filesystem::path(entryPath).parent_path(), ec);
  if (ec || !WriteFileAtomically(entryPath, text, 0644)) {
    LogLine("autostart: cannot write " + entryPath);
    return false;
  }
  return true;
}

bool AutostartEntryEnabled(const std::string& entryPath) {
  if (entryPath.empty()) return false;
  std::ifstream in(entryPath, std::ios::binary);
  if (!in) return false;
  std::string text(kMaxEntryBytes + 1, '\0');
  in.read(text.data(), kMaxEntryBytes + 1);
  if (in.gcount() > kMaxEntryBytes) return false;
  text.resize(static_cast<std::size_t>(in.gcount()));

  std::istringstream lines(text);
  std::string line;
  bool inGroup = false, exec = false, hidden = false;
  while (std::getline(lines, line)) {
    std::string_view l = Trim(line);
    if (l.empty() || l.front() == '#') continue;
    if (l.front() == '[') {
      inGroup = l == kGroup;
      continue;
    }
    std::size_t eq = l.find('=');
    if (!inGroup || eq == std::string_view::npos) continue;
    std::string_view key = Trim(l.substr(0, eq)), value = Trim(l.substr(eq + 1));
    if (key == "Exec") exec = !value.empty();
    if (key == "Hidden") hidden = value == "true";
  }
  return exec && !hidden;
}

bool SetAutostart(bool on, const std::string& program) {
  return SetAutostartEntry(AutostartEntryPath(), on, program);
}

bool AutostartEnabled() { return AutostartEntryEnabled(AutostartEntryPath()); }

}  // namespace lumivex
