#include "device/session_packet.h"

#include "device/exact_io.h"

namespace lumivex {
namespace {

constexpr std::size_t kPrefixBytes = 3;  // type and length

// Bytes after the prefix for a packet of that type and length field; -1 for
// an unknown type or a negative L.
long RestOf(uint8_t type, std::string_view prefix) {
  switch (type) {
    case FLAG_INTERACTIVE: {
      int32_t digits = LengthField(prefix);  // read as signed
      return digits < 0 ? -1 : digits + 5L;
    }
    case FLAG_DEVICE_VIDEO_STREAM:
      return Uint16At(prefix, 1) + 22L;
    case FLAG_DEVICE_AUDIO_STREAM_SPEEX:
    case FLAG_DEVICE_AUDIO_STREAM_AAC:
      return Uint16At(prefix, 1) + 8L;
    default:
      return -1;
  }
}

}  // namespace

Received ReceiveSessionPacket(DeviceConnection& conn, Transport transport, SessionPacket& packet) {
  packet.bytes.assign(kPrefixBytes, '\0');
  if (!RecvLen(conn, transport, packet.bytes.data(), kPrefixBytes)) return Received::kFailed;
  if (conn.stop.requested()) return Received::kStopped;
  long rest = RestOf(packet.type(), packet.bytes);
  if (rest < 0 || kPrefixBytes + static_cast<std::size_t>(rest) > kReceiveBufferBytes) return Received::kFailed;
  packet.bytes.resize(kPrefixBytes + static_cast<std::size_t>(rest));
  if (!RecvLen(conn, transport, packet.bytes.data() + kPrefixBytes, static_cast<std::size_t>(rest)))
    return Received::kFailed;
  return conn.stop.requested() ? Received::kStopped : Received::kPacket;
}

bool SealSessionPacket(std::string_view devKey, const JsonMessage& message, std::string& out) {
  return Seal(devKey, FLAG_INTERACTIVE, message, kPacketHeaderBytes, out);
}

bool OpenSessionPacket(std::string_view devKey, const SessionPacket& packet, Json::Value& out) {
  return packet.type() == FLAG_INTERACTIVE && Open(devKey, packet.bytes, kPacketHeaderBytes, out);
}

bool SendSessionMessage(std::string_view devKey, DeviceConnection& conn, Transport transport,
                        const JsonMessage& message) {
  std::string packet;
  return SealSessionPacket(devKey, message, packet) &&
         SendLen(conn, transport, packet.data(), packet.size());
}

bool ParseVideoFragment(const SessionPacket& packet, VideoFragment& out) {
  std::string_view bytes = packet.bytes;
  if (packet.type() != FLAG_DEVICE_VIDEO_STREAM || bytes.size() < kVideoHeaderBytes) return false;
  std::size_t length = Uint16At(bytes, 1);
  if (bytes.size() != kVideoHeaderBytes + length) return false;
  out.keyFrame = (static_cast<uint8_t>(bytes[3]) & 1) == 0;
  out.frameNumber = Int32At(bytes, 5);
  out.timestamp = Int32At(bytes, 13);
  out.fragmentCount = Int16At(bytes, 17);
  out.fragmentIndex = Int16At(bytes, 19);
  out.payload = bytes.substr(kVideoHeaderBytes);
  return true;
}

bool ParseAudioPacket(const SessionPacket& packet, AudioPacket& out) {
  std::string_view bytes = packet.bytes;
  uint8_t type = packet.type();
  if ((type != FLAG_DEVICE_AUDIO_STREAM_SPEEX && type != FLAG_DEVICE_AUDIO_STREAM_AAC) ||
      bytes.size() < kAudioHeaderBytes || bytes.size() != kAudioHeaderBytes + Uint16At(bytes, 1))
    return false;
  out.aac = type == FLAG_DEVICE_AUDIO_STREAM_AAC;
  out.timestamp = Int32At(bytes, 7);
  out.payload = bytes.substr(kAudioHeaderBytes);
  return true;
}

std::string MakeAudioPacket(uint8_t type, std::string_view payload, int32_t timestamp) {
  if (kAudioHeaderBytes + payload.size() > kReceiveBufferBytes) return {};
  std::string packet(kAudioHeaderBytes, '\0');
  packet[0] = static_cast<char>(type);
  PutInt16(packet, 1, static_cast<int32_t>(payload.size()));
  for (int i = 0; i < 4; ++i) packet[7 + i] = static_cast<char>((static_cast<uint32_t>(timestamp) >> (8 * i)) & 0xFF);
  packet.append(payload);
  return packet;
}

}  // namespace lumivex
