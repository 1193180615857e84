#pragma once
// SessionPacket: the unit of the byte stream between client and camera, on
// TCP or UDT. A type byte and a 16-bit length, then by type: a sealed JSON
// control message, one fragment of an H.264 frame, or one audio frame.

#include <cstdint>
#include <string>
#include <string_view>

#include <json/value.h>

#include "device/connection.h"
#include "device/json_message.h"
#include "device/sealing.h"

namespace lumivex {

inline constexpr uint8_t FLAG_INTERACTIVE = 0x32;
inline constexpr uint8_t FLAG_DEVICE_VIDEO_STREAM = 0x46;
inline constexpr uint8_t FLAG_DEVICE_AUDIO_STREAM_SPEEX = 0x5A;
inline constexpr uint8_t FLAG_DEVICE_AUDIO_STREAM_AAC = 0x5B;

inline constexpr std::size_t kVideoHeaderBytes = 25;
inline constexpr std::size_t kAudioHeaderBytes = 11;

struct SessionPacket {
  std::string bytes;  // the whole packet, at most kReceiveBufferBytes

  uint8_t type() const { return bytes.empty() ? 0 : static_cast<uint8_t>(bytes[0]); }
};

struct VideoFragment {
  bool keyFrame = false;  // flags bit 0 clear
  int32_t frameNumber = 0;
  int32_t timestamp = 0;  // milliseconds
  int32_t fragmentCount = 0;
  int32_t fragmentIndex = 0;
  std::string_view payload;  // into the packet: valid while it is neither changed nor gone
};

struct AudioPacket {
  bool aac = false;  // else Speex
  int32_t timestamp = 0;
  std::string_view payload;  // into the packet, as above
};

enum class Received { kPacket, kStopped, kFailed };

// One whole packet. Fails on an unknown type, a negative L, a packet that
// would not fit the receive buffer, or a failed receive; kStopped when the
// stop flag cut it short (packet then holds nothing usable).
Received ReceiveSessionPacket(DeviceConnection& conn, Transport transport, SessionPacket& packet);

// A FLAG_INTERACTIVE packet carrying message.
bool SealSessionPacket(std::string_view devKey, const JsonMessage& message, std::string& out);
bool OpenSessionPacket(std::string_view devKey, const SessionPacket& packet, Json::Value& out);

// Seals and sends one control message.
bool SendSessionMessage(std::string_view devKey, DeviceConnection& conn, Transport transport,
                        const JsonMessage& message);

// The header fields of a whole packet of that type; false for another type.
bool ParseVideoFragment(const SessionPacket& packet, VideoFragment& out);
bool ParseAudioPacket(const SessionPacket& packet, AudioPacket& out);

// An audio packet of that type (talk-back): the 11-byte header, then payload.
// Empty when the payload does not fit the 16-bit length or a receive buffer.
std::string MakeAudioPacket(uint8_t type, std::string_view payload, int32_t timestamp = 0);

}  // namespace lumivex
