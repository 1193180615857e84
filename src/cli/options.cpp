#include "cli/options.h"

#include <string>
#include <string_view>

#include "core/deployment.h"

namespace lumivex::cli {

const char* Usage() {
  static const std::string text = std::string(R"(usage: lumivexctl [OPTIONS] COMMAND [ARGS]

The command-line driver of the Lumivex client. Every command but "info",
"fetch" and "recover" first signs in exactly as the desktop client does:
security handshake, LAN probe, login, and the user's configuration file.

Options:
)") + kDeploymentOptionsHelp + R"(  -u USER -p PASSWORD   sign-in name and password (also --user, --password);
                        without -p the password remembered in USER's
                        configuration is used
  --remember            remember the password ("记住密码")
  --auto-login          sign in automatically next time ("自动登录")

Commands:
  login                      sign in and print the session's servers
  devices                    list the account's devices, one JSON object a line
  probe-lan                  list the LAN probe's answers and the devices found
  alarm SID on|off           switch the motion alarm
  alarm-time SID START END   set the daily alarm hours (0-23)
  led SID                    switch the status LED to its other state
  voice SID                  switch the voice prompts to their other state
  rename SID NAME            rename a device (at most 30 characters)
  remove SID                 remove a device from the account
  bound-users SID            list the accounts bound to a device you administer
  bind-user SID NAME         share a device with another account
  unbind-user SID NAME       withdraw the sharing
  change-password OLD NEW CONFIRM
  recover USER --answer TEXT --new-password P [--question N]
                             reset a forgotten password through a security
                             question (N: its number; default the first offered)
  feedback TEXT              send feedback
  check-update [--yes]       ask for a newer client; --yes agrees to download it
  settings [--video-path DIR] [--image-path DIR] [--file-length 10|20|30|40]
           [--to-tray 0|1] [--show-close 0|1] [--auto-login 0|1] [--auto-play 0|1]
           [--autostart on|off] [--update 0|1|2] [--layout 1x1|2x2|3x3|4x4|3x3M|4x4M]
                             the settings sheet: saves the options given as
                             "保存设置" does, then prints every value as
                             "key: value"; --autostart makes the desktop
                             client start at log-on
  playback-list SID          the days and hours recorded on the memory card
  playback SID YYYYMMDD-HH [--seconds N] [--jump S] [--forward] [--back]
           [--pause-after S --resume-after T] [--save FILE.mp4]
           [--listen OUT.wav] [--pattern DIGITS]
                             plays a recorded hour for N seconds (default 10)
                             as the playback window does: prints the start
                             and end labels, "state: <state>", "position:
                             <s> <time>" every second, each control as it is
                             sent (the jump, forward and back as soon as it
                             plays; pause and resume S and T seconds after),
                             and the frames shown; --save keeps the received
                             frames as an MP4 file (which must not exist)
  connect SID [--frames N] [--pattern DIGITS]
                             live view without a window: prints "connection
                             type: <n>", the stream parameters, and for each
                             whole video frame "frame: <number> <bytes>
                             <crc32>" until N frames (default 30) arrived
  watch SID [--seconds N] [--record] [--snapshot] [--listen OUT.wav]
        [--talk IN.wav] [--quality 88000|480000|1200000] [--ptz left|right|up|down ...]
        [--folder DIR] [--watchdog-seconds N] [--pattern DIGITS]
                             a live session as the video wall runs it, for N
                             seconds (default 10): prints "state: <state>",
                             the connection type, frames shown, decoded and
                             dropped, the bit rate and the files written
  info                       program folder, network identity, service URLs
  fetch URL [--body]         one GET with the client's transport

Output: what the client shows is printed as "message: <text>" (message
boxes), "status: <text>" (status lines), "tip: <text>" (tips) and
"question: <text>" with "answer: yes|no"; results as plain lines or JSON.
Exit status: 0 success, 1 a refused or failed operation, 2 a usage error
(also input that the windows' checks refuse).
)";
  return text.c_str();
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  CommandLine line;
  line.operandsAllowed = true;
  line.programOptions = {{"user", 'u', true}, {"password", 'p', true},
                         {"remember", 0, false}, {"auto-login", 0, false}};
  line.onOption = [&o](const ProgramOption& p, const char* value, std::string&) {
    switch (p.shortName) {
      case 'u': o.user = value; break;
      case 'p': o.password = value; break;
      default: (p.longName == std::string_view("remember") ? o.remember : o.autoLogin) = true;
    }
    return true;
  };
  int first = ParseCommandLine(argc, argv, line, o, error);
  if (first < 0) return false;
  o.command.assign(argv + first, argv + argc);
  if (o.command.empty() && !o.help && !o.version) {
    error = "no command given";
    return false;
  }
  return true;
}

}  // namespace lumivex::cli
