#pragma once
// How a camera can be reached right now ("current.do"): the connection type
// and the endpoints that the socket step connects to.

#include <string>
#include <string_view>

#include "device/connection.h"

namespace lumivex {

struct ServiceContext;

// Asks for sid's connection. On success conn.m_DeviceNATType is 2, 3, 4 or 5
// and the fields of that type are filled (type 4: travSrvIp/travSrvPort, and
// the process-wide traversal endpoint); conn.transVideoLong is stored
// whatever the type. A DEVICE_OFFLINE answer stores type 1 and fails; any
// other failure leaves the type as it was. An address longer than its field
// fails. Shows nothing: the session marks itself failed.
// playback: ask for the recording of date ("20140520-08") instead of live;
// every relay is then the login's default relay, and transVideoLong is not
// read.
bool RequestStart(ServiceContext& ctx, const std::string& sid, DeviceConnection& conn,
                  bool playback = false, std::string_view date = {});

}  // namespace lumivex
