#pragma once
// The TCP connect of every TCP path to a camera, a port mapping or a relay:
// a larger receive buffer (live sessions), non-blocking for the whole session, and at most
// 5 s for the connection to come up.

#include <chrono>
#include <cstdint>
#include <string_view>

#include "device/connection.h"

namespace lumivex {

inline constexpr std::chrono::milliseconds kConnectWait{5000};

enum class ConnectResult {
  kConnected,
  kSocketFailed,    // socket()
  kGetOptFailed,    // reading SO_RCVBUF
  kSetOptFailed,    // setting it
  kNonBlockFailed,  // FIONBIO
  kRefused,         // the connect failed, at once or while waiting (also an address that is not IPv4 text)
  kTimedOut,        // no answer within the wait, or the wait itself failed
  kStopped,         // the session's stop flag ended the wait
};

// fd receives the connected socket on kConnected; on anything else no socket
// is left open. A stop of conn ends the wait at once.
ConnectResult ConnectWithin5s(const DeviceConnection& conn, std::string_view ip, uint16_t port, int& fd,
                              std::chrono::milliseconds wait = kConnectWait);

}  // namespace lumivex
