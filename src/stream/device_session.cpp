// Start and stop of a session, its opening and its receive thread.

#include "stream/device_session.h"

#include <system_error>

#include "core/global.h"
#include "core/logging.h"
#include "core/text.h"
#include "core/threads.h"
#include "device/exact_io.h"
#include "device/negotiation.h"
#include "device/socket_setup.h"
#include "webservice/service_context.h"

namespace lumivex {

bool ServiceOpener::Open(DeviceConnection& conn, const ConnectRequest& request, StreamParameters& params,
                         const OpenDecoderStep& openDecoder) {
  if (!RequestStart(ctx_, sid_, conn, request.playback, request.requestDate)) {
    LogLine("RequestStart() is falied and set STATUS_VIDEO_FAILED.");
    return false;
  }
  if (conn.stop.requested() || !GetSocketByNATType(ctx_, conn)) {
    LogLine("GetSocketBuNATType() is failed andt set the STATUS_VIDEO_FALIED.");
    return false;
  }
  if (conn.stop.requested()) return false;
  if (conn.m_DeviceNATType == DEVICE_NAT_TRAVERSAL) return Ctrl_Recv_Play_UDT(ctx_, conn, request, params, openDecoder);
  if (Ctrl_Recv_Play_TCP(ctx_, conn, request, params, openDecoder)) return true;
  LogLine("Ctrl_Recv_Play_TCP is failed and set STATUS_VIDEO_FAILED.");
  return false;
}

DeviceSession::DeviceSession(SessionKind kind, ServiceContext& ctx, DisplayClock& clock, SessionOwner& owner)
    : kind_(kind), ctx_(ctx), clock_(clock), owner_(owner) {
  conn_.enlargeReceiveBuffer = kind == SessionKind::kLive;  // playback keeps the system's size
}

DeviceSession::~DeviceSession() { Stop(); }

bool DeviceSession::Start(SessionOpener& opener, ConnectRequest request) {
  conn_.stop.Reset();  // the last stop's: no thread of that session is left
  failed_ = false;
  {
    std::lock_guard lock(conn_.stop.mutex());
    std::fill(std::begin(panTiltPending_), std::end(panTiltPending_), false);  // none meant for this session
    command_.reset();
  }
  try {
    session_ = std::thread([this, &opener, request = std::move(request)] { SessionThread(opener, request); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void DeviceSession::Stop() {
  conn_.stop.Request();
  JoinIfStarted(session_);  // it started the receive thread and the ticks
  JoinIfStarted(receiver_);
  if (const uint64_t id = clockId_.exchange(0)) clock_.Remove(id);
  {
    std::lock_guard lock(socketMutex_);
    socketOpen_ = false;
    conn_.Reset();
  }
  ring_.reset();
  decoder_.Release();
  {
    std::lock_guard lock(paramsMutex_);
    params_ = StreamParameters{};
  }
  // The stop stays requested until the next start: the session's sound
  // threads, still ending, see it.
}

void DeviceSession::Fail() {
  if (!failed_.exchange(true)) owner_.SessionFailed();
}

StreamParameters DeviceSession::parameters() const {
  std::lock_guard lock(paramsMutex_);
  return params_;
}

bool DeviceSession::open() {
  std::lock_guard lock(socketMutex_);
  return socketOpen_ && (conn_.udtSocket != kNoUdtSocket || conn_.tcpSocket >= 0);
}

void DeviceSession::SessionThread(SessionOpener& opener, const ConnectRequest& request) {
  StreamParameters params;
  const OpenDecoderStep open = [this](const StreamParameters& p) { return OpenDecoder(p); };
  if (!opener.Open(conn_, request, params, open)) return Fail();
  {
    std::lock_guard lock(paramsMutex_);
    params_ = params;
  }
  {
    std::lock_guard lock(socketMutex_);
    socketOpen_ = true;
  }
  if (!owner_.SessionOpened(params) || params.m_VideoTimeGap <= 0) return Fail();
  // The first tick comes a period from now.
  const uint64_t id = clock_.Add(std::chrono::milliseconds(params.m_VideoTimeGap),
                                 [this](bool late) { owner_.FrameTick(late); });
  clockId_ = id;
  if (id == 0 || !StartReceiving()) return Fail();
  RunEvents();
}

bool DeviceSession::OpenDecoder(const StreamParameters& params) {
  if (params.width <= 0 || params.height <= 0) return false;
  ring_ = std::make_unique<FrameRing>();
  return decoder_.InitVideoDecoder(params);
}

bool DeviceSession::StartReceiving() {
  try {
    receiver_ = std::thread([this] { ReceiveLoop(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void DeviceSession::ReceiveLoop() {
  const std::string devKey = ctx_.g.m_DevKeyValue.str();
  const Transport transport = conn_.transport();
  SessionPacket packet;
  VideoFragment fragment;
  AudioPacket sound;
  for (;;) {
    const Received received = ReceiveSessionPacket(conn_, transport, packet);
    if (received == Received::kStopped) return;
    if (received == Received::kFailed) return Fail();
    switch (packet.type()) {
      case FLAG_DEVICE_VIDEO_STREAM:
        if (!ParseVideoFragment(packet, fragment)) return Fail();
        ring_->Insert(fragment);
        break;
      case FLAG_DEVICE_AUDIO_STREAM_AAC:
      case FLAG_DEVICE_AUDIO_STREAM_SPEEX:
        if (!ParseAudioPacket(packet, sound) || !owner_.SoundArrived(sound)) return Fail();
        break;
      case FLAG_INTERACTIVE: {
        Json::Value message;
        if (!OpenSessionPacket(devKey, packet, message) || !message.isObject()) break;
        const Json::Value& cmd = message["cmd"];
        if (cmd.isString() && EqualsIgnoreCase(cmd.asString(), "close")) return Fail();
        break;
      }
      default:
        return Fail();
    }
  }
}

bool DeviceSession::SendOnSocket(const std::string& packet) {
  // Stop closes the sockets under the same lock, so a talk-back sender never
  // writes to a descriptor that was closed, or reused, meanwhile.
  std::lock_guard lock(socketMutex_);
  return socketOpen_ && !conn_.stop.requested() && SendLen(conn_, conn_.transport(), packet.data(), packet.size());
}

}  // namespace lumivex
