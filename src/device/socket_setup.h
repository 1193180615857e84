#pragma once
// Opens the transport of a negotiated session: TCP to the camera, its port
// mapping or a relay, or UDT after NAT traversal, with the relay fall-backs.

#include "device/connection.h"

namespace lumivex {

struct ServiceContext;

// Needs conn.m_DeviceNATType 2 to 5 (anything else fails at once, no socket
// opened). On success exactly one of conn.tcpSocket and conn.udtSocket is
// connected and the type tells the path: 2 or 3 direct TCP, 5 a relay (also
// after a fall-back), 4 UDT. A stop request ends it within 200 ms.
bool GetSocketByNATType(ServiceContext& ctx, DeviceConnection& conn);

}  // namespace lumivex
