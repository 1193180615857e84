#include "device/socket_setup.h"

#include <string>

#include "core/global.h"
#include "core/logging.h"
#include "device/nat_traversal.h"
#include "device/tcp_connect.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

bool Connect(DeviceConnection& conn, ConnectResult& result) {
  int fd = -1;
  result = ConnectWithin5s(conn, conn.m_Ip.str(), conn.m_DstPort, fd);
  if (result != ConnectResult::kConnected) return false;
  conn.tcpSocket = fd;
  return true;
}

const char* SecondAttemptFailure(ConnectResult result) {
  switch (result) {
    case ConnectResult::kSocketFailed: return "return false7";
    case ConnectResult::kGetOptFailed: return "return false6";
    case ConnectResult::kSetOptFailed: return "return false5";
    case ConnectResult::kNonBlockFailed: return "return false4";
    case ConnectResult::kTimedOut: return "return false1";
    case ConnectResult::kRefused: return "return false2";
    default: return "connect to the relay stopped";
  }
}

// A relay in place of the direct path; the session then counts as a relay one.
bool FallBackToRelay(DeviceConnection& conn, const std::string& ip, int32_t port) {
  conn.m_Ip = ip;
  conn.m_DstPort = static_cast<uint16_t>(port);
  LogLine("change to zhongzhuan:IP=" + conn.m_Ip.str() + ",Port=" + std::to_string(conn.m_DstPort));
  ConnectResult result;
  if (!Connect(conn, result)) {
    LogLine(SecondAttemptFailure(result));
    return false;
  }
  conn.m_DeviceNATType = DEVICE_TRAN_SRV;
  LogLine("change to [DEVICE_TRAN_SRV].");
  return true;
}

bool ConnectDirect(DeviceConnection& conn) {
  LogLine("m_DstIpAddress=" + conn.m_Ip.str() + ",m_DstPort=" + std::to_string(conn.m_DstPort));
  ConnectResult result;
  if (Connect(conn, result)) return true;
  if (result == ConnectResult::kRefused) LogLine("return false3");
  // Only a camera that did not answer in time is tried through the relay.
  if (result != ConnectResult::kTimedOut) return false;
  return FallBackToRelay(conn, conn.m_TranIp.str(), conn.m_DstTranPort);
}

bool ConnectRelay(DeviceConnection& conn) {
  LogLine("m_DstIpAddress=" + conn.m_Ip.str() + ",m_DstPort=" + std::to_string(conn.m_DstPort));
  ConnectResult result;
  return Connect(conn, result);
}

bool ConnectTraversed(ServiceContext& ctx, DeviceConnection& conn) {
  switch (TraverseNat(ctx, conn)) {
    case TraversalResult::kConnected:
      LogLine("traversal: UDT connection up");
      return true;
    case TraversalResult::kNoConnection:
      // The login's default relay, not the one of this negotiation.
      return FallBackToRelay(conn, ctx.g.m_TranSrvIpAddress.str(), ctx.g.m_TranSrvTCPPort);
    default:
      return false;
  }
}

}  // namespace

bool GetSocketByNATType(ServiceContext& ctx, DeviceConnection& conn) {
  switch (conn.m_DeviceNATType) {
    case DEVICE_LAN:
    case DEVICE_PORT_MAPPING:
      return ConnectDirect(conn);
    case DEVICE_TRAN_SRV:
      return ConnectRelay(conn);
    case DEVICE_NAT_TRAVERSAL:
      return ConnectTraversed(ctx, conn);
    default:
      return false;
  }
}

}  // namespace lumivex
