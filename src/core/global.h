#pragma once
// The one process-wide state object: versions, keys, token, network identity,
// relay and detection servers, and the service address.
//
// Threads: the handshake fields are written on the start-up thread before any
// other client thread exists; the sign-in fields by the login worker while the
// start-up thread waits for it; everything else reads them afterwards (the
// hand-over is the thread start or join). Fields that several threads write
// while others run are atomics, noted below.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/fixed_text.h"

namespace lumivex {

inline constexpr char kAppSecret[] = "Rk3wPz8eVb2q@mYd@";

struct Global {
  Global();
  Global(const Global&) = delete;
  Global& operator=(const Global&) = delete;

  std::atomic<int32_t> m_IsNew{0};  // set by the sign-in window's UI thread
  FixedText<5> m_ClientType{"pc"};
  FixedText<10> m_ClientVersion{"2.0"};
  FixedText<5> m_ProtocolVersion{"2.0"};
  FixedText<65> m_TimeStamp;
  FixedText<10> m_AppName{"velmor"};
  FixedText<41> m_HandshakeToken;
  FixedText<512> m_EncClientKey;
  FixedText<260> m_ClientExp;
  FixedText<260> m_ClientMod;
  FixedText<512> m_ClientPubKey;
  FixedText<41> m_AppIdent;
  FixedText<41> m_HandshakeKey;
  FixedText<512> m_ServerPubKey;
  FixedText<260> m_ServerExp;
  FixedText<260> m_ServerMod;
  FixedText<5> m_KeyValue;
  FixedText<260> m_Password;
  FixedText<260> m_Token;
  FixedText<128> m_DevProtocol{"3.0"};
  FixedText<18> m_Mac;
  FixedText<16> m_LocalIp;
  FixedText<16> m_LocalMask;
  FixedText<5> m_DevKeyValue;
  // Camera connection threads take ports concurrently: see NextLocalUdpPort.
  std::atomic<uint16_t> m_LocalUdpPort{18885};
  int32_t m_UDPConnType = 0;
  int32_t m_TCPConnType = 1;
  FixedText<260> m_AppSecret{kAppSecret};
  // Wider than the original 18 so that a deployment may name a full host name.
  FixedText<65> m_Host{"127.0.0.1"};
  uint16_t m_WebPort = 80;
  FixedText<17> m_TranSrvIpAddress;
  int32_t m_TranSrvUDPPort = 0;
  int32_t m_TranSrvTCPPort = 0;
  FixedText<17> m_NCSrv1IpAddress;
  int32_t m_NCSrv1TCPPort = 0;
  int32_t m_NCSrv1UDPPort = 0;
  FixedText<17> m_NCSrv2IpAddress;
  int32_t m_NCSrv2TCPPort = 0;
  int32_t m_NCSrv2UDPPort = 0;
  FixedText<12> m_Scheme{"https"};
  // The traversal server of the camera negotiated last. Sessions keep their
  // own copy, so that two negotiations cannot mix them up; connection threads
  // write these at once, so travSrvMutex guards both.
  mutable std::mutex travSrvMutex;
  FixedText<20> m_TravSrvIp;
  int32_t m_TravSrvPort = 0;
  std::atomic<int32_t> m_LoggedIn{0};
  // Index into the device list of the camera last selected in the device
  // tree, -1 for none. The window pointers live with the desktop program,
  // which owns its windows.
  std::atomic<int32_t> selectedDevice{-1};
  std::atomic<int32_t> m_LimitedSeries{0};

  // Deployment values (lumivex.ini and the command line).
  uint16_t port = 0;  // port of the operations; 0: the scheme's default, not written into URLs
  std::string caFile;  // private CA to trust besides the system's
  bool tlsVerify = true;
  // The network the cameras are on, when it is not the one of the first
  // interface (the stand-in cloud runs on loopback); empty: detected.
  std::string localIpOverride, localMaskOverride;
  uint16_t lanProbePort = 53217;

  void SetTraversalServer(const std::string& ip, int32_t port) {
    std::lock_guard lock(travSrvMutex);
    m_TravSrvIp = ip;
    m_TravSrvPort = port;
  }

  // Increments before use, so the first port handed out is 18886.
  uint16_t NextLocalUdpPort() { return static_cast<uint16_t>(m_LocalUdpPort.fetch_add(1) + 1); }
};

}  // namespace lumivex
