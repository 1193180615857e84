#pragma once
// The command line of lumivex-sim and its state folder.

#include <cstdint>
#include <string>

#include "sim/pki.h"

namespace lumivex::sim {

struct SimOptions {
  std::string scenario;
  std::string state = "./sim-state";
  std::string host = "127.0.0.1";
  uint16_t port = 0;
  uint16_t lanPort = 53217;
  std::string lanBind = "127.255.255.255";
  std::string frameLog;    // empty: none
  std::string controlLog;  // empty: none
  std::string talkDir;     // empty: talk-back is decoded, not written
  std::string dumpDir;     // empty: nothing dumped
  bool verbose = false;
  bool help = false;
  bool version = false;
};

inline constexpr const char* kUsage =
    "usage: lumivex-sim --scenario FILE [--state DIR] [--host 127.0.0.1] [--port N]\n"
    "                   [--lan-port N] [--lan-bind ADDR] [--frame-log FILE]\n"
    "                   [--control-log FILE] [--talk-dir DIR] [--dump-dir DIR] [--verbose]\n"
    "       lumivex-sim --help | --version\n"
    "  --scenario FILE  accounts, cameras and fault knobs (JSON; see sim/scenarios/README.md)\n"
    "  --state DIR      folder for ca.pem, server.pem, server.key (default ./sim-state)\n"
    "  --host ADDR      address the web service listens on (default 127.0.0.1)\n"
    "  --port N         HTTP and HTTPS port, 0 picks a free one (default 0)\n"
    "  --lan-port N     UDP port of the LAN probe responder, 0 picks one (default 53217)\n"
    "  --lan-bind ADDR  address the responder binds (default 127.255.255.255)\n"
    "  --frame-log FILE one line per video frame the cameras send: <sid> <number> <bytes> <crc32>\n"
    "  --control-log FILE one line per message, stream start and end, talk packet a camera took:\n"
    "                   <ms> <sid> <what>\n"
    "  --talk-dir DIR   the talk-back each camera heard, as DIR/<sid>.wav\n"
    "  --dump-dir DIR   what the sim sends, one file per message, as DIR/<fuzz target>/...\n"
    "  --verbose        log every decoded field string to standard error\n"
    "When ready it prints: lumivex-sim: ready web=<port> lan=<port> ca=<path of ca.pem>"
    " relay=<port> traversal=<port>\n";

// false with error on an unknown option, a missing value or a bad number.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& out, std::string& error);

// OpenSSL's subjectAltName text for the host the sim serves.
std::string AltNamesFor(const std::string& host);

// Creates dir if needed and writes ca.pem, server.pem and server.key (0600);
// caPath receives the absolute path of ca.pem.
bool WriteStateFolder(const std::string& dir, const Pki& pki, std::string& caPath, std::string& error);

}  // namespace lumivex::sim
