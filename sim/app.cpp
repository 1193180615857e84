#include "sim/app.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <string_view>

namespace lumivex::sim {
namespace {

bool ParsePort(std::string_view text, uint16_t& out) {
  if (text.empty() || text.size() > 5) return false;
  unsigned v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 65535) return false;
  out = static_cast<uint16_t>(v);
  return true;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text, bool secret, std::string& error) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    // the key is made private before any of it is written
    if (secret)
      std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
    out << text;
    if (!out.flush()) {
      error = path.string() + ": cannot be written";
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& out, std::string& error) {
  SimOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--verbose") {
      o.verbose = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      continue;
    }
    if (arg == "--version") {
      o.version = true;
      continue;
    }
    constexpr std::string_view kValued[] = {"--scenario", "--state",       "--host",     "--lan-bind",
                                            "--port",     "--lan-port",    "--frame-log", "--control-log",
                                            "--talk-dir", "--dump-dir"};
    if (std::find(std::begin(kValued), std::end(kValued), arg) == std::end(kValued)) {
      error = "unknown option " + std::string(arg);
      return false;
    }
    if (i + 1 >= argc) {
      error = std::string(arg) + ": needs a value";
      return false;
    }
    std::string_view value = argv[++i];
    if (arg == "--scenario") o.scenario = value;
    else if (arg == "--state") o.state = value;
    else if (arg == "--host") o.host = value;
    else if (arg == "--lan-bind") o.lanBind = value;
    else if (arg == "--frame-log") o.frameLog = value;
    else if (arg == "--control-log") o.controlLog = value;
    else if (arg == "--talk-dir") o.talkDir = value;
    else if (arg == "--dump-dir") o.dumpDir = value;
    else if (arg == "--port" || arg == "--lan-port") {
      if (!ParsePort(value, arg == "--port" ? o.port : o.lanPort)) {
        error = std::string(arg) + ": not a port number: " + std::string(value);
        return false;
      }
    }
  }
  if (!o.help && !o.version && o.scenario.empty()) {
    error = "--scenario FILE is required";
    return false;
  }
  if (o.state.empty() || o.host.empty()) {
    error = "--state and --host need non-empty values";
    return false;
  }
  out = std::move(o);
  return true;
}

std::string AltNamesFor(const std::string& host) {
  in_addr addr{};
  std::string names = inet_pton(AF_INET, host.c_str(), &addr) == 1 ? "IP:" + host : "DNS:" + host;
  if (host != "127.0.0.1") names += ",IP:127.0.0.1";
  if (host != "localhost") names += ",DNS:localhost";
  return names;
}

bool WriteStateFolder(const std::string& dir, const Pki& pki, std::string& caPath, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::filesystem::path folder = std::filesystem::absolute(dir, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    error = dir + ": cannot create the state folder";
    return false;
  }
  folder = folder.lexically_normal();
  if (!WriteFile(folder / "ca.pem", pki.caCertPem, false, error) ||
      !WriteFile(folder / "server.pem", pki.serverCertPem, false, error) ||
      !WriteFile(folder / "server.key", pki.serverKeyPem, true, error))
    return false;
  caPath = (folder / "ca.pem").string();
  return true;
}

}  // namespace lumivex::sim
