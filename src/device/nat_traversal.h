#pragma once
// NAT traversal: a UDP socket punched towards the camera with the help of the
// traversal server, then a UDT connection that the camera opens to it.
//
// Two short-lived exchanges of two threads each (sender and receiver) share
// the connection's state words; the session thread starts and joins them.

#include "device/connection.h"

namespace lumivex {

struct ServiceContext;

enum class TraversalResult {
  kConnected,     // conn.udtSocket is connected
  kNoConnection,  // the UDP socket was bound but no UDT connection came: fall back
  kFailed,        // no UDP socket could be bound, or no thread started: no fall-back
  kStopped,       // the stop flag ended it
};

// Uses conn.sid, conn.travSrvIp/travSrvPort and m_DevKeyValue; may correct
// conn.m_Ip/m_DstPort from the camera's hello.
TraversalResult TraverseNat(ServiceContext& ctx, DeviceConnection& conn);

}  // namespace lumivex
