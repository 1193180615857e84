#include "device/negotiation.h"

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/text.h"
#include "webservice/request.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr std::size_t kCurrentReplyBytes = 262144;
constexpr std::size_t kCurrentInnerBytes = 262144;

FieldString CurrentFields(const ServiceContext& ctx, const std::string& sid, bool playback,
                          std::string_view date) {
  const Global& g = ctx.g;
  FieldString fields;
  fields.Add("uid", ctx.settings.userName.str())
      .Add("sid", sid)
      .Add("mac", g.m_Mac.str())
      .Add("token", g.m_Token.str())
      .Add("exp", g.m_ClientExp.str())
      .Add("mod", g.m_ClientMod.str())
      .Add("net", 4)
      .Add("inner", g.m_LocalIp.str())
      .Add("us", g.m_UDPConnType)
      .Add("ts", g.m_TCPConnType)
      .Add("play", playback ? 1 : 0)
      .Add("date", playback ? date : std::string_view())
      .Add("umac", ctx.settings.umac.str())
      .Add("ispub", "");
  return fields;
}

// An address member and a port member of serverBean, both text.
struct Endpoint {
  std::string ip;
  uint16_t port = 0;
};

bool ReadEndpoint(const Json::Value& bean, const char* ipName, const char* portName,
                  std::size_t maxIpChars, Endpoint& out) {
  std::string port;
  if (!ReadText(bean, ipName, out.ip) || !ReadText(bean, portName, port)) {
    LogLine(std::string("RequestStart::") + ipName + " or " + portName + " is not text");
    return false;
  }
  if (out.ip.size() > maxIpChars) {
    LogLine(std::string("RequestStart::") + ipName + " is longer than an address");
    return false;
  }
  if (!PortNumber(port, out.port)) {
    LogLine(std::string("RequestStart::") + portName + " is no port: " + port.substr(0, 20));
    return false;
  }
  return true;
}

void LogEndpoint(const char* name, const Endpoint& a) {
  LogLine(std::string("RequestStart::StatusCode[") + name + "]: " + a.ip + ":" + std::to_string(a.port) + ".");
}

// The login's default relay: every relay of a playback session.
void TakeDefaultRelay(const Global& g, DeviceConnection& conn, bool asDevice) {
  const uint16_t port = static_cast<uint16_t>(g.m_TranSrvTCPPort & 0xFFFF);
  if (asDevice) {
    conn.m_Ip = g.m_TranSrvIpAddress.str();
    conn.m_DstPort = port;
  } else {
    conn.m_TranIp = g.m_TranSrvIpAddress.str();
    conn.m_DstTranPort = port;
  }
}

// The row of the status table; false when its members do not fit. A
// playback session reads no relay of this answer.
bool TakeStatus(int32_t status, const Json::Value& bean, bool playback, const Global& g, DeviceConnection& conn) {
  constexpr std::size_t kIp = decltype(conn.m_Ip)::kMaxLength;
  constexpr std::size_t kTravIp = decltype(conn.travSrvIp)::kMaxLength;
  Endpoint device, relay;
  auto readRelay = [&] {
    if (playback) {
      TakeDefaultRelay(g, conn, false);
      return true;
    }
    if (!ReadEndpoint(bean, "tranIP", "tranPortTcp", kIp, relay)) return false;
    conn.m_TranIp = relay.ip;
    conn.m_DstTranPort = relay.port;
    return true;
  };
  switch (status) {
    case DEVICE_LAN:
    case DEVICE_PORT_MAPPING: {
      const char* ipName = status == DEVICE_LAN ? "devInner" : "devOuter";
      if (!ReadEndpoint(bean, ipName, "devPortTcp", kIp, device) || !readRelay()) return false;
      conn.m_Ip = device.ip;
      conn.m_DstPort = device.port;
      LogEndpoint(status == DEVICE_LAN ? "DEVICE_LAN" : "DEVICE_PORT_MAPPING", device);
      if (status == DEVICE_PORT_MAPPING) LogLine("端口映射");
      break;
    }
    case DEVICE_NAT_TRAVERSAL:
      if (!ReadEndpoint(bean, "penetrateIP", "penetratePort", kTravIp, device) || !readRelay()) return false;
      conn.travSrvIp = device.ip;
      conn.travSrvPort = device.port;
      LogEndpoint("DEVICE_NAT_TRAVERSAL", device);
      break;
    case DEVICE_TRAN_SRV:
      if (playback) {
        TakeDefaultRelay(g, conn, true);
        LogLine("DEVICE_TRAN_SRV");
        break;
      }
      if (!ReadEndpoint(bean, "tranIP", "tranPortTcp", kIp, relay)) return false;
      conn.m_Ip = relay.ip;
      conn.m_DstPort = relay.port;
      LogEndpoint("DEVICE_TRAN_SRV", relay);
      LogLine("中转服务器");
      break;
    default:
      LogLine(playback ? "Default" : "RequestStart::StatusCode[unknown].");
      return false;
  }
  conn.m_DeviceNATType = status;
  return true;
}

}  // namespace

bool RequestStart(ServiceContext& ctx, const std::string& sid, DeviceConnection& conn, bool playback,
                  std::string_view date) {
  LogLine("go to the RequestStart.");
  if (!conn.sid.Assign(sid)) return false;  // a cut id would name another camera
  ServiceRequest request = EnvelopeRequest(ctx, "current", CurrentFields(ctx, sid, playback, date), kCurrentReplyBytes);
  request.cancel = conn.stop.cancellation();  // a stop ends the transfer at once
  ServiceReply reply = SendRequest(ctx, request);
  if (!reply.StatusIs("OK")) return false;
  Json::Value inner;
  const Json::Value* bean = nullptr;
  if (OpenInnerReply(ctx, reply, kCurrentInnerBytes, inner) != InnerResult::kOpened ||
      !ReadObject(inner, "serverBean", bean) || !bean) {
    LogLine("RequestStart::serverBean is missing");
    return false;
  }
  if (!playback) {
    std::string limit;
    if (!ReadText(*bean, "transVideoLong", limit)) {
      LogLine("RequestStart::transVideoLong is not text");
      return false;
    }
    conn.transVideoLong = DecimalPrefix(limit);  // missing or empty: 0
  }
  int32_t status = 0;
  if (!ReadNumber(*bean, "status", status)) {
    LogLine("RequestStart::status is not a number");
    return false;
  }
  LogLine("RequestStart::StatusCode=" + std::to_string(status) + ".");
  if (status == DEVICE_OFFLINE) {
    LogLine("RequestStart::StatusCode[DEVICE_OFFLINE].");
    conn.m_DeviceNATType = DEVICE_OFFLINE;
    return false;
  }
  if (!TakeStatus(status, *bean, playback, ctx.g, conn)) return false;
  if (status == DEVICE_NAT_TRAVERSAL) ctx.g.SetTraversalServer(conn.travSrvIp.str(), conn.travSrvPort);
  return true;
}

}  // namespace lumivex
