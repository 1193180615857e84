// The camera's connect reply: the input is its JSON text, which the camera
// seals into a session packet; the handshake reads it over a socket pair,
// for a live and for a playback session, and checks the parameter sets.

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/session_packet.h"
#include "device/stream_handshake.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace lumivex;
  static fuzz::FileService service;  // the client's state; no web operation
  std::string reply = fuzz::SealPlain(fuzz::kDevKey, FLAG_INTERACTIVE,
                                      std::string(reinterpret_cast<const char*>(data), size), kPacketHeaderBytes);
  if (reply.empty() || reply.size() > kReceiveBufferBytes) return 0;
  for (bool playback : {false, true}) {
    fuzz::SocketPair pair;
    if (!pair.ok() || !pair.Feed(reply)) return 0;
    DeviceConnection conn;
    conn.tcpSocket = pair.TakeReader();
    conn.sid = "cam0001";
    conn.m_DeviceNATType = DEVICE_LAN;
    ConnectRequest request{playback, playback ? "20140520-08" : ""};
    StreamParameters params;
    if (Ctrl_Recv_Play_TCP(*service.ctx, conn, request, params) &&
        (params.parameterSets.sps.size() > ParameterSetPackage::kMaxSetBytes ||
         params.parameterSets.pps.size() > ParameterSetPackage::kMaxSetBytes))
      __builtin_trap();
  }
  return 0;
}
