#include "device/stream_handshake.h"

#include <cstring>
#include <string_view>

#include "config/user_settings.h"
#include "core/global.h"
#include "core/logging.h"
#include "core/text.h"
#include "device/session_packet.h"
#include "webservice/crypto.h"
#include "webservice/service_context.h"

namespace lumivex {
namespace {

constexpr int kSpsType = 7;
constexpr int kPpsType = 8;

const Json::Value* Member(const Json::Value& object, const char* name) {
  if (!object.isObject()) return nullptr;
  return object.find(name, name + std::strlen(name));
}

// A member that must be present as a JSON string.
bool RequiredText(const Json::Value& object, const char* name, std::string& out) {
  const Json::Value* member = Member(object, name);
  if (!member || !member->isString()) {
    LogLine(std::string("the connect reply has no text \"") + name + "\"");
    return false;
  }
  out = member->asString();
  return true;
}

bool RequiredNumberText(const Json::Value& object, const char* name, int32_t& out) {
  std::string text;
  if (!RequiredText(object, name, text)) return false;
  out = DecimalPrefix(text);
  return true;
}

bool ReadAudio(const Json::Value& reply, StreamParameters& out) {
  const Json::Value* type = Member(reply, "audioType");
  if (!type || type->isNull()) {
    out.audio = CameraAudio::kSpeex;
    out.m_AudioSample = 8000;
    return true;
  }
  if (!type->isString() || type->asString() != "aac") {
    LogLine("the connect reply names an audio type other than aac");
    return false;
  }
  out.audio = CameraAudio::kAac;
  return RequiredNumberText(reply, "audioSample", out.m_AudioSample);
}

bool ReadParameterSet(const Json::Value& reply, const char* name, std::string& out) {
  std::string text;
  if (!RequiredText(reply, name, text)) return false;
  if (!Base64Decode(text, out, ParameterSetPackage::kMaxSetBytes)) {
    LogLine(std::string("the connect reply's \"") + name + "\" is not Base64 of at most 59 bytes");
    return false;
  }
  return true;
}

bool ValidSet(std::string_view set, int nalType) {
  constexpr std::string_view kLongStart("\0\0\0\1", 4), kShortStart("\0\0\1", 3);
  if (set.substr(0, 4) == kLongStart) set.remove_prefix(4);
  else if (set.substr(0, 3) == kShortStart) set.remove_prefix(3);
  if (set.empty()) return false;
  auto header = static_cast<uint8_t>(set[0]);
  return (header & 0x80) == 0 && (header & 0x1F) == nalType;
}

JsonMessage ConnectMessage(const ServiceContext& ctx, const DeviceConnection& conn, Transport transport,
                           const ConnectRequest& request) {
  JsonMessage message = {
      {"type", "connect"},
      {"identity", "client"},
      {"umac", ctx.settings.umac.str()},
      {"sid", conn.sid.str()},
      {"netType", "4"},
      {"link-type", std::to_string(conn.m_DeviceNATType.load())},
      {"video-playback", request.playback ? "1" : "0"},
      {"protocol", transport == Transport::kUdt ? ctx.g.m_DevProtocol.str() : "v2.0"},
  };
  if (request.playback) message["request-date"] = request.requestDate;
  return message;
}

// Skips media until the first interactive packet, which must open.
bool AwaitReply(DeviceConnection& conn, Transport transport, const std::string& devKey, Json::Value& reply) {
  SessionPacket packet;
  for (;;) {
    Received received = ReceiveSessionPacket(conn, transport, packet);
    if (received != Received::kPacket) {
      if (received == Received::kFailed) LogLine("Ctrl_Recv_Play_TCP()::RecvTCP_Len is false.");
      return false;
    }
    switch (packet.type()) {
      case FLAG_INTERACTIVE:
        LogLine("Ctrl_Recv_Play_TCP()::FLAG_INTERACTIVE.");
        return OpenSessionPacket(devKey, packet, reply);
      case FLAG_DEVICE_VIDEO_STREAM:
        LogLine("Ctrl_Recv_Play_TCP()::FLAG_DEVICE_VIDEO_STREAM.");
        break;
      case FLAG_DEVICE_AUDIO_STREAM_AAC:
        LogLine("Ctrl_Recv_Play_TCP()::FLAG_DEVICE_AUDIO_STREAM.");
        if (transport == Transport::kUdt) return false;  // a UDT session skips only Speex
        break;
      default:
        LogLine("Ctrl_Recv_Play_TCP()::FLAG_DEVICE_AUDIO_STREAM.");
        break;
    }
  }
}

bool Handshake(ServiceContext& ctx, DeviceConnection& conn, Transport transport, const ConnectRequest& request,
               StreamParameters& out, const OpenDecoderStep& openDecoder) {
  LogLine("go to the Ctrl_Recv_Play_TCP.");
  const std::string devKey = ctx.g.m_DevKeyValue.str();
  Json::Value reply;
  StreamParameters params;
  bool ok = SendSessionMessage(devKey, conn, transport, ConnectMessage(ctx, conn, transport, request)) &&
            !conn.stop.requested() && AwaitReply(conn, transport, devKey, reply) &&
            ParseConnectReply(reply, request.playback, params);
  if (ok) {
    LogLine("Ctrl_Recv_Play_TCP()::recv the sps-pps package.");
    ok = openDecoder ? openDecoder(params) : ValidParameterSets(params.parameterSets);
  }
  if (!ok) {
    LogLine("Ctrl_Recv_Play_TCP()::go to the Label11.");
    return false;
  }
  LogLine("Ctrl_Recv_Play_TCP()::go to send the StartUp .");
  if (!SendSessionMessage(devKey, conn, transport, {{"type", "startup"}}) || conn.stop.requested()) return false;
  out = std::move(params);
  return true;
}

}  // namespace

bool ValidParameterSets(const ParameterSetPackage& sets) {
  return ValidSet(sets.sps, kSpsType) && ValidSet(sets.pps, kPpsType);
}

bool ParseConnectReply(const Json::Value& reply, bool playback, StreamParameters& out) {
  std::string type;
  if (!RequiredText(reply, "type", type) || type != "connect") return false;
  StreamParameters params;
  bool ok = RequiredNumberText(reply, "width", params.width) &&
            RequiredNumberText(reply, "height", params.height) &&
            RequiredNumberText(reply, "timeGap", params.m_VideoTimeGap) &&
            (playback ? RequiredNumberText(reply, "playbackGap", params.playbackGap)
                      : RequiredNumberText(reply, "bitRate", params.bitRate)) &&
            ReadAudio(reply, params) && ReadParameterSet(reply, "sps", params.parameterSets.sps) &&
            ReadParameterSet(reply, "pps", params.parameterSets.pps);
  if (ok && playback && (params.playbackGap < 0 || params.playbackGap > kMaxPlaybackGap)) {
    LogLine("the connect reply's playbackGap " + std::to_string(params.playbackGap) + " is not a recording's length");
    ok = false;
  }
  if (ok && playback) {
    const Json::Value* start = Member(reply, "playback-initTime");
    if (start && start->isString()) params.playbackInitTime = start->asString();
  }
  if (ok) out = std::move(params);
  return ok;
}

bool Ctrl_Recv_Play_TCP(ServiceContext& ctx, DeviceConnection& conn, const ConnectRequest& request,
                        StreamParameters& out, const OpenDecoderStep& openDecoder) {
  return Handshake(ctx, conn, Transport::kTcp, request, out, openDecoder);
}

bool Ctrl_Recv_Play_UDT(ServiceContext& ctx, DeviceConnection& conn, const ConnectRequest& request,
                        StreamParameters& out, const OpenDecoderStep& openDecoder) {
  return Handshake(ctx, conn, Transport::kUdt, request, out, openDecoder);
}

}  // namespace lumivex
