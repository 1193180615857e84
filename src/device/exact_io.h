#pragma once
// Exact-length send and receive on a session's socket, TCP or UDT. Each
// waits in steps of 200 ms for the socket to become ready and checks the
// session's stop flag before every wait: once it is set they return true at
// once, even with bytes missing, so callers check the flag after each call.

#include <cstddef>

#include "device/connection.h"

namespace lumivex {

inline constexpr int kSocketWaitMs = 200;

// Fail on end of stream, a socket error or a failed wait. A completed
// receive adds length to conn.receivedBytes.
bool RecvTCP_Len(DeviceConnection& conn, void* buffer, std::size_t length);
bool RecvUDT_Len(DeviceConnection& conn, void* buffer, std::size_t length);
// One whole buffer under conn.sendMutex, so that the packets of several
// senders never interleave.
bool SendTCP_Len(DeviceConnection& conn, const void* buffer, std::size_t length);
bool SendUDT_Len(DeviceConnection& conn, const void* buffer, std::size_t length);

bool RecvLen(DeviceConnection& conn, Transport transport, void* buffer, std::size_t length);
bool SendLen(DeviceConnection& conn, Transport transport, const void* buffer, std::size_t length);

}  // namespace lumivex
