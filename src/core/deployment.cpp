#include "core/deployment.h"

#include <arpa/inet.h>

#include <charconv>
#include <filesystem>
#include <fstream>

#include "core/global.h"
#include "core/program_folder.h"

namespace lumivex {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ParsePort(std::string_view text, uint16_t& port, bool allowZero) {
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 65535) return false;
  if (value == 0 && !allowZero) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool ParseSwitch(std::string_view text, bool& on) {
  if (text == "1" || text == "true" || text == "yes" || text == "on") return on = true, true;
  if (text == "0" || text == "false" || text == "no" || text == "off") return on = false, true;
  return false;
}

bool ParseIpv4(std::string_view text, in_addr_t& address) {
  in_addr a{};
  if (text.size() > 15 || inet_pton(AF_INET, std::string(text).c_str(), &a) != 1) return false;
  address = a.s_addr;
  return true;
}

// The scheme's own port is not written into URLs.
bool IsDefaultPort(std::string_view scheme, uint16_t port) {
  return port == 0 || (scheme == "https" && port == 443) || (scheme == "http" && port == 80);
}

}  // namespace

bool SetDeploymentValue(DeploymentSettings& s, std::string_view key, std::string_view value,
                        std::string& error) {
  bool ok = true;
  if (key == "host") {
    ok = !value.empty() && value.find_first_of("/:@?#& \t") == std::string_view::npos &&
         value.size() <= FixedText<65>::kMaxLength;
    if (ok) s.host = value;
  } else if (key == "port") {
    ok = ParsePort(value, s.port, true);
  } else if (key == "web_port") {
    ok = ParsePort(value, s.webPort, false);
  } else if (key == "scheme") {
    ok = value == "http" || value == "https";
    if (ok) s.scheme = value;
  } else if (key == "ca_file") {
    s.caFile = value;
  } else if (key == "local_net") {
    std::size_t slash = value.find('/');
    in_addr_t ip = 0, mask = 0;
    ok = slash != std::string_view::npos && ParseIpv4(value.substr(0, slash), ip) &&
         ParseIpv4(value.substr(slash + 1), mask);
    if (ok) {
      s.localIp = value.substr(0, slash);
      s.localMask = value.substr(slash + 1);
    }
  } else if (key == "lan_port") {
    ok = ParsePort(value, s.lanPort, false);
  } else if (key == "tls_verify") {
    ok = ParseSwitch(value, s.tlsVerify);
  } else {
    error = "unknown setting \"" + std::string(key) + "\"";
    return false;
  }
  if (!ok) error = "bad value \"" + std::string(value) + "\" for " + std::string(key);
  return ok;
}

bool ParseDeploymentIni(std::string_view text, DeploymentSettings& settings, std::string& error) {
  int number = 0;
  while (!text.empty()) {
    std::size_t eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++number;
    if (line.empty() || line.front() == '#' || line.front() == ';' || line.front() == '[') continue;
    std::size_t eq = line.find('=');
    std::string problem = "expected key = value";
    if (eq != std::string_view::npos &&
        SetDeploymentValue(settings, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), problem))
      continue;
    error = "line " + std::to_string(number) + ": " + problem;
    return false;
  }
  return true;
}

bool LoadDeploymentIni(const std::string& path, DeploymentSettings& settings, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  // A dozen keys: anything near this size is no deployment file of ours.
  constexpr std::streamsize kMaxIniBytes = 65536;
  std::string text(kMaxIniBytes + 1, '\0');
  in.read(text.data(), kMaxIniBytes + 1);
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad() || text.size() > static_cast<std::size_t>(kMaxIniBytes)) {
    error = path + ": " + (in.bad() ? "cannot be read" : "larger than 65536 bytes");
    return false;
  }
  if (!ParseDeploymentIni(text, settings, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool ResolveDeployment(const ProgramLayout& layout,
                       const std::vector<std::pair<std::string, std::string>>& overrides,
                       DeploymentSettings& settings, std::string& error) {
  const std::string own = layout.programFolder + "/lumivex.ini";
  std::error_code ec;
  if (layout.systemIni.empty() || std::filesystem::exists(own, ec)) {
    if (!LoadDeploymentIni(own, settings, error)) return false;
  } else {
    if (!LoadDeploymentIni(layout.systemIni, settings, error)) return false;
    settings.caFile = InFolder(std::filesystem::path(layout.systemIni).parent_path().string(), settings.caFile);
  }
  for (const auto& [key, value] : overrides)
    if (!SetDeploymentValue(settings, key, value, error)) return false;
  return true;
}

bool ApplyDeployment(const DeploymentSettings& s, const std::string& programFolder, Global& g,
                     std::string& error) {
  if (!g.m_Host.Assign(s.host)) {
    error = "host name too long: " + s.host;
    return false;
  }
  g.m_Scheme = s.scheme;
  g.port = s.port;
  g.m_WebPort = s.webPort;
  g.caFile = s.caFile.empty() ? std::string() : InFolder(programFolder, s.caFile);
  g.tlsVerify = s.tlsVerify;
  g.localIpOverride = s.localIp;
  g.localMaskOverride = s.localMask;
  g.lanProbePort = s.lanPort;
  return true;
}

std::string OperationUrlPrefix(const Global& g, std::string_view operation) {
  std::string url = g.m_Scheme.str() + "://" + g.m_Host.str();
  if (!IsDefaultPort(g.m_Scheme, g.port)) url += ":" + std::to_string(g.port);
  return url + "/velmor/" + std::string(operation) + ".do?data=";
}

std::string WebPortUrlPrefix(const Global& g, std::string_view operation) {
  return g.m_Scheme.str() + "://" + g.m_Host.str() + ":" + std::to_string(g.m_WebPort) + "/velmor/" +
         std::string(operation) + ".do?data=";
}

std::string ThumbnailUrl(const Global& g, std::string_view img) {
  std::string url = "http://" + g.m_Host.str();
  if (!IsDefaultPort(g.m_Scheme, g.port)) url += ":" + std::to_string(g.port);
  return url + std::string(img);
}

}  // namespace lumivex
