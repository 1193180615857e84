#pragma once
// Deployment values (lumivex.ini beside the program, then command-line
// overrides) and the URLs built from them.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumivex {

struct Global;
struct ProgramLayout;

struct DeploymentSettings {
  std::string host = "127.0.0.1";
  uint16_t port = 0;  // 0: the scheme's default port
  uint16_t webPort = 80;
  std::string scheme = "https";
  std::string caFile;  // relative paths are taken from the program folder
  bool tlsVerify = true;
  std::string localIp, localMask;  // "local_net = IP/MASK": overrides the detected network
  uint16_t lanPort = 53217;        // port of the LAN probe
};

// "key = value" lines; '#' or ';' start a comment; a "[section]" line is
// ignored. Unknown keys and bad values are refused with a message naming the line.
bool ParseDeploymentIni(std::string_view text, DeploymentSettings& settings, std::string& error);

// A missing file leaves the settings as they are and succeeds.
bool LoadDeploymentIni(const std::string& path, DeploymentSettings& settings, std::string& error);

// Sets one value by its ini key; the command-line overrides use it too.
bool SetDeploymentValue(DeploymentSettings& settings, std::string_view key, std::string_view value,
                        std::string& error);

// lumivex.ini of the program folder (installed: else the system's, whose
// relative ca_file is taken from its own folder), then the command-line
// overrides in order.
bool ResolveDeployment(const ProgramLayout& layout,
                       const std::vector<std::pair<std::string, std::string>>& overrides,
                       DeploymentSettings& settings, std::string& error);

// Copies the values into global, the CA file resolved against the program folder.
bool ApplyDeployment(const DeploymentSettings& settings, const std::string& programFolder,
                     Global& g, std::string& error);

// scheme "://" host [":" port] "/velmor/" operation ".do?data="
std::string OperationUrlPrefix(const Global& g, std::string_view operation);
// The older operations name m_WebPort explicitly: scheme "://" host ":" webPort ...
std::string WebPortUrlPrefix(const Global& g, std::string_view operation);
// Thumbnails come over plain http from the service host.
std::string ThumbnailUrl(const Global& g, std::string_view img);

// The options of both programs that override lumivex.ini, for their --help.
inline constexpr char kDeploymentOptionsHelp[] = R"(  --home DIR            program folder (config/, lumivex.ini, log/); default
                        $LUMIVEX_HOME or the executable's folder; an
                        installed program uses ~/.config/lumivex and
                        ~/.local/state/lumivex (XDG_CONFIG_HOME,
                        XDG_STATE_HOME) and /etc/lumivex/lumivex.ini
  --host HOST           service host                     (ini: host)
  --port N              port of the operations            (ini: port)
  --web-port N          port of the two older operations  (ini: web_port)
  --scheme http|https   URL scheme                        (ini: scheme)
  --ca-file FILE        trust this CA besides the system's (ini: ca_file)
  --insecure            turn TLS peer and host verification off
  --local-net IP/MASK   the network the cameras are on, instead of the
                        first interface's                 (ini: local_net)
  --lan-port N          port of the LAN probe, default 53217 (ini: lan_port)
  --verbose             print the diagnostic log on standard error and
                        write it whole to the log file
  --trace-http          print libcurl's own trace of every transfer on
                        standard error
  --help, -h            this text
  --version             the program's version
)";

}  // namespace lumivex
