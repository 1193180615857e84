#pragma once
// Exact-length send and receive on a session's socket, TCP or UDT. Each
// waits for the socket to become ready or the session's stop, whichever
// comes first (TCP: at once; UDT: within kUdtWaitMs); once stopped they
// return true, even with bytes missing, so callers check the stop after
// each call.

#include <cstddef>

#include "device/connection.h"

namespace lumivex {

// The longest a TCP wait sleeps before it looks again; the stop wakes it.
inline constexpr int kSocketWaitMs = 1000;
inline constexpr int kUdtWaitMs = 20;

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
